#include "report/Page.h"

#include <algorithm>
#include <cstring>

const std::string* TextOf(const TValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return text;
    if (const auto* shared = std::get_if<TSharedText>(&value)) return shared->get();
    return nullptr;
}

const TValue* FindField(const TRecord& record, const char* key) {
    for (const auto& [name, value] : record)
        if (std::strcmp(name, key) == 0) return &value;
    return nullptr;
}

size_t TTreePage::Add(size_t parent, std::string caption, TIconKind icon) {
    const size_t index = Nodes.size();
    TTreeNode& node = Nodes.emplace_back();
    node.Caption = std::move(caption);
    node.Icon = icon;
    node.Parent = parent;
    std::vector<size_t>& siblings = parent == kNoNode ? TopLevel : Nodes[parent].Children;
    node.Row = siblings.size();
    siblings.push_back(index);
    return index;
}

void TRecordFields::operator()(const char* name, int64_t value) const {
    Record.emplace_back(name, value);
}

void TRecordFields::operator()(const char* name, const std::string& value) const {
    Record.emplace_back(name, value);
}

void TRecordFields::operator()(const char* name, std::string_view value) const {
    Record.emplace_back(name, std::string(value));
}

void TRecordFields::operator()(const char* name, std::monostate) const {
    Record.emplace_back(name, TValue());
}

std::vector<const TRow*> InModelOrder(const TPage& page) {
    std::vector<const TRow*> rows;
    rows.reserve(page.Rows.size());
    for (const TRow& row : page.Rows)
        rows.push_back(&row);
    std::stable_sort(rows.begin(), rows.end(),
                     [](const TRow* a, const TRow* b) { return a->Source < b->Source; });
    return rows;
}

TCell TextCell(std::string text, TAlign align, TIconKind icon) {
    TCell cell;
    cell.SortKey = text;
    cell.Text = std::move(text);
    cell.Align = align;
    cell.Icon = icon;
    return cell;
}

TPage FieldsPage(const TPage& page, const TRow& row, size_t skipEmptyFrom) {
    TPage fields;
    fields.Caption = page.Caption;
    fields.Columns = {{"Field"}, {"Value"}};
    for (size_t c = 0; c < row.Cells.size() && c < page.Columns.size(); ++c) {
        if (c >= skipEmptyFrom && row.Cells[c].Text.empty()) continue;
        TRow& field = fields.Rows.emplace_back();
        field.Source = c;
        field.Cells = {TextCell(page.Columns[c].Caption), TextCell(row.Cells[c].Text)};
    }
    return fields;
}
