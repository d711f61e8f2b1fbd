#include "tools/AuditReport.h"

#include "audit/FindingsPage.h"
#include "cab/PlainText.h"
#include "report/SignaturePage.h"
#include "tools/Json.h"
#include "tools/TextReport.h"

#include <algorithm>

void WriteSignatureReport(std::ostream& out, const TCabinetSignature& signature,
                          const TTrustContext& context) {
    if (signature.Verdict == TSignatureVerdict::NotSigned) return;
    const TSignaturePages pages = BuildSignaturePages(signature, context);
    WriteCountedPage(out, pages.Checks);
    WriteCountedPage(out, pages.TrustFacts);
}

void WriteFindingsReport(std::ostream& out, const std::vector<TFinding>& findings) {
    const TPage page = BuildFindingsPage(findings, false);
    // Counted as listed: a group of places is one finding, its places below it.
    const auto listed = std::count_if(page.Rows.begin(), page.Rows.end(),
                                      [](const TRow& row) { return !IsFindingPlaceRow(row); });
    out << '\n' << PlainText(page.Caption) << " (" << listed << ")\n";
    out << "  " << PlainText(FindingsHeadline(CountFindings(findings))) << '\n';
    WriteTable(out, page);
}

void WriteFindingsJson(TJsonWriter& out, const std::vector<TFinding>& findings) {
    WriteNestedPageRecords(out, BuildFindingsPage(findings), "places");
}
