#include "tools/AuditReport.h"

#include "audit/FindingsPage.h"
#include "tools/Json.h"
#include "tools/TextReport.h"

void WriteFindingsReport(std::ostream& out, const std::vector<TFinding>& findings) {
    const TPage page = BuildFindingsPage(findings);
    out << '\n' << page.Caption << " (" << page.Rows.size() << ")\n";
    out << "  " << FindingsHeadline(CountFindings(findings)) << '\n';
    WriteTable(out, page);
}

nlohmann::ordered_json FindingsToJson(const std::vector<TFinding>& findings) {
    return PageRecordsToJson(BuildFindingsPage(findings));
}
