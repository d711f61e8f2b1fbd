#include "app/TextConv.h"
#include "app/WinCEMain.h"
#include "setup/CESetup.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QTreeWidget>
#include <exception>

namespace {
constexpr int kRoleName = Qt::UserRole;
constexpr int kRoleFolder = Qt::UserRole + 1;

// The text from the last "." to the end, the dot included; empty without a ".".
QString Extension(const QString& name) {
    const qsizetype dot = name.lastIndexOf('.');
    return dot < 0 ? QString() : name.mid(dot);
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
    const QString ext = Extension(name);
    dlgSave->setNameFilter(ext + " file (*" + ext + ")");
    dlgSave->selectFile(name);
    const QString target = FServices->RunFileDialog(*dlgSave);
    if (target.isEmpty()) return;

    const bool existed = QFileInfo::exists(target);
    const TExtractResult result = FSetup->ExtractFileChecked(
        row->data(0, kRoleName).toByteArray().toStdString(),
        row->data(0, kRoleFolder).toByteArray().toStdString(), ToLocalPath(target));
    if (result.Outcome == TExtractOutcome::Extracted) return;
    // Nothing half-written may stay behind under the chosen name.
    if (!existed) QFile::remove(target);
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
