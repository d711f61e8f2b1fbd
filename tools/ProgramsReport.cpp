#include "tools/ProgramsReport.h"

#include "cab/PlainText.h"
#include "device/DevicePage.h"
#include "programs/ProgramsPage.h"
#include "tools/Json.h"
#include "tools/TextReport.h"

#include <string_view>
#include <variant>

void WriteProgramsReport(std::ostream& out, const std::vector<TProgramRow>& rows,
                         const device::TDeviceDecision* decision) {
    // The text shows no records: the page is built without them.
    TReportOptions options;
    options.Records = false;
    TPage page = BuildProgramsPage(rows, options);
    if (decision) device::AddRunColumn(page, *decision);
    WriteCountedPage(out, page);
    TFieldTables tables(out);
    const auto field = [&](const char* name, std::string_view value) { tables.Field(name, value); };
    for (const TRow& row : page.Rows) {
        const TProgramRow& program = rows[row.Source];
        tables.Line({});
        tables.Line(PlainText(program.Folder + program.Name));
        tables.Begin(kProgramDetailColumns);
        VisitProgramDetailFields(program, field);
        tables.End();
    }
    tables.Flush();
}

void WriteProgramsJson(TJsonWriter& out, const std::vector<TProgramRow>& rows) {
    // The setup's file order, each record written as it is visited: no page, no records.
    const auto member = [&](const char* name, const TFieldView& value) {
        out.Key(name);
        if (const auto* text = std::get_if<std::string_view>(&value))
            WriteMixedText(out, *text);
        else if (const auto* number = std::get_if<int64_t>(&value))
            out.Int(*number);
        else if (const auto* flag = std::get_if<bool>(&value))
            out.Bool(*flag);
        else
            out.Null();
    };
    out.BeginArray();
    for (const TProgramRow& row : rows) {
        if (!IsProgramsRow(row)) continue;
        out.BeginObject();
        VisitProgramRecord(row, member);
        out.EndObject();
    }
    out.EndArray();
}
