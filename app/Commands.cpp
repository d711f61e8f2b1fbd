#include "app/ListModel.h"
#include "app/TextConv.h"
#include "app/WinCEMain.h"
#include "setup/CESetup.h"
#include "setup/SetupFuncs.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QTreeView>
#include <algorithm>
#include <exception>

namespace {
// The text from the last "." to the end, the dot included; empty without a ".".
QString Extension(const QString& name) {
    const qsizetype dot = name.lastIndexOf('.');
    return dot < 0 ? QString() : name.mid(dot);
}

// A descriptor's name may hold "/" or "\": only its last part is proposed, so that the name
// cannot steer the dialog into another folder.
QString LastComponent(const QString& name) {
    const qsizetype cut = std::max(name.lastIndexOf('/'), name.lastIndexOf('\\'));
    return cut < 0 ? name : name.mid(cut + 1);
}

QString FailureText(const TExtractResult& result, const QString& name, const QString& target) {
    switch (result.Outcome) {
    case TExtractOutcome::NotFound:
        return QString("The file %1 was not extracted: the cabinet holds no entry for it.")
            .arg(name);
    case TExtractOutcome::Failed:
        return QString("The file %1 could not be written to %2.").arg(name, target);
    case TExtractOutcome::Exception:
        return QString("The file %1 could not be extracted: %2")
            .arg(name, ToDisplay(result.Message));
    case TExtractOutcome::Extracted:
        break;
    }
    return {};
}
} // namespace

void TfrmWinCEMain::Guarded(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& e) {
        ShowException(ToDisplay(e.what()));
    } catch (...) {
        ShowException("Unknown error");
    }
}

void TfrmWinCEMain::mnuExtractFileClick() {
    if (!mnuExtractFile->isEnabled()) return;
    Guarded([this] { ExtractSelectedFile(); });
}

void TfrmWinCEMain::ExtractSelectedFile() {
    if (!FSetup) return;
    if (const TProgramRow* program = SelectedProgram()) {
        ExtractProgram(*program);
        return;
    }
    // The row with the focus when it is selected, else the topmost selected one.
    QModelIndex shown = lvFiles->currentIndex();
    if (!shown.isValid() || !lvFiles->selectionModel()->isRowSelected(shown.row())) {
        const QModelIndexList rows = lvFiles->selectionModel()->selectedRows();
        if (rows.isEmpty()) return;
        shown = *std::min_element(rows.begin(), rows.end(),
                                  [](const auto& a, const auto& b) { return a.row() < b.row(); });
    }
    const int source = shown.siblingAtColumn(0).data(TListModel::kSourceRole).toInt();
    TCECAB_File file;
    if (source < 0 || source >= FSetup->FileCount()) return;
    FSetup->GetFile(source, file);
    const QString name = shown.siblingAtColumn(0).data().toString();
    // The selected row's own entry, the one whose size the list shows, even when another row
    // has the same name and folder.
    SaveEntry(name, [&](const std::string& local) {
        return FSetup->ExtractRow(static_cast<size_t>(source), local);
    });
}

void TfrmWinCEMain::ExtractProgram(const TProgramRow& program) {
    const QString name = ToDisplay(program.Name);
    SaveEntry(name, [&](const std::string& local) {
        // A setup DLL is named by its entry, without a folder.
        return program.FileRow ? FSetup->ExtractRow(*program.FileRow, local)
                               : FSetup->ExtractFileChecked(program.Entry, "", local);
    });
}

void TfrmWinCEMain::SaveEntry(const QString& name,
                              const std::function<TExtractResult(const std::string&)>& extract) {
    const QString proposed = LastComponent(name);
    const QString ext = Extension(proposed);
    dlgSave->setNameFilter(ext + " file (*" + ext + ")");
    dlgSave->setDirectory(DialogFolder());
    dlgSave->selectFile(proposed);
    const QString target = FServices->RunFileDialog(*dlgSave);
    if (target.isEmpty()) return;
    // The core writes through a temporary file: a failure leaves nothing under the chosen name.
    const TExtractResult result = extract(ToLocalPath(target));
    if (result.Outcome == TExtractOutcome::Extracted) return;
    FServices->ShowError(this, kApplicationTitle, FailureText(result, name, target));
}

void TfrmWinCEMain::mnuEditWithVLMClick() {
    if (!FSetupOpen) return;
    // A missing editor gives no message (the start tells nothing).
    FServices->StartDetached(FEditorPath, {FSetupFileName});
}

void TfrmWinCEMain::mnuAboutClick() {
    FServices->ShowAbout(this);
}
