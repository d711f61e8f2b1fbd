#include "xml/XMLScan.h"

#include "cab/AsciiCase.h"

#include <cstring>

namespace {

// Shared by the two quote-aware scans: the first byte at or after start accepted by match.
template <class Match>
int64_t FindOutsideQuotes(const char* data, int64_t length, int64_t start, Match match) {
    if (start < 0 || start >= length) return -1;
    char quote = 0;
    for (int64_t i = start; i < length; ++i) {
        const char c = data[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (match(c)) {
            return i;
        }
    }
    return -1;
}

} // namespace

bool IsXMLSpace(char c) {
    return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

int64_t FindText(std::string_view pattern, const char* data, int64_t length, int64_t start) {
    const auto m = static_cast<int64_t>(pattern.size());
    if (start < 0 || start >= length || m == 0 || m > length - start) return -1;
    const char first = LowerAscii(pattern[0]);
    const int64_t last = length - m;
    for (int64_t i = start; i <= last; ++i) {
        if (LowerAscii(data[i]) != first) continue;
        int64_t j = 1;
        while (j < m && LowerAscii(data[i + j]) == LowerAscii(pattern[j]))
            ++j;
        if (j == m) return i;
    }
    return -1;
}

int64_t FindChar(char ch, const char* data, int64_t length, int64_t start) {
    if (start < 0 || start >= length) return -1;
    const void* hit = std::memchr(data + start, static_cast<unsigned char>(ch),
                                  static_cast<size_t>(length - start));
    return hit ? static_cast<const char*>(hit) - data : -1;
}

int64_t FindCharOutsideQuotes(char ch, const char* data, int64_t length, int64_t start) {
    return FindOutsideQuotes(data, length, start, [ch](char c) { return c == ch; });
}

int64_t FindSpaceOutsideQuotes(const char* data, int64_t length, int64_t start) {
    return FindOutsideQuotes(data, length, start, IsXMLSpace);
}

int64_t SkipSpaces(const char* data, int64_t length, int64_t start) {
    if (start < 0 || start >= length) return -1;
    for (int64_t i = start; i < length; ++i)
        if (!IsXMLSpace(data[i])) return i;
    return -1;
}

int64_t SkipSpacesBack(const char* data, int64_t length, int64_t start) {
    if (start < 0 || start >= length) return -1;
    for (int64_t i = start; i >= 0; --i)
        if (!IsXMLSpace(data[i])) return i;
    return -1;
}

bool IsVlmMarkup(const char* data, int64_t length) {
    return FindText("<vlm", data, length, 0) >= 0;
}

bool IsSetupMarkup(const char* data, int64_t length) {
    return FindText("<characteristic", data, length, 0) >= 0 &&
           FindText("<parm", data, length, 0) >= 0;
}
