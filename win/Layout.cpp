// The controls of the main window, where they lie, and the image list they share.
#include "cab/cabfiles.h"
#include "report/SetupPages.h"
#include "setup/CECAB.h"
#include "setup/CESetup.h"
#include "win/TextWin.h"
#include "win/WinCEMain.h"
#include "win/resource.h"

#include <commctrl.h>

namespace {
constexpr int kImageCount = 24;

struct TButton {
    int Command;
    int Image; // -1: a separator
    const wchar_t* Caption;
};

// The toolbar: each button's tool tip is its caption.
constexpr TButton kButtons[] = {
    {mnuOpenFile, 0, L"Open Windows CE Setup"}, {mnuExtractFile, 1, L"Extract File"},
    {mnuExtractAll, 14, L"Extract All Files"},  {0, -1, nullptr},
    {mnuEditWithVLM, 2, L"Edit with Velmora"},  {0, -1, nullptr},
    {mnuAbout, 13, L"About Tessary"},           {0, -1, nullptr},
};

// Menu items that show a picture of the image list.
constexpr std::pair<int, int> kMenuImages[] = {{mnuOpenFile, 0},
                                               {mnuExtractFile, 1},
                                               {mnuExtractAll, 14},
                                               {mnuEditWithVLM, 2},
                                               {mnuAbout, 13}};

} // namespace

void TfrmWinCEMain::CreateControls() {
    FFont = CreateListFont(FDpi);
    FHeaderFont = CreateFontW(-MulDiv(10, FDpi, 72), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                              DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                              DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Arial");
    FHeaderBrush = CreateSolidBrush(GetSysColor(COLOR_DESKTOP));
    FAccelerators = LoadAcceleratorsW(FInstance, MAKEINTRESOURCEW(IDR_ACCELERATORS));

    imlImages = LoadListImages(FInstance);
    // Menus draw their pictures through the image list, which blends the alpha channel.
    for (const auto& [command, image] : kMenuImages) {
        MENUITEMINFOW item{};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_BITMAP | MIIM_DATA;
        item.hbmpItem = HBMMENU_CALLBACK;
        item.dwItemData = static_cast<ULONG_PTR>(image);
        SetMenuItemInfoW(FMenu, static_cast<UINT>(command), FALSE, &item);
    }

    CreateToolbar();
    FStatus =
        CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0,
                        0, FHandle, reinterpret_cast<HMENU>(sbStatus), FInstance, nullptr);
    int whole = -1;
    SendMessageW(FStatus, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(&whole));

    const auto tree = [this](int id, int itemHeight) {
        HWND handle = CreateWindowExW(
            WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
            WS_CHILD | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                TVS_SHOWSELALWAYS | TVS_DISABLEDRAGDROP | TVS_INFOTIP,
            0, 0, 0, 0, FHandle, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), FInstance,
            nullptr);
        TreeView_SetImageList(handle, imlImages, TVSIL_NORMAL);
        TreeView_SetItemHeight(handle, MulDiv(itemHeight, FDpi, 96));
        TreeView_SetIndent(handle, MulDiv(19, FDpi, 96));
        SendMessageW(handle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
        return handle;
    };
    FProjectTree = tree(tvProject, 18);
    FRegistryTree = tree(tvRegistry, 16);
    FHeader =
        CreateWindowExW(0, L"STATIC", L"", WS_CHILD | SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX, 0, 0,
                        0, 0, FHandle, reinterpret_cast<HMENU>(lblHeader), FInstance, nullptr);
    SendMessageW(FHeader, WM_SETFONT, reinterpret_cast<WPARAM>(FHeaderFont), FALSE);
    CreatePages();
    // What DragAcceptFiles sets, without loading shell32 for it at the start.
    SetWindowLongPtrW(FHandle, GWL_EXSTYLE,
                      GetWindowLongPtrW(FHandle, GWL_EXSTYLE) | WS_EX_ACCEPTFILES);
    ResetToEmpty();
}

void TfrmWinCEMain::CreateToolbar() {
    FToolbar = CreateWindowExW(
        0, TOOLBARCLASSNAMEW, L"",
        WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_TOP, 0, 0,
        0, 0, FHandle, reinterpret_cast<HMENU>(tbMain), FInstance, nullptr);
    SendMessageW(FToolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(FToolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(imlImages));
    std::vector<TBBUTTON> buttons;
    for (const TButton& button : kButtons) {
        TBBUTTON added{};
        added.iBitmap = button.Image < 0 ? 0 : button.Image;
        added.idCommand = button.Command;
        added.fsState = TBSTATE_ENABLED;
        added.fsStyle = button.Image < 0 ? BTNS_SEP : BTNS_BUTTON;
        buttons.push_back(added);
    }
    // The filter box sits on a wide separator at the end.
    TBBUTTON place{};
    place.iBitmap = MulDiv(160, FDpi, 96);
    place.fsStyle = BTNS_SEP;
    buttons.push_back(place);
    SendMessageW(FToolbar, TB_ADDBUTTONSW, buttons.size(),
                 reinterpret_cast<LPARAM>(buttons.data()));
    SendMessageW(FToolbar, TB_AUTOSIZE, 0, 0);

    // A sibling over the toolbar's last place, so that its changes come to the window.
    FFilterBox = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                 WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 0, 0, 0, 0,
                                 FHandle, reinterpret_cast<HMENU>(edtFilter), FInstance, nullptr);
    SendMessageW(FFilterBox, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
    SendMessageW(FFilterBox, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(L"Filter"));
    if (HWND tips = reinterpret_cast<HWND>(SendMessageW(FToolbar, TB_GETTOOLTIPS, 0, 0))) {
        TOOLINFOW tip{};
        tip.cbSize = sizeof(tip);
        tip.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tip.hwnd = FHandle;
        tip.uId = reinterpret_cast<UINT_PTR>(FFilterBox);
        tip.lpszText = const_cast<wchar_t*>(L"Show only the rows that contain this text (Ctrl+F)");
        SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tip));
    }
}

TListRows* TfrmWinCEMain::NewList(int id, const TPage& columnsOf) {
    FLists.push_back(std::make_unique<TListRows>());
    TListRows& list = *FLists.back();
    list.Id = id;
    SetColumns(list, columnsOf);
    return &list;
}

void TfrmWinCEMain::MakeControls(TViewerPage& page) {
    // A window made costs more than the rows behind it under Wine: a setup opens making only the
    // lists it shows.
    if (page.List) MakeList(*page.List, page.Tree);
    if (page.DetailsId) MakeDetailsPane(page);
}

void TfrmWinCEMain::MakeList(TListRows& list, bool tree) {
    if (list.Handle) return;
    // A sortable list's header captions are buttons.
    const DWORD style = WS_CHILD | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS |
                        (list.Sortable ? 0 : LVS_NOSORTHEADER);
    list.Handle =
        CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"", style, 0, 0, 0, 0, FHandle,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(list.Id)), FInstance, nullptr);
    ListView_SetExtendedListViewStyle(list.Handle, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    // One tool tip over every list, whose text is asked for as it shows: a cut cell's whole text.
    if (!FCellTips) {
        FCellTips =
            CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                            WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, FHandle, nullptr, FInstance, nullptr);
        SendMessageW(FCellTips, TTM_SETMAXTIPWIDTH, 0, MulDiv(480, FDpi, 96));
    }
    // The list's tool is the cell under the mouse (see ListProc), empty at first.
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = list.Handle;
    tool.uId = 1;
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    SendMessageW(FCellTips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    // The mouse's cell for the tool tip, and a tree list's keys, reach the window first.
    SetWindowSubclass(list.Handle, ListProc, 1, reinterpret_cast<DWORD_PTR>(this));
    // The properties show no pictures; a list with an image list keeps room for one.
    if (list.Id != lvProject) ListView_SetImageList(list.Handle, imlImages, LVSIL_SMALL);
    if (tree) {
        // The glyph is the row's state image, asked for as the list paints.
        if (!imlGlyphs) imlGlyphs = CreateGlyphs(MulDiv(16, FDpi, 96), GetSysColor(COLOR_WINDOW));
        ListView_SetImageList(list.Handle, imlGlyphs, LVSIL_STATE);
        ListView_SetCallbackMask(list.Handle, LVIS_STATEIMAGEMASK);
    }
    SendMessageW(list.Handle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
    InsertListColumns(list.Handle, list.Columns, FDpi);
    // The rows kept for it so far.
    ListView_SetItemCountEx(list.Handle, static_cast<int>(list.Shown.size()), 0);
    if (list.SortColumn >= 0) ShowSortArrow(list);
}

void TfrmWinCEMain::InsertColumns(TListRows& list, const std::vector<TColumn>& columns) {
    list.Columns = columns;
    if (list.Handle) InsertListColumns(list.Handle, list.Columns, FDpi);
}

HFONT CreateListFont(int dpi) {
    return CreateFontW(-MulDiv(8, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, L"Arial");
}

HIMAGELIST LoadListImages(HINSTANCE instance) {
    HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR32, kImageCount, 0);
    auto strip = static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(IDB_IMAGES),
                                                 IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (strip) {
        ImageList_Add(images, strip, nullptr);
        DeleteObject(strip);
    }
    return images;
}

void InsertListColumns(HWND list, const std::vector<TColumn>& columns, int dpi) {
    int index = 0;
    for (const TColumn& column : columns) {
        if (!column.Listed) continue;
        std::wstring caption = Widen(column.Caption);
        LVCOLUMNW added{};
        added.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        added.pszText = caption.data();
        added.cx = MulDiv(column.Width, dpi, 96);
        // The first column of a report list is always left-aligned.
        added.fmt = index == 0                       ? LVCFMT_LEFT
                    : column.Align == TAlign::Right  ? LVCFMT_RIGHT
                    : column.Align == TAlign::Center ? LVCFMT_CENTER
                                                     : LVCFMT_LEFT;
        ListView_InsertColumn(list, index++, &added);
    }
}

void TfrmWinCEMain::CreatePages() {
    // The pages of no setup give each list its columns, as the report defines them.
    TCESetup none;
    TCABFile noCabinet;
    const TPage properties = BuildPropertiesPage(none, noCabinet.CABFileContents);
    const TPage files = BuildFilesPage(none, noCabinet.CABFileContents);
    const TPage shortcuts = BuildShortcutsPage(none);
    const TRegistryPages registry = BuildRegistryPages(TCESetupBase());
    FProperties = NewList(lvProject, properties);
    FFiles = NewList(lvFiles, files);
    FShortcuts = NewList(lvShortcuts, shortcuts);
    FValues = NewList(lvRegistry, registry.Values);
    const auto page = [](const char* node, TIconKind icon, const std::string& header,
                         TListRows* list, bool registry = false) {
        TViewerPage shown;
        shown.Node = node;
        shown.Icon = icon;
        shown.Header = header;
        shown.Registry = registry;
        shown.List = list;
        return shown;
    };
    FPages = {
        page("", TIconKind::Setup, properties.Caption, FProperties),
        page("Files", TIconKind::Files, files.Caption, FFiles),
        page("Shortcuts", TIconKind::Shortcuts, shortcuts.Caption, FShortcuts),
        page("Registry Entries", TIconKind::Registry, registry.Values.Caption, FValues, true)};
    CreateSetupPages();
    CreateComparisonPage();
    CreatePackagePage();
}

void TfrmWinCEMain::AddPage(const std::string& node, int image, const TPage& columns,
                            TPageBuilder build, bool tree) {
    TViewerPage page;
    page.Node = node;
    page.Header = columns.Caption;
    page.List = NewList(lvFirstExtra + static_cast<int>(FPages.size()), columns);
    page.Build = std::move(build);
    page.Image = image;
    page.Tree = tree;
    FPages.push_back(std::move(page));
}

void TfrmWinCEMain::ShowViewers(bool shown) {
    ShowWindow(FProjectTree, shown ? SW_SHOW : SW_HIDE);
    ShowWindow(FHeader, shown ? SW_SHOW : SW_HIDE);
    if (shown) {
        ShowPage(FPage);
    } else {
        for (const auto& list : FLists)
            if (list->Handle) ShowWindow(list->Handle, SW_HIDE);
        for (const TViewerPage& page : FPages)
            if (page.DetailsPane) ShowWindow(page.DetailsPane, SW_HIDE);
        ShowWindow(FRegistryTree, SW_HIDE);
    }
    InvalidateRect(FHandle, nullptr, TRUE);
}

void TfrmWinCEMain::ShowPage(size_t page) {
    if (page >= FPages.size()) page = 0;
    FPage = page;
    TViewerPage& shown = FPages[page];
    MakeControls(shown);
    SetWindowTextW(FHeader, (L"  " + Widen(shown.Header)).c_str());
    for (const auto& list : FLists)
        if (list.get() != shown.List && list->Handle) ShowWindow(list->Handle, SW_HIDE);
    for (const TViewerPage& other : FPages)
        if (other.DetailsPane && &other != &shown) ShowWindow(other.DetailsPane, SW_HIDE);
    ShowWindow(FRegistryTree, shown.Registry ? SW_SHOW : SW_HIDE);
    if (shown.List) ShowWindow(shown.List->Handle, SW_SHOW);
    if (shown.DetailsPane) ShowWindow(shown.DetailsPane, SW_SHOW);
    Layout();
}

void TfrmWinCEMain::Layout() {
    if (!FToolbar || !FStatus) return;
    SendMessageW(FToolbar, TB_AUTOSIZE, 0, 0);
    SendMessageW(FStatus, WM_SIZE, 0, 0);
    RECT client, bar, status;
    GetClientRect(FHandle, &client);
    GetWindowRect(FToolbar, &bar);
    GetWindowRect(FStatus, &status);
    const int top = bar.bottom - bar.top + 2;
    RECT place{};
    const LRESULT last = SendMessageW(FToolbar, TB_BUTTONCOUNT, 0, 0) - 1;
    if (SendMessageW(FToolbar, TB_GETITEMRECT, static_cast<WPARAM>(last),
                     reinterpret_cast<LPARAM>(&place)))
        SetWindowPos(FFilterBox, HWND_TOP, place.left, place.top + 1, place.right - place.left,
                     place.bottom - place.top - 2, SWP_NOACTIVATE);
    const int bottom = client.bottom - (status.bottom - status.top);
    const int height = std::max(0, bottom - top);
    const int gap = MulDiv(kSplitterWidth, FDpi, 96);
    const int left = std::min<int>(FProjectWidth, std::max<LONG>(0, client.right - gap));
    MoveWindow(FProjectTree, 0, top, left, height, TRUE);
    const int right = left + gap;
    const int width = std::max<int>(0, client.right - right);
    const int header = MulDiv(25, FDpi, 96);
    MoveWindow(FHeader, right, top, width, header, TRUE);
    const int contentTop = top + header;
    const int contentHeight = std::max(0, height - header);
    if (FPage < FPages.size() && FPages[FPage].Registry) {
        const int keys = std::min(FRegistryWidth, std::max(0, width - gap));
        MoveWindow(FRegistryTree, right, contentTop, keys, contentHeight, TRUE);
        MoveWindow(FValues->Handle, right + keys + gap, contentTop, std::max(0, width - keys - gap),
                   contentHeight, TRUE);
    } else if (FPage < FPages.size() && FPages[FPage].List) {
        LayoutList(FPages[FPage], {right, contentTop, right + width, contentTop + contentHeight});
    }
}
