#pragma once
// The main window: menu, toolbar, status bar, the project tree with its four pages, and the
// two operations everything turns on, OpenSetup and CloseSetup.
#include "app/WindowServices.h"
#include "cab/ErrorReporter.h"

#include <QMainWindow>
#include <memory>
#include <string>

class QAction;
class QFileDialog;
class QLabel;
class QSplitter;
class QStackedWidget;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;
class TCABFile;
class TCESetup;
class TRegistryTree;

// The application title, also the caption of the window's message boxes.
inline constexpr const char* kApplicationTitle = "Tessary";

class TfrmWinCEMain : public QMainWindow {
    Q_OBJECT

  public:
    // arguments: the command line without the program; the first one is opened at once.
    // services: null for the real dialogs and message boxes.
    explicit TfrmWinCEMain(const QStringList& arguments = {},
                           std::shared_ptr<TWindowServices> services = nullptr,
                           QWidget* parent = nullptr);
    ~TfrmWinCEMain() override;

    // FileName must be a full path.
    void OpenSetup(const QString& fileName);
    void CloseSetup();
    // From the listing made when the setup was opened.
    [[nodiscard]] bool HasSetupDll();

    [[nodiscard]] bool SetupOpen() const { return FSetupOpen; }
    [[nodiscard]] const QString& SetupFileName() const { return FSetupFileName; }
    [[nodiscard]] const QString& EditorPath() const { return FEditorPath; }
    [[nodiscard]] TCESetup* Setup() const { return FSetup.get(); }

  public slots:
    void mnuOpenFileClick();
    void mnuExtractFileClick();
    void mnuCloseSetupClick();
    void mnuEditWithVLMClick();
    void mnuExitClick();
    void mnuAboutClick();

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private slots:
    void tvProjectChange();
    void tvProjectCollapsed(QTreeWidgetItem* item);
    void lvFilesChange();

  private:
    void FormCreate(const QStringList& arguments);
    void FormDestroy();
    void CreateControls();
    void CreateMenuAndToolbar();
    QWidget* CreateViewerPage(int index, const QString& caption, QWidget* content);
    void SetupColumns();

    // Destroys the setup objects and empties every view, whatever state they are in.
    void ResetToEmpty();
    void Fill(const QString& fileName);
    void FillProjectTree();
    void FillProperties();
    void FillFiles();
    void FillShortcuts();
    void FillRegistry();
    void SetExtractEnabled(bool enabled);
    void SetStatusText(const QString& text);
    void ShowException(const QString& text);
    void ExtractSelectedFile();
    static void tvProjectCollapsing(QTreeWidgetItem* node, bool& allowCollapse);

    std::shared_ptr<TWindowServices> FServices;
    TErrorReporter FPreviousReporter;
    std::unique_ptr<TCABFile> FCabFile;
    std::unique_ptr<TCESetup> FSetup;
    std::unique_ptr<TRegistryTree> FRegistryTree;
    bool FSetupOpen = false;
    QString FEditorPath;
    QString FSetupFileName;

    QAction* mnuOpenFile = nullptr;
    QAction* mnuExtractFile = nullptr;
    QAction* mnuCloseSetup = nullptr;
    QAction* mnuEditWithVLM = nullptr;
    QAction* mnuExit = nullptr;
    QAction* mnuAbout = nullptr;
    QToolBar* tbMain = nullptr;
    QLabel* pnlStatus = nullptr;
    QStackedWidget* ntbView = nullptr;
    QStackedWidget* ntbViewers = nullptr;
    QSplitter* splViewers = nullptr;
    QSplitter* splRegistry = nullptr;
    QTreeWidget* tvProject = nullptr;
    QTreeWidget* lvProject = nullptr;
    QTreeWidget* lvFiles = nullptr;
    QTreeWidget* lvShortcuts = nullptr;
    QTreeWidget* tvRegistry = nullptr;
    QTreeWidget* lvRegistry = nullptr;
    QFileDialog* dlgOpen = nullptr;
    QFileDialog* dlgSave = nullptr;
};
