#pragma once
// The Findings section of --audit as text and as the JSON "findings" array.
#include "audit/Audit.h"

#include "tools/JsonWriter.h"

#include <ostream>
#include <vector>

// When the cabinet is signed: its "Checks" and "Trust" pages, each after a blank line.
void WriteSignatureReport(std::ostream& out, const TCabinetSignature& signature,
                          const TTrustContext& context);
// A blank line, "Findings (N)", the headline, then the findings' table.
void WriteFindingsReport(std::ostream& out, const std::vector<TFinding>& findings);
void WriteFindingsJson(TJsonWriter& out, const std::vector<TFinding>& findings);
