#pragma once
// String helpers shared by the readers, the facade and the window. Device paths use "\".
#include "cab/AsciiCase.h"

#include <string>

// The text ending in "\"; an empty text gives "\".
[[nodiscard]] std::string IncludeBackslash(const std::string& text);
// The text without one trailing "\".
[[nodiscard]] std::string ExcludeBackslash(const std::string& text);
// The text before the last "."; unchanged without a ".".
[[nodiscard]] std::string StripExtension(const std::string& text);

// The part of a device path after its last "\".
[[nodiscard]] std::string DeviceFileNamePart(const std::string& path);
