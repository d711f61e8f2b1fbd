// The window's comforts: item models, the filter box, copying rows, tool tips of cut cells,
// Enter, dialog folders, accessible names, and Extract All Files.
#include "tests/app/AppFixtures.h"

#include "app/ListModel.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLineEdit>
#include <QTest>
#include <QToolTip>
#include <QTreeView>

namespace {
const char* const kViews[] = {"tvProject",   "lvProject",  "lvFiles",
                              "lvShortcuts", "tvRegistry", "lvRegistry"};

// Tide Tables with a file whose name no column of 120 pixels can show.
DescriptorBuilder TideTables(SetupCabinetContents& contents) {
    DescriptorBuilder builder = SmallSetup();
    const uint16_t data = builder.Dir("%CE1%\\Tide Tables\\Data");
    const uint16_t longName = builder.File(
        data, "harbour-and-estuary-tidal-coefficients-for-the-whole-atlantic-coast.dat");
    contents.FileData[longName] = Bytes("coefficients");
    for (const uint16_t id : {uint16_t(1), uint16_t(2), uint16_t(3)})
        contents.FileData[id] = Bytes("file " + std::to_string(id));
    return builder;
}

// Every file below a folder, relative to it, with "/" between the parts.
QStringList FilesBelow(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

struct TOpened {
    TempDir Dir;
    SetupCabinetContents Contents;
    TWindowFixture F;
    QString Cabinet;
    explicit TOpened(bool show = false) {
        const DescriptorBuilder builder = TideTables(Contents);
        Cabinet = Q(WriteSetup(Dir.File("tides.cab"), builder.Plan(), Contents));
        if (show) {
            F.Window->show();
            QVERIFY(QTest::qWaitForWindowExposed(F.Window.get()));
        }
        F.Window->OpenSetup(Cabinet);
    }
};
} // namespace

class ComfortTest : public QObject {
    Q_OBJECT

  private slots:
    // Every list and tree is a view over a model that keeps its bookkeeping through opening,
    // filtering, closing and opening again.
    void EveryModelPassesTheModelTester() {
        TempDir dir;
        SetupCabinetContents contents;
        const QString cabinet =
            Q(WriteSetup(dir.File("t.cab"), TideTables(contents).Plan(), contents));
        TWindowFixture f;
        std::vector<std::unique_ptr<QAbstractItemModelTester>> testers;
        for (const char* name : kViews) {
            QTreeView* view = f.View(name);
            QVERIFY2(view, name);
            testers.push_back(std::make_unique<QAbstractItemModelTester>(
                view->model(), QAbstractItemModelTester::FailureReportingMode::QtTest));
        }
        f.Window->OpenSetup(cabinet);
        f.Window->findChild<QLineEdit*>("edtFilter")->setText("dat");
        f.SelectRow("lvFiles", 0);
        f.Window->CloseSetup();
        f.Window->OpenSetup(cabinet);
        f.Window->findChild<QLineEdit*>("edtFilter")->clear();
        QCOMPARE(f.View("lvFiles")->model()->rowCount(), 4);
    }

    // A list's rows are made when first read, and once; a list cleared before anyone read it
    // never makes them; rows that cannot be made show empty and keep the count the views know.
    void RowsAreMadeWhenFirstRead() {
        TListModel model({TListColumn{"Name"}});
        int made = 0;
        const auto make = [&made] {
            ++made;
            std::vector<TListRow> rows(2);
            rows[0].Texts << "a";
            rows[1].Texts << "b";
            return rows;
        };
        model.SetRowsLater(2, make);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(made, 0);
        QCOMPARE(model.index(1, 0).data().toString(), QString("b"));
        QCOMPARE(model.Row(0).Texts.front(), QString("a"));
        QCOMPARE(made, 1);
        model.SetRowsLater(2, make);
        model.Clear();
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(made, 1);
        model.SetRowsLater(3, []() -> std::vector<TListRow> { throw std::bad_alloc(); });
        QCOMPARE(model.index(2, 0).data().toString(), QString());
        QCOMPARE(model.rowCount(), 3);
    }

    // Ctrl+F reaches the box; the list narrows to rows containing the text in any cell, ignoring
    // case, in the order it had; emptying the box brings every row back.
    void FilterNarrowsTheListAndKeepsItsOrder() {
        TOpened o(true);
        o.F.SelectProjectNode(1);
        const QStringList all = o.F.Column("lvFiles", 0);
        QCOMPARE(all.size(), 4);
        auto* box = o.F.Window->findChild<QLineEdit*>("edtFilter");
        QTest::keyClick(o.F.Window.get(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(box->hasFocus());
        QTest::keyClicks(box, "DAT");
        const QStringList shown = o.F.Column("lvFiles", 0);
        QCOMPARE(shown.size(), 2);
        QVERIFY(shown.contains("ports.dat"));
        // The design's count stays, with how many rows the filter lets through.
        QCOMPARE(o.F.Status(), QString("Total of files: 4 (2 of 4 shown)"));
        QVERIFY(all.indexOf(shown[0]) < all.indexOf(shown[1]));
        // A folder matches too: only the rows in Data hold "data\".
        box->setText("data\\");
        QCOMPARE(o.F.Column("lvFiles", 0), shown);
        o.F.SelectRow("lvFiles", 0);
        QVERIFY(o.F.Action("mnuExtractFile")->isEnabled());
        QTest::keyClick(box, Qt::Key_X);
        QCOMPARE(o.F.View("lvFiles")->model()->rowCount(), 0);
        QCOMPARE(o.F.Status(), QString("Total of files: 4 (0 of 4 shown)"));
        // The selected row went with the others, and Extract File with it.
        QVERIFY(!o.F.Action("mnuExtractFile")->isEnabled());
        QTest::keyClick(box, Qt::Key_Escape);
        QVERIFY(box->text().isEmpty());
        QCOMPARE(o.F.Column("lvFiles", 0), all);
        QCOMPARE(o.F.Status(), QString("Total of files: 4"));
    }

    // The box narrows a list filled later too, and the other pages follow the same box.
    void FilterHoldsAcrossPagesAndOpens() {
        TOpened o;
        o.F.Window->findChild<QLineEdit*>("edtFilter")->setText("tides");
        QCOMPARE(o.F.Column("lvShortcuts", 0), QStringList{"Tides"});
        o.F.SelectProjectNode(2);
        QCOMPARE(o.F.Status(), QString("Total of shortcuts: 1 (1 of 1 shown)"));
        QCOMPARE(o.F.Column("lvFiles", 0), QStringList{"tides.exe"});
        o.F.Window->OpenSetup(o.Cabinet);
        QCOMPARE(o.F.Column("lvFiles", 0), QStringList{"tides.exe"});
    }

    // Ctrl+C puts the selected rows on the clipboard, top to bottom, cells split by tabs.
    void CopyGivesTheSelectedRowsAsTabSeparatedText() {
        TOpened o(true);
        o.F.SelectProjectNode(1);
        QTreeView* list = o.F.View("lvFiles");
        const int first = o.F.RowOf("lvFiles", "tides.exe");
        const int second = o.F.RowOf("lvFiles", "Readme");
        o.F.SelectRow("lvFiles", first);
        list->selectionModel()->select(list->model()->index(second, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QApplication::clipboard()->clear();
        list->setFocus();
        QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
        const QString readme = "Readme\t%InstallDir%\\\t6 bytes\t0x00000000\tNo\tNo\n";
        const QString tides = "tides.exe\t%InstallDir%\\\t6 bytes\t0x00000000\tNo\tNo\n";
        QCOMPARE(QApplication::clipboard()->text(),
                 first < second ? tides + readme : readme + tides);

        o.F.SelectProjectNode(0);
        o.F.SelectRow("lvProject", 1);
        o.F.Action("mnuCopy")->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QString("Company\tHarbour Soft\n"));
    }

    // A cell too narrow for its text tells the whole text as its tool tip; one that fits does not.
    void CutCellsShowTheirWholeText() {
        TOpened o(true);
        o.F.SelectProjectNode(1);
        QTreeView* list = o.F.View("lvFiles");
        QApplication::processEvents();
        const QString longName =
            "harbour-and-estuary-tidal-coefficients-for-the-whole-atlantic-coast.dat";
        const QModelIndex cut = list->model()->index(o.F.RowOf("lvFiles", longName), 0);
        const QModelIndex fits = list->model()->index(o.F.RowOf("lvFiles", "Readme"), 0);
        QCOMPARE(TCellTipDelegate::CellToolTip(list, cut), longName);
        QVERIFY(TCellTipDelegate::CellToolTip(list, fits).isEmpty());
        // Widened until it fits, the cell has no tip any more.
        list->setColumnWidth(0, 1200);
        QVERIFY(TCellTipDelegate::CellToolTip(list, cut).isEmpty());
        list->setColumnWidth(0, 120);

        // Through the view's own tool tip event.
        list->scrollTo(cut);
        const QPoint at = list->visualRect(cut).center();
        QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &help);
        QCOMPARE(QToolTip::text(), longName);
        QToolTip::hideText();
    }

    // Enter on a file row runs Extract File, as a double click does.
    void EnterExtractsTheFileRow() {
        TOpened o(true);
        o.F.SelectProjectNode(1);
        QTreeView* list = o.F.View("lvFiles");
        o.F.SelectRow("lvFiles", o.F.RowOf("lvFiles", "ports.dat"));
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(o.F.Services->DialogRuns.size(), 1);
        QCOMPARE(o.F.Services->DialogRuns[0].ProposedName, QString("ports.dat"));
        QTest::keyClick(list, Qt::Key_Enter);
        QCOMPARE(o.F.Services->DialogRuns.size(), 2);
    }

    // The Open and Save dialogs start in the open cabinet's folder, else at home; never in the
    // working folder.
    void DialogsStartBesideTheCabinetOrAtHome() {
        TempDir elsewhere;
        const QString previous = QDir::currentPath();
        QDir::setCurrent(Q(elsewhere.Path()));
        TWindowFixture empty;
        empty.Window->mnuOpenFileClick();
        QCOMPARE(empty.Services->DialogFolders, QStringList{QDir::homePath()});

        TOpened o;
        o.F.Window->mnuOpenFileClick();
        o.F.SelectProjectNode(1);
        o.F.SelectRow("lvFiles", 0);
        o.F.Action("mnuExtractFile")->trigger();
        o.F.Action("mnuExtractAll")->trigger();
        const QString folder = QFileInfo(o.Cabinet).absolutePath();
        QCOMPARE(o.F.Services->DialogFolders, QStringList({folder, folder, folder}));
        QDir::setCurrent(previous);
    }

    // Each list and tree has a name a screen reader can tell apart.
    void ListsAndTreesHaveAccessibleNames() {
        TWindowFixture f;
        QStringList names;
        for (const char* view : kViews) {
            const QString name = f.View(view)->accessibleName();
            QVERIFY2(!name.isEmpty(), view);
            QVERIFY2(!names.contains(name), qPrintable(name));
            names << name;
        }
        QCOMPARE(f.View("lvFiles")->accessibleName(), QString("Device Files"));
        QCOMPARE(f.View("lvProject")->accessibleName(), QString("Windows CE Setup Properties"));
    }

    // Extract All writes every file below the chosen folder in its device folder, refuses a name
    // that would climb out and says which and why.
    void ExtractAllWritesEveryFileAndNamesRefusals() {
        TempDir dir;
        SetupCabinetContents contents;
        DescriptorBuilder builder = TideTables(contents);
        const uint16_t climbing = builder.Dir("%CE1%\\..\\..\\..");
        contents.FileData[builder.File(climbing, "escape.txt")] = Bytes("outside");
        const QString cabinet = Q(WriteSetup(dir.File("t.cab"), builder.Plan(), contents));
        TWindowFixture f;
        f.Window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.Window.get()));
        f.Window->OpenSetup(cabinet);
        const QString out = Q(dir.File("out"));
        QVERIFY(QDir().mkpath(out));
        f.Services->DialogAnswers = {out};
        QTest::keyClick(f.Window.get(), Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(f.Services->DialogRuns.size(), 1);
        QCOMPARE(f.Services->DialogRuns[0].Title, QString("dlgExtractAll"));
        QCOMPARE(FilesBelow(out),
                 QStringList({"InstallDir/Data/"
                              "harbour-and-estuary-tidal-coefficients-for-the-whole-atlantic-coast"
                              ".dat",
                              "InstallDir/Data/ports.dat", "InstallDir/Readme",
                              "InstallDir/tides.exe"}));
        QCOMPARE(FilesBelow(out).size(), 4);
        QVERIFY(!QFileInfo::exists(Q(dir.File("escape.txt"))));
        QCOMPARE(f.Services->ProgressOpen, 0);
        QVERIFY(f.Services->ProgressTexts.size() >= 4);
        QCOMPARE(f.Services->Messages.size(), 1);
        const TFakeServices::TMessage& summary = f.Services->Messages[0];
        QCOMPARE(summary.Kind, QString("warning"));
        QVERIFY2(summary.Text.contains("4 files were written"), qPrintable(summary.Text));
        QVERIFY2(summary.Text.contains("escape.txt"), qPrintable(summary.Text));
        QVERIFY2(summary.Text.contains("outside"), qPrintable(summary.Text));
    }

    // Cancelled half-way: what was written is whole, the rest is not there, the window stays
    // usable and says so.
    void ExtractAllCancelledLeavesNothingHalfWritten() {
        TOpened o;
        const QString out = Q(o.Dir.File("out"));
        o.F.Services->DialogAnswers = {out};
        o.F.Services->CancelAt = 2;
        o.F.Action("mnuExtractAll")->trigger();
        QCOMPARE(o.F.Services->ProgressOpen, 0);
        QCOMPARE(o.F.Services->Messages.size(), 1);
        QVERIFY2(o.F.Services->Messages[0].Text.contains("cancelled"),
                 qPrintable(o.F.Services->Messages[0].Text));
        const QStringList written = FilesBelow(out);
        QVERIFY(written.size() < 4);
        for (const QString& file : written) {
            QFile in(out + "/" + file);
            QVERIFY(in.open(QIODevice::ReadOnly));
            const QByteArray bytes = in.readAll();
            QVERIFY2(bytes == "coefficients" || QByteArray("file 1|file 2|file 3").contains(bytes),
                     qPrintable(file));
            QVERIFY(!bytes.isEmpty());
        }
        QVERIFY(o.F.Window->SetupOpen());
        QVERIFY(o.F.Action("mnuExtractAll")->isEnabled());
        o.F.Services->CancelAt = -1;
        o.F.Services->DialogAnswers = {out};
        o.F.Action("mnuExtractAll")->trigger();
        QCOMPARE(FilesBelow(out).size(), 4);
    }

    // A folder that cannot be written: a message naming a file, nothing left, a usable window;
    // cancelling the folder dialog does nothing at all.
    void ExtractAllIntoAnUnwritableFolder() {
        TOpened o;
        const QString blocker = Q(o.Dir.File("blocker"));
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        o.F.Services->DialogAnswers = {QString()};
        o.F.Action("mnuExtractAll")->trigger();
        QVERIFY(o.F.Services->Messages.isEmpty());
        QVERIFY(o.F.Services->ProgressTexts.isEmpty());

        o.F.Services->DialogAnswers = {blocker + "/inside"};
        o.F.Action("mnuExtractAll")->trigger();
        QCOMPARE(o.F.Services->Messages.size(), 1);
        const QString text = o.F.Services->Messages[0].Text;
        QVERIFY2(text.contains("0 files were written"), qPrintable(text));
        QVERIFY2(text.contains("tides.exe") || text.contains("ports.dat"), qPrintable(text));
        QCOMPARE(QFileInfo(blocker).size(), 0);
        QVERIFY(o.F.Window->SetupOpen());
    }

    // Control characters from the cabinet are shown as escapes; UTF-8 letters stay letters.
    void ControlCharactersShowAsEscapes() {
        TempDir dir;
        DescriptorBuilder builder("Tide\x1b]0;owned\x07 Tables", "Harbour Soft",
                                  "%CE1%\\Tide Tables");
        builder.File(1, "bad\x1b[31mname\n.txt");
        builder.File(1, "caf\xC3\xA9.txt");
        TWindowFixture f;
        f.Window->OpenSetup(Q(WriteSetup(dir.File("c.cab"), builder.Plan())));
        QCOMPARE(f.Column("lvFiles", 0),
                 QStringList({"bad\\x1b[31mname\\x0a.txt", QString::fromUtf8("caf\xC3\xA9.txt")}));
        QCOMPARE(f.View("tvProject")->model()->index(0, 0).data().toString(),
                 QString("Tide\\x1b]0;owned\\x07 Tables"));
        QVERIFY(f.Status().contains("\\x1b"));
    }

    // Export Registry writes a REGEDIT4 file where the user says; cancelling writes nothing.
    void ExportRegistryWritesARegFile() {
        TOpened o;
        const QString target = Q(o.Dir.File("tides.reg"));
        o.F.Services->DialogAnswers = {QString()};
        o.F.Action("mnuExportRegistry")->trigger();
        QCOMPARE(o.F.Services->DialogRuns.size(), 1);
        QCOMPARE(o.F.Services->DialogRuns[0].Title, QString("dlgExportRegistry"));
        QCOMPARE(o.F.Services->DialogRuns[0].ProposedName, QString("tides.reg"));
        QCOMPARE(o.F.Services->DialogFolders[0], QFileInfo(o.Cabinet).absolutePath());
        QVERIFY(!QFileInfo::exists(target));

        o.F.Services->DialogAnswers = {target};
        o.F.Action("mnuExportRegistry")->trigger();
        QVERIFY(o.F.Services->Messages.isEmpty());
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY2(text.startsWith("REGEDIT4\r\n"), text.constData());
        QVERIFY2(text.contains("[HKEY_CURRENT_USER\\Software\\Harbour Soft]\r\n"),
                 text.constData());
        QVERIFY2(text.contains("\"Port\"=\"Brest\"\r\n"), text.constData());
    }

    // A path that cannot be written gives a message naming it and leaves no file behind.
    void ExportRegistryToAnUnwritablePath() {
        TOpened o;
        const QString blocker = Q(o.Dir.File("blocker"));
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QString target = blocker + "/tides.reg";
        o.F.Services->DialogAnswers = {target};
        o.F.Action("mnuExportRegistry")->trigger();
        QCOMPARE(o.F.Services->Messages.size(), 1);
        QCOMPARE(o.F.Services->Messages[0].Kind, QString("error"));
        QVERIFY2(o.F.Services->Messages[0].Text.contains(target),
                 qPrintable(o.F.Services->Messages[0].Text));
        QCOMPARE(QDir(Q(o.Dir.Path())).entryList(QDir::Files | QDir::Hidden),
                 QStringList({"blocker", "tides.cab"}));
        QVERIFY(o.F.Window->SetupOpen());

        // A folder as target is refused the same way.
        o.F.Services->DialogAnswers = {Q(o.Dir.Path())};
        o.F.Action("mnuExportRegistry")->trigger();
        QCOMPARE(o.F.Services->Messages.size(), 2);
    }

    // Extract All and Export Registry wait for a setup.
    void WholeSetupCommandsFollowTheOpenState() {
        TWindowFixture f;
        QVERIFY(!f.Action("mnuExtractAll")->isEnabled());
        QVERIFY(!f.Action("mnuExportRegistry")->isEnabled());
        QVERIFY(f.Window->findChild<QWidget*>("btnExtractAll"));
        QCOMPARE(f.Action("mnuExtractAll")->shortcut(), QKeySequence("Ctrl+Shift+E"));
        TOpened o;
        QVERIFY(o.F.Action("mnuExtractAll")->isEnabled());
        QVERIFY(o.F.Action("mnuExportRegistry")->isEnabled());
        o.F.Window->CloseSetup();
        QVERIFY(!o.F.Action("mnuExtractAll")->isEnabled());
    }
};

QTEST_MAIN(ComfortTest)
#include "comfort_test.moc"
