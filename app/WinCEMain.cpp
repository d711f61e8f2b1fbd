#include "app/WinCEMain.h"

#include "app/Images.h"
#include "app/ListModel.h"
#include "app/RegistryTree.h"
#include "app/TextConv.h"
#include "cab/Diagnostics.h"
#include "cab/cabfiles.h"
#include "setup/CESetup.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QThread>
#include <QTreeView>
#include <QUrl>
#include <exception>

namespace {
const QString kInvalidSetup =
    QStringLiteral("Invalid Windows CE Setup file, Tessary cannot read this file.");

// The hourglass for the lifetime of the object; restored early with Restore.
class TWaitCursor {
  public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { Restore(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
    void Restore() {
        if (FActive) QApplication::restoreOverrideCursor();
        FActive = false;
    }

  private:
    bool FActive = true;
};

// The first local file of a drop that names what File > Open... opens: a cabinet, a
// provisioning cabinet or a package that holds setups; or an empty text.
QString DroppedCabinet(const QMimeData* data) {
    if (!data || !data->hasUrls()) return {};
    for (const QUrl& url : data->urls()) {
        const QString path = url.toLocalFile();
        if (path.isEmpty()) continue;
        for (const char* kind : {".cab", ".cpf", ".ini", ".zip", ".msi", ".exe"})
            if (path.endsWith(QLatin1String(kind), Qt::CaseInsensitive)) return path;
    }
    return {};
}
} // namespace

TfrmWinCEMain::TfrmWinCEMain(const QStringList& arguments,
                             std::shared_ptr<TWindowServices> services, QWidget* parent)
    : QMainWindow(parent),
      FServices(services ? std::move(services) : std::make_shared<TQtWindowServices>()) {
    CreateControls();
    FormCreate(arguments);
}

TfrmWinCEMain::~TfrmWinCEMain() {
    FormDestroy();
}

void TfrmWinCEMain::FormCreate(const QStringList& arguments) {
    FSetupOpen = false;
    FSetupFileName.clear();
    // Expected beside the viewer; whether it exists is never checked.
    FEditorPath = QDir(QCoreApplication::applicationDirPath()).filePath("Velmora.exe");
    // The cabinet reader's reports on the window's thread are boxes; its background readers
    // bind their own.
    FDiagnostics = std::make_unique<TDiagnostics>([this](const TDiagnostic& report) {
        FServices->ShowWarning(this, "Error", ToDisplay(report.Text));
    });
    FDiagnosticsScope = std::make_unique<TDiagnosticsScope>(*FDiagnostics);
    if (!arguments.isEmpty())
        OpenSetup(QDir::cleanPath(QFileInfo(arguments.first()).absoluteFilePath()));
}

void TfrmWinCEMain::FormDestroy() {
    CloseSetup();
    ClosePackage();
    WaitForReaders();
    FDiagnosticsScope.reset();
}

void TfrmWinCEMain::OpenSetup(const QString& fileName) {
    // Another file: a package open before goes, with the setup it showed.
    ClosePackage();
    OpenSetupFile(fileName, QString());
}

void TfrmWinCEMain::OpenSetupFile(const QString& fileName, const QString& shownName) {
    TWaitCursor cursor;
    const QString shown = shownName.isEmpty() ? QFileInfo(fileName).fileName() : shownName;
    try {
        CloseSetup();
        FCabFile = std::make_unique<TCABFile>(this);
        FSetup = std::make_unique<TCESetup>();
        FSetup->Cabinet = FCabFile.get();
        // LoadSetup identifies the cabinet itself; asking IsSetupCabinet first would find and
        // read the descriptor once more. A descriptor that fails to load still shows what the
        // model holds, so only an unrecognised cabinet is refused.
        const bool loaded = FSetup->LoadSetup(ToLocalPath(fileName), "", false);
        if (!loaded && FSetup->Format == kFormatNone) {
            cursor.Restore();
            // Not a setup: perhaps what users receive around setups, or an index of setups.
            if (!FPackage && OpenPackageFile(fileName)) return;
            if (!FPackage && LooksLikeCollection(fileName)) {
                ResetToEmpty();
                // Null when it is no index after all, the reason shown by OpenCollection.
                OpenCollection(fileName);
                return;
            }
            FailOpen(shown, kInvalidSetup);
            return;
        }
        Fill(fileName, shown);
    } catch (const std::exception& e) {
        cursor.Restore();
        FailOpen(shown, ToDisplay(e.what()));
    } catch (...) {
        cursor.Restore();
        FailOpen(shown, "Unknown error");
    }
}

void TfrmWinCEMain::FailOpen(const QString& shownName, const QString& reason) {
    // The box goes once the user has read it; the status bar keeps saying why the window is
    // empty (but for the package, when a setup inside it failed).
    ResetToEmpty();
    SetStatusText(shownName + ": " + reason);
    ShowException(reason);
}

void TfrmWinCEMain::Fill(const QString& fileName, const QString& shownName) {
    // The load's listing, which the cabinet holds, serves the setup-DLL row and the sizes of all
    // file rows.
    FSetupOpen = true;
    FSetupFileName = fileName;
    FSetupShownName = shownName;
    FillProjectTree();
    FillProperties();
    FillFiles();
    FillShortcuts();
    FillRegistry();
    FillSetupNodes();
    // A setup without files has no programs to wait for, only perhaps its document.
    FillFindings(FSetup->FileCount() == 0 && !Reading());
    setWindowTitle("Tessary - " + shownName);
    mnuCloseSetup->setEnabled(true);
    mnuEditWithVLM->setEnabled(true);
    mnuExtractAll->setEnabled(true);
    mnuExportRegistry->setEnabled(true);
    mnuCompareWith->setEnabled(true);
    mnuSaveReport->setEnabled(true);
    tvProject->setCurrentIndex(SetupRoot()->index());
    ntbView->setCurrentIndex(1);
    ntbViewers->setCurrentIndex(0);
    // The keyboard starts in the project tree, not in the filter box.
    tvProject->setFocus(Qt::OtherFocusReason);
}

void TfrmWinCEMain::CloseSetup() {
    if (!FSetupOpen) return;
    ResetToEmpty();
}

void TfrmWinCEMain::ResetToEmpty() {
    StopReading();
    // The Files list's rows may still be to make from the setup: drop them first.
    FFiles->Clear();
    FRegistryTree->Clear();
    FSetup.reset();
    FCabFile.reset();
    FSetupOpen = false;
    FSetupFileName.clear();
    FSetupShownName.clear();
    // A model reset repaints its view once.
    FProjectNodes->clear();
    FProperties->Clear();
    FShortcuts->Clear();
    // An open package stays, listing its setups.
    for (TReportNode* node : FReportNodes)
        if (node != FPackageNode || !FPackage) node->Clear();
    FFindings.clear();
    FFindingsComplete = false;
    FCabinetIdentity.reset();
    FSignature = {};
    FPropertiesPage = {};
    SetStatusText("");
    if (FPackage) {
        ShowPackageItem();
        setWindowTitle("Tessary - " + QFileInfo(FPackageFileName).fileName());
        tvProject->setCurrentIndex(FProjectNodes->index(0, 0));
    } else {
        ntbView->setCurrentIndex(0);
        setWindowTitle("Tessary");
    }
    mnuCloseSetup->setEnabled(FPackage != nullptr);
    mnuEditWithVLM->setEnabled(false);
    mnuExtractAll->setEnabled(false);
    mnuExportRegistry->setEnabled(false);
    mnuCompareWith->setEnabled(false);
    mnuSaveReport->setEnabled(false);
    SetExtractEnabled(false);
}

void TfrmWinCEMain::ShowException(const QString& text) {
    FServices->ShowError(this, kApplicationTitle, text);
}

QString TfrmWinCEMain::DialogFolder() const {
    if (FSetupOpen && !FSetupFileName.isEmpty()) {
        const QString folder = QFileInfo(FSetupFileName).absolutePath();
        if (QFileInfo(folder).isDir()) return folder;
    }
    return QDir::homePath();
}

QTreeView* TfrmWinCEMain::CurrentList() const {
    switch (ntbViewers->currentIndex()) {
    case 0:
        return lvProject;
    case 1:
        return lvFiles;
    case 2:
        return lvShortcuts;
    case 3:
        return tvRegistry->hasFocus() ? tvRegistry : lvRegistry;
    default:
        return FReportNodes[static_cast<size_t>(ntbViewers->currentIndex() - kFirstReportPage)]
            ->View();
    }
}

void TfrmWinCEMain::mnuCopyClick() {
    if (!FSetupOpen) return;
    Guarded([this] {
        const QString text = SelectedRowsText(CurrentList());
        if (!text.isEmpty()) QApplication::clipboard()->setText(text);
    });
}

void TfrmWinCEMain::mnuFilterClick() {
    edtFilter->setFocus(Qt::ShortcutFocusReason);
    edtFilter->selectAll();
}

void TfrmWinCEMain::edtFilterChange(const QString& text) {
    // Every list follows the one box, so switching pages keeps what the user asked for.
    Guarded([this, &text] {
        for (TListFilter* filter :
             {FPropertiesFilter, FFilesFilter, FShortcutsFilter, FRegistryTree->ValueFilter()})
            filter->SetText(text);
        for (TReportNode* node : FReportNodes)
            node->SetFilterText(text);
    });
    UpdateStatusText();
    // The selected row may have been filtered away.
    UpdateExtractEnabled();
}

bool TfrmWinCEMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
        if (watched == lvFiles && enter) {
            mnuExtractFileClick();
            return true;
        }
        if (watched == edtFilter && key == Qt::Key_Escape && !edtFilter->text().isEmpty()) {
            edtFilter->clear();
            return true;
        }
        if (watched == edtFilter && enter) {
            CurrentList()->setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmWinCEMain::mnuOpenFileClick() {
    dlgOpen->selectFile(QString());
    dlgOpen->setDirectory(DialogFolder());
    const QString chosen = FServices->RunFileDialog(*dlgOpen);
    if (!chosen.isEmpty()) OpenSetup(QDir::cleanPath(QFileInfo(chosen).absoluteFilePath()));
}

void TfrmWinCEMain::mnuCloseSetupClick() {
    CloseSetup();
    ClosePackage();
}

void TfrmWinCEMain::mnuExitClick() {
    close();
}

void TfrmWinCEMain::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedCabinet(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TfrmWinCEMain::dropEvent(QDropEvent* event) {
    const QString path = DroppedCabinet(event->mimeData());
    if (path.isEmpty()) return;
    event->acceptProposedAction();
    OpenSetup(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
}
