#include "app/WindowServices.h"

#include "app/AboutBox.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>

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

bool TQtWindowServices::StartDetached(const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
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
