#include "cab/TextValues.h"

#include <cstdio>

namespace {

int SextetOf(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string ByteAt(char c, size_t offset) {
    char text[64];
    std::snprintf(text, sizeof text, "byte 0x%02X at offset %zu is not base64",
                  static_cast<unsigned>(static_cast<unsigned char>(c)), offset);
    return text;
}

} // namespace

std::optional<std::vector<uint8_t>> DecodeBase64(std::string_view text, std::string& why,
                                                 bool allowWhitespace) {
    std::vector<uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    uint32_t group = 0;
    int filled = 0;  // sextets in the current group
    int padding = 0; // "=" seen; nothing but whitespace and "=" may follow
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (allowWhitespace && IsSpace(c)) continue;
        if (c == '=') {
            if (filled + padding < 2) {
                why = "\"=\" at offset " + std::to_string(i) + " comes too early";
                return std::nullopt;
            }
            if (filled + ++padding > 4) {
                why = "too much \"=\" padding at offset " + std::to_string(i);
                return std::nullopt;
            }
            continue;
        }
        const int sextet = SextetOf(c);
        if (sextet < 0 || padding > 0) {
            why = sextet < 0 ? ByteAt(c, i)
                             : "data after the \"=\" padding at offset " + std::to_string(i);
            return std::nullopt;
        }
        group = (group << 6) | static_cast<uint32_t>(sextet);
        if (++filled == 4) {
            out.push_back(static_cast<uint8_t>(group >> 16));
            out.push_back(static_cast<uint8_t>(group >> 8));
            out.push_back(static_cast<uint8_t>(group));
            group = 0;
            filled = 0;
        }
    }
    if (filled == 0 && padding == 0) {
        if (out.empty()) {
            why = "the value is empty";
            return std::nullopt;
        }
        return out;
    }
    if (filled + padding != 4 || filled < 2) {
        why = "the text ends in the middle of a group of four";
        return std::nullopt;
    }
    group <<= 6 * (4 - filled);
    out.push_back(static_cast<uint8_t>(group >> 16));
    if (filled == 3) out.push_back(static_cast<uint8_t>(group >> 8));
    return out;
}

std::optional<uint32_t> ParseDecimal32(std::string_view text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    uint64_t n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    if (n > 0xFFFFFFFFu) return std::nullopt;
    return static_cast<uint32_t>(n);
}
