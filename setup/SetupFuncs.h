#pragma once
// String helpers shared by the readers, the facade and the window. Device paths use "\".
#include <string>

// The text ending in "\"; an empty text gives "\".
[[nodiscard]] std::string IncludeBackslash(const std::string& text);
// The text without one trailing "\".
[[nodiscard]] std::string ExcludeBackslash(const std::string& text);
// The text before the last "."; unchanged without a ".".
[[nodiscard]] std::string StripExtension(const std::string& text);

// ASCII-only case folding: only the letters a to z and A to Z change.
[[nodiscard]] std::string UpperCaseAscii(std::string text);
[[nodiscard]] std::string LowerCaseAscii(std::string text);
[[nodiscard]] bool SameTextAscii(const std::string& a, const std::string& b);
// The part of a device path after its last "\".
[[nodiscard]] std::string DeviceFileNamePart(const std::string& path);
