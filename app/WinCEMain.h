#pragma once
// The main window: menu, toolbar, status bar, the project tree with its four pages, and the
// two operations everything turns on, OpenSetup and CloseSetup.
#include "app/ReportNode.h"
#include "app/WindowServices.h"
#include "audit/Audit.h"
#include "audit/Baseline.h"
#include "cab/Diagnostics.h"
#include "device/Decision.h"
#include "inspection/BackgroundReading.h"
#include "package/Package.h"
#include "programs/Programs.h"
#include "report/SignaturePage.h"

#include <QFileDialog>
#include <QMainWindow>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QDialog;
class QLabel;
class QLineEdit;
class QModelIndex;
class QSplitter;
class QStackedWidget;
class QStandardItem;
class QStandardItemModel;
class QThread;
class QToolBar;
struct TExtractResult;
class QTreeView;
class TCABFile;
class TCESetup;
class TListFilter;
class TListModel;
class TRegistryTree;
struct TCabinetSignature;

// The application title, also the caption of the window's message boxes.
inline constexpr const char* kApplicationTitle = "Tessary";

class TfrmWinCEMain : public QMainWindow {
    Q_OBJECT

  public:
    // arguments: the command line without the program; the first one is opened at once.
    // services: null for the real dialogs and message boxes.
    explicit TfrmWinCEMain(const QStringList& arguments = {},
                           std::shared_ptr<TWindowServices> services = nullptr,
                           QWidget* parent = nullptr);
    ~TfrmWinCEMain() override;

    // FileName must be a full path.
    void OpenSetup(const QString& fileName);
    void CloseSetup();
    // From the listing made when the setup was opened.
    [[nodiscard]] bool HasSetupDll();

    [[nodiscard]] bool SetupOpen() const { return FSetupOpen; }
    [[nodiscard]] const QString& SetupFileName() const { return FSetupFileName; }
    [[nodiscard]] const QString& EditorPath() const { return FEditorPath; }
    [[nodiscard]] TCESetup* Setup() const { return FSetup.get(); }

    // A page for a project tree node after the design's ones (see ReportNode.h), made once;
    // name is its objectName and caption, viewName its view's. Not in the tree until shown.
    TReportNode* AddReportNode(const QString& name, const QString& viewName, const TPage& columns,
                               TReportNode::TView view = TReportNode::TView::List, int image = -1);
    // Lists the node below the setup's root, after the nodes already there; for an open
    // setup only, until it closes.
    void ShowReportNode(TReportNode* node);
    // Takes the node out of the project tree again (the Project page is shown if it was).
    void HideReportNode(TReportNode* node);
    [[nodiscard]] const std::vector<TReportNode*>& ReportNodes() const { return FReportNodes; }
    // The audit's findings shown on the "Findings" page, in the audit's order.
    [[nodiscard]] const std::vector<TFinding>& Findings() const { return FFindings; }
    // Selects the row a finding is about on its page, as a double click on it does.
    void GoToFinding(size_t index);
    // A background reader of this or an earlier setup has not ended yet.
    [[nodiscard]] bool Reading() const { return !FReaders.empty(); }
    // The open setup (older) against the cabinet at fileName (newer), shown in the "Comparison"
    // node; a failure is shown naming the cabinet, and the open setup stays as it was.
    void CompareWith(const QString& fileName);
    // File > Open Collection...: the index at fileName in a window of its own, whose setups open
    // here; null with the reason shown when it is no index (or this build has no collections).
    QDialog* OpenCollection(const QString& fileName);
    // Whether the file begins as an SQLite database does (opened with OpenSetup, it is taken for
    // an index).
    [[nodiscard]] static bool LooksLikeCollection(const QString& fileName);
    // The package open in the "Package" node, if the file opened holds setups; null otherwise.
    [[nodiscard]] const TPackage* Package() const { return FPackage.get(); }
    // Opens the package's setup at index below the "Package" node, as choosing its row does.
    void OpenContainedSetup(size_t index);
    // A path the collection index recorded: a cabinet's, or a package's and a setup's in it.
    void OpenIndexedSetup(const QString& path);
    // Reads a baseline of accepted findings and marks the findings it accepts, now and for the
    // setups opened later; a baseline that does not read is shown with its line and what is
    // wrong, and the one before stays. False when it did not read.
    bool OpenBaseline(const QString& fileName);
    // Writes the open setup's audit and pages as one self-contained HTML page, whole or not at
    // all; false with the reason shown when it cannot (no setup, programs still being read, a
    // file that cannot be written).
    bool SaveReport(const QString& fileName);
    // The device profile the setup is judged for (sources as tessary-info --device takes them;
    // empty for none), remembered between runs; the "Device" node shows the decision.
    void SetDeviceProfile(const QStringList& sources);
    [[nodiscard]] const QStringList& DeviceProfileSources() const { return FDeviceSources; }
    // The decision the "Device" node shows; null without a profile or an open setup.
    [[nodiscard]] const device::TDeviceDecision* DeviceDecision() const {
        return FDeviceDecision ? &*FDeviceDecision : nullptr;
    }

  public slots:
    void mnuOpenFileClick();
    void mnuExtractFileClick();
    void mnuExtractAllClick();
    void mnuExportRegistryClick();
    void mnuCompareWithClick();
    void mnuOpenBaselineClick();
    void mnuSaveReportClick();
    void mnuOpenCollectionClick();
    void mnuDeviceProfileClick();
    void mnuCloseSetupClick();
    void mnuEditWithVLMClick();
    void mnuExitClick();
    void mnuAboutClick();
    void mnuCopyClick();
    void mnuFilterClick();

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private slots:
    void tvProjectChange();
    void tvProjectCollapsed(const QModelIndex& node);
    void lvFilesChange();
    void edtFilterChange(const QString& text);

  private:
    void FormCreate(const QStringList& arguments);
    void FormDestroy();
    void CreateControls();
    void CreateMenus();
    void CreateToolbar();
    void CreateProjectTree();
    void CreateViewers();
    void CreateDialogs();
    QFileDialog* NewFileDialog(const char* name, const QString& title, const QStringList& filters,
                               QFileDialog::FileMode mode, QFileDialog::AcceptMode accept);
    void CreateMenuAndToolbar();
    QWidget* CreateViewerPage(const QString& name, const QString& caption, QWidget* content);
    QTreeView* NewList(const char* name, TListModel* model, TListFilter*& filter,
                       const QString& caption);

    // Destroys the setup objects and empties every view, whatever state they are in.
    void ResetToEmpty();
    // Opens fileName as a setup; shownName (the title's and messages' name) is the file's name
    // unless a package's setup is opened. A file that is no setup may be a package.
    void OpenSetupFile(const QString& fileName, const QString& shownName);
    void Fill(const QString& fileName, const QString& shownName);
    void FillProjectTree();
    void FillProperties();
    void FillFiles();
    void FillShortcuts();
    void FillRegistry();
    // The "Provisioning", "Signature" and "Programs" nodes (SetupNodes.cpp).
    void CreateSetupNodes();
    // added: what the setup adds to the device's stores, once its provisioning document is read.
    void FillSignatureNode(const TCabinetSignature& signature,
                           const std::vector<TStoreAddition>& added = {});
    void FillSetupNodes();
    // The background reader's callbacks for the open counted generation: each hands its result
    // to the window's thread.
    [[nodiscard]] TBackgroundResults ReadingResults(uint64_t generation, bool programs);
    void StartReader(const TBackgroundRequest& request, TBackgroundResults results,
                     uint64_t generation);
    // Ends the background reading of the open setup: its results are dropped from now on.
    void StopReading();
    void WaitForReaders();
    void ProgramsArrived(std::vector<TProgramRow> rows, bool done);
    // The "Findings" node and the Project page's findings row (FindingsNode.cpp). Until the
    // programs are read (complete false) both say that they are being read; complete runs
    // every rule.
    void CreateFindingsNode();
    void FillFindings(bool complete);
    void SetFindingsRow(const std::string& value);
    // The findings with the baseline's marks applied afresh, listed and counted.
    void ShowFindings(const QString& pending = {});
    // Selects the project tree item of a page of ntbViewers; false when the tree lists none.
    bool SelectProjectItem(int viewerPage);
    // The "Device" node, the Project page's "Install decision" row and the Programs page's
    // "On Device" column (DeviceNode.cpp), for the provisioning tree read with the findings and
    // the programs once read (null until then).
    void CreateDeviceNode();
    // The open setup's document, read here only when neither the open nor the background
    // reader has; null when the cabinet has none or it cannot be read. Throws what reading
    // throws.
    const provisioning::TProvisioningTree* SetupDocument();
    void FillDevice(const provisioning::TProvisioningTree* tree,
                    const std::vector<TProgramRow>* programs);
    // The Programs page of every row, with the device's column when there is a decision.
    [[nodiscard]] TPage ProgramsPage() const;
    // The "Comparison" node (CompareCommand.cpp).
    void CreateComparisonNode();
    void SetExtractEnabled(bool enabled);
    // Extract File acts on the selected file row, or on the selected Programs row (the setup
    // DLL has no file row).
    void UpdateExtractEnabled();
    [[nodiscard]] const TProgramRow* SelectedProgram() const;
    void SetStatusText(const QString& text);
    // The current page's status line: the design's text, and how many rows the filter shows.
    void UpdateStatusText();
    // A setup that did not open: the window empty, the reason in the status bar and a box.
    void FailOpen(const QString& shownName, const QString& reason);
    // The "Package" node (PackageNode.cpp): made once; shown first in the project tree while a
    // package is open. True when fileName is a package (opened, or its failure shown).
    void CreatePackageNode();
    [[nodiscard]] bool OpenPackageFile(const QString& fileName);
    void ShowPackageItem();
    // Empties the window of the package and of the setup it showed.
    void ClosePackage();
    // The open setup's root in the project tree (after the package's node when there is one).
    [[nodiscard]] QStandardItem* SetupRoot() const;
    void FollowShownRows(TListFilter* filter);
    void ShowException(const QString& text);
    void ExtractSelectedFile();
    void ExtractProgram(const TProgramRow& program);
    // Asks where to save the entry shown as name, then writes it with extract (given the local
    // path); a failure is a box.
    void SaveEntry(const QString& name,
                   const std::function<TExtractResult(const std::string&)>& extract);
    void ExtractAll();
    void ExportRegistry();
    // Catches whatever the command throws and shows it; nothing reaches the event loop.
    void Guarded(const std::function<void()>& command);
    // The folder dialogs start in: the open cabinet's, else the home folder.
    [[nodiscard]] QString DialogFolder() const;
    // The view of the page shown now (the value list on the "Registry" page).
    [[nodiscard]] QTreeView* CurrentList() const;
    static void tvProjectCollapsing(const QModelIndex& node, bool& allowCollapse);

    // The page of ntbViewers a project tree item shows, for the items of report nodes.
    static constexpr int kViewerPageRole = Qt::UserRole + 1;
    static constexpr int kFirstReportPage = 4;

    std::shared_ptr<TWindowServices> FServices;
    std::unique_ptr<TDiagnostics> FDiagnostics;
    std::unique_ptr<TDiagnosticsScope> FDiagnosticsScope;
    std::unique_ptr<TCABFile> FCabFile;
    std::unique_ptr<TCESetup> FSetup;
    std::unique_ptr<TRegistryTree> FRegistryTree;
    std::vector<TReportNode*> FReportNodes; // page 4 onwards of ntbViewers, in this order
    TReportNode* FProvisioningNode = nullptr;
    TReportNode* FSignatureNode = nullptr;
    TReportNode* FProgramsNode = nullptr;
    TReportNode* FComparisonNode = nullptr;
    TReportNode* FDeviceNode = nullptr;
    TReportNode* FPackageNode = nullptr;
    std::unique_ptr<TPackage> FPackage;
    QString FPackageFileName;
    QStringList FDeviceSources;
    std::optional<device::TDeviceProfile> FDeviceProfile; // built from FDeviceSources
    std::optional<device::TDeviceDecision> FDeviceDecision;
    TPage FProvisioningCertificates;
    // The open setup's "_setup.xml" once read (by the open or in the background), for the
    // findings and the device decision; null until then.
    std::shared_ptr<const provisioning::TProvisioningTree> FProvisioningTree;
    TSignaturePages FSignaturePages;
    TReportNode* FFindingsNode = nullptr;
    std::vector<TFinding> FFindings;
    bool FFindingsComplete = false; // every rule has run over the open setup
    std::optional<TBaseline> FBaseline;
    // The open cabinet's name and digest, for the baseline's entries; read when first needed.
    std::optional<TCabinetIdentity> FCabinetIdentity;
    TCabinetSignature FSignature;
    TPage FPropertiesPage; // the Project page's rows before the findings row
    // The rows the Programs page's Source indexes: those read so far, then all of them.
    std::vector<TProgramRow> FProgramRows;
    // Counts the setups opened: a background result of an earlier one is dropped.
    uint64_t FGeneration = 0;
    std::shared_ptr<std::atomic<bool>> FStopReading;
    std::vector<QThread*> FReaders; // still running, stopped ones too
    bool FSetupOpen = false;
    QString FEditorPath;
    QString FSetupFileName;
    QString FSetupShownName; // the title's name: the file's, or "package : cabinet"

    QAction* mnuOpenFile = nullptr;
    QAction* mnuExtractFile = nullptr;
    QAction* mnuExtractAll = nullptr;
    QAction* mnuExportRegistry = nullptr;
    QAction* mnuCompareWith = nullptr;
    QAction* mnuOpenBaseline = nullptr;
    QAction* mnuSaveReport = nullptr;
    QAction* mnuOpenCollection = nullptr;
    QAction* mnuDeviceProfile = nullptr;
    QAction* mnuCopy = nullptr;
    QAction* mnuFilter = nullptr;
    QAction* mnuCloseSetup = nullptr;
    QAction* mnuEditWithVLM = nullptr;
    QAction* mnuExit = nullptr;
    QAction* mnuAbout = nullptr;
    QToolBar* tbMain = nullptr;
    QLabel* pnlStatus = nullptr;
    QStackedWidget* ntbView = nullptr;
    QStackedWidget* ntbViewers = nullptr;
    QSplitter* splViewers = nullptr;
    QSplitter* splRegistry = nullptr;
    QLineEdit* edtFilter = nullptr;
    QTreeView* tvProject = nullptr;
    QTreeView* lvProject = nullptr;
    QLabel* lblProjectNote = nullptr;
    QTreeView* lvFiles = nullptr;
    QTreeView* lvShortcuts = nullptr;
    QTreeView* tvRegistry = nullptr;
    QTreeView* lvRegistry = nullptr;
    QStandardItemModel* FProjectNodes = nullptr;
    TListModel* FProperties = nullptr;
    TListModel* FFiles = nullptr;
    TListModel* FShortcuts = nullptr;
    TListFilter* FPropertiesFilter = nullptr;
    TListFilter* FFilesFilter = nullptr;
    TListFilter* FShortcutsFilter = nullptr;
    QFileDialog* dlgOpen = nullptr;
    QFileDialog* dlgSave = nullptr;
    QFileDialog* dlgExtractAll = nullptr;
    QFileDialog* dlgExportRegistry = nullptr;
    QFileDialog* dlgCompareWith = nullptr;
    QFileDialog* dlgOpenBaseline = nullptr;
    QFileDialog* dlgSaveReport = nullptr;
    QFileDialog* dlgOpenCollection = nullptr;
};
