#include "audit/FindingsPage.h"

#include <iterator>

namespace {

TIconKind SeverityIcon(TSeverity severity) {
    return severity == TSeverity::Warning  ? TIconKind::Warning
           : severity == TSeverity::Notice ? TIconKind::Notice
                                           : TIconKind::Info;
}

} // namespace

TRecord FindingRecord(const TFinding& f) {
    const bool onPage = f.Page != TFindingPage::None;
    return {{"severity", std::string(SeverityText(f.Severity))},
            {"rule", std::string(f.Rule)},
            {"title", f.Title},
            {"where", f.Where},
            {"why", f.Why},
            {"page", onPage ? TValue(std::string(FindingPageName(f.Page))) : TValue()},
            {"row", onPage ? TValue(static_cast<int64_t>(f.Row)) : TValue()},
            {"accepted", f.Accepted},
            {"statement", f.Accepted ? TValue(f.Statement) : TValue()}};
}

TPage BuildFindingsPage(const std::vector<TFinding>& findings, bool records) {
    TPage page;
    page.Caption = kFindingsCaption;
    const int widths[] = {80, 130, 220, 260, 400, 300};
    for (size_t c = 0; c < std::size(widths); ++c)
        page.Columns.push_back({std::string(kFindingsColumns[c]), widths[c], TAlign::Left, true});
    page.Rows.reserve(findings.size());
    for (const TFindingGroup& group : GroupFindings(findings)) {
        const size_t first = group.Places.front();
        const TFinding& f = findings[first];
        const size_t count = group.Places.size();
        const size_t groupRow = page.Rows.size();
        TRow& row = page.Rows.emplace_back();
        row.Source = first;
        row.Cells = {TextCell(SeverityText(f.Severity), TAlign::Left, SeverityIcon(f.Severity)),
                     TextCell(f.Rule), TextCell(f.Title),
                     TextCell(count == 1 ? f.Where : std::to_string(count) + " places"),
                     TextCell(f.Why)};
        row.Cells.push_back(TextCell(f.Accepted ? f.Statement : std::string()));
        row.Dimmed = f.Accepted;
        // Warnings sort before notices and notices before infos, not by their words.
        row.Cells.front().SortKey = static_cast<int64_t>(f.Severity);
        if (records) row.Record = FindingRecord(f);
        if (count == 1) continue;
        if (records) row.Record.emplace_back("count", static_cast<int64_t>(count));
        for (const size_t place : group.Places) {
            const TFinding& p = findings[place];
            TRow& placeRow = page.Rows.emplace_back();
            placeRow.Source = place;
            placeRow.Node = groupRow;
            // Only what differs from the group's row: its place, and its reason when its own.
            placeRow.Cells = {TextCell(""),
                              TextCell(""),
                              TextCell(""),
                              TextCell(p.Where),
                              TextCell(p.Why == f.Why ? std::string() : p.Why),
                              TextCell("")};
            placeRow.Cells.front().SortKey = static_cast<int64_t>(p.Severity);
            placeRow.Dimmed = p.Accepted;
            if (records) placeRow.Record = FindingRecord(p);
        }
    }
    return page;
}

bool IsFindingPlaceRow(const TRow& row) {
    return row.Node != kNoNode;
}

TTreePage FindingsTree(TPage& page) {
    TTreePage tree;
    std::vector<size_t> nodeOf(page.Rows.size(), kNoNode);
    for (size_t i = 0; i < page.Rows.size(); ++i) {
        TRow& row = page.Rows[i];
        const size_t parent = IsFindingPlaceRow(row) && row.Node < i ? nodeOf[row.Node] : kNoNode;
        nodeOf[i] = tree.Add(parent, {}, TIconKind::None);
        tree.Nodes[nodeOf[i]].Rows.push_back(i);
        row.Node = nodeOf[i];
    }
    return tree;
}

TPage BuildRulesPage() {
    TPage page;
    page.Caption = "Rules";
    page.Columns = {{"Rule", 130, TAlign::Left, true},
                    {"Severity", 80, TAlign::Left, true},
                    {"Group", 160, TAlign::Left, true},
                    {"Title", 260, TAlign::Left, true},
                    {"Help", 600, TAlign::Left, true}};
    const std::span<const TAuditRule> rules = AuditRules();
    page.Rows.reserve(rules.size());
    for (size_t i = 0; i < rules.size(); ++i) {
        const TAuditRule& rule = rules[i];
        TRow& row = page.Rows.emplace_back();
        row.Source = i;
        const std::string help = rule.Help ? rule.Help : "";
        const std::string anchor = rule.Anchor ? rule.Anchor : "";
        row.Cells = {TextCell(rule.Id), TextCell(SeverityText(rule.Severity)), TextCell(rule.Group),
                     TextCell(rule.Title), TextCell(help)};
        row.Record = {{"id", std::string(rule.Id)},
                      {"severity", std::string(SeverityText(rule.Severity))},
                      {"group", std::string(rule.Group)},
                      {"title", std::string(rule.Title)},
                      {"help", help},
                      {"anchor", anchor}};
    }
    return page;
}
