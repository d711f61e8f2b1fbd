#pragma once
// Display texts of the setup pages: file sizes, processor names, flag words, registry roots and
// types. The page builders use them; front ends read the pages.
#include <cstdint>
#include <string>
#include <string_view>

enum class TSizeUnit { Bytes = 0, Kilobytes = 1, Megabytes = 2, Gigabytes = 3 };

struct TScaledSize {
    long double Value = 0;
    TSizeUnit Unit = TSizeUnit::Bytes;
};

// Divides by 1024 while the value is at least 1024, up to gigabytes; the comparisons are strict.
[[nodiscard]] TScaledSize ChooseSizeUnit(long double size);

// Rounds the decimal text of a non-negative number half up to one digit after its separator
// (whatever characters form it); a text without a separator comes back unchanged.
[[nodiscard]] std::string RoundToOneDecimal(const std::string& text);

// "1.5 KB", "0 bytes", "3 GB", with the given decimal separator.
[[nodiscard]] std::string FormatFileSize(uint64_t size, std::string_view decimalSeparator);
// The same with the decimal separator of the C library's current LC_NUMERIC locale.
[[nodiscard]] std::string FormatFileSize(uint64_t size);
// The decimal separator of that locale, as FormatFileSize(size) takes it: "." when it names none.
[[nodiscard]] std::string LocaleDecimalSeparator();

// "0x" and the flag word as eight upper-case hexadecimal digits.
[[nodiscard]] std::string FlagsText(int32_t flags);

// The name of a processor type number; an empty text for numbers without one.
[[nodiscard]] std::string ProcessorName(int32_t processor);

// "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE" for roots 0 to 2; any other root
// number, which only a binary descriptor can hold, as "(Unknown root N)".
[[nodiscard]] std::string RegistryRootName(int32_t root);
// "REG_SZ", "REG_DWORD", "REG_BINARY", "REG_MULTI_SZ" for value types 0 to 3; others as their
// number.
[[nodiscard]] std::string RegistryTypeName(int32_t dataType);

// A list's status line while a filter narrows it: the design's own text ("Total of files: 54")
// followed by how many rows show, "Total of files: 54 (19 of 54 shown)". Without a filter the
// design's text alone.
[[nodiscard]] std::string FilteredStatusText(const std::string& designText, bool filtered,
                                             uint64_t shown, uint64_t total);
