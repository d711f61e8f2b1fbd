#include "tools/ProgramsReport.h"

#include "cab/PlainText.h"
#include "device/DevicePage.h"
#include "programs/ProgramsPage.h"
#include "tools/Json.h"
#include "tools/TextReport.h"

#include <numeric>

void WriteProgramsReport(std::ostream& out, const std::vector<TProgramRow>& rows,
                         const device::TDeviceDecision* decision) {
    TPage page = BuildProgramsPage(rows);
    if (decision) device::AddRunColumn(page, *decision);
    WriteCountedPage(out, page);
    for (const TRow& row : page.Rows) {
        const TProgramRow& program = rows[row.Source];
        out << '\n' << PlainText(program.Folder + program.Name) << '\n';
        WriteFieldTable(out, kProgramDetailColumns, ProgramDetailFields(program));
    }
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
