#include "compare/Comparison.h"

#include "cab/AsciiCase.h"

#include <map>
#include <optional>

namespace {

// One page's identity and value columns, with the record names behind them.
struct TNamed {
    const char* Caption;
    const char* Field;
};
struct TValueColumn {
    const char* OldCaption;
    const char* OldField;
    const char* NewCaption;
    const char* NewField;
};
struct TKind {
    const char* Caption;
    std::vector<TNamed> Identity;
    std::vector<TValueColumn> Values;
    bool InPageOrder; // else by identity
};

const TKind kProperties{"Properties",
                        {{"Property", "property"}},
                        {{"Old Value", "oldValue", "New Value", "newValue"}},
                        true};
const TKind kShortcuts{
    "Shortcuts", {{"Title", "title"}, {"File Name", "fileName"}, {"Folder", "folder"}}, {}, false};
const TKind kRegistry{"Registry Values",
                      {{"Key", "key"}, {"Value Name", "name"}},
                      {{"Old Type", "oldType", "New Type", "newType"},
                       {"Old Value", "oldValue", "New Value", "newValue"}},
                      false};
const TKind kSignature{
    "Signature", {{"Field", "field"}}, {{"Old Value", "oldValue", "New Value", "newValue"}}, true};
const TKind kProvisioning{"Provisioning",
                          {
                              {"Path", "path"},
                          },
                          {{"Old Value", "oldValue", "New Value", "newValue"}},
                          false};

constexpr size_t kNone = static_cast<size_t>(-1);

// Pairs of (older index, newer index), kNone for the side without the row: the n-th row of a
// key on one side with the n-th on the other.
template <typename T, typename KeyOf>
std::vector<std::pair<size_t, size_t>>
Match(const std::vector<T>& older, const std::vector<T>& newer, KeyOf keyOf, bool inPageOrder) {
    struct TGroup {
        std::vector<size_t> Older, Newer;
        size_t First = 0;
    };
    std::map<std::string, TGroup> groups;
    size_t seen = 0;
    const auto add = [&](const std::vector<T>& rows, bool isOld) {
        for (size_t i = 0; i < rows.size(); ++i) {
            auto [it, fresh] = groups.try_emplace(keyOf(rows[i]));
            if (fresh) it->second.First = seen++;
            (isOld ? it->second.Older : it->second.Newer).push_back(i);
        }
    };
    add(older, true);
    add(newer, false);
    std::vector<const TGroup*> order;
    order.reserve(groups.size());
    for (const auto& [key, group] : groups)
        order.push_back(&group);
    if (inPageOrder)
        std::sort(order.begin(), order.end(),
                  [](const TGroup* a, const TGroup* b) { return a->First < b->First; });
    std::vector<std::pair<size_t, size_t>> pairs;
    for (const TGroup* g : order)
        for (size_t n = 0; n < std::max(g->Older.size(), g->Newer.size()); ++n)
            pairs.emplace_back(n < g->Older.size() ? g->Older[n] : kNone,
                               n < g->Newer.size() ? g->Newer[n] : kNone);
    return pairs;
}

class TPageBuilder {
  public:
    TPageBuilder(TComparison& comparison, std::string caption) : FComparison(comparison) {
        FPage.Caption = std::move(caption);
        FPage.Columns.push_back({"Change", 70, TAlign::Left, true});
    }
    void Column(const char* caption, TAlign align = TAlign::Left) {
        FPage.Columns.push_back({caption, 120, align, true});
    }
    TRow& Add(TChange change) {
        TRow& row = FPage.Rows.emplace_back();
        row.Source = FPage.Rows.size() - 1;
        static const TIconKind icons[] = {TIconKind::Added, TIconKind::Removed, TIconKind::Changed};
        static const char* const words[] = {"added", "removed", "changed"};
        row.Cells.push_back(
            TextCell(ChangeCaption(change), TAlign::Left, icons[static_cast<int>(change)]));
        row.Record.emplace_back("change", std::string(words[static_cast<int>(change)]));
        (change == TChange::Added     ? FComparison.Added
         : change == TChange::Removed ? FComparison.Removed
                                      : FComparison.Changed)++;
        return row;
    }
    void Done() { FComparison.Pages.push_back(std::move(FPage)); }

  private:
    TComparison& FComparison;
    TPage FPage;
};

void AddText(TRow& row, const char* field, const std::string& text) {
    row.Cells.push_back(TextCell(text));
    row.Record.emplace_back(field, text);
}

void CompareFacts(TComparison& comparison, const TKind& kind, const std::vector<TFact>& older,
                  const std::vector<TFact>& newer) {
    TPageBuilder page(comparison, kind.Caption);
    for (const TNamed& column : kind.Identity)
        page.Column(column.Caption);
    for (const TValueColumn& column : kind.Values)
        page.Column(column.OldCaption);
    for (const TValueColumn& column : kind.Values)
        page.Column(column.NewCaption);
    const auto pairs = Match(
        older, newer, [](const TFact& f) { return f.Key; }, kind.InPageOrder);
    for (const auto& [o, n] : pairs) {
        const TFact* before = o == kNone ? nullptr : &older[o];
        const TFact* after = n == kNone ? nullptr : &newer[n];
        if (before && after && before->Values == after->Values) continue;
        TRow& row = page.Add(!before  ? TChange::Added
                             : !after ? TChange::Removed
                                      : TChange::Changed);
        // The older side names a changed row; an added one has only its newer name.
        const TFact& named = before ? *before : *after;
        for (size_t c = 0; c < kind.Identity.size(); ++c)
            AddText(row, kind.Identity[c].Field, named.Identity[c]);
        const auto value = [](const TFact* f, size_t c) {
            return f && c < f->Values.size() ? f->Values[c] : std::string();
        };
        for (size_t c = 0; c < kind.Values.size(); ++c)
            AddText(row, kind.Values[c].OldField, value(before, c));
        for (size_t c = 0; c < kind.Values.size(); ++c)
            AddText(row, kind.Values[c].NewField, value(after, c));
    }
    page.Done();
}

std::string FileKey(const TFileFacts& f) {
    return UpperCaseAscii(f.Folder) + '\0' + UpperCaseAscii(f.Name);
}

// "Size, Content, Version, CPU": what differs between two files of one name.
std::string FileChanges(const TFileFacts& a, const TFileFacts& b) {
    std::string text;
    const auto add = [&text](bool differs, const char* what) {
        if (!differs) return;
        if (!text.empty()) text += ", ";
        text += what;
    };
    add(a.Size != b.Size, "Size");
    add(a.Sha256 != b.Sha256, "Content");
    add(a.Version != b.Version, "Version");
    add(a.Cpu != b.Cpu, "CPU");
    return text;
}

TValue SizeValue(const TFileFacts* f) {
    return f && f->Size >= 0 ? TValue(f->Size) : TValue();
}
TValue TextValue(const TFileFacts* f, std::string TFileFacts::*field) {
    return f && !(f->*field).empty() ? TValue(f->*field) : TValue();
}

void CompareFiles(TComparison& comparison, const std::vector<TFileFacts>& older,
                  const std::vector<TFileFacts>& newer) {
    TPageBuilder page(comparison, "Files");
    page.Column("File Name");
    page.Column("Folder");
    page.Column("Old Size", TAlign::Right);
    page.Column("New Size", TAlign::Right);
    page.Column("Differences");
    for (const auto& [o, n] : Match(older, newer, FileKey, false)) {
        const TFileFacts* before = o == kNone ? nullptr : &older[o];
        const TFileFacts* after = n == kNone ? nullptr : &newer[n];
        const std::string changes = before && after ? FileChanges(*before, *after) : "";
        if (before && after && changes.empty()) continue;
        TRow& row = page.Add(!before  ? TChange::Added
                             : !after ? TChange::Removed
                                      : TChange::Changed);
        const TFileFacts& named = before ? *before : *after;
        AddText(row, "name", named.Name);
        AddText(row, "folder", named.Folder);
        for (const TFileFacts* f : {before, after}) {
            TCell size = TextCell(f && f->Size >= 0 ? std::to_string(f->Size) : "", TAlign::Right);
            size.SortKey = f ? f->Size : int64_t{-1};
            row.Cells.push_back(std::move(size));
        }
        row.Cells.push_back(TextCell(changes));
        row.Record.emplace_back("oldSize", SizeValue(before));
        row.Record.emplace_back("newSize", SizeValue(after));
        row.Record.emplace_back("oldSha256", TextValue(before, &TFileFacts::Sha256));
        row.Record.emplace_back("newSha256", TextValue(after, &TFileFacts::Sha256));
        row.Record.emplace_back("oldVersion", TextValue(before, &TFileFacts::Version));
        row.Record.emplace_back("newVersion", TextValue(after, &TFileFacts::Version));
        row.Record.emplace_back("oldCpu", TextValue(before, &TFileFacts::Cpu));
        row.Record.emplace_back("newCpu", TextValue(after, &TFileFacts::Cpu));
        row.Record.emplace_back("differences", changes);
    }
    page.Done();
}

} // namespace

TCabinetComparison CompareCabinets(const std::string& older, const std::string& newer,
                                   const TCancelled& cancelled,
                                   const std::function<void()>& sideRead) {
    TCabinetComparison run;
    TSetupFacts facts[2];
    run.Result = ReadBothSetupFacts(older, newer, facts, cancelled, sideRead);
    if (run.Result.Status != TFactsStatus::Read) return run;
    try {
        run.Comparison = CompareSetups(facts[0], facts[1]);
    } catch (const std::bad_alloc&) {
        run.Result = {TFactsStatus::Failed, "Not enough memory to compare the two setups"};
    } catch (const std::exception& e) {
        run.Result = {TFactsStatus::Failed,
                      std::string("The two setups could not be compared: ") + e.what()};
    }
    return run;
}

TComparison CompareSetups(const TSetupFacts& older, const TSetupFacts& newer) {
    TComparison comparison;
    CompareFacts(comparison, kProperties, older.Properties, newer.Properties);
    CompareFiles(comparison, older.Files, newer.Files);
    CompareFacts(comparison, kShortcuts, older.Shortcuts, newer.Shortcuts);
    CompareFacts(comparison, kRegistry, older.Registry, newer.Registry);
    CompareFacts(comparison, kSignature, older.Signature, newer.Signature);
    CompareFacts(comparison, kProvisioning, older.Provisioning, newer.Provisioning);
    return comparison;
}

TComparisonTree BuildComparisonTree(const TComparison& comparison) {
    static const TIconKind pageIcons[] = {TIconKind::Setup,     TIconKind::Files,
                                          TIconKind::Shortcuts, TIconKind::Registry,
                                          TIconKind::None,      TIconKind::None};
    TComparisonTree out;
    out.Tree.Caption = out.Rows.Caption = "Comparison";
    out.Rows.Columns = {{"Difference", 260, TAlign::Left, true},
                        {"Change", 70, TAlign::Left, true},
                        {"Old", 160, TAlign::Left, true},
                        {"New", 160, TAlign::Left, true},
                        {"What Changed", 120, TAlign::Left, true}};
    const auto add = [&out](size_t parent, std::string caption, TIconKind icon) -> TRow& {
        const size_t node = out.Tree.Add(parent, caption, icon);
        out.Tree.Nodes[node].Rows.push_back(out.Rows.Rows.size());
        TRow& row = out.Rows.Rows.emplace_back();
        row.Source = out.Rows.Rows.size() - 1;
        row.Node = node;
        row.Cells = {TextCell(std::move(caption), TAlign::Left, icon), TextCell(""), TextCell(""),
                     TextCell(""), TextCell("")};
        return row;
    };
    if (comparison.Same()) add(kNoNode, ComparisonSummary(comparison), TIconKind::None);
    for (size_t p = 0; p < comparison.Pages.size(); ++p) {
        const TPage& page = comparison.Pages[p];
        if (page.Rows.empty()) continue;
        const size_t pageNode = out.Tree.Nodes.size();
        add(kNoNode, page.Caption + " (" + std::to_string(page.Rows.size()) + ")",
            p < std::size(pageIcons) ? pageIcons[p] : TIconKind::None);
        out.Tree.Nodes[pageNode].Expanded = true;
        for (const TRow& source : page.Rows) {
            std::string identity, older, newer, what;
            const auto join = [](std::string& text, const std::string& part, const char* glue) {
                if (!text.empty()) text += glue;
                text += part;
            };
            for (size_t c = 1; c < source.Cells.size() && c < page.Columns.size(); ++c) {
                const std::string& caption = page.Columns[c].Caption;
                const std::string& text = source.Cells[c].Text;
                if (caption.rfind("Old ", 0) == 0)
                    join(older, text, ": ");
                else if (caption.rfind("New ", 0) == 0)
                    join(newer, text, ": ");
                else if (caption == "Differences")
                    what = text;
                else
                    join(identity, text, ", ");
            }
            const TChange change = ChangeOf(source);
            TRow& row = add(pageNode, identity, source.Cells[0].Icon);
            row.Cells[1] = TextCell(ChangeCaption(change));
            // The side without the row has nothing to show, not an empty value.
            row.Cells[2] = TextCell(change == TChange::Added ? "" : older);
            row.Cells[3] = TextCell(change == TChange::Removed ? "" : newer);
            row.Cells[4] = TextCell(what);
            row.Record = source.Record;
        }
    }
    return out;
}

const char* ChangeCaption(TChange change) {
    switch (change) {
    case TChange::Added:
        return "Added";
    case TChange::Removed:
        return "Removed";
    case TChange::Changed:
        return "Changed";
    }
    return "";
}

TChange ChangeOf(const TRow& row) {
    const TValue* change = FindField(row.Record, "change");
    const std::string* word = change ? TextOf(*change) : nullptr;
    if (word && *word == "added") return TChange::Added;
    if (word && *word == "removed") return TChange::Removed;
    return TChange::Changed;
}

std::string ComparisonSummary(const TComparison& comparison) {
    if (comparison.Same()) return "no differences";
    return std::to_string(comparison.Added) + " added, " + std::to_string(comparison.Removed) +
           " removed, " + std::to_string(comparison.Changed) + " changed";
}
