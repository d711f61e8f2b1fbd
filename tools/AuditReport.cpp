#include "tools/AuditReport.h"

#include "audit/FindingsPage.h"
#include "cab/PlainText.h"
#include "report/SignaturePage.h"
#include "tools/Json.h"
#include "tools/TextReport.h"

void WriteSignatureReport(std::ostream& out, const TCabinetSignature& signature,
                          const TTrustContext& context) {
    if (signature.Verdict == TSignatureVerdict::NotSigned) return;
    const TSignaturePages pages = BuildSignaturePages(signature, context);
    WriteCountedPage(out, pages.Checks);
    WriteCountedPage(out, pages.TrustFacts);
}

void WriteFindingsReport(std::ostream& out, const std::vector<TFinding>& findings) {
    const TPage page = BuildFindingsPage(findings);
    out << '\n' << PlainText(page.Caption) << " (" << page.Rows.size() << ")\n";
    out << "  " << PlainText(FindingsHeadline(CountFindings(findings))) << '\n';
    WriteTable(out, page);
}

void WriteFindingsJson(TJsonWriter& out, const std::vector<TFinding>& findings) {
    WriteMixedPageRecords(out, BuildFindingsPage(findings));
}
