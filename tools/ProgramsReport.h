#pragma once
// The Programs section of the audit: the rows of the Programs page as text and as JSON.
#include "programs/Programs.h"

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>
#include <vector>

// "ARM", or "Any CPU (.NET)" for an assembly that runs anywhere.
[[nodiscard]] std::string ProgramCpuText(const TProgramRow& row);
// "4.20": the minor number with two digits, as linkers write it.
[[nodiscard]] std::string SubsystemVersionText(const TPEImage& image);

// The list of the Programs page, then each program's fields.
void WriteProgramsReport(std::ostream& out, const std::vector<TProgramRow>& rows);
// One object per row of the Programs page, in the setup's file order.
[[nodiscard]] nlohmann::ordered_json ProgramsToJson(const std::vector<TProgramRow>& rows);
