// The details panes: below the list of a later page, what the pages about its selected row say
// (a certificate's fields, a program's, a difference's whole texts), as the Qt viewer's panes
// show them. A read-only edit box: its text can be selected and copied.
#include "win/TextWin.h"
#include "win/WinCEMain.h"

#include <algorithm>
#include <commctrl.h>
#include <exception>

namespace {

// The cells of a page's row (or its captions, row null) in its listed columns.
std::vector<std::wstring> ListedCells(const TPage& page, const TRow* row) {
    std::vector<std::wstring> cells;
    for (size_t column = 0; column < page.Columns.size(); ++column) {
        if (!page.Columns[column].Listed) continue;
        if (!row)
            cells.push_back(ToDisplay(page.Columns[column].Caption));
        else
            cells.push_back(column < row->Cells.size() ? ToDisplay(row->Cells[column].Text)
                                                       : std::wstring());
    }
    return cells;
}

std::wstring TabbedLine(const std::vector<std::wstring>& cells) {
    std::wstring line;
    for (size_t c = 0; c < cells.size(); ++c)
        line += (c ? L"\t" : L"") + cells[c];
    return line + L"\r\n";
}

// Tab stops past the widest cell of each column but the last (a column of long texts stops at
// a third of the pane), in the pane's dialog units: a quarter of its average character width.
void SetTabStops(HWND pane, const std::vector<TPage>& pages, int dpi) {
    HDC dc = GetDC(pane);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(pane, WM_GETFONT, 0, 0)));
    RECT client{};
    GetClientRect(pane, &client);
    const int widest = std::max<int>(MulDiv(120, dpi, 96), (client.right - client.left) / 3);
    std::vector<int> widths;
    const auto measure = [&](const std::vector<std::wstring>& cells) {
        for (size_t c = 0; c + 1 < cells.size(); ++c) {
            SIZE size{};
            GetTextExtentPoint32W(dc, cells[c].c_str(), static_cast<int>(cells[c].size()), &size);
            if (widths.size() <= c) widths.resize(c + 1, 0);
            widths[c] = std::max<int>(widths[c], std::min<int>(size.cx, widest));
        }
    };
    for (const TPage& page : pages) {
        measure(ListedCells(page, nullptr));
        for (const TRow& row : page.Rows)
            measure(ListedCells(page, &row));
    }
    SIZE letters{};
    GetTextExtentPoint32W(dc, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52,
                          &letters);
    SelectObject(dc, old);
    ReleaseDC(pane, dc);
    const int average = std::max<int>(1, (letters.cx / 26 + 1) / 2);
    std::vector<int> stops;
    int at = 0;
    for (const int width : widths) {
        at += width + MulDiv(16, dpi, 96);
        stops.push_back(MulDiv(at, 4, average));
    }
    SendMessageW(pane, EM_SETTABSTOPS, stops.size(),
                 reinterpret_cast<LPARAM>(stops.empty() ? nullptr : stops.data()));
}

} // namespace

std::wstring DetailsText(const std::vector<TPage>& pages) {
    std::wstring text;
    for (const TPage& page : pages) {
        if (!text.empty()) text += L"\r\n";
        text += ToDisplay(page.Caption) + L"\r\n";
        if (std::none_of(page.Columns.begin(), page.Columns.end(),
                         [](const TColumn& column) { return column.Listed; }))
            continue;
        text += TabbedLine(ListedCells(page, nullptr));
        for (const TRow& row : page.Rows)
            text += TabbedLine(ListedCells(page, &row));
    }
    return text;
}

void TfrmWinCEMain::SetDetails(size_t index, int id, TDetails details) {
    TViewerPage& page = FPages[index];
    page.Details = std::move(details);
    page.DetailsId = id;
    page.List->KeepsPage = true;
}

void TfrmWinCEMain::MakeDetailsPane(TViewerPage& page) {
    if (page.DetailsPane) return;
    // Words wrap at the pane's edge: a whole text is what it is there for.
    page.DetailsPane = CreateWindowExW(
        WS_EX_CLIENTEDGE, L"EDIT", L"",
        WS_CHILD | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL |
            ES_NOHIDESEL,
        0, 0, 0, 0, FHandle, reinterpret_cast<HMENU>(static_cast<INT_PTR>(page.DetailsId)),
        FInstance, nullptr);
    SendMessageW(page.DetailsPane, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
    // What the pane says of the list's selection so far.
    if (page.List) ShowDetails(*page.List);
}

const TRow* TfrmWinCEMain::SelectedRow(const TListRows& list) const {
    if (!list.KeepsPage || !list.Handle) return nullptr;
    const int focused = ListView_GetNextItem(list.Handle, -1, LVNI_FOCUSED);
    if (focused < 0 || static_cast<size_t>(focused) >= list.Shown.size() ||
        !(ListView_GetItemState(list.Handle, focused, LVIS_SELECTED) & LVIS_SELECTED))
        return nullptr;
    const size_t row = list.Shown[static_cast<size_t>(focused)];
    // A node without a row of its own has no details.
    if (row >= list.Page.Rows.size() || list.Sources[row] == kNoNode) return nullptr;
    return &list.Page.Rows[row];
}

void TfrmWinCEMain::ShowDetails(const TListRows& list) {
    const auto page = std::find_if(FPages.begin(), FPages.end(),
                                   [&list](const TViewerPage& p) { return p.List == &list; });
    if (page == FPages.end() || !page->DetailsPane || !page->Details) return;
    std::wstring text;
    // The pane says what went wrong rather than letting it reach the message loop.
    try {
        std::vector<TPage> pages;
        if (FSetupOpen) pages = page->Details(SelectedRow(list));
        text = DetailsText(pages);
        SetTabStops(page->DetailsPane, pages, FDpi);
    } catch (const std::exception& e) {
        text = ToDisplay(e.what());
    } catch (...) {
        text = L"Unknown error";
    }
    const int length = GetWindowTextLengthW(page->DetailsPane);
    std::wstring shown(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(page->DetailsPane, shown.data(), length + 1);
    shown.resize(static_cast<size_t>(length));
    // The same text again keeps where the pane was scrolled to.
    if (shown != text) SetWindowTextW(page->DetailsPane, text.c_str());
}

void TfrmWinCEMain::LayoutList(const TViewerPage& page, RECT area) {
    const int width = std::max<int>(0, area.right - area.left);
    const int height = std::max<int>(0, area.bottom - area.top);
    if (!page.DetailsPane) {
        MoveWindow(page.List->Handle, area.left, area.top, width, height, TRUE);
        return;
    }
    // The list keeps a few rows, the pane a line, however the splitter was dragged.
    const int gap = MulDiv(kSplitterWidth, FDpi, 96);
    const int minimumList = std::min(MulDiv(60, FDpi, 96), height / 2);
    const int minimumPane = std::min(MulDiv(20, FDpi, 96), height / 4);
    const int pane = std::clamp(MulDiv(height, FDetailsShare, 1000), minimumPane,
                                std::max(minimumPane, height - gap - minimumList));
    const int list = std::max(0, height - gap - pane);
    MoveWindow(page.List->Handle, area.left, area.top, width, list, TRUE);
    MoveWindow(page.DetailsPane, area.left, area.top + list + gap, width, pane, TRUE);
}
