#pragma once
#include <nlohmann/json.hpp>

#include <string>

class TCESetup;
class TCABFile;
struct TCabinetSignature;
struct TPage;

// Model strings are 8-bit without a code page: each byte becomes the code point of its value.
[[nodiscard]] std::string Latin1ToUtf8(const std::string& text);

// The cabinet's entries in cabinet order, as the last listing holds them.
[[nodiscard]] nlohmann::ordered_json EntriesToJson(const TCABFile& cabinet);
// The signature's verdict, certificates and checks.
[[nodiscard]] nlohmann::ordered_json SignatureToJson(const TCabinetSignature& signature);
// The loaded setup: format, project, the six tables, setupDll, the cabinet's entries, its
// signature and its provisioning document.
[[nodiscard]] nlohmann::ordered_json SetupToJson(TCESetup& setup, TCABFile& cabinet);

// The cabinet's "_setup.xml" as provisioning rows, certificates and counts; null without one.
// Texts that are valid UTF-8 stay as they are, others are taken as 8-bit.
[[nodiscard]] nlohmann::ordered_json ProvisioningToJson(TCESetup& setup, TCABFile& cabinet);
// The records of a page's rows in model order.
[[nodiscard]] nlohmann::ordered_json PageRecordsToJson(const TPage& page);
