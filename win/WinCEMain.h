#pragma once
// The main window: menu, toolbar, status bar, the project tree with its pages, and the two
// operations everything turns on, OpenSetup and CloseSetup. Plain Win32 and the common
// controls; what the pages show comes from report/, as in the Qt viewer.
#include "audit/Audit.h"
#include "cab/Diagnostics.h"
#include "device/Decision.h"
#include "programs/Programs.h"
#include "provisioning/Provisioning.h"
#include "report/Page.h"
#include "report/RegistryPages.h"
#include "report/SetupPages.h"
#include "signature/Signature.h"
#include "win/WindowServices.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

class TCABFile;
class TCESetup;

// The application title, also the caption of the window's message boxes.
inline constexpr const wchar_t* kApplicationTitle = L"Tessary";
inline constexpr const wchar_t* kMainWindowClass = L"TfrmWinCEMain";
// Width of the splitters between the panes, in pixels at 96 dots per inch.
inline constexpr int kSplitterWidth = 4;

// One list view in report style over rows the window keeps: an owner-data list, so that a
// filter or a page of 65,535 rows only changes a count.
struct TListRows {
    HWND Handle = nullptr;
    std::vector<TColumn> Columns;                // the listed ones
    std::vector<std::vector<std::wstring>> Rows; // texts of the listed columns
    std::vector<int> Images;                     // image list index per row, -1 for none
    std::vector<int> Indents;                    // depth of a row of a nested document
    std::vector<size_t> Sources;                 // model index behind each row
    std::vector<size_t> Shown;                   // rows that pass the filter, in order
};

// What a later page shows of the open setup: its rows and the status bar's text while it is
// selected; none when the setup has nothing to show there, and the node stays out of the tree.
struct TBuiltPage {
    TPage Page;
    std::string Status;
};
using TPageBuilder = std::function<std::optional<TBuiltPage>(TCESetup& setup, TCABFile& cabinet)>;

// A page of the project tree: a node, the header strip's caption and what fills it. The
// design's four come first; each later one is a node below the setup's with one list.
struct TViewerPage {
    std::string Node; // the node's caption; the setup's name for the first page
    TIconKind Icon = TIconKind::None;
    std::string Header;    // the header strip's caption
    bool Registry = false; // the key tree and its value list instead of one list
    TListRows* List = nullptr;
    TPageBuilder Build;   // for the later pages
    int Image = -1;       // a later page's picture in the image list
    bool Present = false; // a later page the open setup has
    std::wstring Status;  // a later page's status text
};

class TfrmWinCEMain {
  public:
    // Registers the window class once per process.
    static bool Register(HINSTANCE instance);
    // Creates the window (hidden) and opens the first argument, if any, before it is shown.
    // services: null for the system's dialogs and message boxes.
    static TfrmWinCEMain* Create(HINSTANCE instance, const std::vector<std::wstring>& arguments,
                                 std::shared_ptr<TWindowServices> services = nullptr);
    ~TfrmWinCEMain();
    TfrmWinCEMain(const TfrmWinCEMain&) = delete;
    TfrmWinCEMain& operator=(const TfrmWinCEMain&) = delete;

    // FileName must be a full path.
    void OpenSetup(const std::wstring& fileName);
    void CloseSetup();
    // Runs a command as its menu item, button or shortcut does.
    void Command(int id);
    // Whether the message is one of the window's shortcuts (and runs it).
    bool TranslateShortcut(MSG& message);

    [[nodiscard]] HWND Handle() const { return FHandle; }
    [[nodiscard]] HWND Control(int id) const;
    [[nodiscard]] bool SetupOpen() const { return FSetupOpen; }
    [[nodiscard]] const std::wstring& EditorPath() const { return FEditorPath; }
    [[nodiscard]] const std::vector<TViewerPage>& Pages() const { return FPages; }
    [[nodiscard]] bool CommandEnabled(int id) const;
    // The page that the project tree's selection shows.
    [[nodiscard]] size_t CurrentPage() const { return FPage; }

  private:
    TfrmWinCEMain(HINSTANCE instance, std::shared_ptr<TWindowServices> services);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Notify(NMHDR& header);

    void FormCreate(const std::vector<std::wstring>& arguments);
    void FormDestroy();
    void CreateControls();
    void CreateToolbar();
    void CreatePages();
    // The pages beyond the design's four: provisioning, signature, programs, findings.
    void CreateSetupPages();
    HWND NewList(int id, TListRows& list, const TPage& columnsOf);
    // A later page: its node's caption and picture, a page giving its list the columns, and
    // what builds its rows.
    void AddPage(const std::string& node, int image, const TPage& columns, TPageBuilder build);
    void Layout();
    // Which splitter the point of the client area is on: 1 beside the project tree, 2 beside
    // the registry page's key tree, 0 none.
    [[nodiscard]] int SplitterAt(POINT at) const;
    void ShowViewers(bool shown);
    void ShowPage(size_t page);

    void ResetToEmpty();
    void Fill(const std::wstring& fileName);
    void FillProjectTree();
    void FillRegistry();
    void SetRows(TListRows& list, const TPage& page, const std::vector<size_t>* rows = nullptr);
    void ApplyFilter(TListRows& list);
    void ClearList(TListRows& list);
    void tvProjectChange();
    void tvRegistryChange();
    void lvFilesChange();
    // Shows the page and the row a finding is about, as far as this window lists them.
    void GoToFinding(size_t index);
    // Selects the project tree's node of the page; false when the setup does not list it.
    bool SelectPage(size_t page);
    // Selects and shows the list's row of the model index; false when no row shows it.
    bool SelectListSource(TListRows& list, size_t source);
    void SetEnabled(int id, bool enabled);
    void SetExtractEnabled(bool enabled);
    void SetStatusText(const std::wstring& text);
    void ShowError(const std::wstring& text);
    void Guarded(const std::function<void()>& command);

    void mnuOpenFileClick();
    void mnuExtractFileClick();
    void mnuExtractAllClick();
    void mnuExportRegistryClick();
    // File > Device Profile...: a provisioning document, .cpf, .cab or certificate the devices
    // have; the profile is remembered between runs and the open setup judged again.
    void mnuDeviceProfileClick();
    void mnuEditWithVLMClick();
    void mnuCopyClick();
    void mnuFilterClick();
    void edtFilterChange();
    void DropFiles(HDROP drop);
    [[nodiscard]] std::wstring DialogFolder() const;
    [[nodiscard]] TListRows* FocusedList();

    HINSTANCE FInstance;
    std::shared_ptr<TWindowServices> FServices;
    std::unique_ptr<TDiagnostics> FDiagnostics;
    std::unique_ptr<TDiagnosticsScope> FDiagnosticsScope;
    std::unique_ptr<TCABFile> FCabFile;
    std::unique_ptr<TCESetup> FSetup;
    bool FSetupOpen = false;
    bool FFilling = false;
    std::wstring FEditorPath;
    std::wstring FSetupFileName;
    std::wstring FFilter;

    HWND FHandle = nullptr;
    HMENU FMenu = nullptr;
    HACCEL FAccelerators = nullptr;
    HIMAGELIST imlImages = nullptr;
    HFONT FFont = nullptr;
    HFONT FHeaderFont = nullptr;
    HBRUSH FHeaderBrush = nullptr;
    HWND FToolbar = nullptr, FStatus = nullptr, FFilterBox = nullptr;
    HWND FProjectTree = nullptr, FHeader = nullptr;
    HWND FRegistryTree = nullptr;
    int FDpi = 96;
    int FProjectWidth = 150;  // the left pane of the viewers
    int FRegistryWidth = 180; // the key tree's pane
    int FDragging = 0;        // 1: the viewers' splitter, 2: the registry page's
    size_t FPage = 0;

    TRegistryPages FRegistry;
    TCabinetSignature FSignature;          // of the open cabinet, read once when it opens
    std::vector<HTREEITEM> FRegistryItems; // per node of FRegistry.Keys
    // What the later pages read while the setup opens, kept for the audit that comes last.
    std::optional<provisioning::TProvisioningTree> FProvisioningTree;
    std::vector<TProgramRow> FProgramRows;
    std::vector<TFinding> FFindings;
    size_t FFindingsPage = 0; // the Findings page's index in FPages
    // The device profile's sources and the decision the Device page shows; none without one.
    std::vector<std::string> FDeviceSources;
    std::optional<device::TDeviceDecision> FDeviceDecision;
    std::vector<std::unique_ptr<TListRows>> FLists;
    TListRows* FProperties = nullptr;
    TListRows* FFiles = nullptr;
    TListRows* FShortcuts = nullptr;
    TListRows* FValues = nullptr;
    std::vector<TViewerPage> FPages;
};

// The sizes' decimal separator of the user's locale, captions sorted with the system's
// locale-aware comparison.
[[nodiscard]] TReportOptions WindowReportOptions();

// Runs the message loop until the window closes; every message passes the window's shortcuts.
int RunMessageLoop(TfrmWinCEMain& window);
