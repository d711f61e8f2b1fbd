#pragma once
// tessary-info --diff: two setups compared, as text or as one JSON object.
#include "tools/JsonWriter.h"

#include <ostream>
#include <string>

struct TComparison;

// "OLD -> NEW: 2 added, 0 removed, 1 changed", then each page with differences as a counted
// table; pages without differences are left out.
void WriteDiffReport(std::ostream& out, const TComparison& comparison, const std::string& older,
                     const std::string& newer);

// old, new, same, added, removed, changed, then the records of every page's rows under
// properties, files, shortcuts, registry, signature and provisioning (each an array, empty when
// nothing of it differs).
void WriteDiffJson(TJsonWriter& out, const TComparison& comparison, const std::string& older,
                   const std::string& newer);
