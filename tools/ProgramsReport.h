#pragma once
// The Programs section of the audit: the Programs page and each program's fields as text, and
// the page's records as the JSON "binaries" array.
#include "device/Decision.h"
#include "programs/Programs.h"

#include "tools/JsonWriter.h"

#include <ostream>
#include <vector>

// The list of the Programs page (with a device decision, its "On Device" column after the
// page's own), then each listed program's fields.
void WriteProgramsReport(std::ostream& out, const std::vector<TProgramRow>& rows,
                         const device::TDeviceDecision* decision = nullptr);
// One object per row of the Programs page, in the setup's file order, as an array.
void WriteProgramsJson(TJsonWriter& out, const std::vector<TProgramRow>& rows);
