#pragma once
#include <nlohmann/json.hpp>

#include <string>

class TCESetup;
class TCABFile;
struct TPage;

// Model strings are 8-bit without a code page: each byte becomes the code point of its value.
[[nodiscard]] std::string Latin1ToUtf8(const std::string& text);

// The cabinet's entries in cabinet order, as the last listing holds them.
[[nodiscard]] nlohmann::ordered_json EntriesToJson(const TCABFile& cabinet);
// The loaded setup: format, project, the six tables, setupDll and the cabinet's entries.
[[nodiscard]] nlohmann::ordered_json SetupToJson(TCESetup& setup, TCABFile& cabinet);
// The records of a page's rows in model order.
[[nodiscard]] nlohmann::ordered_json PageRecordsToJson(const TPage& page);
