#pragma once
// The Findings section of --audit as text and as the JSON "findings" array.
#include "audit/Audit.h"

#include <nlohmann/json.hpp>

#include <ostream>
#include <vector>

class TCESetup;
class TCABFile;

// Every rule over the loaded setup, its cabinet (signature, "_setup.xml", both descriptors)
// and the programs already analysed.
[[nodiscard]] std::vector<TFinding> AuditSetup(TCESetup& setup, TCABFile& cabinet,
                                               const std::vector<TProgramRow>& programs);

// A blank line, "Findings (N)", the headline, then the findings' table.
void WriteFindingsReport(std::ostream& out, const std::vector<TFinding>& findings);
[[nodiscard]] nlohmann::ordered_json FindingsToJson(const std::vector<TFinding>& findings);
