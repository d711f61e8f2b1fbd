#pragma once
// Everything of the window that waits for the user or reaches outside the process goes through
// this interface, so tests replace it and never block.
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QFileDialog;
class QWidget;

// A running progress dialog; closed when destroyed.
class TProgress {
  public:
    virtual ~TProgress() = default;
    // Shows how far the work is; false once the user asked to cancel.
    [[nodiscard]] virtual bool Update(int done, int total, const QString& text) = 0;
};

class TWindowServices {
  public:
    virtual ~TWindowServices() = default;
    // Runs the configured dialog; the chosen full path, or an empty text when cancelled.
    [[nodiscard]] virtual QString RunFileDialog(QFileDialog& dialog) = 0;
    // A modal box with an error icon and one OK button.
    virtual void ShowError(QWidget* parent, const QString& caption, const QString& text) = 0;
    // A modal box with a warning icon and one OK button.
    virtual void ShowWarning(QWidget* parent, const QString& caption, const QString& text) = 0;
    // Starts a program without waiting for it; no shell is involved. Whether it started is not
    // told: its one use, Edit with Velmora, gives no message for a missing editor.
    virtual void StartDetached(const QString& program, const QStringList& arguments) = 0;
    virtual void ShowAbout(QWidget* parent) = 0;
    // A modal box with an information icon and one OK button.
    virtual void ShowInformation(QWidget* parent, const QString& caption, const QString& text) = 0;
    // A modal progress dialog with a Cancel button, shown until the object is destroyed.
    [[nodiscard]] virtual std::unique_ptr<TProgress>
    StartProgress(QWidget* parent, const QString& caption, int total) = 0;
    // File > Device Profile...: the profile's sources (built-in ids, files, STORE=FILE) the user
    // chose, starting from current; nullopt when cancelled, empty for no profile.
    [[nodiscard]] virtual std::optional<QStringList>
    ChooseDeviceProfile(QWidget* parent, const QStringList& current);
    // One of items, chosen in a list (the first proposed); nullopt when cancelled. The base
    // chooses nothing.
    [[nodiscard]] virtual std::optional<int> ChooseItem(QWidget* parent, const QString& caption,
                                                        const QString& label,
                                                        const QStringList& items);
    // The device profile remembered between runs. Saving answers false when the settings could
    // not be written; this default remembers nothing and has nothing to fail.
    [[nodiscard]] virtual QStringList LoadDeviceProfile();
    [[nodiscard]] virtual bool SaveDeviceProfile(const QStringList& sources);
};

// The real dialogs, message boxes and process start.
class TQtWindowServices : public TWindowServices {
  public:
    [[nodiscard]] QString RunFileDialog(QFileDialog& dialog) override;
    void ShowError(QWidget* parent, const QString& caption, const QString& text) override;
    void ShowWarning(QWidget* parent, const QString& caption, const QString& text) override;
    void StartDetached(const QString& program, const QStringList& arguments) override;
    void ShowAbout(QWidget* parent) override;
    void ShowInformation(QWidget* parent, const QString& caption, const QString& text) override;
    [[nodiscard]] std::unique_ptr<TProgress> StartProgress(QWidget* parent, const QString& caption,
                                                           int total) override;
    [[nodiscard]] std::optional<QStringList>
    ChooseDeviceProfile(QWidget* parent, const QStringList& current) override;
    [[nodiscard]] std::optional<int> ChooseItem(QWidget* parent, const QString& caption,
                                                const QString& label,
                                                const QStringList& items) override;
    [[nodiscard]] QStringList LoadDeviceProfile() override;
    [[nodiscard]] bool SaveDeviceProfile(const QStringList& sources) override;
};
