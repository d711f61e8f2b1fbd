#include "app/WindowServices.h"

#include "app/AboutBox.h"

#include "device/Profile.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QSettings>

namespace {
class TDialogProgress : public TProgress {
  public:
    TDialogProgress(QWidget* parent, const QString& caption, int total)
        : FDialog(caption, "Cancel", 0, total, parent) {
        FDialog.setObjectName("dlgProgress");
        FDialog.setWindowTitle(caption);
        FDialog.setWindowModality(Qt::WindowModal);
        FDialog.setMinimumDuration(300);
        FDialog.setAutoClose(false);
        FDialog.setAutoReset(false);
    }
    bool Update(int done, int total, const QString& text) override {
        FDialog.setMaximum(total);
        FDialog.setLabelText(text);
        // setValue lets the dialog's own events run, so Cancel is seen here.
        FDialog.setValue(done);
        return !FDialog.wasCanceled();
    }

  private:
    QProgressDialog FDialog;
};
} // namespace

QString TQtWindowServices::RunFileDialog(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

void TQtWindowServices::ShowError(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox::critical(parent, caption, text, QMessageBox::Ok);
}

void TQtWindowServices::ShowWarning(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox::warning(parent, caption, text, QMessageBox::Ok);
}

void TQtWindowServices::StartDetached(const QString& program, const QStringList& arguments) {
    QProcess::startDetached(program, arguments);
}

void TQtWindowServices::ShowAbout(QWidget* parent) {
    ShowAboutBox(parent);
}

void TQtWindowServices::ShowInformation(QWidget* parent, const QString& caption,
                                        const QString& text) {
    QMessageBox::information(parent, caption, text, QMessageBox::Ok);
}

std::unique_ptr<TProgress> TQtWindowServices::StartProgress(QWidget* parent, const QString& caption,
                                                            int total) {
    return std::make_unique<TDialogProgress>(parent, caption, total);
}

std::optional<QStringList> TWindowServices::ChooseDeviceProfile(QWidget*, const QStringList&) {
    return std::nullopt;
}

std::optional<int> TWindowServices::ChooseItem(QWidget*, const QString&, const QString&,
                                               const QStringList&) {
    return std::nullopt;
}

QStringList TWindowServices::LoadDeviceProfile() {
    return {};
}

bool TWindowServices::SaveDeviceProfile(const QStringList&) {
    return true;
}

namespace {

const char kDeviceProfileKey[] = "device/profile";
const char kNoProfile[] = "No device profile";
const char kFromFiles[] = "Built-in profile and files...";

} // namespace

std::optional<int> TQtWindowServices::ChooseItem(QWidget* parent, const QString& caption,
                                                 const QString& label, const QStringList& items) {
    bool ok = false;
    const QString chosen = QInputDialog::getItem(parent, caption, label, items, 0, false, &ok);
    if (!ok) return std::nullopt;
    const qsizetype at = items.indexOf(chosen);
    return at < 0 ? std::nullopt : std::optional<int>(static_cast<int>(at));
}

std::optional<QStringList> TQtWindowServices::ChooseDeviceProfile(QWidget* parent,
                                                                  const QStringList& current) {
    QStringList items{kNoProfile};
    QStringList ids{QString()};
    for (const device::TBuiltinProfile& b : device::BuiltinProfiles()) {
        items << QString::fromUtf8(b.Caption.data(), qsizetype(b.Caption.size()));
        ids << QString::fromUtf8(b.Id.data(), qsizetype(b.Id.size()));
    }
    items << kFromFiles;
    const int at = current.isEmpty() ? 0 : std::max<int>(0, int(ids.indexOf(current.front())));
    bool ok = false;
    const QString chosen = QInputDialog::getItem(
        parent, "Device Profile", "The device the setup is judged for:", items, at, false, &ok);
    if (!ok) return std::nullopt;
    const int index = int(items.indexOf(chosen));
    if (index == 0) return QStringList();
    if (chosen != kFromFiles) return QStringList{ids[index]};
    // A built-in base, then the documents, cabinets and certificates the devices have.
    bool baseOk = false;
    const QString base = QInputDialog::getItem(
        parent, "Device Profile", "Start from:", items.mid(1, ids.size() - 1), 0, false, &baseOk);
    if (!baseOk) return std::nullopt;
    QStringList sources{ids[int(items.indexOf(base))]};
    const QStringList files = QFileDialog::getOpenFileNames(
        parent, "Provisioning documents and cabinets the devices have", QString(),
        "Provisioning (*.xml *.cpf *.cab);;All files (*)");
    sources << files;
    const QStringList certificates = QFileDialog::getOpenFileNames(
        parent, "Certificates in the SPC store (cancel for none)", QString(),
        "Certificates (*.cer *.crt *.der *.pem);;All files (*)");
    for (const QString& c : certificates)
        sources << "SPC=" + c;
    return sources;
}

QStringList TQtWindowServices::LoadDeviceProfile() {
    return QSettings().value(kDeviceProfileKey).toStringList();
}

bool TQtWindowServices::SaveDeviceProfile(const QStringList& sources) {
    QSettings settings;
    settings.setValue(kDeviceProfileKey, sources);
    settings.sync();
    return settings.status() == QSettings::NoError;
}
