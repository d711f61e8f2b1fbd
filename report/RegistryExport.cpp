#include "report/RegistryExport.h"

#include "cab/TextValues.h"
#include "report/DisplayFormat.h"
#include "report/RegistryPages.h"
#include "setup/CESetup.h"
#include "setup/SetupFuncs.h"

#include <cstdio>
#include <optional>
#include <vector>

namespace {

using TBytes = std::vector<uint8_t>;

constexpr const char* kLineEnd = "\r\n";

std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '\\' || c == '"') quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

std::string HexList(const TBytes& bytes) {
    std::string text;
    text.reserve(bytes.size() * 3);
    char digits[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(digits, sizeof digits, i == 0 ? "%02x" : ",%02x", bytes[i]);
        text += digits;
    }
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The binary reader's form: two hexadecimal digits per byte, single spaces between.
std::optional<TBytes> SpacedHexBytes(const std::string& text) {
    TBytes bytes;
    if (text.empty()) return bytes;
    if (text.size() % 3 != 2) return std::nullopt;
    for (size_t i = 0; i < text.size(); i += 3) {
        const int high = HexDigit(text[i]);
        const int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0 || (i + 2 < text.size() && text[i + 2] != ' ')) return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    return bytes;
}

// The XML descriptor's form of binary data: base64 in whole groups of four, without spaces.
std::optional<TBytes> Base64Bytes(const std::string& text) {
    if (text.empty()) return TBytes{};
    std::string why;
    return DecodeBase64(text, why, false);
}

TBytes TextBytes(const std::string& text) {
    TBytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

// The data part after "=", or none when the model's text is not exactly that type.
std::optional<std::string> DataText(const TCEINFRegValue& value, uint8_t format) {
    const std::string& data = value.Data;
    switch (value.DataType) {
    case kTypeString:
        if (data.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
            return "hex(1):" + HexList(TextBytes(data));
        return Quoted(data);
    case kTypeInteger:
        if (const auto number = ParseDecimal32(data)) {
            char text[16];
            std::snprintf(text, sizeof text, "dword:%08x", *number);
            return text;
        }
        return std::nullopt;
    case kTypeBinary: {
        const auto bytes = format == kFormatXML ? Base64Bytes(data) : SpacedHexBytes(data);
        if (bytes) return "hex:" + HexList(*bytes);
        return std::nullopt;
    }
    case kTypeMultiString: {
        // The model joins the texts with ";".
        TBytes bytes;
        for (size_t start = 0; !data.empty() && start <= data.size();) {
            size_t end = data.find(';', start);
            if (end == std::string::npos) end = data.size();
            bytes.insert(bytes.end(), data.begin() + static_cast<std::ptrdiff_t>(start),
                         data.begin() + static_cast<std::ptrdiff_t>(end));
            bytes.push_back(0);
            start = end + 1;
        }
        bytes.push_back(0);
        return "hex(7):" + HexList(bytes);
    }
    default:
        return std::nullopt;
    }
}

std::string NameText(const std::string& name) {
    return name.empty() ? "@" : Quoted(name);
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// A comment must stay on its line, or a line break in the model's text would start an entry.
std::string OneLine(const std::string& text) {
    std::string line;
    for (const char c : text)
        line += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
    return line;
}

} // namespace

std::string RegistryExportText(const TCESetup& setup) {
    const TRegistryPages pages = BuildRegistryPages(setup);
    std::string text = std::string("REGEDIT4") + kLineEnd;
    // The tree's own order, depth first, with a stack of our own: keys may be very deep.
    std::vector<size_t> pending(pages.Keys.TopLevel.rbegin(), pages.Keys.TopLevel.rend());
    while (!pending.empty()) {
        const size_t node = pending.back();
        pending.pop_back();
        const std::vector<size_t>& children = pages.Keys.Nodes[node].Children;
        pending.insert(pending.end(), children.rbegin(), children.rend());
        const std::vector<size_t>& rows = pages.Keys.Nodes[node].Rows;
        if (rows.empty()) continue;
        const std::string key = ExcludeBackslash(RegistryNodePath(pages.Keys, node));
        const int32_t root = setup.RegValues[pages.Values.Rows[rows.front()].Source].Root;
        const bool rootKnown = root >= kRootClassesRoot && root <= kRootLocalMachine;
        const bool keyFits = rootKnown && !HasLineBreak(key);
        text += kLineEnd;
        if (keyFits)
            text += "[" + key + "]";
        else
            text += std::string(rootKnown ? "; left out, a line break in the key: ["
                                          : "; left out, not a registry root: [") +
                    OneLine(key) + "]";
        text += kLineEnd;
        for (const size_t r : rows) {
            const TCEINFRegValue& value = setup.RegValues[pages.Values.Rows[r].Source];
            const std::string shown = OneLine(NameText(value.Name) + "=" + Quoted(value.Data));
            const auto data = DataText(value, setup.Format);
            if (!keyFits)
                text += "; " + shown;
            else if (HasLineBreak(value.Name))
                text += "; left out, a line break in the name: " + shown;
            else if (!data)
                text +=
                    "; left out, not exactly a " + RegistryTypeName(value.DataType) + ": " + shown;
            else
                text += NameText(value.Name) + "=" + *data;
            text += kLineEnd;
        }
    }
    return text + kLineEnd;
}

TWriteResult ExportRegistry(const TCESetup& setup, const std::string& path) {
    return WriteFileSafely(path, RegistryExportText(setup));
}
