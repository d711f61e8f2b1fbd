#pragma once
// Everything of the window that waits for the user or reaches outside the process goes through
// this interface, so tests replace it and never block.
#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

class TWindowServices {
  public:
    virtual ~TWindowServices() = default;
    // Runs the configured dialog; the chosen full path, or an empty text when cancelled.
    [[nodiscard]] virtual QString RunFileDialog(QFileDialog& dialog) = 0;
    // A modal box with an error icon and one OK button.
    virtual void ShowError(QWidget* parent, const QString& caption, const QString& text) = 0;
    // A modal box with a warning icon and one OK button.
    virtual void ShowWarning(QWidget* parent, const QString& caption, const QString& text) = 0;
    // Starts a program without waiting for it; no shell is involved.
    virtual bool StartDetached(const QString& program, const QStringList& arguments) = 0;
    virtual void ShowAbout(QWidget* parent) = 0;
};

// The real dialogs, message boxes and process start.
class TQtWindowServices : public TWindowServices {
  public:
    [[nodiscard]] QString RunFileDialog(QFileDialog& dialog) override;
    void ShowError(QWidget* parent, const QString& caption, const QString& text) override;
    void ShowWarning(QWidget* parent, const QString& caption, const QString& text) override;
    bool StartDetached(const QString& program, const QStringList& arguments) override;
    void ShowAbout(QWidget* parent) override;
};
