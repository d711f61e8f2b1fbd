#include "tools/ProgramsReport.h"

#include "cab/PlainText.h"
#include "device/DevicePage.h"
#include "programs/ProgramsPage.h"
#include "tools/Json.h"
#include "tools/TextReport.h"

#include <iterator>
#include <map>
#include <string_view>
#include <variant>

void WriteProgramsReport(std::ostream& out, const std::vector<TProgramRow>& rows,
                         const device::TDeviceDecision* decision) {
    // The list is written from the rows themselves: a page of cells for tens of thousands of
    // programs would cost more than the text.
    const std::vector<size_t> order = ProgramsPageOrder(rows);
    std::vector<std::string_view> captions(std::begin(kProgramsColumns),
                                           std::end(kProgramsColumns));
    // With a device, each program's decision, after the page's own columns.
    std::map<size_t, const char*> onDevice;
    if (decision) {
        captions.push_back(device::kRunColumn);
        for (const device::TProgramDecision& p : decision->Programs)
            onDevice[p.Row] = device::RunDecisionText(p.Outcome.Decision);
    }
    out << '\n' << kProgramsCaption << " (" << order.size() << ")\n";
    WriteRows(out, captions, order.size(), [&](size_t r, const TCellVisitor& cell) {
        VisitProgramsPageCells(rows[order[r]], cell);
        if (!decision) return;
        const auto it = onDevice.find(order[r]);
        cell(it == onDevice.end() ? "" : it->second);
    });
    TFieldTables tables(out);
    const auto field = [&](const char* name, std::string_view value) { tables.Field(name, value); };
    for (const size_t i : order) {
        const TProgramRow& program = rows[i];
        tables.Line({});
        tables.EscapedLine(program.Folder, program.Name);
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
