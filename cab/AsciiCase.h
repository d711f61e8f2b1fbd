#pragma once
// ASCII-only case folding, the one place for it: only the letters a to z and A to Z change,
// whatever the locale. Every layer above folds device names, paths and keys through these.
#include <string>
#include <string_view>

[[nodiscard]] constexpr char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
[[nodiscard]] constexpr char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

[[nodiscard]] std::string UpperCaseAscii(std::string text);
[[nodiscard]] std::string LowerCaseAscii(std::string text);
// Equal when equal after upper-casing the ASCII letters.
[[nodiscard]] bool SameTextAscii(std::string_view a, std::string_view b);
