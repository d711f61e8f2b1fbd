#include "app/WindowServices.h"

#include "app/AboutBox.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>

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
