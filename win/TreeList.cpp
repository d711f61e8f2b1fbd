// The tree list: an owner-data list view over a page of nested nodes, one row per visible node,
// stepped in by its depth, with a glyph that opens and closes it. The Qt viewer shows the same
// pages in a tree view; a list view keeps the columns, the filter and Copy of the other pages.
#include "win/TextWin.h"
#include "win/WinCEMain.h"

#include <algorithm>
#include <commctrl.h>
#include <variant>

namespace {
// State images of a tree list's glyph: none for a leaf, then closed and open, the list's first
// and second pictures (a state image's index counts from 1).
constexpr int kGlyphClosed = 1;
constexpr int kGlyphOpen = 2;
// Deeper rows step in no further: the columns stay readable in a document nested thousands deep.
constexpr int kMaxIndent = 32;

constexpr size_t kNone = kNoNode;
} // namespace

void FilterTree(TListRows& list, const std::vector<char>& matches) {
    const size_t count = list.Rows.size();
    if (matches.empty()) {
        list.Passes.assign(count, 1);
        return;
    }
    list.Passes.assign(count, 0);
    for (size_t row = 0; row < count; ++row) {
        if (!matches[row]) continue;
        list.Passes[row] = 1;
        // Its parents pass, up to one that already does.
        for (size_t up = list.Parents[row]; up < count && !list.Passes[up]; up = list.Parents[up])
            list.Passes[up] = 1;
    }
    // Below a row that matches, everything passes: parents come before their children. A row
    // that passes only for what is below it opens, down to the rows that match.
    std::vector<char> inside(count, 0);
    for (size_t row = 0; row < count; ++row) {
        const size_t parent = list.Parents[row];
        if (parent < row && (matches[parent] || inside[parent])) inside[row] = 1;
        if (inside[row])
            list.Passes[row] = 1;
        else if (list.Passes[row] && !matches[row])
            list.Open[row] = 1;
    }
}

void RevealTree(TListRows& list) {
    list.Shown.clear();
    const size_t count = list.Rows.size();
    for (size_t row = 0; row < count;) {
        if (list.Passes.size() == count && !list.Passes[row]) {
            // Nothing below a row that does not pass passes either.
            row = list.Ends[row];
            continue;
        }
        list.Shown.push_back(row);
        row = list.Open[row] ? row + 1 : list.Ends[row];
    }
}

size_t ShownPosition(const TListRows& list, size_t row) {
    // Shown rows keep the rows' order.
    const auto found = std::lower_bound(list.Shown.begin(), list.Shown.end(), row);
    return found != list.Shown.end() && *found == row
               ? static_cast<size_t>(found - list.Shown.begin())
               : list.Shown.size();
}

std::pair<size_t, size_t> TopLevelCounts(const TListRows& list) {
    if (!list.Tree) return {list.Shown.size(), list.Rows.size()};
    size_t shown = 0, all = 0;
    for (size_t row = 0; row < list.Rows.size(); row = list.Ends[row]) {
        ++all;
        if (row >= list.Passes.size() || list.Passes[row]) ++shown;
    }
    return {shown, all};
}

void BuildTreeRows(TListRows& list, const TTreePage& tree, const TPage& page) {
    list.Tree = true;
    if (list.KeepsPage) {
        list.Page.Caption = page.Caption;
        list.Page.Columns = page.Columns;
    }
    // Preorder with a stack of the nodes still to come: no recursion, whatever the depth.
    std::vector<size_t> rowOf(tree.Nodes.size(), kNone);
    std::vector<size_t> stack(tree.TopLevel.rbegin(), tree.TopLevel.rend());
    while (!stack.empty()) {
        const size_t index = stack.back();
        stack.pop_back();
        if (index >= tree.Nodes.size() || rowOf[index] != kNone) continue;
        const TTreeNode& node = tree.Nodes[index];
        rowOf[index] = list.Rows.size();
        if (!node.Rows.empty() && node.Rows.front() < page.Rows.size()) {
            AppendListRow(list, page, page.Rows[node.Rows.front()]);
        } else {
            // A node without a row shows its caption.
            list.Rows.emplace_back(std::vector<std::wstring>{ToDisplay(node.Caption)});
            list.Images.push_back(-1);
            list.Indents.push_back(0);
            list.Sources.push_back(kNone);
            list.Dimmed.push_back(0);
            list.Colours.push_back(CLR_DEFAULT);
            if (list.KeepsPage) list.Page.Rows.emplace_back().Source = kNone;
        }
        if (list.Images.back() < 0) list.Images.back() = ListImageOf(node.Icon);
        const size_t parent = node.Parent < tree.Nodes.size() ? rowOf[node.Parent] : kNone;
        list.Parents.push_back(parent);
        list.Indents.back() = parent == kNone ? 0 : list.Indents[parent] + 1;
        list.Open.push_back(node.Expanded ? 1 : 0);
        for (auto child = node.Children.rbegin(); child != node.Children.rend(); ++child)
            stack.push_back(*child);
    }
    // A row's descendants follow it: its last one ends where its last child's do.
    const size_t count = list.Rows.size();
    list.Ends.resize(count);
    for (size_t row = 0; row < count; ++row)
        list.Ends[row] = row + 1;
    for (size_t row = count; row-- > 0;)
        if (list.Parents[row] < row)
            list.Ends[list.Parents[row]] = std::max(list.Ends[list.Parents[row]], list.Ends[row]);
    list.Passes.assign(count, 1);
}

void TfrmWinCEMain::SetTreeRows(TListRows& list, const TTreePage& tree, const TPage& page) {
    SetColumns(list, page);
    ClearList(list);
    BuildTreeRows(list, tree, page);
    // A list sorted before stays sorted, as the Qt viewer's tree does. Where each row went
    // matters only for a focus, which a list filled afresh has not.
    if (list.Sortable && list.SortColumn >= 0) {
        SortTopLevel(list, static_cast<size_t>(list.SortColumn), list.SortDescending);
        ShowSortArrow(list);
    }
    ApplyFilter(list);
}

void TfrmWinCEMain::ShowBuiltPage(TListRows& list, const TBuiltPage& built) {
    if (built.Tree)
        SetTreeRows(list, *built.Tree, built.Page);
    else
        SetRows(list, built.Page);
}

void TfrmWinCEMain::Recount(TListRows& list, size_t focus) {
    ListView_SetItemState(list.Handle, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemCountEx(list.Handle, static_cast<int>(list.Shown.size()), LVSICF_NOSCROLL);
    const size_t at = focus < list.Rows.size() ? ShownPosition(list, focus) : list.Shown.size();
    if (at < list.Shown.size()) {
        const int item = static_cast<int>(at);
        ListView_SetItemState(list.Handle, item, LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(list.Handle, item, FALSE);
    }
    InvalidateRect(list.Handle, nullptr, TRUE);
    if (&list == FocusedList()) ShowStatus();
    ShowDetails(list);
}

void TfrmWinCEMain::OpenTreeRow(TListRows& list, size_t row, bool open) {
    if (!list.HasChildren(row) || (list.Open[row] != 0) == open) return;
    const int focused = ListView_GetNextItem(list.Handle, -1, LVNI_FOCUSED);
    size_t focus = focused >= 0 && static_cast<size_t>(focused) < list.Shown.size()
                       ? list.Shown[static_cast<size_t>(focused)]
                       : row;
    // A focused row that closing hides hands the focus to the row closed.
    if (!open && focus > row && focus < list.Ends[row]) focus = row;
    list.Open[row] = open ? 1 : 0;
    RevealTree(list);
    Recount(list, focus);
}

bool TfrmWinCEMain::TreeKey(TListRows& list, WPARAM key) {
    const bool opens = key == VK_RIGHT || key == VK_ADD || key == VK_OEM_PLUS;
    const bool closes = key == VK_LEFT || key == VK_SUBTRACT || key == VK_OEM_MINUS;
    if (!list.Tree || (!opens && !closes)) return false;
    const int focused = ListView_GetNextItem(list.Handle, -1, LVNI_FOCUSED);
    if (focused < 0 || static_cast<size_t>(focused) >= list.Shown.size()) return true;
    const size_t row = list.Shown[static_cast<size_t>(focused)];
    const bool arrow = key == VK_RIGHT || key == VK_LEFT;
    if (opens && list.HasChildren(row) && !list.Open[row]) {
        OpenTreeRow(list, row, true);
    } else if (closes && list.HasChildren(row) && list.Open[row]) {
        OpenTreeRow(list, row, false);
    } else if (arrow && opens && list.HasChildren(row)) {
        Recount(list, row + 1); // into its first child
    } else if (arrow && closes && list.Parents[row] != kNone) {
        Recount(list, list.Parents[row]); // out to its parent
    }
    return true;
}

void TfrmWinCEMain::TreeClick(TListRows& list, POINT at) {
    LVHITTESTINFO hit{};
    hit.pt = at;
    const int item = ListView_SubItemHitTest(list.Handle, &hit);
    if (item < 0 || static_cast<size_t>(item) >= list.Shown.size() || hit.iSubItem != 0 ||
        !(hit.flags & LVHT_ONITEMSTATEICON))
        return;
    const size_t row = list.Shown[static_cast<size_t>(item)];
    OpenTreeRow(list, row, !list.Open[row]);
}

LRESULT CALLBACK TfrmWinCEMain::ListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<TfrmWinCEMain*>(data);
    if (message == WM_MOUSEMOVE && self->FCellTips) {
        // A tool tip shows once the mouse enters its tool, so the tool is the cell under the
        // mouse: on another cell it first becomes empty (the tip goes), then that cell.
        LVHITTESTINFO hit{};
        hit.pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        const int item = ListView_SubItemHitTest(window, &hit);
        const std::tuple<HWND, int, int> cell{window, item, item < 0 ? -1 : hit.iSubItem};
        if (cell != self->FTipCell) {
            TTTOOLINFOW tool{};
            tool.cbSize = sizeof(tool);
            tool.hwnd = window;
            tool.uId = 1;
            if (std::get<0>(self->FTipCell)) {
                self->FTipCell = {nullptr, -1, -1};
                SendMessageW(self->FCellTips, TTM_POP, 0, 0);
            } else if (item >= 0 && ListView_GetSubItemRect(window, item, hit.iSubItem, LVIR_BOUNDS,
                                                            &tool.rect)) {
                // A row's first cell ends where the second begins.
                if (hit.iSubItem == 0 && Header_GetItemCount(ListView_GetHeader(window)) > 1) {
                    RECT next{};
                    if (ListView_GetSubItemRect(window, item, 1, LVIR_BOUNDS, &next))
                        tool.rect.right = next.left;
                }
                self->FTipCell = cell;
                self->FTipPoint = hit.pt;
            }
            SendMessageW(self->FCellTips, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
        }
    }
    if (message == WM_NOTIFY && self->FCellTips &&
        reinterpret_cast<NMHDR*>(lParam)->hwndFrom == self->FCellTips) {
        // The tip asks the list it serves for its text.
        return self->Notify(*reinterpret_cast<NMHDR*>(lParam));
    }
    if (message == WM_KEYDOWN || message == WM_CHAR) {
        for (const auto& list : self->FLists) {
            if (list->Handle != window || !list->Tree) continue;
            // "+" and "-" typed are the keys above, not a search for a row.
            if (message == WM_CHAR) {
                if (wParam == L'+' || wParam == L'-') return 0;
                break;
            }
            bool handled = false;
            self->Guarded([&] { handled = self->TreeKey(*list, wParam); });
            if (handled) return 0;
            break;
        }
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

HIMAGELIST CreateGlyphs(int size, COLORREF background) {
    HIMAGELIST glyphs = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 2, 0);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP strip = CreateCompatibleBitmap(screen, size * 2, size);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, strip);
    RECT all{0, 0, size * 2, size};
    HBRUSH fill = CreateSolidBrush(background);
    FillRect(dc, &all, fill);
    DeleteObject(fill);
    // A box with a minus, and a plus for the closed one, as a tree view draws its buttons.
    HPEN frame = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_GRAYTEXT));
    HPEN sign = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_WINDOWTEXT));
    const int box = size / 2 + 1 - (size / 2 + 1) % 2; // odd, so the sign sits in the middle
    for (int glyph = kGlyphClosed; glyph <= kGlyphOpen; ++glyph) {
        const int left = (glyph - 1) * size + (size - box) / 2, top = (size - box) / 2;
        SelectObject(dc, frame);
        SelectObject(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, left, top, left + box, top + box);
        SelectObject(dc, sign);
        const int middle = box / 2;
        MoveToEx(dc, left + 2, top + middle, nullptr);
        LineTo(dc, left + box - 2, top + middle);
        if (glyph == kGlyphClosed) {
            MoveToEx(dc, left + middle, top + 2, nullptr);
            LineTo(dc, left + middle, top + box - 2);
        }
    }
    SelectObject(dc, old);
    DeleteObject(frame);
    DeleteObject(sign);
    DeleteDC(dc);
    ImageList_AddMasked(glyphs, strip, background);
    DeleteObject(strip);
    return glyphs;
}

int TreeGlyph(const TListRows& list, size_t row) {
    if (!list.HasChildren(row)) return 0;
    return list.Open[row] ? kGlyphOpen : kGlyphClosed;
}

int TreeIndent(const TListRows& list, size_t row) {
    return std::min(list.Indents[row], kMaxIndent);
}

namespace {

// Puts each per-row vector in the new order: moved[i] = values[order[i]].
template <typename T> void Reorder(std::vector<T>& values, const std::vector<size_t>& order) {
    if (values.size() != order.size()) return;
    std::vector<T> moved;
    moved.reserve(values.size());
    for (const size_t from : order)
        moved.push_back(std::move(values[from]));
    values = std::move(moved);
}

// The listed column's place among the page's columns, or the page's column count.
size_t PageColumn(const TPage& page, size_t listed) {
    for (size_t column = 0; column < page.Columns.size(); ++column)
        if (page.Columns[column].Listed && listed-- == 0) return column;
    return page.Columns.size();
}

} // namespace

std::vector<size_t> SortTopLevel(TListRows& list, size_t column, bool descending) {
    const size_t count = list.Rows.size();
    if (list.Page.Rows.size() != count) return {};
    const size_t cell = PageColumn(list.Page, column);
    const auto end = [&list](size_t row) { return list.Tree ? list.Ends[row] : row + 1; };
    std::vector<size_t> tops;
    for (size_t row = 0; row < count; row = end(row))
        tops.push_back(row);
    using TKey = std::variant<std::string, int64_t>;
    const auto key = [&](size_t row) {
        const std::vector<TCell>& cells = list.Page.Rows[row].Cells;
        return cell < cells.size() ? cells[cell].SortKey : TKey();
    };
    std::stable_sort(tops.begin(), tops.end(), [&](size_t a, size_t b) {
        return descending ? key(b) < key(a) : key(a) < key(b);
    });
    // Each top-level row comes with the rows below it, which keep their order and distance.
    std::vector<size_t> order, moved(count);
    order.reserve(count);
    for (const size_t top : tops)
        for (size_t row = top; row < end(top); ++row) {
            moved[row] = order.size();
            order.push_back(row);
        }
    if (list.Tree) {
        std::vector<size_t> parents(count), ends(count);
        for (size_t i = 0; i < count; ++i) {
            const size_t parent = list.Parents[order[i]];
            parents[i] = parent < count ? moved[parent] : kNone;
            ends[i] = i + (list.Ends[order[i]] - order[i]);
        }
        list.Parents = std::move(parents);
        list.Ends = std::move(ends);
        Reorder(list.Open, order);
        Reorder(list.Passes, order);
    }
    Reorder(list.Rows, order);
    Reorder(list.Images, order);
    Reorder(list.Indents, order);
    Reorder(list.Sources, order);
    Reorder(list.Dimmed, order);
    Reorder(list.Colours, order);
    Reorder(list.Page.Rows, order);
    return moved;
}

void TfrmWinCEMain::SortByColumn(TListRows& list, int column) {
    if (!list.Sortable || column < 0 || static_cast<size_t>(column) >= list.Columns.size()) return;
    list.SortDescending = column == list.SortColumn && !list.SortDescending;
    list.SortColumn = column;
    const int focused = ListView_GetNextItem(list.Handle, -1, LVNI_FOCUSED);
    const size_t row = focused >= 0 && static_cast<size_t>(focused) < list.Shown.size()
                           ? list.Shown[static_cast<size_t>(focused)]
                           : kNone;
    const std::vector<size_t> moved =
        SortTopLevel(list, static_cast<size_t>(column), list.SortDescending);
    if (list.Tree) {
        RevealTree(list);
    } else {
        ApplyFilter(list);
    }
    // The row focused before, wherever it went.
    Recount(list, row < moved.size() ? moved[row] : kNone);
    ShowSortArrow(list);
}

void TfrmWinCEMain::ShowSortArrow(const TListRows& list) {
    if (!list.Handle) return; // made with it
    HWND header = ListView_GetHeader(list.Handle);
    const int columns = Header_GetItemCount(header);
    for (int column = 0; column < columns; ++column) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        if (!Header_GetItem(header, column, &item)) continue;
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (column == list.SortColumn) item.fmt |= list.SortDescending ? HDF_SORTDOWN : HDF_SORTUP;
        Header_SetItem(header, column, &item);
    }
}
