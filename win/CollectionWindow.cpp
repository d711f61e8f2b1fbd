#include "win/CollectionWindow.h"

#include "collection/BrowsePages.h"
#include "win/TextWin.h"
#include "win/resource.h"

#include <commctrl.h>

namespace {

constexpr const wchar_t* kCollectionWindowClass = L"TfrmCollection";

bool RegisterCollectionWindow(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    if (GetClassInfoExW(instance, kCollectionWindowClass, &windowClass)) return true;
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_TESSARY));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kCollectionWindowClass;
    return RegisterClassExW(&windowClass) != 0;
}

std::wstring TextOf(HWND control) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring FileNameOf(const std::wstring& path) {
    const size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

} // namespace

TfrmCollection::TfrmCollection(HINSTANCE instance, std::string database, TOpenSetup openSetup)
    : FInstance(instance), FDatabase(std::move(database)), FOpenSetup(std::move(openSetup)) {}

TfrmCollection::~TfrmCollection() {
    if (FImages) ImageList_Destroy(FImages);
    if (FFont) DeleteObject(FFont);
}

TfrmCollection* TfrmCollection::Create(HINSTANCE instance, HWND owner, const std::wstring& fileName,
                                       TOpenSetup openSetup) {
    std::string database = ToLocalPath(fileName);
    if (database.empty())
        throw collection::TCollectionError("cannot open the index: its name has no place in "
                                           "this system's code page",
                                           true);
    auto* window = new TfrmCollection(instance, std::move(database), std::move(openSetup));
    try {
        // Read before any control is made: an index that does not open makes no window.
        window->FRows = collection::ListSetups(window->FDatabase, {});
    } catch (...) {
        delete window;
        throw;
    }
    window->FTotal = window->FRows.size();
    if (!RegisterCollectionWindow(instance, WindowProc)) {
        delete window;
        throw std::runtime_error("the collection window could not be made");
    }
    HDC screen = GetDC(nullptr);
    window->FDpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    if (window->FDpi <= 0) window->FDpi = 96;
    const int dpi = window->FDpi;
    const std::wstring caption = L"Collection - " + FileNameOf(fileName);
    // From here the window owns the object: it goes when the window is destroyed.
    TfrmCollection* self = window;
    HWND handle =
        CreateWindowExW(0, kCollectionWindowClass, caption.c_str(),
                        WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                        MulDiv(900, dpi, 96), MulDiv(560, dpi, 96), owner, nullptr, instance, self);
    if (!handle) {
        delete self;
        throw std::runtime_error("the collection window could not be made");
    }
    self->FOwnedByWindow = true;
    try {
        self->CreateControls();
    } catch (...) {
        DestroyWindow(handle);
        throw;
    }
    ShowWindow(handle, SW_SHOWNORMAL);
    return self;
}

HWND TfrmCollection::Control(int id) const {
    if (id == frmCollection) return FHandle;
    if (id == lblCollectionStatus) return FStatus;
    return GetDlgItem(FHandle, id);
}

void TfrmCollection::CreateControls() {
    FFont = CreateListFont(FDpi);
    FImages = LoadListImages(FInstance);
    FSearch = NewEdit(edtCollectionSearch, L"Search the setups");
    NewList(lvCollection, FSetups, collection::BuildSetupsPage({}));
    FContainsBox = NewEdit(edtContains, L"Which setups contain...");
    NewList(lvContains, FContains, collection::BuildContainsPage({}));
    FStatus = CreateWindowExW(
        0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, FHandle,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(lblCollectionStatus)), FInstance, nullptr);
    SendMessageW(FStatus, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
    SetRows(FSetups, collection::BuildSetupsPage(FRows));
    SetStatus(Widen(collection::SetupsStatusText(FRows.size(), FTotal, false)));
    Layout();
    SetFocus(FSearch);
}

HWND TfrmCollection::NewEdit(int id, const wchar_t* cue) {
    HWND edit = CreateWindowExW(
        WS_EX_CLIENTEDGE, WC_EDITW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 0, 0,
        0, 0, FHandle, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), FInstance, nullptr);
    SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
    SendMessageW(edit, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(cue));
    // Enter runs the box's search, as the Qt viewer's return key does.
    SetWindowSubclass(edit, EditProc, 1, reinterpret_cast<DWORD_PTR>(this));
    return edit;
}

void TfrmCollection::NewList(int id, TListRows& list, const TPage& columnsOf) {
    list.Handle = CreateWindowExW(
        WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS |
            LVS_SINGLESEL | LVS_NOSORTHEADER,
        0, 0, 0, 0, FHandle, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), FInstance, nullptr);
    ListView_SetExtendedListViewStyle(list.Handle,
                                      LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP);
    ListView_SetImageList(list.Handle, FImages, LVSIL_SMALL);
    SendMessageW(list.Handle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
    for (const TColumn& column : columnsOf.Columns)
        if (column.Listed) list.Columns.push_back(column);
    InsertListColumns(list.Handle, list.Columns, FDpi);
}

void TfrmCollection::SetRows(TListRows& list, const TPage& page) {
    list.Rows.clear();
    list.Images.clear();
    list.Indents.clear();
    list.Sources.clear();
    list.Dimmed.clear();
    list.Shown.clear();
    for (const TRow& row : page.Rows) {
        list.Shown.push_back(list.Rows.size());
        AppendListRow(list, page, row);
    }
    ListView_SetItemState(list.Handle, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemCountEx(list.Handle, static_cast<int>(list.Shown.size()), 0);
    if (!list.Shown.empty()) ListView_SetItemState(list.Handle, 0, LVIS_FOCUSED, LVIS_FOCUSED);
    InvalidateRect(list.Handle, nullptr, TRUE);
}

void TfrmCollection::Layout() {
    RECT client{};
    GetClientRect(FHandle, &client);
    SendMessageW(FStatus, WM_SIZE, 0, 0);
    RECT status{};
    GetWindowRect(FStatus, &status);
    const int margin = MulDiv(4, FDpi, 96);
    const int edit = MulDiv(22, FDpi, 96);
    const int width = client.right - 2 * margin;
    const int bottom = client.bottom - (status.bottom - status.top);
    // The setups take three fifths of the height below the boxes, the hits the rest.
    const int lists = bottom - 4 * margin - 2 * edit;
    const int upper = lists > 0 ? lists * 3 / 5 : 0;
    const int lower = lists > 0 ? lists - upper : 0;
    int y = margin;
    MoveWindow(FSearch, margin, y, width, edit, TRUE);
    y += edit;
    MoveWindow(FSetups.Handle, margin, y, width, upper, TRUE);
    y += upper + margin;
    MoveWindow(FContainsBox, margin, y, width, edit, TRUE);
    y += edit;
    MoveWindow(FContains.Handle, margin, y, width, lower, TRUE);
}

void TfrmCollection::Search(const std::wstring& words) {
    Guarded([&] {
        const std::vector<std::string> searched = collection::SearchWords(ToUtf8(words));
        FRows = collection::ListSetups(FDatabase, searched);
        SetRows(FSetups, collection::BuildSetupsPage(FRows));
        SetStatus(Widen(collection::SetupsStatusText(FRows.size(), FTotal, !searched.empty())));
    });
}

void TfrmCollection::SearchContains(const std::wstring& text) {
    Guarded([&] {
        FHits.clear();
        if (!text.empty())
            FHits = collection::WhichSetupsContain(FDatabase, ToUtf8(text),
                                                   collection::kContainsRowLimit);
        SetRows(FContains, collection::BuildContainsPage(FHits));
        SetStatus(Widen(collection::ContainsStatusText(FHits, collection::kContainsRowLimit)));
    });
}

void TfrmCollection::OpenRow(const TListRows& list, int row) {
    if (row < 0 || static_cast<size_t>(row) >= list.Shown.size() || !FOpenSetup) return;
    const size_t source = list.Sources[list.Shown[static_cast<size_t>(row)]];
    const std::string* path = nullptr;
    if (&list == &FSetups && source < FRows.size()) path = &FRows[source].Path;
    if (&list == &FContains && source < FHits.size()) path = &FHits[source].Path;
    // The index keeps paths as UTF-8.
    if (path) FOpenSetup(FromUtf8(*path));
}

void TfrmCollection::SetStatus(const std::wstring& text) {
    SendMessageW(FStatus, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void TfrmCollection::Guarded(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::bad_alloc&) {
        SetStatus(L"Out of memory");
    } catch (const std::exception& e) {
        // The index's messages name it by its desktop path, in the system's code page.
        SetStatus(FromLocalPath(e.what()));
    } catch (...) {
        SetStatus(L"Unknown error");
    }
}

LRESULT TfrmCollection::Notify(NMHDR& header) {
    TListRows* list = header.hwndFrom == FSetups.Handle     ? &FSetups
                      : header.hwndFrom == FContains.Handle ? &FContains
                                                            : nullptr;
    if (!list) return 0;
    switch (header.code) {
    case LVN_GETDISPINFOW: {
        auto& info = reinterpret_cast<NMLVDISPINFOW&>(header).item;
        const auto row = static_cast<size_t>(info.iItem);
        if (row >= list->Shown.size()) return 0;
        const size_t shown = list->Shown[row];
        const auto column = static_cast<size_t>(info.iSubItem);
        if ((info.mask & LVIF_TEXT) && info.pszText && info.cchTextMax > 0)
            lstrcpynW(info.pszText,
                      column < list->Rows[shown].size() ? list->Rows[shown][column].c_str() : L"",
                      info.cchTextMax);
        if (info.mask & LVIF_IMAGE) info.iImage = list->Images[shown];
        return 0;
    }
    case NM_DBLCLK:
        Guarded([&] { OpenRow(*list, reinterpret_cast<NMITEMACTIVATE&>(header).iItem); });
        return 0;
    case NM_RETURN:
        Guarded([&] { OpenRow(*list, ListView_GetNextItem(list->Handle, -1, LVNI_FOCUSED)); });
        return 0;
    default:
        return 0;
    }
}

LRESULT TfrmCollection::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        if (FStatus) Layout();
        return 0;
    case WM_NOTIFY:
        return Notify(*reinterpret_cast<NMHDR*>(lParam));
    case WM_GETMINMAXINFO: {
        auto& limits = *reinterpret_cast<MINMAXINFO*>(lParam);
        limits.ptMinTrackSize = {MulDiv(320, FDpi, 96), MulDiv(240, FDpi, 96)};
        return 0;
    }
    default:
        return DefWindowProcW(FHandle, message, wParam, lParam);
    }
}

LRESULT CALLBACK TfrmCollection::WindowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<TfrmCollection*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->FHandle = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TfrmCollection*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->FHandle = nullptr;
        if (self->FOwnedByWindow) delete self;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    // Nothing escapes into the system's message dispatch.
    LRESULT result = 0;
    self->Guarded([&] { result = self->Handle(message, wParam, lParam); });
    return result;
}

LRESULT CALLBACK TfrmCollection::EditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<TfrmCollection*>(data);
    if (message == WM_KEYDOWN && wParam == VK_RETURN) {
        const std::wstring text = TextOf(edit);
        if (edit == self->FSearch)
            self->Search(text);
        else
            self->SearchContains(text);
        return 0;
    }
    // The Enter's character would only beep.
    if (message == WM_CHAR && wParam == L'\r') return 0;
    if (message == WM_NCDESTROY) RemoveWindowSubclass(edit, EditProc, 1);
    return DefSubclassProc(edit, message, wParam, lParam);
}
