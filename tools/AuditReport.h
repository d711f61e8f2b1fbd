#pragma once
// The Findings section of --audit as text and as the JSON "findings" array.
#include "audit/Audit.h"

#include <nlohmann/json.hpp>

#include <ostream>
#include <vector>

// A blank line, "Findings (N)", the headline, then the findings' table.
void WriteFindingsReport(std::ostream& out, const std::vector<TFinding>& findings);
[[nodiscard]] nlohmann::ordered_json FindingsToJson(const std::vector<TFinding>& findings);
