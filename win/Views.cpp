// Filling the project tree, the lists and the registry page from the report, and what selecting
// in them does.
#include "audit/Audit.h"
#include "cab/cabfiles.h"
#include "device/DevicePage.h"
#include "report/ChangeColours.h"
#include "report/DisplayFormat.h"
#include "report/SetupPages.h"
#include "report/SignaturePage.h"
#include "setup/CESetup.h"
#include "signature/Signature.h"
#include "win/TextWin.h"
#include "win/WinCEMain.h"
#include "win/resource.h"

#include <algorithm>
#include <commctrl.h>
#include <numeric>

int ListImageOf(TIconKind icon) {
    switch (icon) {
    case TIconKind::None:
        return -1;
    case TIconKind::Setup:
        return 3;
    case TIconKind::Files:
        return 4;
    case TIconKind::Shortcuts:
        return 5;
    case TIconKind::Registry:
        return 6;
    case TIconKind::Key:
        return 7;
    case TIconKind::FileRow:
        return 9;
    case TIconKind::ShortcutRow:
        return 10;
    case TIconKind::StringValue:
        return 11;
    case TIconKind::NumberValue:
        return 12;
    case TIconKind::Warning:
        return 18;
    case TIconKind::Notice:
        return 19;
    case TIconKind::Info:
        return 20;
    case TIconKind::Added: // a comparison's rows
        return 21;
    case TIconKind::Removed:
        return 22;
    case TIconKind::Changed:
        return 23;
    }
    return -1;
}

COLORREF ListColourOf(TIconKind icon) {
    const std::optional<TRgb> colour = ChangeColour(icon);
    return colour ? RGB(colour->Red, colour->Green, colour->Blue) : CLR_DEFAULT;
}

namespace {

// The window sorts captions with the system's locale-aware comparison.
std::vector<size_t> SystemOrder(const std::vector<std::string>& captions) {
    std::vector<size_t> order(captions.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&captions](size_t a, size_t b) {
        return lstrcmpA(captions[a].c_str(), captions[b].c_str()) < 0;
    });
    return order;
}

} // namespace

TReportOptions WindowReportOptions() {
    TReportOptions options;
    wchar_t separator[8] = L".";
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8) > 0) {
        char narrow[16] = "";
        WideCharToMultiByte(CP_UTF8, 0, separator, -1, narrow, sizeof(narrow), nullptr, nullptr);
        options.DecimalSeparator = narrow;
    }
    options.Order = SystemOrder;
    return options;
}

namespace {

std::wstring Lower(std::wstring text) {
    if (!text.empty()) CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

HTREEITEM AddNode(HWND tree, HTREEITEM parent, const std::wstring& caption, int image, int selected,
                  LPARAM data) {
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent ? parent : TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    std::wstring text = caption;
    insert.item.pszText = text.data();
    insert.item.iImage = image;
    insert.item.iSelectedImage = selected;
    insert.item.lParam = data;
    return TreeView_InsertItem(tree, &insert);
}

void EmptyRows(TListRows& list) {
    list.Rows.clear();
    list.Images.clear();
    list.Indents.clear();
    list.Sources.clear();
    list.Dimmed.clear();
    list.Colours.clear();
    list.AnyDimmed = false;
    list.AnyColoured = false;
    list.Page.Rows.clear();
    list.Tree = false;
    list.Parents.clear();
    list.Ends.clear();
    list.Open.clear();
    list.Passes.clear();
}

LPARAM NodeData(HWND tree, HTREEITEM item) {
    TVITEMW data{};
    data.mask = TVIF_PARAM;
    data.hItem = item;
    return item && TreeView_GetItem(tree, &data) ? data.lParam : -1;
}
} // namespace

void TfrmWinCEMain::Fill(const std::wstring& fileName, const std::wstring& shown) {
    FSetup = &FInspection->Setup();
    FSetupOpen = true;
    FSetupFileName = fileName;
    FSetupShownName = shown;
    const TReportOptions options = WindowReportOptions();
    FFilling = true;
    FProgramRows.clear();
    FFindings.clear();
    FDeviceDecision.reset();
    FFindingsComplete = false;
    FPropertiesPage = BuildPropertiesPage(*FSetup, FInspection->Listing());
    // The same two rows the text report and the Qt viewer add after the design's own.
    AddSignatureRows(FPropertiesPage, FInspection->Signature());
    ClearList(*FFiles);
    FFilesPending = true;
    SetRows(*FShortcuts, BuildShortcutsPage(*FSetup, options));
    for (TViewerPage& page : FPages) {
        if (!page.Build || !page.List) continue;
        std::optional<TBuiltPage> built = page.Build();
        page.Present = built.has_value();
        page.Status = built ? ToDisplay(built->Status) : std::wstring();
        if (built) ShowBuiltPage(*page.List, *built);
    }
    FillProjectRows();
    FillProjectTree();
    FFilling = false;
    FillRegistry();
    SetWindowTextW(FHandle, (std::wstring(kApplicationTitle) + L" - " + shown).c_str());
    for (int id : {mnuCloseSetup, mnuEditWithVLM, mnuExtractAll, mnuExportRegistry, mnuSaveReport,
                   mnuCompareWith})
        SetEnabled(id, true);
    // The setup's node, after the package's when it came out of one.
    HTREEITEM root = TreeView_GetRoot(FProjectTree);
    if (FPackage && root) root = TreeView_GetNextSibling(FProjectTree, root);
    TreeView_SelectItem(FProjectTree, root);
    tvProjectChange();
    ShowViewers(true);
    // A hidden window (one opening its command line's cabinet) is not activated for the focus:
    // under Wine that costs as much as a window made. It takes the focus when it is activated.
    if (IsWindowVisible(FHandle))
        SetFocus(FProjectTree);
    else
        FFocusTreeOnActivate = true;
    StartReading();
}

void TfrmWinCEMain::FillProjectRows() {
    TPage properties = FPropertiesPage;
    // Beyond the design's rows, after the signature's: the findings counted and the install
    // decision, as the Qt viewer shows them.
    if (FFindingsPage < FPages.size() && FPages[FFindingsPage].Present) {
        const std::string headline = FindingsHeadline(CountFindings(FFindings));
        TRow& row = properties.Rows.emplace_back();
        row.Source = properties.Rows.size() - 1;
        row.Cells = {TextCell("Findings"),
                     TextCell(FFindingsComplete ? headline.substr(headline.find(": ") + 2)
                                                : std::string(ReadingNote()))};
    }
    if (FDeviceDecision) {
        TRow& row = properties.Rows.emplace_back();
        row.Source = properties.Rows.size() - 1;
        row.Cells = {TextCell(device::kInstallDecisionCaption),
                     TextCell(device::InstallDecisionValue(*FDeviceDecision))};
    }
    SetRows(*FProperties, properties);
}

void TfrmWinCEMain::ShowFindings() {
    // While the programs are read there is nothing to mark yet; the baseline waits for them.
    if (!FSetupOpen || !FFindingsComplete || !FPages[FFindingsPage].Present) return;
    TViewerPage& page = FPages[FFindingsPage];
    const TBuiltPage built = FindingsPage();
    ShowBuiltPage(*page.List, built);
    page.Status = ToDisplay(built.Status);
    if (HTREEITEM node = PageNode(FFindingsPage)) {
        TVITEMW item{};
        item.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
        item.hItem = node;
        item.iImage = item.iSelectedImage = page.Image;
        TreeView_SetItem(FProjectTree, &item);
    }
    FillProjectRows();
    if (FPage == FFindingsPage) ShowStatus();
}

void TfrmWinCEMain::FillProjectTree() {
    TreeView_DeleteAllItems(FProjectTree);
    // An open package's node comes first, the setup chosen in it after.
    if (FPackage)
        AddNode(FProjectTree, nullptr,
                L"Package - " + FPackageFileName.substr(FPackageFileName.find_last_of(L"\\/:") + 1),
                FPages[FPackagePage].Image, FPages[FPackagePage].Image,
                static_cast<LPARAM>(FPackagePage));
    if (!FSetupOpen || !FSetup) return;
    const TTreePage tree = BuildProjectTree(*FSetup);
    std::vector<HTREEITEM> items;
    for (size_t i = 0; i < tree.Nodes.size(); ++i) {
        const TTreeNode& node = tree.Nodes[i];
        const int image = ListImageOf(node.Icon);
        items.push_back(AddNode(FProjectTree, node.Parent == kNoNode ? nullptr : items[node.Parent],
                                ToDisplay(node.Caption), image, image, static_cast<LPARAM>(i)));
    }
    // Later pages hang below the setup's node, after the design's three.
    for (size_t page = tree.Nodes.size(); page < FPages.size() && !items.empty(); ++page) {
        if (!FPages[page].Present || page == FPackagePage) continue;
        const int image = FPages[page].Image;
        items.push_back(AddNode(FProjectTree, items.front(), Widen(FPages[page].Node), image, image,
                                static_cast<LPARAM>(page)));
    }
    for (HTREEITEM item : items)
        TreeView_Expand(FProjectTree, item, TVE_EXPAND);
}

void TfrmWinCEMain::FillRegistry() {
    FRegistry = BuildRegistryPages(*FSetup);
    FFilling = true;
    SendMessageW(FRegistryTree, WM_SETREDRAW, FALSE, 0);
    FRegistryItems.clear();
    FRegistryItems.reserve(FRegistry.Keys.Nodes.size());
    for (size_t i = 0; i < FRegistry.Keys.Nodes.size(); ++i) {
        const TTreeNode& node = FRegistry.Keys.Nodes[i];
        const int image = ListImageOf(node.Icon);
        const int selected = node.Icon == TIconKind::Key ? 8 : image;
        FRegistryItems.push_back(
            AddNode(FRegistryTree, node.Parent == kNoNode ? nullptr : FRegistryItems[node.Parent],
                    ToDisplay(node.Caption), image, selected, static_cast<LPARAM>(i)));
    }
    for (size_t i = 0; i < FRegistry.Keys.Nodes.size(); ++i)
        if (FRegistry.Keys.Nodes[i].Expanded)
            TreeView_Expand(FRegistryTree, FRegistryItems[i], TVE_EXPAND);
    SendMessageW(FRegistryTree, WM_SETREDRAW, TRUE, 0);
    FFilling = false;
    if (kRegistryNodeCurrentUser < FRegistryItems.size())
        TreeView_SelectItem(FRegistryTree, FRegistryItems[kRegistryNodeCurrentUser]);
    tvRegistryChange();
}

void TfrmWinCEMain::SetColumns(TListRows& list, const TPage& page) {
    std::vector<TColumn> listed;
    for (const TColumn& column : page.Columns)
        if (column.Listed) listed.push_back(column);
    const auto same = [](const TColumn& a, const TColumn& b) { return a.Caption == b.Caption; };
    if (std::equal(listed.begin(), listed.end(), list.Columns.begin(), list.Columns.end(), same))
        return;
    while (list.Handle && ListView_DeleteColumn(list.Handle, 0)) {
    }
    InsertColumns(list, listed);
}

void TfrmWinCEMain::SetRows(TListRows& list, const TPage& page, const std::vector<size_t>* rows) {
    SetColumns(list, page);
    EmptyRows(list);
    AppendRows(list, page, rows);
}

void AppendListRow(TListRows& list, const TPage& page, const TRow& row) {
    auto& texts = list.Rows.emplace_back();
    int image = -1;
    for (size_t column = 0; column < row.Cells.size() && column < page.Columns.size(); ++column) {
        if (!page.Columns[column].Listed) continue;
        if (texts.empty()) image = ListImageOf(row.Cells[column].Icon);
        texts.push_back(ToDisplay(row.Cells[column].Text));
    }
    list.Images.push_back(image);
    // Rows of a nested document (provisioning) step in by their depth.
    const auto* depth = std::get_if<int64_t>(FindField(row.Record, "depth"));
    list.Indents.push_back(depth ? static_cast<int>(std::min<int64_t>(*depth, 24)) : 0);
    list.Sources.push_back(row.Source);
    list.Dimmed.push_back(row.Dimmed ? 1 : 0);
    list.AnyDimmed = list.AnyDimmed || row.Dimmed;
    list.Colours.push_back(row.Cells.empty() ? CLR_DEFAULT : ListColourOf(row.Cells[0].Icon));
    list.AnyColoured = list.AnyColoured || list.Colours.back() != CLR_DEFAULT;
    if (list.KeepsPage) list.Page.Rows.push_back(row);
}

void TfrmWinCEMain::AppendRows(TListRows& list, const TPage& page,
                               const std::vector<size_t>* rows) {
    if (list.KeepsPage) {
        list.Page.Caption = page.Caption;
        list.Page.Columns = page.Columns;
    }
    if (rows) {
        for (const size_t index : *rows)
            if (index < page.Rows.size()) AppendListRow(list, page, page.Rows[index]);
    } else {
        for (const TRow& row : page.Rows)
            AppendListRow(list, page, row);
    }
    ApplyFilter(list);
}

void TfrmWinCEMain::ClearList(TListRows& list) {
    // A list that is empty already costs nothing to clear: the window's start clears them all.
    const bool wasEmpty = list.Rows.empty() && list.Shown.empty();
    EmptyRows(list);
    if (wasEmpty && (!list.Handle || ListView_GetItemCount(list.Handle) == 0)) return;
    ApplyFilter(list);
}

void TfrmWinCEMain::ApplyFilter(TListRows& list) {
    const std::wstring wanted = Lower(FFilter);
    std::vector<char> matches(list.Rows.size(), 1);
    if (!wanted.empty())
        for (size_t i = 0; i < list.Rows.size(); ++i)
            matches[i] = std::any_of(list.Rows[i].begin(), list.Rows[i].end(),
                                     [&wanted](const std::wstring& text) {
                                         return Lower(text).find(wanted) != std::wstring::npos;
                                     });
    if (list.Tree) {
        FilterTree(list, wanted.empty() ? std::vector<char>() : matches);
        RevealTree(list);
    } else {
        list.Shown.clear();
        for (size_t i = 0; i < list.Rows.size(); ++i)
            if (matches[i]) list.Shown.push_back(i);
    }
    // Owner data: the list asks for the texts it paints, so a new count is the whole refill; a
    // list not made yet takes it when it is.
    if (list.Handle) {
        ListView_SetItemState(list.Handle, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_SetItemCountEx(list.Handle, static_cast<int>(list.Shown.size()), 0);
        InvalidateRect(list.Handle, nullptr, TRUE);
    }
    ShowDetails(list);
}

void TfrmWinCEMain::edtFilterChange() {
    const int length = GetWindowTextLengthW(FFilterBox);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(FFilterBox, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    FFilter = text;
    // Every list follows the one box, so switching pages keeps what the user asked for.
    for (auto& list : FLists)
        ApplyFilter(*list);
    lvFilesChange();
    ShowStatus();
}

void TfrmWinCEMain::mnuFilterClick() {
    SetFocus(FFilterBox);
    SendMessageW(FFilterBox, EM_SETSEL, 0, -1);
}

TListRows* TfrmWinCEMain::FocusedList() {
    if (!FSetupOpen || FPage >= FPages.size()) return nullptr;
    return FPages[FPage].List;
}

void TfrmWinCEMain::MakeFilesRows() {
    if (!FFilesPending || !FSetupOpen) return;
    FFilesPending = false;
    SetRows(*FFiles, FInspection->FilesPage(WindowReportOptions()));
}

void TfrmWinCEMain::tvProjectChange() {
    const LPARAM data = NodeData(FProjectTree, TreeView_GetSelection(FProjectTree));
    const size_t index = data < 0 ? 0 : static_cast<size_t>(data);
    if (index == kProjectNodeFiles) MakeFilesRows();
    ShowPage(index);
    SetExtractEnabled(FSetupOpen && index == kProjectNodeFiles &&
                      ListView_GetSelectedCount(FFiles->Handle) > 0);
    ShowStatus();
}

void TfrmWinCEMain::ShowStatus() {
    if (FPage >= FPages.size()) return;
    if ((!FSetupOpen || !FSetup) && !(FPackage && FPage == FPackagePage)) return;
    std::string design;
    switch (FPage) {
    case kProjectNodeSetup:
        design =
            FSetup->Project.CompanyName + " " + FSetup->Project.SoftwareName + " Windows CE Setup";
        break;
    case kProjectNodeFiles:
        design = "Total of files: " + std::to_string(FSetup->FileCount());
        break;
    case kProjectNodeShortcuts:
        design = "Total of shortcuts: " + std::to_string(FSetup->ShortcutCount());
        break;
    case kProjectNodeRegistry:
        // The filter narrows the selected key's values.
        design = "Total of registry entries: " + std::to_string(FSetup->RegValueCount());
        break;
    default:
        break;
    }
    const TListRows* list = FPages[FPage].List;
    // A tree counts its top-level rows: a finding's group, not each of its places.
    const auto [shown, all] = list ? TopLevelCounts(*list) : std::pair<size_t, size_t>();
    const bool filtered = !FFilter.empty() && list;
    if (FPage <= kProjectNodeRegistry)
        SetStatusText(ToDisplay(FilteredStatusText(design, filtered, shown, all)));
    else
        SetStatusText(
            filtered ? ToDisplay(FilteredStatusText(ToUtf8(FPages[FPage].Status), true, shown, all))
                     : FPages[FPage].Status);
}

void TfrmWinCEMain::tvRegistryChange() {
    HTREEITEM selected = TreeView_GetSelection(FRegistryTree);
    const LPARAM data = NodeData(FRegistryTree, selected);
    if (data < 0) {
        ClearList(*FValues);
        return;
    }
    // "Device Registry" lists nothing of its own: its selection moves to HKEY_CURRENT_USER.
    if (static_cast<size_t>(data) == kRegistryNodeDevice &&
        kRegistryNodeCurrentUser < FRegistryItems.size()) {
        TreeView_SelectItem(FRegistryTree, FRegistryItems[kRegistryNodeCurrentUser]);
        return;
    }
    const size_t node = static_cast<size_t>(data);
    if (node < FRegistry.Keys.Nodes.size())
        SetRows(*FValues, FRegistry.Values, &FRegistry.Keys.Nodes[node].Rows);
    if (FPage == kProjectNodeRegistry) ShowStatus();
}

void TfrmWinCEMain::lvFilesChange() {
    SetExtractEnabled(FSetupOpen && FPage == kProjectNodeFiles &&
                      ListView_GetSelectedCount(FFiles->Handle) > 0);
}

HTREEITEM TfrmWinCEMain::PageNode(size_t page) const {
    HTREEITEM root = TreeView_GetRoot(FProjectTree);
    if (page == kProjectNodeSetup) return root;
    for (HTREEITEM item = root ? TreeView_GetChild(FProjectTree, root) : nullptr; item;
         item = TreeView_GetNextSibling(FProjectTree, item))
        if (NodeData(FProjectTree, item) == static_cast<LPARAM>(page)) return item;
    return nullptr;
}

bool TfrmWinCEMain::SelectPage(size_t page) {
    HTREEITEM node = PageNode(page);
    return node && TreeView_SelectItem(FProjectTree, node);
}

bool TfrmWinCEMain::SelectListSource(TListRows& list, size_t source) {
    if (list.Tree) {
        // A row below closed parents: they open, as a tree view shows a selected node.
        const auto found = std::find(list.Sources.begin(), list.Sources.end(), source);
        if (found == list.Sources.end()) return false;
        const size_t row = static_cast<size_t>(found - list.Sources.begin());
        for (size_t up = list.Parents[row]; up < list.Rows.size(); up = list.Parents[up])
            list.Open[up] = 1;
        RevealTree(list);
        Recount(list, row);
        SetFocus(list.Handle);
        return ShownPosition(list, row) < list.Shown.size();
    }
    for (size_t row = 0; row < list.Shown.size(); ++row) {
        if (list.Sources[list.Shown[row]] != source) continue;
        const int item = static_cast<int>(row);
        ListView_SetItemState(list.Handle, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_SetItemState(list.Handle, item, LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(list.Handle, item, FALSE);
        SetFocus(list.Handle);
        return true;
    }
    return false;
}

void TfrmWinCEMain::GoToFinding(size_t index) {
    if (!FSetupOpen || index >= FFindings.size()) return;
    const TFinding finding = FFindings[index];
    // A filter that hides the row would hide what the user asked to see.
    if (GetWindowTextLengthW(FFilterBox) > 0) SetWindowTextW(FFilterBox, L"");
    // The later page of a given node caption; a page the setup does not list leaves the Project
    // page, whose rows say why (an unsigned cabinet's Signature).
    const auto later = [this](const char* node) -> TViewerPage* {
        for (size_t page = 0; page < FPages.size(); ++page)
            if (FPages[page].Node == node && FPages[page].Present && SelectPage(page))
                return &FPages[page];
        SelectPage(kProjectNodeSetup);
        return nullptr;
    };
    switch (finding.Page) {
    case TFindingPage::None:
        SelectPage(kProjectNodeSetup);
        break;
    case TFindingPage::Files:
        if (SelectPage(kProjectNodeFiles)) SelectListSource(*FFiles, finding.Row);
        break;
    case TFindingPage::Shortcuts:
        if (SelectPage(kProjectNodeShortcuts)) SelectListSource(*FShortcuts, finding.Row);
        break;
    case TFindingPage::Registry:
        if (!SelectPage(kProjectNodeRegistry)) break;
        // The key whose values list the row, then the row itself.
        for (size_t node = 0; node < FRegistry.Keys.Nodes.size() && node < FRegistryItems.size();
             ++node) {
            const std::vector<size_t>& rows = FRegistry.Keys.Nodes[node].Rows;
            if (std::find(rows.begin(), rows.end(), finding.Row) == rows.end()) continue;
            TreeView_SelectItem(FRegistryTree, FRegistryItems[node]);
            TreeView_EnsureVisible(FRegistryTree, FRegistryItems[node]);
            SelectListSource(*FValues, finding.Row);
            break;
        }
        break;
    case TFindingPage::Provisioning:
        if (TViewerPage* page = later("Provisioning")) SelectListSource(*page->List, finding.Row);
        break;
    case TFindingPage::Programs:
        // The Programs page lists a program by its index among the analysed rows.
        if (TViewerPage* page = later("Programs"))
            for (size_t i = 0; i < FProgramRows.size(); ++i)
                if (FProgramRows[i].Index == finding.Row) SelectListSource(*page->List, i);
        break;
    case TFindingPage::Signature:
        later("Signature");
        break;
    }
}

std::wstring TfrmWinCEMain::CutCellText(HWND handle, POINT at) const {
    const auto list = std::find_if(FLists.begin(), FLists.end(),
                                   [handle](const auto& l) { return l->Handle == handle; });
    if (list == FLists.end()) return {};
    LVHITTESTINFO hit{};
    hit.pt = at;
    const int item = ListView_SubItemHitTest(handle, &hit);
    if (item < 0 || static_cast<size_t>(item) >= (*list)->Shown.size() || hit.iSubItem < 0)
        return {};
    const std::vector<std::wstring>& cells =
        (*list)->Rows[(*list)->Shown[static_cast<size_t>(item)]];
    const auto column = static_cast<size_t>(hit.iSubItem);
    if (column >= cells.size() || cells[column].empty()) return {};
    RECT cell{};
    if (!ListView_GetSubItemRect(handle, item, hit.iSubItem, LVIR_LABEL, &cell)) return {};
    // The list leaves a margin on either side of a cell's text.
    const int needed =
        ListView_GetStringWidth(handle, cells[column].c_str()) + MulDiv(12, FDpi, 96);
    return needed > cell.right - cell.left ? cells[column] : std::wstring();
}

LRESULT TfrmWinCEMain::Notify(NMHDR& header) {
    if (header.code == TTN_GETDISPINFOW && header.hwndFrom == FCellTips) {
        // The cell the mouse last moved over, as the list was told.
        auto& tip = reinterpret_cast<NMTTDISPINFOW&>(header);
        const HWND list = std::get<0>(FTipCell);
        FTipText = list ? CutCellText(list, FTipPoint) : std::wstring();
        tip.lpszText = FTipText.data();
        return 0;
    }
    if (header.code == TTN_GETDISPINFOW) {
        static const std::pair<int, const wchar_t*> tips[] = {
            {mnuOpenFile, L"Open Windows CE Setup"},
            {mnuExtractFile, L"Extract File"},
            {mnuExtractAll, L"Extract All Files"},
            {mnuEditWithVLM, L"Edit with Velmora"},
            {mnuAbout, L"About Tessary"}};
        auto& tip = reinterpret_cast<NMTTDISPINFOW&>(header);
        for (const auto& [id, text] : tips)
            if (header.idFrom == static_cast<UINT_PTR>(id))
                tip.lpszText = const_cast<wchar_t*>(text);
        return 0;
    }
    if (header.hwndFrom == FProjectTree || header.hwndFrom == FRegistryTree)
        return NotifyTree(header);
    for (const auto& list : FLists)
        if (header.hwndFrom == list->Handle) return NotifyList(*list, header);
    return 0;
}

LRESULT TfrmWinCEMain::NotifyTree(NMHDR& header) {
    const bool project = header.hwndFrom == FProjectTree;
    switch (header.code) {
    case TVN_SELCHANGEDW:
        if (!FFilling)
            Guarded([this, project] {
                if (project)
                    tvProjectChange();
                else
                    tvRegistryChange();
            });
        return 0;
    case NM_RCLICK: {
        // A right click selects the node under the mouse, as the design's trees do.
        TVHITTESTINFO hit{};
        GetCursorPos(&hit.pt);
        ScreenToClient(header.hwndFrom, &hit.pt);
        if (HTREEITEM node = TreeView_HitTest(header.hwndFrom, &hit);
            node && (hit.flags & TVHT_ONITEM))
            TreeView_SelectItem(header.hwndFrom, node);
        return 0;
    }
    case TVN_ITEMEXPANDINGW: {
        const auto& change = reinterpret_cast<NMTREEVIEWW&>(header);
        if (!(change.action & TVE_COLLAPSE)) return FALSE;
        // The project tree never collapses, and "Device Registry" neither.
        return project || change.itemNew.lParam == static_cast<LPARAM>(kRegistryNodeDevice);
    }
    default:
        return 0;
    }
}

LRESULT TfrmWinCEMain::NotifyList(TListRows& list, NMHDR& header) {
    switch (header.code) {
    case LVN_GETDISPINFOW:
        ListDispInfo(list, reinterpret_cast<NMLVDISPINFOW&>(header));
        return 0;
    case NM_CUSTOMDRAW: {
        // Only a list with greyed or coloured rows asks about each row as it paints.
        auto& draw = reinterpret_cast<NMLVCUSTOMDRAW&>(header);
        if (draw.nmcd.dwDrawStage == CDDS_PREPAINT)
            return list.AnyDimmed || list.AnyColoured ? CDRF_NOTIFYITEMDRAW : CDRF_DODEFAULT;
        if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
            const size_t row = draw.nmcd.dwItemSpec;
            if (row < list.Shown.size() && list.Dimmed[list.Shown[row]])
                draw.clrText = GetSysColor(COLOR_GRAYTEXT);
            else if (row < list.Shown.size() && list.Colours[list.Shown[row]] != CLR_DEFAULT)
                draw.clrText = list.Colours[list.Shown[row]];
        }
        return CDRF_DODEFAULT;
    }
    case LVN_ITEMCHANGED: {
        // A click, a key or the window itself changed the selection or the focused row.
        const auto& change = reinterpret_cast<NMLISTVIEW&>(header);
        if (&list == FFiles) lvFilesChange();
        // Every row at once (-1) may not say what it was before.
        if ((change.uChanged & LVIF_STATE) &&
            (change.iItem < 0 ||
             ((change.uNewState ^ change.uOldState) & (LVIS_SELECTED | LVIS_FOCUSED))))
            Guarded([this, &list] { ShowDetails(list); });
        return 0;
    }
    case LVN_ODSTATECHANGED:
        // A range of an owner-data list, selected or not at once.
        if (&list == FFiles) lvFilesChange();
        Guarded([this, &list] { ShowDetails(list); });
        return 0;
    case LVN_COLUMNCLICK:
        if (list.Sortable)
            Guarded([this, &list, &header] {
                SortByColumn(list, reinterpret_cast<NMLISTVIEW&>(header).iSubItem);
            });
        return 0;
    case NM_CLICK:
        if (list.Tree) {
            const POINT at = reinterpret_cast<NMITEMACTIVATE&>(header).ptAction;
            Guarded([this, &list, at] { TreeClick(list, at); });
        }
        return 0;
    case NM_DBLCLK:
    case NM_RETURN:
        ActivateListRow(list, header);
        return 0;
    default:
        return 0;
    }
}

void TfrmWinCEMain::ListDispInfo(TListRows& list, NMLVDISPINFOW& info) {
    const auto row = static_cast<size_t>(info.item.iItem);
    if (row >= list.Shown.size()) return;
    const size_t shown = list.Shown[row];
    if ((info.item.mask & LVIF_TEXT) && info.item.pszText && info.item.cchTextMax > 0) {
        const auto column = static_cast<size_t>(info.item.iSubItem);
        const std::wstring& text =
            column < list.Rows[shown].size() ? list.Rows[shown][column] : L"";
        lstrcpynW(info.item.pszText, text.c_str(), info.item.cchTextMax);
    }
    if (info.item.mask & LVIF_IMAGE) info.item.iImage = list.Images[shown];
    if (info.item.mask & LVIF_INDENT)
        info.item.iIndent = list.Tree ? TreeIndent(list, shown) : list.Indents[shown];
    if ((info.item.mask & LVIF_STATE) && list.Tree) {
        info.item.state = INDEXTOSTATEIMAGEMASK(TreeGlyph(list, shown));
        info.item.stateMask = LVIS_STATEIMAGEMASK;
    }
}

void TfrmWinCEMain::ActivateListRow(TListRows& list, NMHDR& header) {
    const int item = header.code == NM_DBLCLK ? reinterpret_cast<NMITEMACTIVATE&>(header).iItem
                                              : ListView_GetNextItem(list.Handle, -1, LVNI_FOCUSED);
    if (list.Tree && item >= 0 && static_cast<size_t>(item) < list.Shown.size() &&
        list.HasChildren(list.Shown[static_cast<size_t>(item)])) {
        // A row that opens opens or closes; a double click on its glyph is the click's.
        if (header.code == NM_DBLCLK) {
            LVHITTESTINFO hit{};
            hit.pt = reinterpret_cast<NMITEMACTIVATE&>(header).ptAction;
            if (ListView_SubItemHitTest(list.Handle, &hit) >= 0 &&
                (hit.flags & LVHT_ONITEMSTATEICON))
                return;
        }
        const size_t row = list.Shown[static_cast<size_t>(item)];
        Guarded([this, &list, row] { OpenTreeRow(list, row, !list.Open[row]); });
        return;
    }
    if (&list == FFiles) Guarded([this] { mnuExtractFileClick(); });
    if (&list == FPages[FPackagePage].List && item >= 0 &&
        static_cast<size_t>(item) < list.Shown.size()) {
        const size_t setup = list.Sources[list.Shown[static_cast<size_t>(item)]];
        Guarded([this, setup] { OpenContainedSetup(setup); });
        return;
    }
    if (FFindingsPage < FPages.size() && &list == FPages[FFindingsPage].List && item >= 0 &&
        static_cast<size_t>(item) < list.Shown.size()) {
        const size_t finding = list.Sources[list.Shown[static_cast<size_t>(item)]];
        Guarded([this, finding] { GoToFinding(finding); });
    }
}
