#include "app/Images.h"
#include "app/ListModel.h"
#include "app/RegistryTree.h"
#include "app/WinCEMain.h"
#include "cab/cabfiles.h"
#include "report/SetupPages.h"
#include "setup/CESetup.h"

#include <QFileDialog>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

// Beside the design's filter: what setups are handed out in.
const char kPackageFilter[] = "Setup Packages (*.ini *.zip *.msi *.exe)";

} // namespace

QTreeView* TfrmWinCEMain::NewList(const char* name, TListModel* model, TListFilter*& filter,
                                  const QString& caption) {
    filter = new TListFilter(model, this);
    auto* list = new QTreeView;
    list->setObjectName(name);
    list->setAccessibleName(caption);
    list->setModel(filter);
    SetUpListView(list, model->Columns());
    return list;
}

void TfrmWinCEMain::FollowShownRows(TListFilter* filter) {
    // Rows read in the background, another registry key: the count under a filter follows.
    const auto update = [this] { UpdateStatusText(); };
    connect(filter, &QAbstractItemModel::modelReset, this, update);
    connect(filter, &QAbstractItemModel::rowsInserted, this, update);
    connect(filter, &QAbstractItemModel::rowsRemoved, this, update);
    connect(filter, &QAbstractItemModel::layoutChanged, this, update);
}

void TfrmWinCEMain::CreateControls() {
    setWindowTitle("Tessary");
    setWindowIcon(ProgramIcon());
    setFont(QFont("Arial", 8));
    resize(544, 375);
    setAcceptDrops(true);
    CreateMenuAndToolbar();

    auto* statusBar = new QStatusBar;
    statusBar->setObjectName("sbStatus");
    statusBar->setSizeGripEnabled(true);
    pnlStatus = new QLabel;
    pnlStatus->setObjectName("pnlStatus");
    statusBar->addWidget(pnlStatus, 1);
    setStatusBar(statusBar);

    ntbView = new QStackedWidget;
    ntbView->setObjectName("ntbView");
    auto* pnlDefault = new QFrame;
    pnlDefault->setObjectName("Default");
    pnlDefault->setAutoFillBackground(true);
    QPalette workspace = pnlDefault->palette();
    workspace.setColor(QPalette::Window, workspace.color(QPalette::Dark));
    pnlDefault->setPalette(workspace);
    ntbView->addWidget(pnlDefault);

    CreateProjectTree();
    CreateViewers();
    splViewers = new QSplitter(Qt::Horizontal);
    splViewers->setObjectName("splViewers");
    splViewers->setChildrenCollapsible(false);
    splViewers->addWidget(tvProject);
    splViewers->addWidget(ntbViewers);
    splViewers->setStretchFactor(1, 1);
    splViewers->setSizes({150, 390});
    auto* pageViewers = new QWidget;
    pageViewers->setObjectName("Viewers");
    auto* viewersLayout = new QVBoxLayout(pageViewers);
    viewersLayout->setContentsMargins(0, 0, 0, 0);
    viewersLayout->addWidget(splViewers);
    ntbView->addWidget(pageViewers);

    auto* pnlView = new QFrame;
    pnlView->setObjectName("pnlView");
    pnlView->setFrameShape(QFrame::StyledPanel);
    auto* viewLayout = new QVBoxLayout(pnlView);
    viewLayout->setContentsMargins(1, 1, 1, 1);
    viewLayout->addWidget(ntbView);
    setCentralWidget(pnlView);
    CreateSetupNodes();
    CreateFindingsNode();
    CreateDeviceNode();
    CreateComparisonNode();
    CreatePackageNode();
    CreateDialogs();
}

void TfrmWinCEMain::CreateProjectTree() {
    FProjectNodes = new QStandardItemModel(this);
    tvProject = new QTreeView;
    tvProject->setObjectName("tvProject");
    tvProject->setAccessibleName("Windows CE Setup");
    tvProject->setModel(FProjectNodes);
    tvProject->setHeaderHidden(true);
    tvProject->setIndentation(19);
    tvProject->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvProject->setSelectionMode(QAbstractItemView::SingleSelection);
    tvProject->viewport()->setCursor(Qt::PointingHandCursor);
    tvProject->setMinimumWidth(10);
    tvProject->setItemDelegate(new TCellTipDelegate(tvProject));
    connect(tvProject->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TfrmWinCEMain::tvProjectChange);
    connect(tvProject, &QTreeView::collapsed, this, &TfrmWinCEMain::tvProjectCollapsed);
}

void TfrmWinCEMain::CreateViewers() {
    // The pages of no setup give each list its columns, as the report defines them.
    TCESetup none;
    TCABFile noCabinet;
    const TPage properties = BuildPropertiesPage(none, noCabinet.CABFileContents);
    const TPage files = BuildFilesPage(none, noCabinet.CABFileContents);
    const TPage shortcuts = BuildShortcutsPage(none);
    FProperties = new TListModel(ListColumns(properties), this);
    lvProject = NewList("lvProject", FProperties, FPropertiesFilter,
                        QString::fromStdString(properties.Caption));
    FFiles = new TListModel(ListColumns(files), this);
    lvFiles = NewList("lvFiles", FFiles, FFilesFilter, QString::fromStdString(files.Caption));
    connect(lvFiles->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TfrmWinCEMain::lvFilesChange);
    connect(lvFiles, &QTreeView::doubleClicked, this, &TfrmWinCEMain::mnuExtractFileClick);
    lvFiles->installEventFilter(this);
    FShortcuts = new TListModel(ListColumns(shortcuts), this);
    lvShortcuts = NewList("lvShortcuts", FShortcuts, FShortcutsFilter,
                          QString::fromStdString(shortcuts.Caption));

    tvRegistry = new QTreeView;
    tvRegistry->setObjectName("tvRegistry");
    tvRegistry->setAccessibleName("Device Registry Entries: keys");
    tvRegistry->setMinimumWidth(10);
    lvRegistry = new QTreeView;
    lvRegistry->setObjectName("lvRegistry");
    lvRegistry->setAccessibleName("Device Registry Entries: values");
    lvRegistry->setMinimumWidth(10);
    splRegistry = new QSplitter(Qt::Horizontal);
    splRegistry->setObjectName("splRegistry");
    splRegistry->setChildrenCollapsible(false);
    splRegistry->addWidget(tvRegistry);
    splRegistry->addWidget(lvRegistry);
    splRegistry->setStretchFactor(1, 1);
    splRegistry->setSizes({180, 400});
    // The registry page styles both views and connects their signals itself.
    FRegistryTree = std::make_unique<TRegistryTree>(tvRegistry, lvRegistry);
    for (TListFilter* filter :
         {FPropertiesFilter, FFilesFilter, FShortcutsFilter, FRegistryTree->ValueFilter()})
        FollowShownRows(filter);

    ntbViewers = new QStackedWidget;
    ntbViewers->setObjectName("ntbViewers");
    ntbViewers->setMinimumWidth(10);
    ntbViewers->addWidget(
        CreateViewerPage("Project", QString::fromStdString(properties.Caption), lvProject));
    ntbViewers->addWidget(
        CreateViewerPage("Files", QString::fromStdString(files.Caption), lvFiles));
    ntbViewers->addWidget(
        CreateViewerPage("Shortcuts", QString::fromStdString(shortcuts.Caption), lvShortcuts));
    ntbViewers->addWidget(CreateViewerPage("Registry", "Device Registry Entries", splRegistry));
}

QFileDialog* TfrmWinCEMain::NewFileDialog(const char* name, const QString& title,
                                          const QStringList& filters, QFileDialog::FileMode mode,
                                          QFileDialog::AcceptMode accept) {
    auto* dialog = new QFileDialog(this);
    dialog->setObjectName(name);
    if (!title.isEmpty()) dialog->setWindowTitle(title);
    if (!filters.isEmpty()) dialog->setNameFilters(filters);
    dialog->setFileMode(mode);
    dialog->setAcceptMode(accept);
    dialog->setSizeGripEnabled(true);
    return dialog;
}

void TfrmWinCEMain::CreateDialogs() {
    using F = QFileDialog;
    // The design's filter first; what setups come in, and any file, after it.
    const QStringList setups{"Windows CE Setup File (*.cab)", kPackageFilter, "All Files (*)"};
    dlgOpen = NewFileDialog("dlgOpen", {}, setups, F::ExistingFile, F::AcceptOpen);
    dlgOpenCollection =
        NewFileDialog("dlgOpenCollection", "Open Collection",
                      {"Tessary Collections (*.db *.sqlite *.sqlite3)", "All Files (*)"},
                      F::ExistingFile, F::AcceptOpen);
    dlgOpenCollection->setSizeGripEnabled(false);
    dlgCompareWith =
        NewFileDialog("dlgCompareWith", "Compare With", setups, F::ExistingFile, F::AcceptOpen);
    dlgOpenBaseline = NewFileDialog("dlgOpenBaseline", "Open Baseline", {"Baseline (*.json)"},
                                    F::ExistingFile, F::AcceptOpen);
    dlgSave = NewFileDialog("dlgSave", {}, {}, F::AnyFile, F::AcceptSave);
    dlgExtractAll =
        NewFileDialog("dlgExtractAll", "Extract All Files", {}, F::Directory, F::AcceptOpen);
    dlgExtractAll->setOption(QFileDialog::ShowDirsOnly);
    dlgSaveReport = NewFileDialog("dlgSaveReport", "Save Report", {"HTML Page (*.html)"},
                                  F::AnyFile, F::AcceptSave);
    dlgSaveReport->setDefaultSuffix("html");
    dlgExportRegistry = NewFileDialog("dlgExportRegistry", "Export Registry",
                                      {"Registry File (*.reg)"}, F::AnyFile, F::AcceptSave);
    dlgExportRegistry->setDefaultSuffix("reg");
}

QWidget* TfrmWinCEMain::CreateViewerPage(const QString& name, const QString& caption,
                                         QWidget* content) {
    auto* page = new QWidget;
    // The report nodes carry their own name; their page's frame takes the rest of it.
    page->setObjectName(content->objectName() == name ? "pnl" + name : name);
    auto* header = new QLabel(caption);
    header->setObjectName(QString("lbl%1Header").arg(name));
    header->setFixedHeight(25);
    header->setContentsMargins(6, 0, 6, 0);
    header->setAutoFillBackground(true);
    QPalette colours = header->palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::Highlight));
    colours.setColor(QPalette::WindowText, colours.color(QPalette::HighlightedText));
    header->setPalette(colours);
    QFont bold("Arial", 10);
    bold.setBold(true);
    header->setFont(bold);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(header);
    layout->addWidget(content, 1);
    return page;
}

void TfrmWinCEMain::CreateMenuAndToolbar() {
    const auto action = [this](const char* name, const QString& caption, int image,
                               const QKeySequence& shortcut, void (TfrmWinCEMain::*handler)()) {
        auto* item = new QAction(caption, this);
        item->setObjectName(name);
        if (image >= 0) item->setIcon(ImageListIcon(image));
        item->setShortcut(shortcut);
        connect(item, &QAction::triggered, this, handler);
        return item;
    };
    mnuOpenFile = action("mnuOpenFile", "&Open Windows CE Setup...", imgOpen,
                         QKeySequence("Ctrl+O"), &TfrmWinCEMain::mnuOpenFileClick);
    mnuExtractFile = action("mnuExtractFile", "&Extract File...", imgExtract,
                            QKeySequence("Ctrl+E"), &TfrmWinCEMain::mnuExtractFileClick);
    mnuExtractAll = action("mnuExtractAll", "Extract &All Files...", imgExtractAll,
                           QKeySequence("Ctrl+Shift+E"), &TfrmWinCEMain::mnuExtractAllClick);
    mnuExportRegistry = action("mnuExportRegistry", "Export &Registry...", -1, {},
                               &TfrmWinCEMain::mnuExportRegistryClick);
    mnuCompareWith =
        action("mnuCompareWith", "Compare &With...", -1, {}, &TfrmWinCEMain::mnuCompareWithClick);
    mnuOpenBaseline = action("mnuOpenBaseline", "Open &Baseline...", -1, {},
                             &TfrmWinCEMain::mnuOpenBaselineClick);
    mnuSaveReport =
        action("mnuSaveReport", "Save &Report...", -1, {}, &TfrmWinCEMain::mnuSaveReportClick);
    mnuOpenCollection = action("mnuOpenCollection", "Open Co&llection...", -1, {},
                               &TfrmWinCEMain::mnuOpenCollectionClick);
    mnuDeviceProfile = action("mnuDeviceProfile", "&Device Profile...", -1, {},
                              &TfrmWinCEMain::mnuDeviceProfileClick);
    mnuCopy = action("mnuCopy", "&Copy", -1, QKeySequence::Copy, &TfrmWinCEMain::mnuCopyClick);
    mnuFilter =
        action("mnuFilter", "&Filter", -1, QKeySequence::Find, &TfrmWinCEMain::mnuFilterClick);
    mnuCloseSetup = action("mnuCloseSetup", "&Close Setup", -1, QKeySequence("Ctrl+F4"),
                           &TfrmWinCEMain::mnuCloseSetupClick);
    mnuEditWithVLM = action("mnuEditWithVLM", "Edit with &Velmora...", imgEditVLM, {},
                            &TfrmWinCEMain::mnuEditWithVLMClick);
    mnuExit = action("mnuExit", "E&xit", -1, QKeySequence("Alt+F4"), &TfrmWinCEMain::mnuExitClick);
    mnuAbout = action("mnuAbout", "&About Tessary...", imgAbout, {}, &TfrmWinCEMain::mnuAboutClick);
    mnuExtractFile->setEnabled(false);
    mnuExtractAll->setEnabled(false);
    mnuExportRegistry->setEnabled(false);
    mnuCompareWith->setEnabled(false);
    mnuSaveReport->setEnabled(false);
    mnuCloseSetup->setEnabled(false);
    mnuEditWithVLM->setEnabled(false);

    CreateMenus();
    CreateToolbar();
}

void TfrmWinCEMain::CreateMenus() {
    QMenuBar* mnuMain = menuBar();
    mnuMain->setObjectName("mnuMain");
    QMenu* mnuFile = mnuMain->addMenu("&File");
    mnuFile->setObjectName("mnuFile");
    mnuFile->addAction(mnuOpenFile);
    mnuFile->addAction(mnuExtractFile);
    mnuFile->addAction(mnuExtractAll);
    mnuFile->addAction(mnuExportRegistry);
    mnuFile->addAction(mnuCompareWith);
    mnuFile->addAction(mnuOpenBaseline);
    mnuFile->addAction(mnuSaveReport);
#if defined(TESSARY_HAVE_COLLECTION)
    mnuFile->addAction(mnuOpenCollection);
#endif
    mnuFile->addAction(mnuDeviceProfile);
    mnuFile->addAction(mnuCloseSetup);
    mnuFile->addSeparator();
    mnuFile->addAction(mnuEditWithVLM);
    mnuFile->addSeparator();
    mnuFile->addAction(mnuExit);
    QMenu* mnuEdit = mnuMain->addMenu("&Edit");
    mnuEdit->setObjectName("mnuEdit");
    mnuEdit->addAction(mnuCopy);
    mnuEdit->addAction(mnuFilter);
    QMenu* mnuHelp = mnuMain->addMenu("&Help");
    mnuHelp->setObjectName("mnuHelp");
    mnuHelp->addAction(mnuAbout);
}

void TfrmWinCEMain::CreateToolbar() {
    tbMain = addToolBar("Toolbar");
    tbMain->setObjectName("tbMain");
    tbMain->setIconSize(QSize(16, 16));
    const auto button = [this](QAction* command, const char* name, const QString& caption) {
        tbMain->addAction(command);
        QWidget* widget = tbMain->widgetForAction(command);
        widget->setObjectName(name);
        // The button follows its action, so the caption goes there.
        command->setIconText(caption);
        command->setToolTip(caption);
    };
    button(mnuOpenFile, "btnOpen", "Open Windows CE Setup");
    button(mnuExtractFile, "btnExtract", "Extract File");
    button(mnuExtractAll, "btnExtractAll", "Extract All Files");
    tbMain->addSeparator();
    button(mnuEditWithVLM, "btnEditVLM", "Edit with Velmora");
    tbMain->addSeparator();
    button(mnuAbout, "btnAbout", "About Tessary");
    tbMain->addSeparator();
    edtFilter = new QLineEdit;
    edtFilter->setObjectName("edtFilter");
    edtFilter->setPlaceholderText("Filter");
    edtFilter->setAccessibleName("Filter");
    edtFilter->setToolTip("Show only the rows that contain this text (Ctrl+F)");
    edtFilter->setClearButtonEnabled(true);
    edtFilter->setMaximumWidth(160);
    edtFilter->installEventFilter(this);
    connect(edtFilter, &QLineEdit::textChanged, this, &TfrmWinCEMain::edtFilterChange);
    tbMain->addWidget(edtFilter);
}
