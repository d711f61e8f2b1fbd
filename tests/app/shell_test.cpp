// The main window's shell: controls, the empty and open states, the command line, Open and Close.
#include "tests/app/AppFixtures.h"

#include "cab/Diagnostics.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QTreeView>
#include <QUrl>

namespace {
const QString kInvalid = "Invalid Windows CE Setup file, Tessary cannot read this file.";

// The commands whose enabling the state table fixes.
struct TEnabling {
    bool Extract, Close, Edit;
};

void CheckEnabling(const TWindowFixture& f, TEnabling wanted) {
    QCOMPARE(f.Action("mnuOpenFile")->isEnabled(), true);
    QCOMPARE(f.Action("mnuExtractFile")->isEnabled(), wanted.Extract);
    QCOMPARE(f.Window->findChild<QWidget*>("btnExtract")->isEnabled(), wanted.Extract);
    QCOMPARE(f.Action("mnuCloseSetup")->isEnabled(), wanted.Close);
    QCOMPARE(f.Action("mnuEditWithVLM")->isEnabled(), wanted.Edit);
    QCOMPARE(f.Window->findChild<QWidget*>("btnEditVLM")->isEnabled(), wanted.Edit);
    QCOMPARE(f.Action("mnuExit")->isEnabled(), true);
    QCOMPARE(f.Action("mnuAbout")->isEnabled(), true);
}

// status: what the status bar says (after a failed open, why the window is empty).
void CheckEmpty(const TWindowFixture& f, const QString& status = {}) {
    QCOMPARE(f.Window->windowTitle(), QString("Tessary"));
    QCOMPARE(f.Window->SetupOpen(), false);
    QVERIFY(f.Window->SetupFileName().isEmpty());
    QCOMPARE(f.Window->findChild<QStackedWidget*>("ntbView")->currentIndex(), 0);
    QCOMPARE(f.Status(), status);
    for (const char* view :
         {"tvProject", "lvProject", "lvFiles", "lvShortcuts", "tvRegistry", "lvRegistry"})
        QCOMPARE(f.View(view)->model()->rowCount(), 0);
    CheckEnabling(f, {false, false, false});
}

void CheckOpen(const TWindowFixture& f, const QString& path) {
    QCOMPARE(f.Window->SetupOpen(), true);
    QCOMPARE(f.Window->SetupFileName(), path);
    QCOMPARE(f.Window->windowTitle(), "Tessary - " + QFileInfo(path).fileName());
    QCOMPARE(f.Window->findChild<QStackedWidget*>("ntbView")->currentIndex(), 1);
    QCOMPARE(f.Window->findChild<QStackedWidget*>("ntbViewers")->currentIndex(), 0);
    QCOMPARE(f.View("tvProject")->currentIndex(), f.View("tvProject")->model()->index(0, 0));
    CheckEnabling(f, {false, true, true});
}
} // namespace

class ShellTest : public QObject {
    Q_OBJECT

  private slots:
    // Every control of the window exists under its own name, with captions and shortcuts.
    void ControlsCarryTheirNames() {
        TWindowFixture f;
        const struct {
            const char* Name;
            const char* Caption;
            const char* Shortcut;
        } items[] = {{"mnuOpenFile", "&Open Windows CE Setup...", "Ctrl+O"},
                     {"mnuExtractFile", "&Extract File...", "Ctrl+E"},
                     {"mnuCloseSetup", "&Close Setup", "Ctrl+F4"},
                     {"mnuEditWithVLM", "Edit with &Velmora...", ""},
                     {"mnuExit", "E&xit", "Alt+F4"},
                     {"mnuAbout", "&About Tessary...", ""}};
        for (const auto& item : items) {
            QAction* action = f.Action(item.Name);
            QVERIFY2(action, item.Name);
            QCOMPARE(action->text(), QString(item.Caption));
            QCOMPARE(action->shortcut(), QKeySequence(item.Shortcut));
        }
        QVERIFY(f.Window->findChild<QMenuBar*>("mnuMain"));
        QVERIFY(f.Window->findChild<QToolBar*>("tbMain"));
        QVERIFY(f.Window->findChild<QStatusBar*>("sbStatus"));
        const struct {
            const char* Name;
            const char* Tip;
        } buttons[] = {{"btnOpen", "Open Windows CE Setup"},
                       {"btnExtract", "Extract File"},
                       {"btnEditVLM", "Edit with Velmora"},
                       {"btnAbout", "About Tessary"}};
        for (const auto& button : buttons) {
            QWidget* widget = f.Window->findChild<QWidget*>(button.Name);
            QVERIFY2(widget, button.Name);
            QCOMPARE(widget->toolTip(), QString(button.Tip));
        }
        auto* ntbViewers = f.Window->findChild<QStackedWidget*>("ntbViewers");
        QStringList pages;
        for (int i = 0; i < ntbViewers->count(); ++i)
            pages << ntbViewers->widget(i)->objectName();
        // The design's pages, then the report nodes' ones.
        QCOMPARE(pages, QStringList({"Project", "Files", "Shortcuts", "Registry", "pnlProvisioning",
                                     "pnlSignature", "pnlPrograms", "pnlFindings", "pnlDevice",
                                     "pnlComparison", "pnlPackage"}));
        QCOMPARE(f.Window->findChild<QLabel*>("lblFilesHeader")->text(), QString("Device Files"));
        QCOMPARE(f.Window->size(), QSize(544, 375));
    }

    // The start state is empty; the editor is expected beside the program.
    void StartsEmpty() {
        TWindowFixture f;
        CheckEmpty(f);
        QCOMPARE(f.Window->EditorPath(),
                 QDir(QCoreApplication::applicationDirPath()).filePath("Velmora.exe"));
    }

    // Each toolbar button runs its menu item's handler.
    void ButtonsShareTheirMenuItemsHandler() {
        TWindowFixture f;
        auto* toolbar = f.Window->findChild<QToolBar*>("tbMain");
        QVERIFY(toolbar->actions().contains(f.Action("mnuOpenFile")));
        QVERIFY(toolbar->actions().contains(f.Action("mnuAbout")));
        QTest::mouseClick(f.Window->findChild<QWidget*>("btnAbout"), Qt::LeftButton);
        QCOMPARE(f.Services->AboutCount, 1);
        f.Action("mnuAbout")->trigger();
        QCOMPARE(f.Services->AboutCount, 2);
    }

    // Opening fills the window; Close Setup returns to the empty state; a second close is a no-op.
    void OpenAndClose() {
        TempDir dir;
        const QString path = Q(WriteSetup(dir.File("tides.cab"), SmallSetup().Plan()));
        TWindowFixture f;
        f.Window->OpenSetup(path);
        CheckOpen(f, path);
        QVERIFY(f.Services->Messages.isEmpty());
        QCOMPARE(f.View("tvRegistry")->model()->rowCount(), 1);
        QCOMPARE(f.View("tvRegistry")->currentIndex().data().toString(),
                 QString("HKEY_CURRENT_USER"));
        f.Action("mnuCloseSetup")->trigger();
        CheckEmpty(f);
        f.Window->CloseSetup();
        CheckEmpty(f);
    }

    // A file that is no setup shows the one message and leaves the window empty, even after an
    // open; the status bar keeps the reason once the box is gone.
    void FailedOpenEmptiesTheWindow() {
        TempDir dir;
        const QString good = Q(WriteSetup(dir.File("tides.cab"), SmallSetup().Plan()));
        const std::string plain = dir.File("plain.cab");
        WriteCabinet(plain, {{"readme.txt", Bytes("not a setup")}}, FixtureCompression::None);
        const std::string text = dir.File("notes.txt");
        WriteFileBytes(text, Bytes("hello"));
        for (const std::string& bad : {plain, text, dir.File("missing.cab")}) {
            TWindowFixture f;
            f.Window->OpenSetup(good);
            f.Window->OpenSetup(Q(bad));
            CheckEmpty(f, QFileInfo(Q(bad)).fileName() + ": " + kInvalid);
            QCOMPARE(f.Services->Messages.size(), 1);
            QCOMPARE(f.Services->Messages[0].Kind, QString("error"));
            QCOMPARE(f.Services->Messages[0].Caption, QString("Tessary"));
            QCOMPARE(f.Services->Messages[0].Text, kInvalid);
        }
    }

    // An exception while opening (an entry's invalid stored date) is shown, never thrown on.
    void ExceptionWhileOpeningIsShown() {
        TempDir dir;
        std::vector<uint8_t> cabinet = BuildSetupCabinet(SmallSetup().Plan());
        PatchEntryDateTime(cabinet, 1, (40 << 9) | (2 << 5) | 31, 0);
        const std::string path = dir.File("baddate.cab");
        WriteFileBytes(path, cabinet);
        TWindowFixture f;
        f.Window->OpenSetup(Q(path));
        QCOMPARE(f.Services->Messages.size(), 1);
        CheckEmpty(f, "baddate.cab: " + f.Services->Messages[0].Text);
        QCOMPARE(f.Services->Messages[0].Kind, QString("error"));
        QCOMPARE(f.Services->Messages[0].Caption, QString("Tessary"));
        QVERIFY2(f.Services->Messages[0].Text.contains("date"),
                 qPrintable(f.Services->Messages[0].Text));
    }

    // A relative command-line path is expanded against the current folder; later ones are ignored.
    void CommandLineOpensTheFirstArgument() {
        TempDir dir;
        QDir(Q(dir.Path())).mkdir("sub");
        const std::string path = WriteSetup(dir.File("sub/tides.cab"), SmallSetup().Plan());
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(Q(dir.Path())));
        TWindowFixture relative({"sub/../sub/tides.cab"});
        TWindowFixture two({"sub/tides.cab", "other.cab", "--x"});
        QDir::setCurrent(previous);
        const QString full = QFileInfo(Q(path)).absoluteFilePath();
        CheckOpen(relative, full);
        CheckOpen(two, full);
        QVERIFY(two.Services->Messages.isEmpty());
    }

    // A command-line file that is not a setup shows the message before the window is visible.
    void CommandLineNonSetupWarnsBeforeShowing() {
        TempDir dir;
        WriteFileBytes(dir.File("x.cab"), Bytes("MSCF but not really"));
        TWindowFixture f({Q(dir.File("x.cab"))});
        QCOMPARE(f.Services->Messages.size(), 1);
        QCOMPARE(f.Services->Messages[0].Text, kInvalid);
        QCOMPARE(f.Services->Messages[0].WindowVisible, false);
        CheckEmpty(f, "x.cab: " + kInvalid);
    }

    // Open runs the dialog with its filter; cancelling it keeps the open setup.
    void OpenDialogAndCancelling() {
        TempDir dir;
        const QString first = Q(WriteSetup(dir.File("first.cab"), SmallSetup().Plan()));
        const QString second = Q(WriteSetup(dir.File("second.cab"), SmallSetup(false).Plan()));
        TWindowFixture f;
        auto* dlgOpen = f.Window->findChild<QFileDialog*>("dlgOpen");
        QVERIFY(dlgOpen);
        // The design's filter is the one proposed; packages and any file come after it.
        QCOMPARE(dlgOpen->nameFilters(),
                 (QStringList{"Windows CE Setup File (*.cab)",
                              "Setup Packages (*.ini *.zip *.msi *.exe)", "All Files (*)"}));
        QCOMPARE(dlgOpen->fileMode(), QFileDialog::ExistingFile);
        f.Services->DialogAnswers = {first, QString(), second};
        f.Action("mnuOpenFile")->trigger();
        CheckOpen(f, first);
        f.Action("mnuOpenFile")->trigger();
        CheckOpen(f, first);
        f.Action("mnuOpenFile")->trigger();
        CheckOpen(f, second);
        QCOMPARE(f.Services->DialogRuns.size(), 3);
        QVERIFY(f.Services->Messages.isEmpty());
    }

    // Dropping a .cab file opens it; other files are refused.
    void DroppingACabinetOpensIt() {
        TempDir dir;
        const QString path = Q(WriteSetup(dir.File("drop.cab"), SmallSetup().Plan()));
        TWindowFixture f;
        QMimeData text;
        text.setUrls({QUrl::fromLocalFile(Q(dir.File("notes.txt")))});
        QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton,
                                Qt::NoModifier);
        QApplication::sendEvent(f.Window.get(), &refused);
        QVERIFY(!refused.isAccepted());
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(f.Window.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(f.Window.get(), &drop);
        CheckOpen(f, path);
    }

    // The window's cabinet reader reports through a warning box captioned "Error".
    void CabinetErrorsGoToAWarningBox() {
        TWindowFixture f;
        ReportError("Some caption", "The disk is full.");
        QCOMPARE(f.Services->Messages.size(), 1);
        QCOMPARE(f.Services->Messages[0].Kind, QString("warning"));
        QCOMPARE(f.Services->Messages[0].Caption, QString("Error"));
        QCOMPARE(f.Services->Messages[0].Text, QString("The disk is full."));
    }

    // A window binds its reports to its thread while it lives; then what was bound before
    // takes them again, also when two windows go in the order they came.
    void ReportsGoBackToWhatWasBoundAfterTheWindow() {
        TDiagnostics outside;
        const TDiagnosticsScope scope(outside);
        {
            auto first = std::make_unique<TWindowFixture>();
            TWindowFixture second;
            first.reset();
            ReportError("Error", "inside");
            QCOMPARE(second.Services->Messages.size(), 1);
        }
        ReportError("Error", "after");
        const std::vector<TDiagnostic> kept = outside.Take();
        QCOMPARE(kept.size(), size_t(1));
        QCOMPARE(kept[0].Text, std::string("after"));
    }
};

QTEST_MAIN(ShellTest)
#include "shell_test.moc"
