#pragma once
// Text from a cabinet made safe for a terminal or a text view: control characters (bytes below
// 0x20 except tab, 0x7F and 0x80 to 0x9F) become visible escapes such as \x1b, so an entry name
// or a descriptor text cannot move the cursor, retitle a window or forge a line. Everything else,
// 8-bit letters included, stays as it is. JSON output keeps the exact values instead.
#include <string>
#include <string_view>

[[nodiscard]] inline bool IsControlByte(unsigned char c) {
    return (c < 0x20 && c != '\t') || (c >= 0x7F && c <= 0x9F);
}

[[nodiscard]] inline std::string PlainText(std::string_view text) {
    size_t controls = 0;
    for (const char c : text)
        controls += IsControlByte(static_cast<unsigned char>(c));
    if (controls == 0) return std::string(text);
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() + 3 * controls);
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (!IsControlByte(b)) {
            out += c;
            continue;
        }
        out += "\\x";
        out += kHex[b >> 4];
        out += kHex[b & 0x0F];
    }
    return out;
}
