#include "report/DisplayFormat.h"

#include <charconv>
#include <clocale>
#include <cstddef>

namespace {
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Adds one to the decimal digits, carrying as in ordinary addition ("99" gives "100").
std::string Increment(std::string digits) {
    for (size_t i = digits.size(); i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return digits;
        }
        digits[i] = '0';
    }
    return "1" + digits;
}

// Shortest text with at most 15 significant digits, "." as separator, no exponent for the values
// the size columns produce.
std::string DecimalText(long double value) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    return std::string(buffer, result.ptr);
}

const char* UnitText(TSizeUnit unit) {
    switch (unit) {
    case TSizeUnit::Bytes:
        return " bytes";
    case TSizeUnit::Kilobytes:
        return " KB";
    case TSizeUnit::Megabytes:
        return " MB";
    case TSizeUnit::Gigabytes:
        return " GB";
    }
    return "";
}
} // namespace

TScaledSize ChooseSizeUnit(long double size) {
    if (size < 1024) return {size, TSizeUnit::Bytes};
    size /= 1024;
    if (size < 1024) return {size, TSizeUnit::Kilobytes};
    size /= 1024;
    if (size < 1024) return {size, TSizeUnit::Megabytes};
    return {size / 1024, TSizeUnit::Gigabytes};
}

std::string RoundToOneDecimal(const std::string& text) {
    size_t pos = 0;
    while (pos < text.size() && IsDigit(text[pos]))
        ++pos;
    std::string integer = text.substr(0, pos);
    if (pos == text.size()) return integer;
    // A locale's separator may take more than one byte: it runs up to the next digit.
    size_t digitsAt = pos;
    while (digitsAt < text.size() && !IsDigit(text[digitsAt]))
        ++digitsAt;
    const std::string separator = text.substr(pos, digitsAt - pos);
    const std::string decimals = text.substr(digitsAt);
    if (decimals.empty()) return integer;
    if (decimals.size() == 1) return integer + separator + decimals;
    const char d1 = decimals[0];
    const char d2 = decimals[1];
    if (d2 < '5') return integer + separator + d1;
    if (d1 < '9') return integer + separator + static_cast<char>(d1 + 1);
    return Increment(integer) + separator + '0';
}

std::string FormatFileSize(uint64_t size, std::string_view decimalSeparator) {
    // Bytes and kilobytes, nearly every file of a setup, without the long double: size / 1024
    // has at most ten decimals, all exact, which is what the general text shows too. Each text
    // is made in one string: a large setup formats tens of thousands.
    if (size < 1024) return std::to_string(size) += " bytes";
    const auto kilobytes = [&](uint32_t whole, char decimal) {
        std::string text = std::to_string(whole);
        if (decimal != 0) (text += decimalSeparator) += decimal;
        return text += " KB";
    };
    if (size < 1024 * 1024) {
        const auto whole = static_cast<uint32_t>(size / 1024);
        const auto rest = static_cast<uint32_t>(size % 1024);
        if (rest == 0) return kilobytes(whole, 0);
        const uint32_t first = rest * 10 / 1024;
        if (rest * 10 % 1024 == 0) // one decimal, kept as it is
            return kilobytes(whole, static_cast<char>('0' + first));
        const uint32_t second = rest * 100 / 1024 % 10;
        if (second < 5) return kilobytes(whole, static_cast<char>('0' + first));
        if (first < 9) return kilobytes(whole, static_cast<char>('0' + first + 1));
        return kilobytes(whole + 1, '0');
    }
    const TScaledSize scaled = ChooseSizeUnit(static_cast<long double>(size));
    std::string text = DecimalText(scaled.Value);
    if (const size_t dot = text.find('.'); dot != std::string::npos)
        text.replace(dot, 1, decimalSeparator);
    return RoundToOneDecimal(text) + UnitText(scaled.Unit);
}

std::string FormatFileSize(uint64_t size) {
    return FormatFileSize(size, LocaleDecimalSeparator());
}

std::string LocaleDecimalSeparator() {
    const std::lconv* conventions = std::localeconv();
    const char* point = conventions ? conventions->decimal_point : nullptr;
    return point && *point ? point : ".";
}

std::string FlagsText(int32_t flags) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "0x00000000";
    auto word = static_cast<uint32_t>(flags);
    for (size_t i = text.size(); i-- > 2; word >>= 4)
        text[i] = digits[word & 0xF];
    return text;
}

std::string ProcessorName(int32_t processor) {
    switch (processor) {
    case 0:
        return "CEF";
    case 386:
        return "Intel 386";
    case 486:
        return "Intel 486";
    case 586:
        return "Intel 586";
    case 686:
        return "Intel 686";
    case 1824:
        return "ARM 720";
    case 2000:
        return "Mips 2000";
    case 2080:
        return "ARM 820";
    case 2336:
        return "ARM 920";
    case 2577:
        return "StrongARM";
    case 3000:
        return "Mips 3000";
    case 4000:
        return "Mips 4000";
    case 5000:
        return "Mips 5000";
    case 10003:
        return "Hitachi SH3";
    case 10005:
        return "Hitachi SH4";
    default:
        return "";
    }
}

std::string RegistryRootName(int32_t root) {
    static const char* const names[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                        "HKEY_LOCAL_MACHINE"};
    if (root >= 0 && root <= 2) return names[root];
    return "(Unknown root " + std::to_string(root) + ")";
}

std::string RegistryTypeName(int32_t dataType) {
    switch (dataType) {
    case 0:
        return "REG_SZ";
    case 1:
        return "REG_DWORD";
    case 2:
        return "REG_BINARY";
    case 3:
        return "REG_MULTI_SZ";
    default:
        return std::to_string(dataType);
    }
}

std::string FilteredStatusText(const std::string& designText, bool filtered, uint64_t shown,
                               uint64_t total) {
    if (!filtered) return designText;
    const std::string counts = std::to_string(shown) + " of " + std::to_string(total) + " shown";
    return designText.empty() ? counts : designText + " (" + counts + ")";
}
