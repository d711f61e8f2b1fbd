#include "app/TextConv.h"
#include "app/WinCEMain.h"
#include "setup/CESetup.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileDialog>
#include <QTreeWidget>
#include <algorithm>
#include <exception>

namespace {
constexpr int kRoleName = Qt::UserRole;
constexpr int kRoleFolder = Qt::UserRole + 1;

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

void TfrmWinCEMain::mnuExtractFileClick() {
    if (!mnuExtractFile->isEnabled()) return;
    try {
        ExtractSelectedFile();
    } catch (const std::exception& e) {
        ShowException(ToDisplay(e.what()));
    } catch (...) {
        ShowException("Unknown error");
    }
}

void TfrmWinCEMain::ExtractSelectedFile() {
    const QList<QTreeWidgetItem*> selected = lvFiles->selectedItems();
    if (selected.isEmpty() || !FSetup) return;
    const QTreeWidgetItem* row = selected.first();
    const QString name = row->text(0);
    const QString proposed = LastComponent(name);
    const QString ext = Extension(proposed);
    dlgSave->setNameFilter(ext + " file (*" + ext + ")");
    dlgSave->selectFile(proposed);
    const QString target = FServices->RunFileDialog(*dlgSave);
    if (target.isEmpty()) return;

    // The core writes through a temporary file: a failure leaves nothing under the chosen name.
    const TExtractResult result = FSetup->ExtractFileChecked(
        row->data(0, kRoleName).toByteArray().toStdString(),
        row->data(0, kRoleFolder).toByteArray().toStdString(), ToLocalPath(target));
    if (result.Outcome == TExtractOutcome::Extracted) return;
    FServices->ShowError(this, kApplicationTitle, FailureText(result, name, target));
}

void TfrmWinCEMain::mnuEditWithVLMClick() {
    if (!FSetupOpen) return;
    // A missing editor gives no message, so the answer is not looked at.
    (void)FServices->StartDetached(FEditorPath, {FSetupFileName});
}

void TfrmWinCEMain::mnuAboutClick() {
    FServices->ShowAbout(this);
}
