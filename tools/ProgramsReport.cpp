#include "tools/ProgramsReport.h"

#include "cab/PlainText.h"
#include "device/DevicePage.h"
#include "programs/ProgramsPage.h"
#include "tools/Json.h"
#include "tools/TextReport.h"

#include <numeric>

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
    // JSON follows the setup's file order, so the rows need no collation.
    TReportOptions options;
    options.Order = [](const std::vector<std::string>& captions) {
        std::vector<size_t> order(captions.size());
        std::iota(order.begin(), order.end(), size_t{0});
        return order;
    };
    WriteMixedPageRecords(out, BuildProgramsPage(rows, options));
}
