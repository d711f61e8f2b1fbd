// The summary pages: project tree, property rows, files and shortcuts lists, status texts and
// the enabling of Extract File.
#include "tests/app/AppFixtures.h"
#include "tests/support/Corpus.h"

#include "setup/CABData.h"

#include <QAction>
#include <QHeaderView>
#include <QStackedWidget>
#include <QTest>
#include <QTreeView>

namespace {
QStringList Properties(const TWindowFixture& f) {
    QStringList rows;
    const QStringList captions = f.Column("lvProject", 0);
    const QStringList values = f.Column("lvProject", 1);
    for (int i = 0; i < captions.size(); ++i)
        rows << captions[i] + "=" + values[i];
    return rows;
}

QStringList FileRow(const TWindowFixture& f, const QString& caption) {
    const int row = f.RowOf("lvFiles", caption);
    if (row < 0) return {};
    QStringList texts;
    for (int column = 0; column < 6; ++column)
        texts << f.Column("lvFiles", column)[row];
    return texts;
}

void SelectFileRow(const TWindowFixture& f, int row) {
    f.SelectRow("lvFiles", row);
}
} // namespace

class ViewsTest : public QObject {
    Q_OBJECT

  private slots:
    // A "CE4+" setup shows the platform rows, its processor's name and its setup DLL.
    void PropertyRowsOfACE4PlusSetup() {
        TempDir dir;
        DescriptorBuilder builder = SmallSetup(true);
        builder.Plan().Processor = 10003;
        builder.Plan().PlatformName = "PocketPC";
        SetupCabinetContents contents;
        contents.SetupDll = Bytes("dll");
        TWindowFixture f;
        f.Window->OpenSetup(Q(WriteSetup(dir.File("a.cab"), builder.Plan(), contents)));
        // The findings row is complete once the programs are read, in the background.
        QTRY_COMPARE_WITH_TIMEOUT(Properties(f).last(), QString("Findings=1 warning, 1 notice, 0 info"),
                                  kWait);
        QCOMPARE(Properties(f), QStringList({"Software Name=Tide Tables", "Company=Harbour Soft",
                                             "Install Directory=%ProgramFilesDir%\\Tide Tables",
                                             "Platform Name=PocketPC", "Platform Min Version=4.0",
                                             "Platform Max Version=5.0", "Processor=Hitachi SH3",
                                             "Use Setup DLL=Yes", "Signature=Not signed",
                                             "Signed By=", "Findings=1 warning, 1 notice, 0 info"}));
        QVERIFY(f.Window->HasSetupDll());
    }

    // An "MSCE" setup shows the unsupported-devices rows; an unknown processor gives an empty text.
    void PropertyRowsOfAnOlderSetup() {
        TempDir dir;
        DescriptorBuilder builder = SmallSetup(false);
        builder.Plan().Processor = 12345;
        builder.Plan().UnsupportedDevices = std::vector<std::string>{"Jornada"};
        TWindowFixture f;
        f.Window->OpenSetup(Q(WriteSetup(dir.File("a.cab"), builder.Plan())));
        const QStringList rows = Properties(f);
        QCOMPARE(rows.size(), 11);
        QVERIFY2(rows[3].startsWith("Unsupported Devices="), qPrintable(rows[3]));
        QVERIFY2(rows[4].startsWith("Min Version="), qPrintable(rows[4]));
        QVERIFY2(rows[5].startsWith("Max Version="), qPrintable(rows[5]));
        QCOMPARE(rows[6], QString("Processor="));
        QCOMPARE(rows[7], QString("Use Setup DLL=No"));
        QCOMPARE(rows[8], QString("Signature=Not signed"));
        QVERIFY(!f.Window->HasSetupDll());
    }

    // A signed cabinet names its verdict and signer after the design's rows, as the text
    // report does.
    void SignatureRowsOfASignedCabinet() {
        if (!HaveCorpus()) QSKIP("corpus missing");
        TWindowFixture f;
        f.Window->OpenSetup(Q(RealCabinet("Ushahidi.CAB")));
        const QStringList rows = Properties(f);
        QCOMPARE(rows.size(), 11);
        QCOMPARE(rows[8], QString("Signature=Intact"));
        QCOMPARE(rows[9], QString("Signed By=Ushahidi"));
    }

    // Sizes come from the cabinet entries; no entry or an empty one gives "0 bytes"; no folder "\".
    void FileRowsShowSizesFoldersAndFlags() {
        TempDir dir;
        DescriptorBuilder builder("Sizes", "Co", "%CE1%\\Sizes");
        const uint16_t sub = builder.Dir("%CE1%\\Sizes\\Sub");
        const uint16_t big = builder.File(1, "big.bin", 0x80000000u | 0x10000000u | 1u);
        const uint16_t empty = builder.File(sub, "empty.txt", 0x00000002);
        builder.File(0, "rootless.txt");
        builder.File(1, "lost.txt");
        SetupCabinetContents contents;
        contents.FileData[big] = std::vector<uint8_t>(1536, 'x');
        contents.FileData[empty] = {};
        std::vector<FixtureEntry> entries = SetupCabinetEntries(builder.Plan(), contents);
        entries.erase(
            std::remove_if(entries.begin(), entries.end(),
                           [](const FixtureEntry& e) { return e.Name.rfind("LOST", 0) == 0; }),
            entries.end());
        WriteCabinet(dir.File("s.cab"), entries, FixtureCompression::MSZIP);
        TWindowFixture f;
        f.Window->OpenSetup(Q(dir.File("s.cab")));
        QCOMPARE(FileRow(f, "big.bin"),
                 QStringList({"big.bin", "%InstallDir%\\",
                              QString("1") + QLocale().decimalPoint() + "5 KB", "0x00000001", "Yes",
                              "Yes"}));
        QCOMPARE(FileRow(f, "empty.txt"), QStringList({"empty.txt", "%InstallDir%\\Sub\\",
                                                       "0 bytes", "0x00000002", "No", "No"}));
        QCOMPARE(FileRow(f, "lost.txt")[2], QString("0 bytes"));
        QCOMPARE(FileRow(f, "rootless.txt")[1], QString("\\"));
        const QAbstractItemModel* model = f.View("lvFiles")->model();
        const int row = f.RowOf("lvFiles", "big.bin");
        QVERIFY(model->index(row, 2).data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight);
        QVERIFY(model->index(row, 3).data(Qt::TextAlignmentRole).toInt() & Qt::AlignHCenter);
    }

    // Rows follow their captions, not the model's order.
    void RowsAreSortedByCaption() {
        TempDir dir;
        DescriptorBuilder builder("Order", "Co", "%CE1%\\Order");
        for (const char* name : {"zeta.txt", "Alpha.txt", "beta.txt", "10.txt", "2.txt"})
            builder.File(1, name);
        for (const char* title : {"Work", "apps", "Zoo", "Beta"})
            builder.ShortcutInStandardFolder(title, 1, 11);
        TWindowFixture f;
        f.Window->OpenSetup(Q(WriteSetup(dir.File("o.cab"), builder.Plan())));
        const auto sorted = [](QStringList texts) {
            std::sort(texts.begin(), texts.end(), [](const QString& a, const QString& b) {
                return QString::localeAwareCompare(a, b) < 0;
            });
            return texts;
        };
        const QStringList files = f.Column("lvFiles", 0);
        QCOMPARE(files.size(), 5);
        QCOMPARE(files, sorted(files));
        QVERIFY(files.indexOf("Alpha.txt") < files.indexOf("zeta.txt"));
        const QStringList shortcuts = f.Column("lvShortcuts", 0);
        QCOMPARE(shortcuts.size(), 4);
        QCOMPARE(shortcuts, sorted(shortcuts));
        QVERIFY(f.Column("lvShortcuts", 2).first().endsWith("\\"));
    }

    // The tree has four fixed nodes, each showing its page and its status text; the nodes
    // beyond the design follow them.
    void NodesSwitchPagesAndStatus() {
        TempDir dir;
        DescriptorBuilder builder = SmallSetup();
        builder.Plan().Provider = "";
        TWindowFixture f;
        f.Window->OpenSetup(Q(WriteSetup(dir.File("a.cab"), builder.Plan())));
        const QAbstractItemModel* tree = f.View("tvProject")->model();
        const QModelIndex root = tree->index(0, 0);
        QCOMPARE(tree->rowCount(), 1);
        QCOMPARE(root.data().toString(), QString("Tide Tables"));
        QCOMPARE(f.ProjectNodes(),
                 QStringList({"Files", "Shortcuts", "Registry Entries", "Programs", "Findings"}));
        const QStringList status = {" Tide Tables Windows CE Setup", "Total of files: 3",
                                    "Total of shortcuts: 1", "Total of registry entries: 1"};
        auto* pages = f.Window->findChild<QStackedWidget*>("ntbViewers");
        QCOMPARE(f.Status(), status[0]);
        for (int node : {1, 2, 3, 0}) {
            f.SelectProjectNode(node);
            QCOMPARE(pages->currentIndex(), node);
            QCOMPARE(f.Status(), status[node]);
        }
        QCOMPARE(tree->index(2, 0, root).data().toString(), QString("Registry Entries"));
    }

    // Extract File is enabled only on the "Files" page with a selected row.
    void ExtractEnablingFollowsNodesAndRows() {
        TempDir dir;
        TWindowFixture f;
        f.Window->OpenSetup(Q(WriteSetup(dir.File("a.cab"), SmallSetup().Plan())));
        QAction* extract = f.Action("mnuExtractFile");
        QWidget* button = f.Window->findChild<QWidget*>("btnExtract");
        f.SelectProjectNode(1);
        QVERIFY(!extract->isEnabled());
        SelectFileRow(f, 0);
        QVERIFY(extract->isEnabled());
        QVERIFY(button->isEnabled());
        f.SelectProjectNode(2);
        QVERIFY(!extract->isEnabled());
        QVERIFY(!button->isEnabled());
        f.SelectProjectNode(1);
        QVERIFY(extract->isEnabled());
        f.View("lvFiles")->clearSelection();
        QVERIFY(!extract->isEnabled());
        SelectFileRow(f, 1);
        f.Window->CloseSetup();
        QVERIFY(!extract->isEnabled());
    }

    // Each list shows the design's columns, widths and alignments, and sorts on no header click.
    void ListsKeepTheDesignsColumns() {
        TWindowFixture f;
        struct TWanted {
            const char* List;
            QStringList Captions;
            QList<int> Widths;
        };
        const TWanted lists[] = {
            {"lvProject", {"Property", "Value"}, {120, 200}},
            {"lvFiles",
             {"File Name", "Folder", "File Size", "Flags", "ActiveX", "Shared"},
             {120, 150, 80, 75, 55, 55}},
            {"lvShortcuts", {"Title", "File Name", "Folder"}, {140, 105, 150}},
            {"lvRegistry", {"Value Name", "Type", "Value"}, {120, 70, 200}}};
        for (const TWanted& wanted : lists) {
            QTreeView* view = f.View(wanted.List);
            QCOMPARE(view->model()->columnCount(), wanted.Captions.size());
            for (int column = 0; column < wanted.Captions.size(); ++column) {
                QCOMPARE(view->model()->headerData(column, Qt::Horizontal).toString(),
                         wanted.Captions[column]);
                QCOMPARE(view->columnWidth(column), wanted.Widths[column]);
            }
            QVERIFY(!view->isSortingEnabled());
            QVERIFY(!view->header()->sectionsClickable());
        }
        const auto alignment = [&f](int column) {
            return f.View("lvFiles")
                ->model()
                ->headerData(column, Qt::Horizontal, Qt::TextAlignmentRole)
                .toInt();
        };
        QVERIFY(alignment(2) & Qt::AlignRight);
        for (int column : {3, 4, 5})
            QVERIFY(alignment(column) & Qt::AlignHCenter);
    }

    // The project tree refuses to collapse, by call and by keyboard.
    void ProjectTreeNeverCollapses() {
        TempDir dir;
        TWindowFixture f;
        f.Window->OpenSetup(Q(WriteSetup(dir.File("a.cab"), SmallSetup().Plan())));
        QTreeView* tree = f.View("tvProject");
        const QModelIndex root = tree->model()->index(0, 0);
        QVERIFY(tree->isExpanded(root));
        tree->collapse(root);
        QVERIFY(tree->isExpanded(root));
        tree->setExpanded(root, false);
        QVERIFY(tree->isExpanded(root));
        tree->setCurrentIndex(root);
        QTest::keyClick(tree, Qt::Key_Left);
        QVERIFY(tree->isExpanded(root));
    }
};

QTEST_MAIN(ViewsTest)
#include "views_test.moc"
