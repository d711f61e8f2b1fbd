#pragma once
// Byte-range scanners of the markup parser. Each takes the range as data and length and a start
// index, and answers an index into the range or -1. Whitespace means tab, line feed, carriage
// return and space. No scanner reads outside [data, data + length).
#include <cstdint>
#include <string_view>

[[nodiscard]] bool IsXMLSpace(char c);

// First occurrence of pattern at or after start lying wholly inside the range; ASCII letters
// match either case.
[[nodiscard]] int64_t FindText(std::string_view pattern, const char* data, int64_t length,
                               int64_t start);
[[nodiscard]] int64_t FindChar(char ch, const char* data, int64_t length, int64_t start);
// Like FindChar, skipping runs in double or single quotes; a run still open at the end gives -1.
[[nodiscard]] int64_t FindCharOutsideQuotes(char ch, const char* data, int64_t length,
                                            int64_t start);
[[nodiscard]] int64_t FindSpaceOutsideQuotes(const char* data, int64_t length, int64_t start);
[[nodiscard]] int64_t SkipSpaces(const char* data, int64_t length, int64_t start);
// The last non-whitespace index at or before start.
[[nodiscard]] int64_t SkipSpacesBack(const char* data, int64_t length, int64_t start);

// The content probes: "<vlm" anywhere; "<characteristic" and "<parm" both somewhere.
[[nodiscard]] bool IsVlmMarkup(const char* data, int64_t length);
[[nodiscard]] bool IsSetupMarkup(const char* data, int64_t length);
