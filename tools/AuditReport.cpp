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

// The Findings page's rows, made as they are written: a setup can give a hundred thousand places.
void WriteFindingsReport(std::ostream& out, const std::vector<TFinding>& findings) {
    struct TLine {
        size_t Finding;
        size_t Group; // the group's first finding
        size_t Count; // the group's places on its own row; 0 on a place's row
    };
    std::vector<TLine> lines;
    lines.reserve(findings.size());
    // Counted as listed: a group of places is one finding, its places below it.
    size_t listed = 0;
    for (const TFindingGroup& group : GroupFindings(findings)) {
        const size_t first = group.Places.front();
        const size_t count = group.Places.size();
        lines.push_back({first, first, count});
        ++listed;
        if (count == 1) continue;
        for (const size_t place : group.Places)
            lines.push_back({place, first, 0});
    }
    out << '\n' << PlainText(kFindingsCaption) << " (" << listed << ")\n";
    out << "  " << PlainText(FindingsHeadline(CountFindings(findings))) << '\n';
    std::string places;
    WriteRows(out, {std::begin(kFindingsColumns), std::end(kFindingsColumns)}, lines.size(),
              [&](size_t r, const TCellVisitor& cell) {
                  const TLine& line = lines[r];
                  const TFinding& f = findings[line.Finding];
                  if (line.Count == 0) {
                      // Only what differs from the group's row: its place, and its own reason.
                      const bool sameWhy = f.Why == findings[line.Group].Why;
                      for (const std::string_view text :
                           {std::string_view(), std::string_view(), std::string_view(),
                            std::string_view(f.Where),
                            sameWhy ? std::string_view() : std::string_view(f.Why),
                            std::string_view()})
                          cell(text);
                      return;
                  }
                  if (line.Count > 1) places = std::to_string(line.Count) + " places";
                  for (const std::string_view text :
                       {std::string_view(SeverityText(f.Severity)), std::string_view(f.Rule),
                        std::string_view(f.Title),
                        line.Count == 1 ? std::string_view(f.Where) : std::string_view(places),
                        std::string_view(f.Why),
                        f.Accepted ? std::string_view(f.Statement) : std::string_view()})
                      cell(text);
              });
}

// Each group of the page with its places as an array below it, written from the findings: no
// page of a hundred thousand places is built for it.
void WriteFindingsJson(TJsonWriter& out, const std::vector<TFinding>& findings) {
    out.BeginArray();
    for (const TFindingGroup& group : GroupFindings(findings)) {
        TRecord record = FindingRecord(findings[group.Places.front()]);
        const size_t count = group.Places.size();
        if (count > 1) record.emplace_back("count", static_cast<int64_t>(count));
        out.BeginObject();
        WriteMixedRecordMembers(out, record);
        if (count > 1) {
            out.Key("places");
            out.BeginArray();
            for (const size_t place : group.Places) {
                out.BeginObject();
                WriteMixedRecordMembers(out, FindingRecord(findings[place]));
                out.EndObject();
            }
            out.EndArray();
        }
        out.EndObject();
    }
    out.EndArray();
}
