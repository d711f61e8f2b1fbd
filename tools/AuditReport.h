#pragma once
// The Findings section of --audit as text and as the JSON "findings" array.
#include "audit/Audit.h"

#include "tools/JsonWriter.h"

#include <ostream>
#include <vector>

// A blank line, "Findings (N)", the headline, then the findings' table.
void WriteFindingsReport(std::ostream& out, const std::vector<TFinding>& findings);
void WriteFindingsJson(TJsonWriter& out, const std::vector<TFinding>& findings);
