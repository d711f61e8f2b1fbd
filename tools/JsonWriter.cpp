#include "tools/JsonWriter.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Bytes that JSON takes as they stand: 1 in UTF-8 texts, 2 in 8-bit texts as well. DEL and the
// C1 controls (0x80 to 0x9F in 8-bit texts, U+0080 to U+009F led by 0xC2 in UTF-8) are escaped
// although JSON allows them raw: a document printed on a terminal must not steer it.
constexpr auto kPlain = [] {
    std::array<uint8_t, 256> plain{};
    for (int b = 0x20; b < 0x100; ++b)
        plain[b] = b == '"' || b == '\\' || b == 0x7F || b == 0xC2 ? 0 : b < 0x80 ? 3 : 1;
    return plain;
}();

} // namespace

void TJsonWriter::TFree::operator()(char* data) const {
    std::free(data);
}

char* TJsonWriter::Grow(size_t count) {
    // Doubling keeps the moves of a long document few.
    size_t capacity = FCapacity ? FCapacity * 2 : 4096;
    while (count > capacity - FSize)
        capacity *= 2;
    // realloc frees or keeps the old block itself: the pointer is handed over, and taken back
    // when it fails.
    char* const old = FData.release();
    char* data = static_cast<char*>(std::realloc(old, capacity));
    if (!data) {
        FData.reset(old);
        throw std::bad_alloc();
    }
    FData.reset(data);
    FCapacity = capacity;
    return data + FSize;
}

void TJsonWriter::Append(std::string_view text) {
    char* to = Room(text.size());
    if (!text.empty()) std::memcpy(to, text.data(), text.size());
    FSize += text.size();
}

void TJsonWriter::Value() {
    if (FComma) Put(',');
    FComma = true;
}

void TJsonWriter::BeginObject() {
    Value();
    Put('{');
    FComma = false;
}

void TJsonWriter::EndObject() {
    Put('}');
    FComma = true;
}

void TJsonWriter::BeginArray() {
    Value();
    Put('[');
    FComma = false;
}

void TJsonWriter::EndArray() {
    Put(']');
    FComma = true;
}

void TJsonWriter::Key(std::string_view key) {
    // Member names are nearly always short plain words: those are written in one go.
    constexpr size_t kShort = 32;
    if (key.size() <= kShort) {
        char* const start = Room(kShort + 4);
        char* to = start;
        if (FComma) *to++ = ',';
        *to++ = '"';
        bool plain = true;
        for (const char c : key) {
            plain = plain && (kPlain[static_cast<unsigned char>(c)] & 1) != 0;
            *to++ = c;
        }
        if (plain) {
            *to++ = '"';
            *to++ = ':';
            FSize += static_cast<size_t>(to - start);
            FComma = false;
            return;
        }
    }
    Value();
    Escaped(key, false);
    Put(':');
    FComma = false;
}

void TJsonWriter::String(std::string_view text) {
    Value();
    Escaped(text, false);
}

void TJsonWriter::Latin1(std::string_view text) {
    Value();
    Escaped(text, true);
}

void TJsonWriter::Int(int64_t value) {
    Value();
    char* to = Room(24);
    FSize = static_cast<size_t>(std::to_chars(to, to + 24, value).ptr - FData.get());
}

void TJsonWriter::Bool(bool value) {
    Value();
    Append(value ? "true" : "false");
}

void TJsonWriter::Null() {
    Value();
    Append("null");
}

void TJsonWriter::Raw(std::string_view json) {
    Value();
    Append(json);
}

namespace {

// How many of the eight bytes of word, from the first in memory, JSON takes as they stand by
// kPlain's rule (a control below 0x20, '"', '\\', DEL, and in UTF-8 texts the lead byte 0xC2, in
// 8-bit texts any byte from 0x80, is not). Each test flags the bytes that are zero or below a
// bound; flags above the lowest may be false, the lowest never is.
size_t PlainPrefix(uint64_t word, bool latin1) {
    constexpr uint64_t kOnes = 0x0101010101010101u, kHigh = 0x8080808080808080u;
    auto zero = [](uint64_t x) { return (x - kOnes) & ~x & kHigh; };
    uint64_t flags = ((word - kOnes * 0x20) & ~word & kHigh) | zero(word ^ (kOnes * '"')) |
                     zero(word ^ (kOnes * '\\')) | zero(word ^ (kOnes * 0x7F));
    flags |= latin1 ? word & kHigh : zero(word ^ (kOnes * 0xC2));
    if (flags == 0) return 8;
    if constexpr (std::endian::native != std::endian::little) return 0;
    return static_cast<size_t>(std::countr_zero(flags)) / 8;
}

} // namespace

namespace {

// Writes the escape of control byte b (or '"', '\\', DEL, a C1 control) at to; answers its end.
char* EscapeControl(unsigned char b, char* to) {
    static constexpr char kHex[] = "0123456789abcdef";
    *to++ = '\\';
    switch (b) {
    case '"':
    case '\\':
        *to++ = static_cast<char>(b);
        return to;
    case '\b':
        *to++ = 'b';
        return to;
    case '\t':
        *to++ = 't';
        return to;
    case '\n':
        *to++ = 'n';
        return to;
    case '\f':
        *to++ = 'f';
        return to;
    case '\r':
        *to++ = 'r';
        return to;
    default:
        *to++ = 'u';
        *to++ = '0';
        *to++ = '0';
        *to++ = kHex[b >> 4];
        *to++ = kHex[b & 0xF];
        return to;
    }
}

} // namespace

void TJsonWriter::Escaped(std::string_view text, bool latin1) {
    const uint8_t plainMask = latin1 ? 2 : 1;
    // A byte becomes at most six (\u00xx); room for that is taken a piece at a time, so that a
    // huge text does not ask for six times its size at once. Each piece's room also holds both
    // quotes and the byte after its last, which an escaped C1 control in UTF-8 takes with it.
    constexpr size_t kPiece = 4096;
    size_t i = 0;
    char* to = Room(std::min(text.size(), kPiece) * 6 + 8);
    *to++ = '"';
    for (;;) {
        const size_t end = std::min(text.size(), i + kPiece);
        while (i < end) {
            // Plain runs go eight bytes at a time, up to the first byte that is not plain. The
            // room holds eight: bytes written past the plain ones are written again.
            if (end - i >= 8) {
                uint64_t word;
                std::memcpy(&word, text.data() + i, 8);
                const size_t plain = PlainPrefix(word, latin1);
                std::memcpy(to, &word, 8);
                to += plain;
                i += plain;
                if (plain == 8) continue;
            }
            // One byte (two for an escaped C1 control in UTF-8).
            const char c = text[i++];
            auto b = static_cast<unsigned char>(c);
            if (kPlain[b] & plainMask) {
                *to++ = c;
                continue;
            }
            if (!latin1 && b == 0xC2) {
                // U+0080 to U+009F is escaped as a C1 control; any other sequence stands.
                const auto next = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
                if (next < 0x80 || next > 0x9F) {
                    *to++ = c;
                    continue;
                }
                b = next;
                ++i;
            } else if (b >= 0xA0) {
                *to++ = static_cast<char>(0xC0 | (b >> 6));
                *to++ = static_cast<char>(0x80 | (b & 0x3F));
                continue;
            }
            to = EscapeControl(b, to);
        }
        if (i >= text.size()) break;
        FSize = static_cast<size_t>(to - FData.get());
        to = Room(std::min(text.size() - i, kPiece) * 6 + 8);
    }
    *to++ = '"';
    FSize = static_cast<size_t>(to - FData.get());
}
