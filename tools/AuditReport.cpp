#include "tools/AuditReport.h"

#include "audit/FindingsPage.h"
#include "cab/PlainText.h"
#include "tools/Json.h"
#include "tools/TextReport.h"

void WriteFindingsReport(std::ostream& out, const std::vector<TFinding>& findings) {
    const TPage page = BuildFindingsPage(findings);
    out << '\n' << PlainText(page.Caption) << " (" << page.Rows.size() << ")\n";
    out << "  " << PlainText(FindingsHeadline(CountFindings(findings))) << '\n';
    WriteTable(out, page);
}

void WriteFindingsJson(TJsonWriter& out, const std::vector<TFinding>& findings) {
    WriteMixedPageRecords(out, BuildFindingsPage(findings));
}
