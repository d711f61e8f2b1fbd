#pragma once
#include <string>

// Model strings are 8-bit without a code page: each byte becomes the code point of its value.
[[nodiscard]] std::string Latin1ToUtf8(const std::string& text);
