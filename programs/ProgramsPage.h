#pragma once
// The Programs page every front end shows: the list of the setup's programs and the fields of
// one program, built from the analysis rows.
#include "programs/Programs.h"
#include "report/Page.h"
#include "report/SetupPages.h"

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

// "ARM", or "Any CPU (.NET)" for an assembly that runs anywhere; empty for a file not read.
[[nodiscard]] std::string ProgramCpuText(const TProgramRow& row);
// "4.20": the minor number with two digits, as linkers write it.
[[nodiscard]] std::string SubsystemVersionText(const TPEImage& image);

// "Programs": the rows IsProgramsRow takes, sorted by caption; columns File Name, Folder, CPU,
// Kind, Version, Company, Mismatch. Source is the row's index in rows. Records:
// Name, Folder, Entry, Size, Status, Machine, CPU, Kind, Subsystem, SubsystemName,
// SubsystemVersion, Imports (the names joined by ", "), DotNet, RuntimeVersion, AnyCpu,
// Signed, FileVersion, ProductVersion, CompanyName, FileDescription, ProductName,
// OriginalFilename, Mismatch, Notes (joined by " "), SetupDll; what a file that was not read
// cannot say is null. A setup DLL's Kind cell reads "Setup DLL".
[[nodiscard]] TPage BuildProgramsPage(const std::vector<TProgramRow>& rows,
                                      const TReportOptions& options = {});
inline constexpr const char* kProgramsCaption = "Programs";
inline constexpr const char* kProgramsColumns[7] = {"File Name", "Folder",  "CPU",     "Kind",
                                                    "Version",   "Company", "Mismatch"};
// The same page without building it, for a writer of many programs: its rows in order (indices
// into rows), and one row's cell texts in column order, each living only for its call.
[[nodiscard]] std::vector<size_t> ProgramsPageOrder(const std::vector<TProgramRow>& rows,
                                                    const TReportOptions& options = {});
void VisitProgramsPageCells(const TProgramRow& row, const TCellVisitor& cell);

// One field of a record as a writer sees it: a text lives only for the visitor's call.
using TFieldView = std::variant<std::monostate, bool, int64_t, std::string_view>;
using TProgramRecordVisitor = std::function<void(const char* name, const TFieldView& value)>;
// The fields of the row's record (see BuildProgramsPage) in order, without making one: a writer
// of tens of thousands of programs writes each straight out.
void VisitProgramRecord(const TProgramRow& row, const TProgramRecordVisitor& field);

// One program's fields as "Field" and "Value" rows, captioned with its folder and name.
[[nodiscard]] TPage BuildProgramDetailsPage(const TProgramRow& row);
// The same rows as (field, value) pairs, for a writer that needs no page.
using TDetailFields = std::vector<std::pair<const char*, std::string>>;
[[nodiscard]] TDetailFields ProgramDetailFields(const TProgramRow& row);
// The same fields handed over one by one, for a writer of many programs that keeps no copies: a
// value lives only for the call.
using TDetailFieldVisitor = std::function<void(const char* field, std::string_view value)>;
void VisitProgramDetailFields(const TProgramRow& row, const TDetailFieldVisitor& field);
inline constexpr const char* kProgramDetailColumns[2] = {"Field", "Value"};

// The Programs node's status line once every file is read: "Total of programs: N" and, when
// some are, ", M built for another CPU" (rows: every file row, marked; listed: the page's rows).
[[nodiscard]] std::string ProgramsStatusText(const std::vector<TProgramRow>& rows, size_t listed);
