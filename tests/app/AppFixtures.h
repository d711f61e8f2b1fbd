#pragma once
// What the window tests share: services that answer instead of the user, and fixture setups.
#include "app/WinCEMain.h"
#include "app/WindowServices.h"
#include "tests/support/DescriptorWriter.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QAction;
class QLabel;
class QTreeView;

// Records every box and process start; dialogs answer from a queue (empty text: cancelled).
class TFakeServices : public TWindowServices {
  public:
    struct TMessage {
        QString Kind; // "error" or "warning"
        QString Caption;
        QString Text;
        bool WindowVisible = false;
    };
    struct TDialogRun {
        QString Filter;
        QString ProposedName;
        QString Title;
    };

    QStringList DialogAnswers;
    QList<TDialogRun> DialogRuns;
    QList<TMessage> Messages;
    QList<QPair<QString, QStringList>> Started;
    int AboutCount = 0;
    QStringList DialogFolders; // the folder each dialog started in
    // Progress: every update seen; the run is cancelled at the update numbered CancelAt.
    QStringList ProgressTexts;
    int CancelAt = -1;
    int ProgressOpen = 0; // progress dialogs not yet closed

    [[nodiscard]] QString RunFileDialog(QFileDialog& dialog) override;
    void ShowError(QWidget* parent, const QString& caption, const QString& text) override;
    void ShowWarning(QWidget* parent, const QString& caption, const QString& text) override;
    void StartDetached(const QString& program, const QStringList& arguments) override;
    void ShowAbout(QWidget* parent) override;
    void ShowInformation(QWidget* parent, const QString& caption, const QString& text) override;
    [[nodiscard]] std::unique_ptr<TProgress> StartProgress(QWidget* parent, const QString& caption,
                                                           int total) override;
    // File > Device Profile...: the answer given, and what the window remembers.
    std::optional<QStringList> ProfileAnswer;
    QStringList SavedProfile;
    [[nodiscard]] std::optional<QStringList> ChooseDeviceProfile(QWidget*,
                                                                 const QStringList&) override {
        return ProfileAnswer;
    }
    // A choice among items (Compare With... on a package): the answer given, the items offered.
    std::optional<int> ItemAnswer;
    QStringList OfferedItems;
    [[nodiscard]] std::optional<int> ChooseItem(QWidget*, const QString&, const QString&,
                                                const QStringList& items) override {
        OfferedItems = items;
        return ItemAnswer;
    }
    [[nodiscard]] QStringList LoadDeviceProfile() override { return SavedProfile; }
    bool SaveFails = false; // the settings cannot be written
    [[nodiscard]] bool SaveDeviceProfile(const QStringList& sources) override {
        if (SaveFails) return false;
        SavedProfile = sources;
        return true;
    }
};

// A window with fake services, nothing opened.
// How long a test waits for what the window reads in the background.
constexpr int kWait = 60000;

struct TWindowFixture {
    std::shared_ptr<TFakeServices> Services = std::make_shared<TFakeServices>();
    std::unique_ptr<TfrmWinCEMain> Window;
    explicit TWindowFixture(const QStringList& arguments = {});
    [[nodiscard]] QAction* Action(const char* name) const;
    [[nodiscard]] QTreeView* View(const char* name) const;
    [[nodiscard]] QString Status() const;
    // The texts of one column, top to bottom.
    [[nodiscard]] QStringList Column(const char* list, int column) const;
    // The row whose first column is caption, or -1.
    [[nodiscard]] int RowOf(const char* list, const QString& caption) const;
    void SelectProjectNode(int absoluteIndex) const;
    // The captions of the nodes below the setup's root (the last top-level node: an open
    // package's comes first), top to bottom.
    [[nodiscard]] QStringList ProjectNodes() const;
    // Selects the node below the root with that caption.
    void SelectProjectNode(const QString& caption) const;
    // Makes the row current and the only selected one.
    void SelectRow(const char* list, int row) const;
};

// A small "CE4+" setup: three files in two folders, two shortcuts, one registry value.
[[nodiscard]] DescriptorBuilder SmallSetup(bool ce4Plus = true);
[[nodiscard]] std::string WriteSetup(const std::string& path, const DescriptorPlan& plan,
                                     const SetupCabinetContents& contents = {});
[[nodiscard]] QString Q(const std::string& text);
