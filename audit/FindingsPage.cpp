#include "audit/FindingsPage.h"

TPage BuildFindingsPage(const std::vector<TFinding>& findings) {
    TPage page;
    page.Caption = "Findings";
    page.Columns = {{"Severity", 80, TAlign::Left, true},
                    {"Title", 220, TAlign::Left, true},
                    {"Where", 260, TAlign::Left, true},
                    {"Why", 400, TAlign::Left, true}};
    page.Rows.reserve(findings.size());
    for (size_t i = 0; i < findings.size(); ++i) {
        const TFinding& f = findings[i];
        TRow& row = page.Rows.emplace_back();
        row.Source = i;
        const TIconKind icon = f.Severity == TSeverity::Warning  ? TIconKind::Warning
                               : f.Severity == TSeverity::Notice ? TIconKind::Notice
                                                                 : TIconKind::Info;
        row.Cells = {TextCell(SeverityText(f.Severity), TAlign::Left, icon), TextCell(f.Title),
                     TextCell(f.Where), TextCell(f.Why)};
        // Warnings sort before notices and notices before infos, not by their words.
        row.Cells.front().SortKey = static_cast<int64_t>(f.Severity);
        const bool onPage = f.Page != TFindingPage::None;
        row.Record = {{"severity", std::string(SeverityText(f.Severity))},
                      {"rule", std::string(f.Rule)},
                      {"title", f.Title},
                      {"where", f.Where},
                      {"why", f.Why},
                      {"page", onPage ? TValue(std::string(FindingPageName(f.Page))) : TValue()},
                      {"row", onPage ? TValue(static_cast<int64_t>(f.Row)) : TValue()}};
    }
    return page;
}
