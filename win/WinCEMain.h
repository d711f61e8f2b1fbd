#pragma once
// The main window: menu, toolbar, status bar, the project tree with its pages, and the two
// operations everything turns on, OpenSetup and CloseSetup. Plain Win32 and the common
// controls; what the pages show comes from report/, as in the Qt viewer.
#include "audit/Audit.h"
#include "audit/Baseline.h"
#include "cab/Diagnostics.h"
#include "cab/FileSystem.h"
#include "device/Decision.h"
#include "device/Profile.h"
#include "inspection/OpenedSetup.h"
#include "package/Package.h"
#include "programs/Programs.h"
#include "provisioning/Provisioning.h"
#include "report/Page.h"
#include "report/ReadingTexts.h"
#include "report/RegistryPages.h"
#include "report/SetupPages.h"
#include "report/SignaturePage.h"
#include "signature/Signature.h"
#include "win/WindowServices.h"

#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

class TCABFile;
class TCESetup;
class TfrmCollection;

// The application title, also the caption of the window's message boxes.
inline constexpr const wchar_t* kApplicationTitle = L"Tessary";
inline constexpr const wchar_t* kMainWindowClass = L"TfrmWinCEMain";
// Width of the splitters between the panes, in pixels at 96 dots per inch.
inline constexpr int kSplitterWidth = 4;

// One list view in report style over rows the window keeps: an owner-data list, so that a
// filter or a page of 65,535 rows only changes a count. The rows are kept whether or not the
// list view is made yet: it is made the first time its page is shown (or its id asked for), and
// then counts the rows kept.
struct TListRows {
    HWND Handle = nullptr;                       // null until made
    int Id = 0;                                  // the list view's control id
    std::vector<TColumn> Columns;                // the listed ones
    std::vector<std::vector<std::wstring>> Rows; // texts of the listed columns
    std::vector<int> Images;                     // image list index per row, -1 for none
    std::vector<int> Indents;                    // depth of a row of a nested document
    std::vector<size_t> Sources;                 // model index behind each row
    std::vector<char> Dimmed;                    // greyed: a finding a baseline accepts
    std::vector<COLORREF> Colours;               // a comparison's change, or CLR_DEFAULT
    bool AnyDimmed = false;                      // whether painting needs to ask per row
    bool AnyColoured = false;
    std::vector<size_t> Shown; // rows that pass the filter, in order
    // A tree list (a page of nested nodes) keeps its rows in preorder; per row its parent row
    // (kNoNode at the top level), one past its last descendant, whether it is open and whether
    // the filter lets it through. Indents hold the depth. All empty for a plain list.
    bool Tree = false;
    std::vector<size_t> Parents;
    std::vector<size_t> Ends;
    std::vector<char> Open;
    std::vector<char> Passes;
    [[nodiscard]] bool HasChildren(size_t row) const { return Tree && Ends[row] > row + 1; }
    // The page's rows behind the list's, one per row (an empty one for a node without a row):
    // kept for a list whose details pane or ordering needs them, with the page's columns.
    bool KeepsPage = false;
    TPage Page;
    // A list sorted by a click on a column header: the listed column (-1: the page's order).
    bool Sortable = false;
    int SortColumn = -1;
    bool SortDescending = false;
};

// A row of a page added to a list: the texts of its listed columns, its picture, its source,
// whether it is greyed and its colour.
void AppendListRow(TListRows& list, const TPage& page, const TRow& row);
// The text colour of a row whose first cell shows the icon: a comparison's change, as the Qt
// viewer colours it; CLR_DEFAULT for any other.
[[nodiscard]] COLORREF ListColourOf(TIconKind icon);
// The image list's picture of an icon kind, -1 for none.
[[nodiscard]] int ListImageOf(TIconKind icon);

// The lists' font at the screen's dots per inch, and the image list of the pictures they show.
[[nodiscard]] HFONT CreateListFont(int dpi);
[[nodiscard]] HIMAGELIST LoadListImages(HINSTANCE instance);
// Adds the listed columns to a report list, in the report's widths and alignments.
void InsertListColumns(HWND list, const std::vector<TColumn>& columns, int dpi);

// A tree list's state image list: a closed and an open glyph of size pixels on background.
[[nodiscard]] HIMAGELIST CreateGlyphs(int size, COLORREF background);
// A tree list row's glyph (its state image: 0 for none) and its indent, in pictures.
[[nodiscard]] int TreeGlyph(const TListRows& list, size_t row);
[[nodiscard]] int TreeIndent(const TListRows& list, size_t row);

// A tree list's rows from a tree page: a row per node in preorder (each node shows its first row
// of the page, or its caption), the nodes marked expanded open, everything passing the filter.
// A stack, not recursion.
void BuildTreeRows(TListRows& list, const TTreePage& tree, const TPage& page);

// The tree list's rules, without a window. The filter's matches (a row's own cells) decide what
// passes, as the Qt viewer's tree filter does: a row that matches, its parents, and everything
// below it; a row shown only for what is below it opens. Two passes over the rows, no recursion:
// documents nest tens of thousands deep.
void FilterTree(TListRows& list, const std::vector<char>& matches);
// The rows shown: those that pass, below open parents only. Visits each shown row once and skips
// a closed row's descendants in one step.
void RevealTree(TListRows& list);
// The position of the row among the shown, or Shown.size() when it is not shown.
[[nodiscard]] size_t ShownPosition(const TListRows& list, size_t row);
// How many rows of the top level the filter lets through, and how many there are; for a plain
// list, its shown rows and all of them.
[[nodiscard]] std::pair<size_t, size_t> TopLevelCounts(const TListRows& list);
// Orders the list's top-level rows, each with the rows below it, by the sort keys of a listed
// column of its kept page, as the Qt viewer's tree sorts: stable, so equal keys keep their order.
// Every per-row vector moves with its row; the shown rows are left to RevealTree. Gives each
// row's new place (empty when the list keeps no page).
std::vector<size_t> SortTopLevel(TListRows& list, size_t column, bool descending);

// What a details pane shows for the selected row (null when none is): pages, one below the
// other. Called on the window's thread; what it throws is shown in the pane.
using TDetails = std::function<std::vector<TPage>(const TRow* selected)>;
// The pages as the pane's text: each page's caption, then its listed columns' captions and its
// rows, cells apart by tabs, pages apart by an empty line; texts converted as the lists do.
[[nodiscard]] std::wstring DetailsText(const std::vector<TPage>& pages);

// What a later page shows of the open setup: its rows and the status bar's text while it is
// selected; none when the setup has nothing to show there, and the node stays out of the tree.
struct TBuiltPage {
    TPage Page;
    std::string Status;
    // A tree page: the nodes the page's rows hang in (each node shows its first row).
    std::optional<TTreePage> Tree;
};
using TPageBuilder = std::function<std::optional<TBuiltPage>()>;

// Posted to the window when the background reader has handed results over; they wait in a
// TReadingInbox until the window's thread runs them.
inline constexpr UINT kReadingMessage = WM_APP + 1;

// What the reader's thread hands to the window's: each entry runs there, in order.
struct TReadingInbox {
    std::mutex Lock;
    std::vector<std::function<void()>> Pending;
};

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
    bool Tree = false;    // the list is a tree list
    std::wstring Status;  // a later page's status text
    // A later page's details pane below its list (`txt<Node>Details`, of the id DetailsId), made
    // with the list, and what it shows.
    HWND DetailsPane = nullptr;
    int DetailsId = 0;
    TDetails Details;
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

    // FileName must be a full path. A file that is no setup but holds setups opens as a package.
    void OpenSetup(const std::wstring& fileName);
    void CloseSetup();
    // Runs a command as its menu item, button or shortcut does.
    void Command(int id);
    // Whether the message is one of the window's shortcuts (and runs it).
    bool TranslateShortcut(MSG& message);

    [[nodiscard]] HWND Handle() const { return FHandle; }
    // A list or details pane of a page not shown yet is made now.
    [[nodiscard]] HWND Control(int id);
    [[nodiscard]] bool SetupOpen() const { return FSetupOpen; }
    [[nodiscard]] bool PackageOpen() const { return FPackage != nullptr; }
    // Opens the package's setup of the index (a row of the Package page) below its node.
    void OpenContainedSetup(size_t index);
    [[nodiscard]] const std::wstring& EditorPath() const { return FEditorPath; }
    [[nodiscard]] const std::vector<TViewerPage>& Pages() const { return FPages; }
    [[nodiscard]] bool CommandEnabled(int id) const;
    // The page that the project tree's selection shows.
    [[nodiscard]] size_t CurrentPage() const { return FPage; }
    // The list's selected row as a details pane takes it: the focused row when it is selected,
    // else none; null too for a list that keeps no page.
    [[nodiscard]] const TRow* SelectedRow(const TListRows& list) const;
    [[nodiscard]] const std::vector<TFinding>& Findings() const { return FFindings; }
    // The programs read, whose rows the Programs page lists by their place here.
    [[nodiscard]] const std::vector<TProgramRow>& ProgramRows() const { return FProgramRows; }
    // Whether the programs of the open setup are still being read in the background.
    [[nodiscard]] bool Reading() const { return FReading; }

    // The whole text of the list's cell at the point (of the list's client area) when its column
    // is too narrow for it: what the cell's tool tip shows. Empty for a cell shown whole.
    [[nodiscard]] std::wstring CutCellText(HWND list, POINT at) const;

    // File > Open Baseline... without the dialog: the findings it accepts are greyed with their
    // statement, for this setup and the next; false with a message when it is not a baseline,
    // and the one before stays.
    bool OpenBaseline(const std::wstring& fileName);
    // File > Save Report... without the dialog: the audit and every page as one HTML file,
    // written whole or not at all; false with a message.
    bool SaveReport(const std::wstring& fileName);
    // File > Compare With... without the dialog: the "Comparison" node, listed and selected; a
    // failure is a box naming the cabinet, a cancel a status text, and the window stays as it was.
    void CompareWith(const std::wstring& fileName);
    // File > Open Collection... without the dialog: the index's own window (it lives as long as
    // that window does), or null with a box saying why it is no index.
    TfrmCollection* OpenCollection(const std::wstring& fileName);

  private:
    TfrmWinCEMain(HINSTANCE instance, std::shared_ptr<TWindowServices> services);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    // WM_ACTIVATE: the project tree takes the focus where a setup opened while the window was
    // hidden would have put it.
    LRESULT Activate(WPARAM wParam, LPARAM lParam);
    void OnCommand(WPARAM wParam, LPARAM lParam);
    // The hand over the project tree, the resizing arrows over a splitter; false elsewhere.
    bool SetOwnCursor(HWND over, WORD hit);
    // Moves the splitter being dragged to the point of the client area.
    void DragSplitter(POINT at);
    void EraseBackground(HDC dc);
    LRESULT Notify(NMHDR& header);
    LRESULT NotifyTree(NMHDR& header);
    LRESULT NotifyList(TListRows& list, NMHDR& header);
    void ListDispInfo(TListRows& list, NMLVDISPINFOW& info);
    // A double click or Enter on a row: opens or closes a tree row, or does the row's command.
    void ActivateListRow(TListRows& list, NMHDR& header);

    void FormCreate(const std::vector<std::wstring>& arguments);
    void FormDestroy();
    void CreateControls();
    void CreateToolbar();
    void CreatePages();
    // The pages beyond the design's four: provisioning, signature, programs, findings.
    void CreateSetupPages();
    // The details panes of the Provisioning, Signature and Programs pages.
    void CreateDetailsPanes();
    // The "Comparison" node's page, listed once File > Compare With... has compared.
    void CreateComparisonPage();
    // A list of the id and the page's columns, whose list view is made when first needed.
    TListRows* NewList(int id, const TPage& columnsOf);
    // Makes the page's list view and its details pane, once; they show what was kept for them.
    void MakeControls(TViewerPage& page);
    void MakeList(TListRows& list, bool tree);
    // Adds the columns to a list that has none, in the report's widths and alignments.
    void InsertColumns(TListRows& list, const std::vector<TColumn>& columns);
    // A later page: its node's caption and picture, a page giving its list the columns, and
    // what builds its rows.
    // tree: the list is a tree list, whose builder gives the page's tree.
    void AddPage(const std::string& node, int image, const TPage& columns, TPageBuilder build,
                 bool tree = false);
    void Layout();
    // Which splitter the point of the client area is on: 1 beside the project tree, 2 beside
    // the registry page's key tree, 3 above a details pane, 0 none.
    [[nodiscard]] int SplitterAt(POINT at) const;
    // Gives a later page its details pane (control id), below its list; its list keeps its page.
    void SetDetails(size_t page, int id, TDetails details);
    void MakeDetailsPane(TViewerPage& page);
    // The details pane of the list's page follows its selection; empty while no setup is open.
    void ShowDetails(const TListRows& list);
    // A click on a sortable list's column header: sorted by it, the same column again the other
    // way; the focused row stays focused.
    void SortByColumn(TListRows& list, int column);
    // The header's arrow on the list's sorted column.
    void ShowSortArrow(const TListRows& list);
    // Places the shown page's list and its details pane in the rectangle of the content.
    void LayoutList(const TViewerPage& page, RECT area);
    void ShowViewers(bool shown);
    void ShowPage(size_t page);

    void ResetToEmpty();
    // Starts reading the cabinet of the command line on a thread of its own, while the window and
    // its controls are made: under Wine they take about as long as the reading.
    void StartEarlyOpen(const std::wstring& fileName);
    // Reads the cabinet into FInspection; the one begun early is waited for and taken.
    inspection::TOpenResult OpenInspection(const std::wstring& fileName);
    // Opens a setup cabinet, shown by the name (a package's "NAME : PATH INSIDE"); a file that is
    // no setup opens as a package when none is open.
    void OpenSetupFile(const std::wstring& fileName, const std::wstring& shown);
    void Fill(const std::wstring& fileName, const std::wstring& shown);
    // The "Package" page, listed while a package is open.
    void CreatePackagePage();
    // True when the file is a package (opened, or refused with a message when it holds no setup).
    bool OpenPackageFile(const std::wstring& fileName);
    // Lists the open package's node and page, selected.
    void ShowPackage();
    // Closes the setup and the package, whose private folder goes.
    void ClosePackage();
    // Starts the background reader of the open setup; its results reach the window's thread
    // through kReadingMessage, and those of a setup since closed are dropped.
    void StartReading();
    // Runs what the reader handed over.
    void TakeReadings();
    // The reader's rows: a batch as they arrive, or all of them, marked, when done.
    void ProgramsArrived(std::vector<TProgramRow> rows, bool done);
    // The programs are read or cannot be: every rule runs, the device decides on them too.
    void ReadingDone();
    // The provisioning document decoded in the background (null: it could not be): the
    // inspection takes it, and the pages that follow it are made again.
    void DocumentArrived(std::shared_ptr<const provisioning::TProvisioningTree> tree);
    // A later page listed for the open setup, made again by its builder.
    void RebuildPage(size_t index);
    // What the Findings node and the Project page's row say while the background reads: the
    // programs, or for a setup without files the document.
    [[nodiscard]] const char* ReadingNote() const;
    // The Programs page as the tool prints it, with the device's column when there is one.
    [[nodiscard]] TPage ProgramsPage() const;
    // Shows the device decision made from what is read so far; the Device page and the
    // Project page's row follow it.
    void FillDevice();
    // The Device page's status text: the install decision, and whether the programs are read.
    [[nodiscard]] std::string DeviceStatus() const;
    void FillProjectTree();
    void FillRegistry();
    void SetRows(TListRows& list, const TPage& page, const std::vector<size_t>* rows = nullptr);
    // A tree list's rows: a row per node of the tree, in preorder, the nodes marked expanded open.
    void SetTreeRows(TListRows& list, const TTreePage& tree, const TPage& page);
    // A built page into its list, as a tree when it has one.
    void ShowBuiltPage(TListRows& list, const TBuiltPage& built);
    // Opens or closes a row of a tree list; the focused row stays focused (or its parent takes
    // the focus when it is hidden).
    void OpenTreeRow(TListRows& list, size_t row, bool open);
    // A tree list's keys: Right and "+" open (or step into), Left and "-" close (or step out).
    // False for a key the list handles itself.
    bool TreeKey(TListRows& list, WPARAM key);
    // A click on a tree list: on a row's glyph it opens or closes the row.
    void TreeClick(TListRows& list, POINT at);
    // Tells the list its new count and puts the focus and selection on the row, if shown.
    void Recount(TListRows& list, size_t focus);
    static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR data);
    // Adds the page's rows after the list's own.
    void AppendRows(TListRows& list, const TPage& page, const std::vector<size_t>* rows = nullptr);
    // Gives the list the page's listed columns when they differ from its own (a column added).
    void SetColumns(TListRows& list, const TPage& page);
    // The design's properties with the rows beyond them: the findings' counts and the install
    // decision.
    void FillProjectRows();
    // Marks what the baseline accepts in FFindings and makes their page and headline; sets the
    // node's picture to the worst severity counted.
    [[nodiscard]] TBuiltPage FindingsPage();
    // Shows FFindings again after the baseline changed: their list, the node's picture, its
    // status text and the Project page's row.
    void ShowFindings();
    // The node of a page in the project tree; null when the setup does not list it.
    [[nodiscard]] HTREEITEM PageNode(size_t page) const;
    void ApplyFilter(TListRows& list);
    void ClearList(TListRows& list);
    void tvProjectChange();
    // The Files list's rows, made when the page is first shown (a setup of 20,000 files opens
    // without them, as in the Qt viewer).
    void MakeFilesRows();
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
    // The status bar's text for the page shown: its own, with "(N of M shown)" while the filter
    // narrows its list.
    void ShowStatus();
    void ShowError(const std::wstring& text);
    // A setup that could not be opened: the window empties, the status bar keeps saying why (the
    // cabinet's name as shown and the reason) and a box says it once.
    void FailOpen(const std::wstring& name, const std::wstring& reason);
    // Why a file written whole or not at all was not written, naming it.
    void ShowWriteFailure(const TWriteResult& result, const std::wstring& target);
    void Guarded(const std::function<void()>& command);

    void mnuOpenFileClick();
    void mnuExtractFileClick();
    void mnuExtractAllClick();
    void mnuExportRegistryClick();
    // File > Device Profile...: a provisioning document, .cpf, .cab or certificate the devices
    // have; the profile is remembered between runs and the open setup judged again.
    void mnuDeviceProfileClick();
    void mnuEditWithVLMClick();
    void mnuOpenBaselineClick();
    void mnuSaveReportClick();
    void mnuCompareWithClick();
    // A path the collection index recorded: a cabinet's, or a package's and a setup's in it.
    void OpenIndexedSetup(const std::wstring& path);
    void mnuOpenCollectionClick();
    // Whether the file begins as a SQLite database does: opened as an index of setups.
    [[nodiscard]] static bool LooksLikeCollection(const std::wstring& fileName);
    void mnuCopyClick();
    void mnuFilterClick();
    void edtFilterChange();
    void DropFiles(HDROP drop);
    [[nodiscard]] std::wstring DialogFolder() const;
    // The Save dialog for a file made from the open setup, proposed as the cabinet's name with
    // the extension ext ("html"), filtered by "caption (*.ext)"; the path chosen, or empty.
    [[nodiscard]] std::wstring AskSaveTarget(const std::wstring& title, const std::wstring& caption,
                                             const std::wstring& ext);
    [[nodiscard]] TListRows* FocusedList();

    HINSTANCE FInstance;
    std::shared_ptr<TWindowServices> FServices;
    std::unique_ptr<TDiagnostics> FDiagnostics;
    std::unique_ptr<TDiagnosticsScope> FDiagnosticsScope;
    // The opened setup: what was read when it opened, and its background reader.
    std::unique_ptr<inspection::TInspection> FInspection;
    // The cabinet of the command line while it is read early; the reading ends (the future's end
    // waits for it) before its inspection goes.
    std::wstring FEarlyFileName;
    std::unique_ptr<inspection::TInspection> FEarlyInspection;
    std::future<inspection::TOpenResult> FEarlyOpen;
    TCESetup* FSetup = nullptr; // the inspection's, while open
    std::shared_ptr<TReadingInbox> FInbox = std::make_shared<TReadingInbox>();
    uint64_t FReadingRun = 0; // counts the setups opened and closed; a reading carries its own
    bool FReading = false;
    bool FSetupOpen = false;
    bool FFilling = false;
    // A setup opened while the window was hidden: the project tree takes the focus when the
    // window is next activated.
    bool FFocusTreeOnActivate = false;
    std::wstring FEditorPath;
    std::wstring FSetupFileName;
    std::wstring FSetupShownName; // "NAME", or "NAME : PATH INSIDE" for a package's setup
    std::wstring FFilter;

    HWND FHandle = nullptr;
    HMENU FMenu = nullptr;
    HACCEL FAccelerators = nullptr;
    HIMAGELIST imlImages = nullptr;
    HIMAGELIST imlGlyphs = nullptr; // a tree list's closed and open glyphs
    // The lists' tool tip: the whole text of a cut cell under the mouse.
    HWND FCellTips = nullptr;
    std::wstring FTipText;
    std::tuple<HWND, int, int> FTipCell{nullptr, -1, -1}; // list, row and column under the mouse
    POINT FTipPoint{};                                    // where in the list
    HFONT FFont = nullptr;
    HFONT FHeaderFont = nullptr;
    HBRUSH FHeaderBrush = nullptr;
    HWND FToolbar = nullptr, FStatus = nullptr, FFilterBox = nullptr;
    HWND FProjectTree = nullptr, FHeader = nullptr;
    HWND FRegistryTree = nullptr;
    int FDpi = 96;
    int FProjectWidth = 150;  // the left pane of the viewers
    int FRegistryWidth = 180; // the key tree's pane
    int FDetailsShare = 400;  // a details pane's part of the content's height, in thousandths
    int FDragging = 0;        // 1: the viewers' splitter, 2: the registry page's, 3: a pane's
    size_t FPage = 0;

    TRegistryPages FRegistry;
    std::vector<HTREEITEM> FRegistryItems; // per node of FRegistry.Keys
    // The programs read in the background: every file row once done, those read so far before.
    std::vector<TProgramRow> FProgramRows;
    std::vector<TFinding> FFindings;
    // What the details panes show beside a row: the signature's checks and trust facts, and the
    // provisioning document's certificates decoded.
    TSignaturePages FSignaturePages;
    TPage FProvisioningCertificates;
    size_t FFindingsPage = 0; // the Findings page's index in FPages
    size_t FProvisioningPage = 0;
    size_t FSignaturePage = 0;
    size_t FProgramsPage = 0; // the Programs page's
    size_t FDevicePage = 0;   // the Device page's
    size_t FComparisonPage = 0;
    size_t FPackagePage = 0;
    // The package open, whose setups its page lists (made once: each setup is loaded for it).
    std::unique_ptr<TPackage> FPackage;
    TPage FPackageRows;
    std::wstring FPackageFileName;
    // Whether the findings are those of every rule: a report is refused until then.
    bool FFindingsComplete = false;
    bool FFilesPending = false; // the open setup's Files rows are not made yet
    TPage FPropertiesPage;      // the design's rows and the signature's, without the later rows
    // The baseline read last, kept for the setups opened after it; the open cabinet's name and
    // hash, which its entries may be limited to, read once when first needed.
    std::optional<TBaseline> FBaseline;
    std::optional<TCabinetIdentity> FCabinetIdentity;
    // The device profile's sources and the decision the Device page shows; none without one.
    std::vector<std::string> FDeviceSources;
    std::optional<device::TDeviceProfile> FDeviceProfile; // built from them when first needed
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
