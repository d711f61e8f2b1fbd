#pragma once
// Text from a cabinet made safe for a terminal or a text view: control characters (below 0x20
// except tab, 0x7F and 0x80 to 0x9F) become visible escapes such as \x1b, so an entry name or a
// descriptor text cannot move the cursor, retitle a window or forge a line. Everything else,
// 8-bit letters included, stays as it is. JSON output keeps the exact values instead.
//
// A text that is well-formed UTF-8 (certificate names, many XML descriptors) is taken as such:
// its letters keep their bytes, and only the control code points U+0080 to U+009F are escaped,
// as \x80 to \x9f. Any other text is taken byte by byte. The window decodes the same way, so
// both show one text alike.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

[[nodiscard]] inline bool IsControlByte(unsigned char c) {
    return (c < 0x20 && c != '\t') || (c >= 0x7F && c <= 0x9F);
}

// Whether PlainText would change the text: only a text with a control byte is escaped.
[[nodiscard]] inline bool HasControlByte(std::string_view text) {
    for (const char c : text)
        if (IsControlByte(static_cast<unsigned char>(c))) return true;
    return false;
}

// Length of the well-formed UTF-8 sequence starting at text[i], 0 when there is none.
[[nodiscard]] inline size_t Utf8SequenceLength(std::string_view text, size_t i) {
    const auto at = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = at(i);
    if (lead < 0x80) return 1;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;  // no overlong forms
        if (lead == 0xED) high = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F; // nothing above U+10FFFF
    } else
        return 0;
    if (i + length > text.size()) return 0;
    if (at(i + 1) < low || at(i + 1) > high) return 0;
    for (size_t k = 2; k < length; ++k)
        if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
    return length;
}

[[nodiscard]] inline bool IsWellFormedUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        // Runs of ASCII, most texts whole, eight bytes at a time.
        while (i + 8 <= text.size()) {
            uint64_t eight;
            std::memcpy(&eight, text.data() + i, 8);
            if (eight & 0x8080808080808080ull) break;
            i += 8;
        }
        if (i >= text.size()) break;
        const size_t length = Utf8SequenceLength(text, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

// Model strings are 8-bit without a code page: each byte becomes the code point of its value.
[[nodiscard]] inline std::string Latin1ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

// A text kept as it is when it is well-formed UTF-8, else taken as 8-bit: provisioning values
// and version resources, which may be either.
[[nodiscard]] inline std::string Utf8Else8(std::string_view text) {
    return IsWellFormedUtf8(text) ? std::string(text) : Latin1ToUtf8(text);
}

[[nodiscard]] inline std::string PlainText(std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    const auto escape = [](std::string& out, unsigned char b) {
        out += "\\x";
        out += kHex[b >> 4];
        out += kHex[b & 0x0F];
    };
    if (!HasControlByte(text)) return std::string(text);
    std::string out;
    out.reserve(text.size() + 16);
    if (IsWellFormedUtf8(text)) {
        for (size_t i = 0; i < text.size();) {
            const auto b = static_cast<unsigned char>(text[i]);
            const size_t length = Utf8SequenceLength(text, i);
            if (length == 1 && IsControlByte(b))
                escape(out, b);
            else if (length == 2 && b == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F)
                escape(out, static_cast<unsigned char>(text[i + 1])); // U+0080..U+009F
            else
                out.append(text.substr(i, length));
            i += length;
        }
        return out;
    }
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (IsControlByte(b))
            escape(out, b);
        else
            out += c;
    }
    return out;
}
