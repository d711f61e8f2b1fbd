#include "win/WinCEMain.h"

#include "cab/cabfiles.h"
#include "setup/CESetup.h"
#include "win/LateDll.h"
#include "win/TextWin.h"
#include "win/resource.h"

#include <algorithm>
#include <commctrl.h>
#include <exception>
#include <future>
#include <shellapi.h>
#include <shlobj.h>
#include <system_error>

namespace {

// The hourglass for the lifetime of the object; restored early with Restore.
class TWaitCursor {
  public:
    TWaitCursor() : FOld(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
    ~TWaitCursor() { Restore(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
    void Restore() {
        if (FActive) SetCursor(FOld ? FOld : LoadCursorW(nullptr, IDC_ARROW));
        FActive = false;
    }

  private:
    HCURSOR FOld;
    bool FActive = true;
};

// A command-line argument as OpenSetup takes it: a full path.
std::wstring FullPath(const std::wstring& argument) {
    wchar_t full[MAX_PATH * 4];
    const DWORD chars = GetFullPathNameW(argument.c_str(), MAX_PATH * 4, full, nullptr);
    return chars > 0 && chars < MAX_PATH * 4 ? std::wstring(full) : argument;
}

bool EndsWithCab(const std::wstring& path) {
    return path.size() >= 4 &&
           CompareStringOrdinal(path.c_str() + path.size() - 4, 4, L".cab", 4, TRUE) == CSTR_EQUAL;
}
} // namespace

bool TfrmWinCEMain::Register(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    if (GetClassInfoExW(instance, kMainWindowClass, &windowClass)) return true;
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_TESSARY));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_TESSARY),
                                                        IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), 0));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kMainWindowClass;
    return RegisterClassExW(&windowClass) != 0;
}

TfrmWinCEMain::TfrmWinCEMain(HINSTANCE instance, std::shared_ptr<TWindowServices> services)
    : FInstance(instance),
      FServices(services ? std::move(services) : std::make_shared<TSystemServices>()),
      FInspection(std::make_unique<inspection::TInspection>()) {}

TfrmWinCEMain* TfrmWinCEMain::Create(HINSTANCE instance, const std::vector<std::wstring>& arguments,
                                     std::shared_ptr<TWindowServices> services) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES |
                                                        ICC_TREEVIEW_CLASSES |
                                                        ICC_STANDARD_CLASSES};
    auto window = std::unique_ptr<TfrmWinCEMain>(new TfrmWinCEMain(instance, std::move(services)));
    if (!arguments.empty()) window->StartEarlyOpen(FullPath(arguments.front()));
    InitCommonControlsEx(&controls);
    if (!Register(instance)) return nullptr;
    HDC screen = GetDC(nullptr);
    window->FDpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    if (window->FDpi <= 0) window->FDpi = 96;
    const int dpi = window->FDpi;
    window->FMenu = LoadMenuW(instance, MAKEINTRESOURCEW(IDR_MAINMENU));
    HWND handle = CreateWindowExW(0, kMainWindowClass, kApplicationTitle,
                                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                                  CW_USEDEFAULT, MulDiv(544, dpi, 96), MulDiv(375, dpi, 96),
                                  nullptr, window->FMenu, instance, window.get());
    if (!handle) return nullptr;
    window->CreateControls();
    window->FormCreate(arguments);
    return window.release();
}

TfrmWinCEMain::~TfrmWinCEMain() {
    if (FHandle) DestroyWindow(FHandle);
    if (FAccelerators) DestroyAcceleratorTable(FAccelerators);
    if (imlImages) ImageList_Destroy(imlImages);
    if (imlGlyphs) ImageList_Destroy(imlGlyphs);
    for (HGDIOBJ object : {static_cast<HGDIOBJ>(FFont), static_cast<HGDIOBJ>(FHeaderFont),
                           static_cast<HGDIOBJ>(FHeaderBrush)})
        if (object) DeleteObject(object);
}

void TfrmWinCEMain::FormCreate(const std::vector<std::wstring>& arguments) {
    FSetupOpen = false;
    FSetupFileName.clear();
    FSetupShownName.clear();
    // Expected beside the viewer; whether it exists is never checked.
    wchar_t self[MAX_PATH * 2] = L"";
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
    std::wstring folder(self, length < MAX_PATH * 2 ? length : 0);
    folder.erase(
        folder.find_last_of(L"\\/") == std::wstring::npos ? 0 : folder.find_last_of(L"\\/") + 1);
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    FEditorPath = folder + L"Velmora.exe";
    FDeviceSources = FServices->LoadDeviceProfile();
    // The cabinet reader's reports on the window's thread are boxes.
    FDiagnostics = std::make_unique<TDiagnostics>([this](const TDiagnostic& report) {
        FServices->ShowMessage(FHandle, L"Error", ToDisplay(report.Text), MB_ICONWARNING);
    });
    FDiagnosticsScope = std::make_unique<TDiagnosticsScope>(*FDiagnostics);
    if (!arguments.empty()) OpenSetup(FullPath(arguments.front()));
}

void TfrmWinCEMain::StartEarlyOpen(const std::wstring& fileName) {
    auto early = std::make_unique<inspection::TInspection>();
    try {
        // Open binds the inspection's own diagnostics on the thread it runs on.
        FEarlyOpen = std::async(std::launch::async,
                                [inspection = early.get(), path = ToLocalPath(fileName)] {
                                    return inspection->Open(path);
                                });
    } catch (const std::system_error&) {
        return; // no thread: the window reads it when it opens it
    }
    FEarlyFileName = fileName;
    FEarlyInspection = std::move(early);
}

inspection::TOpenResult TfrmWinCEMain::OpenInspection(const std::wstring& fileName) {
    if (FEarlyOpen.valid()) {
        // The list a setup shows first is made while the reading ends.
        MakeControls(FPages[kProjectNodeSetup]);
        std::unique_ptr<inspection::TInspection> early = std::move(FEarlyInspection);
        const inspection::TOpenResult opened = FEarlyOpen.get();
        // It replaces the empty one, on which nothing runs.
        if (fileName == FEarlyFileName) {
            FInspection = std::move(early);
            return opened;
        }
    }
    return FInspection->Open(ToLocalPath(fileName));
}

void TfrmWinCEMain::FormDestroy() {
    CloseSetup();
    // A package open goes now, its folder after the reader has ended.
    ClosePackage();
    FDiagnosticsScope.reset();
}

void TfrmWinCEMain::OpenSetup(const std::wstring& fileName) {
    // Another file: a package open before goes, with the setup it showed.
    ClosePackage();
    OpenSetupFile(fileName, fileName.substr(fileName.find_last_of(L"\\/:") + 1));
}

void TfrmWinCEMain::OpenSetupFile(const std::wstring& fileName, const std::wstring& shown) {
    TWaitCursor cursor;
    try {
        // The setup open goes; a package open stays.
        if (FSetupOpen) ResetToEmpty();
        // A descriptor that fails to load still shows what the model holds, so only an
        // unrecognised cabinet (or one that cannot be read) is refused.
        const inspection::TOpenResult opened = OpenInspection(fileName);
        for (const TDiagnostic& report : FInspection->Diagnostics().Take())
            FServices->ShowMessage(FHandle, L"Error", ToDisplay(report.Text), MB_ICONWARNING);
        if (!opened) {
            cursor.Restore();
            // Not a setup: perhaps what users receive around setups.
            if (!FPackage && OpenPackageFile(fileName)) return;
            // Or an index of setups, which opens in its own window.
            if (!FPackage && LooksLikeCollection(fileName)) {
                // Null when it is no index after all, the reason shown by OpenCollection.
                OpenCollection(fileName);
                return;
            }
            FailOpen(shown, ToDisplay(opened.Message));
            return;
        }
        Fill(fileName, shown);
    } catch (const std::exception& e) {
        cursor.Restore();
        FailOpen(shown, ToDisplay(e.what()));
    } catch (...) {
        cursor.Restore();
        FailOpen(shown, L"Unknown error");
    }
}

void TfrmWinCEMain::FailOpen(const std::wstring& name, const std::wstring& reason) {
    ResetToEmpty();
    SetStatusText(name + L": " + reason);
    ShowError(reason);
}

void TfrmWinCEMain::CloseSetup() {
    // With no setup open, Close Setup closes the package listed.
    if (!FSetupOpen) {
        ClosePackage();
        return;
    }
    ResetToEmpty();
}

void TfrmWinCEMain::ResetToEmpty() {
    FFilling = true;
    // The reader stops, and whatever it handed over for this setup is dropped.
    FInspection->Close();
    ++FReadingRun;
    FReading = false;
    {
        const std::lock_guard<std::mutex> lock(FInbox->Lock);
        FInbox->Pending.clear();
    }
    FSetup = nullptr;
    FSetupOpen = false;
    FSetupFileName.clear();
    FSetupShownName.clear();
    FFocusTreeOnActivate = false;
    ShowViewers(false);
    if (FProjectTree) TreeView_DeleteAllItems(FProjectTree);
    if (FRegistryTree) TreeView_DeleteAllItems(FRegistryTree);
    FRegistryItems.clear();
    FRegistry = TRegistryPages{};
    for (auto& list : FLists)
        ClearList(*list);
    for (TViewerPage& page : FPages) {
        page.Present = false;
        page.Status.clear();
    }
    FProgramRows.clear();
    FFindings.clear();
    FSignaturePages = {};
    FProvisioningCertificates = {};
    FFindingsComplete = false;
    FFilesPending = false;
    FCabinetIdentity.reset();
    FDeviceDecision.reset();
    FFilling = false;
    SetWindowTextW(FHandle, kApplicationTitle);
    SetStatusText(L"");
    for (int id : {mnuCloseSetup, mnuEditWithVLM, mnuExtractAll, mnuExportRegistry, mnuSaveReport,
                   mnuCompareWith})
        SetEnabled(id, false);
    SetExtractEnabled(false);
    // An open package stays, listing its setups.
    if (FPackage) ShowPackage();
}

void TfrmWinCEMain::ShowError(const std::wstring& text) {
    FServices->ShowMessage(FHandle, kApplicationTitle, text, MB_ICONERROR);
}

void TfrmWinCEMain::Guarded(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& e) {
        ShowError(ToDisplay(e.what()));
    } catch (...) {
        ShowError(L"Unknown error");
    }
}

HWND TfrmWinCEMain::Control(int id) {
    switch (id) {
    case tbMain:
        return FToolbar;
    case sbStatus:
        return FStatus;
    case edtFilter:
        return FFilterBox;
    case tvProject:
        return FProjectTree;
    case tvRegistry:
        return FRegistryTree;
    case lblHeader:
        return FHeader;
    default:
        for (TViewerPage& page : FPages)
            if ((page.List && page.List->Id == id) || (page.DetailsId && page.DetailsId == id))
                MakeControls(page);
        return GetDlgItem(FHandle, id);
    }
}

void TfrmWinCEMain::SetEnabled(int id, bool enabled) {
    EnableMenuItem(FMenu, static_cast<UINT>(id), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    if (FToolbar) SendMessageW(FToolbar, TB_ENABLEBUTTON, static_cast<WPARAM>(id), enabled);
}

bool TfrmWinCEMain::CommandEnabled(int id) const {
    const UINT state = GetMenuState(FMenu, static_cast<UINT>(id), MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && !(state & (MF_GRAYED | MF_DISABLED));
}

void TfrmWinCEMain::SetExtractEnabled(bool enabled) {
    SetEnabled(mnuExtractFile, enabled);
}

void TfrmWinCEMain::SetStatusText(const std::wstring& text) {
    if (FStatus) SendMessageW(FStatus, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void TfrmWinCEMain::Command(int id) {
    switch (id) {
    case mnuOpenFile:
        mnuOpenFileClick();
        break;
    case mnuExtractFile:
        mnuExtractFileClick();
        break;
    case mnuExtractAll:
        mnuExtractAllClick();
        break;
    case mnuExportRegistry:
        mnuExportRegistryClick();
        break;
    case mnuDeviceProfile:
        mnuDeviceProfileClick();
        break;
    case mnuOpenBaseline:
        mnuOpenBaselineClick();
        break;
    case mnuSaveReport:
        mnuSaveReportClick();
        break;
    case mnuCompareWith:
        mnuCompareWithClick();
        break;
    case mnuOpenCollection:
        mnuOpenCollectionClick();
        break;
    case mnuCloseSetup:
        CloseSetup();
        break;
    case mnuEditWithVLM:
        mnuEditWithVLMClick();
        break;
    case mnuExit:
        PostMessageW(FHandle, WM_CLOSE, 0, 0);
        break;
    case mnuCopy:
        mnuCopyClick();
        break;
    case mnuFilter:
        mnuFilterClick();
        break;
    case mnuAbout:
        FServices->ShowAbout(FHandle);
        break;
    default:
        break;
    }
}

std::wstring TfrmWinCEMain::DialogFolder() const {
    if (FSetupOpen && !FSetupFileName.empty()) {
        const size_t cut = FSetupFileName.find_last_of(L"\\/");
        if (cut != std::wstring::npos) {
            const std::wstring folder = FSetupFileName.substr(0, cut + 1);
            const DWORD attributes = GetFileAttributesW(folder.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                return folder;
        }
    }
    wchar_t home[MAX_PATH] = L"";
    if (const auto folderPath =
            LateFunction<decltype(SHGetFolderPathW)>(L"shell32.dll", "SHGetFolderPathW"))
        if (SUCCEEDED(folderPath(nullptr, CSIDL_PROFILE, nullptr, 0, home))) return home;
    return {};
}

void TfrmWinCEMain::mnuOpenFileClick() {
    TFileDialogRequest request;
    request.Filter = std::wstring(L"Windows CE Setup File (*.cab)") + L'\0' + L"*.cab" + L'\0';
    request.Folder = DialogFolder();
    const std::wstring chosen = FServices->RunFileDialog(FHandle, request);
    if (!chosen.empty()) OpenSetup(chosen);
}

void TfrmWinCEMain::DropFiles(HDROP drop) {
    std::wstring path;
    const auto query = LateFunction<decltype(DragQueryFileW)>(L"shell32.dll", "DragQueryFileW");
    const auto finish = LateFunction<decltype(DragFinish)>(L"shell32.dll", "DragFinish");
    // Without them the drop cannot be read, and nothing opens.
    if (!query || !finish) return;
    const UINT count = query(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count && path.empty(); ++i) {
        const UINT length = query(drop, i, nullptr, 0);
        std::wstring name(length + 1, L'\0');
        query(drop, i, name.data(), length + 1);
        name.resize(length);
        if (EndsWithCab(name)) path = name;
    }
    finish(drop);
    if (!path.empty()) OpenSetup(path);
}

bool TfrmWinCEMain::TranslateShortcut(MSG& message) {
    // Another window of the viewer (a collection's) keeps its keys.
    if (message.hwnd != FHandle && !IsChild(FHandle, message.hwnd)) return false;
    if (message.message == WM_KEYDOWN && message.hwnd == FFilterBox) {
        if (message.wParam == VK_ESCAPE && GetWindowTextLengthW(FFilterBox) > 0) {
            SetWindowTextW(FFilterBox, L"");
            return true;
        }
        if (message.wParam == VK_RETURN) {
            if (TListRows* list = FocusedList()) SetFocus(list->Handle);
            return true;
        }
    }
    if (message.message == WM_KEYDOWN && GetKeyState(VK_CONTROL) < 0) {
        // The filter box's own editing keys (Ctrl+C among them) stay the box's, and a details
        // pane's copying of what is selected in it.
        if (message.hwnd == FFilterBox && message.wParam != 'O' && message.wParam != 'E' &&
            message.wParam != VK_F4)
            return false;
        const bool copying =
            message.wParam == 'C' || message.wParam == 'A' || message.wParam == VK_INSERT;
        if (copying && std::any_of(FPages.begin(), FPages.end(), [&message](const TViewerPage& p) {
                return p.DetailsPane && p.DetailsPane == message.hwnd;
            }))
            return false;
    }
    return FAccelerators && TranslateAcceleratorW(FHandle, FAccelerators, &message);
}

LRESULT CALLBACK TfrmWinCEMain::WindowProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<TfrmWinCEMain*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->FHandle = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TfrmWinCEMain*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    // Nothing escapes into the system's message dispatch.
    try {
        return self->Handle(message, wParam, lParam);
    } catch (const std::exception& e) {
        self->ShowError(ToDisplay(e.what()));
    } catch (...) {
        self->ShowError(L"Unknown error");
    }
    return 0;
}

void TfrmWinCEMain::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) == edtFilter) {
        if (HIWORD(wParam) == EN_CHANGE) Guarded([this] { edtFilterChange(); });
        return;
    }
    if (lParam != 0 && reinterpret_cast<HWND>(lParam) != FToolbar) return;
    const int id = LOWORD(wParam);
    // A disabled command's shortcut does nothing, as its menu item would.
    if (id != mnuExit && id != mnuAbout && id != mnuOpenFile && !CommandEnabled(id)) return;
    Guarded([this, id] { Command(id); });
}

bool TfrmWinCEMain::SetOwnCursor(HWND over, WORD hit) {
    if (hit != HTCLIENT) return false;
    // The project tree shows the hand over its nodes, as the design asks.
    if (over == FProjectTree) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return true;
    }
    if (over != FHandle) return false;
    POINT at;
    GetCursorPos(&at);
    ScreenToClient(FHandle, &at);
    const int splitter = SplitterAt(at);
    if (!splitter) return false;
    SetCursor(LoadCursorW(nullptr, splitter == 3 ? IDC_SIZENS : IDC_SIZEWE));
    return true;
}

void TfrmWinCEMain::EraseBackground(HDC dc) {
    RECT client;
    GetClientRect(FHandle, &client);
    // The empty window shows the application-workspace colour, as the design's "Default".
    FillRect(dc, &client, GetSysColorBrush(FSetupOpen ? COLOR_BTNFACE : COLOR_APPWORKSPACE));
}

void TfrmWinCEMain::DragSplitter(POINT at) {
    RECT client;
    GetClientRect(FHandle, &client);
    const int minimum = MulDiv(10, FDpi, 96);
    const int x = at.x;
    if (FDragging == 3) {
        // The pane's part of the list and the pane together; Layout keeps both usable.
        const TViewerPage& page = FPages[FPage];
        RECT list, pane;
        GetWindowRect(page.List->Handle, &list);
        GetWindowRect(page.DetailsPane, &pane);
        MapWindowPoints(nullptr, FHandle, reinterpret_cast<POINT*>(&list), 2);
        MapWindowPoints(nullptr, FHandle, reinterpret_cast<POINT*>(&pane), 2);
        const int height = std::max<int>(1, pane.bottom - list.top);
        FDetailsShare = std::clamp(MulDiv(pane.bottom - at.y, 1000, height), 0, 1000);
    } else if (FDragging == 1) {
        FProjectWidth = std::max(minimum, std::min<int>(x, client.right - minimum));
    } else {
        RECT tree;
        GetWindowRect(FProjectTree, &tree);
        MapWindowPoints(nullptr, FHandle, reinterpret_cast<POINT*>(&tree), 2);
        const int left = tree.right + MulDiv(kSplitterWidth, FDpi, 96);
        FRegistryWidth = std::max(minimum, std::min<int>(x - left, client.right - left - minimum));
    }
    Layout();
    // Moved controls keep none of their old pixels.
    RedrawWindow(FHandle, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

LRESULT TfrmWinCEMain::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        OnCommand(wParam, lParam);
        return 0;
    case WM_NOTIFY:
        return Notify(*reinterpret_cast<NMHDR*>(lParam));
    case kReadingMessage:
        TakeReadings();
        return 0;
    case WM_MEASUREITEM: {
        auto& item = *reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (item.CtlType != ODT_MENU) break;
        item.itemWidth = 16;
        item.itemHeight = 16;
        return TRUE;
    }
    case WM_DRAWITEM: {
        const auto& item = *reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (item.CtlType != ODT_MENU) break;
        const int top = item.rcItem.top + (item.rcItem.bottom - item.rcItem.top - 16) / 2;
        ImageList_Draw(imlImages, static_cast<int>(item.itemData), item.hDC, item.rcItem.left, top,
                       (item.itemState & ODS_GRAYED) ? ILD_BLEND50 : ILD_TRANSPARENT);
        return TRUE;
    }
    case WM_SIZE:
        Layout();
        return 0;
    case WM_ACTIVATE:
        return Activate(wParam, lParam);
    case WM_GETMINMAXINFO:
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {MulDiv(300, FDpi, 96),
                                                                 MulDiv(200, FDpi, 96)};
        return 0;
    case WM_DROPFILES:
        DropFiles(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) == FHeader) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, GetSysColor(COLOR_CAPTIONTEXT));
            SetBkColor(dc, GetSysColor(COLOR_DESKTOP));
            return reinterpret_cast<LRESULT>(FHeaderBrush);
        }
        break;
    case WM_ERASEBKGND:
        EraseBackground(reinterpret_cast<HDC>(wParam));
        return 1;
    case WM_SETCURSOR:
        if (SetOwnCursor(reinterpret_cast<HWND>(wParam), LOWORD(lParam))) return TRUE;
        break;
    case WM_LBUTTONDOWN:
        FDragging =
            SplitterAt({static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
        if (FDragging) SetCapture(FHandle);
        return 0;
    case WM_MOUSEMOVE:
        if (FDragging && GetCapture() == FHandle)
            DragSplitter({static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
        return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        if (FDragging && message == WM_LBUTTONUP) ReleaseCapture();
        FDragging = 0;
        return 0;
    case WM_CLOSE:
        DestroyWindow(FHandle);
        return 0;
    case WM_DESTROY:
        FormDestroy();
        if (GetPropW(FHandle, L"TessaryQuitOnClose")) PostQuitMessage(0);
        RemovePropW(FHandle, L"TessaryQuitOnClose");
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(FHandle, GWLP_USERDATA, 0);
        FHandle = nullptr;
        return 0;
    default:
        break;
    }
    return DefWindowProcW(FHandle, message, wParam, lParam);
}

LRESULT TfrmWinCEMain::Activate(WPARAM wParam, LPARAM lParam) {
    // Otherwise as the system does: the window itself takes the focus unless minimized.
    if (LOWORD(wParam) == WA_INACTIVE || HIWORD(wParam) || !FFocusTreeOnActivate)
        return DefWindowProcW(FHandle, WM_ACTIVATE, wParam, lParam);
    FFocusTreeOnActivate = false;
    SetFocus(FProjectTree);
    return 0;
}

int TfrmWinCEMain::SplitterAt(POINT at) const {
    if (!FSetupOpen) return 0;
    const auto within = [this, at](HWND left, HWND right) {
        if (!IsWindowVisible(left) || !IsWindowVisible(right)) return false;
        RECT a, b;
        GetWindowRect(left, &a);
        GetWindowRect(right, &b);
        MapWindowPoints(nullptr, FHandle, reinterpret_cast<POINT*>(&a), 2);
        MapWindowPoints(nullptr, FHandle, reinterpret_cast<POINT*>(&b), 2);
        return at.x >= a.right && at.x < b.left && at.y >= b.top && at.y < b.bottom;
    };
    if (within(FRegistryTree, FValues->Handle)) return 2;
    // The gap between a list and its details pane, the width of both: the page shown has both.
    if (FPage < FPages.size() && FPages[FPage].DetailsPane) {
        RECT list, pane;
        GetWindowRect(FPages[FPage].List->Handle, &list);
        GetWindowRect(FPages[FPage].DetailsPane, &pane);
        MapWindowPoints(nullptr, FHandle, reinterpret_cast<POINT*>(&list), 2);
        MapWindowPoints(nullptr, FHandle, reinterpret_cast<POINT*>(&pane), 2);
        if (at.y >= list.bottom && at.y < pane.top && at.x >= pane.left && at.x < pane.right)
            return 3;
    }
    // The gap beside the project tree, the whole height of the tree.
    RECT tree;
    GetWindowRect(FProjectTree, &tree);
    MapWindowPoints(nullptr, FHandle, reinterpret_cast<POINT*>(&tree), 2);
    return at.x >= tree.right && at.x < tree.right + MulDiv(kSplitterWidth, FDpi, 96) &&
                   at.y >= tree.top && at.y < tree.bottom
               ? 1
               : 0;
}

int RunMessageLoop(TfrmWinCEMain& window) {
    SetPropW(window.Handle(), L"TessaryQuitOnClose", reinterpret_cast<HANDLE>(1));
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (window.Handle() && window.TranslateShortcut(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
