// What setups come in: a file that holds setups opens as a "Package" node listing them; one
// chosen opens below it, the package staying until another file is opened or the window is
// emptied; Compare With... takes a setup inside a package.
#include "tests/app/AppFixtures.h"
#include "tests/support/Corpus.h"
#include "tests/support/PackageBuilder.h"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QTreeView>

namespace {

// The captions of the project tree's top-level nodes.
QStringList TopNodes(const TWindowFixture& f) {
    QStringList captions;
    const QAbstractItemModel* model = f.View("tvProject")->model();
    for (int row = 0; row < model->rowCount(); ++row)
        captions << model->index(row, 0).data().toString();
    return captions;
}

// A zip with an .ini naming two cabinets, one of them missing, and a loose setup.
QString WritePackage(const TempDir& dir) {
    const std::string zip = dir.File("App.zip");
    WriteFileBytes(zip, BuildZip({
                            {"App/App.ARM.CAB", SmallSetupCabinet("AppARM")},
                            {"App/App.ini",
                             Bytes(AppManagerIniText({{"App", {"App.ARM.CAB", "App.MIPS.CAB"}}}))},
                            {"App/Loose.CAB", SmallSetupCabinet("Loose", 0x01a2)},
                        }));
    return Q(zip);
}

} // namespace

class PackageTest : public QObject {
    Q_OBJECT

  private slots:
    void RealIniListsItsSetupAndOpensItBelow() {
        if (!HaveCorpus()) QSKIP("corpus missing");
        const QString ini = Q(CorpusDir() + "/packages/Eliminator/Setup.ini");
        TWindowFixture f({ini});
        QVERIFY(!f.Window->SetupOpen());
        QVERIFY(f.Window->Package());
        QCOMPARE(TopNodes(f), QStringList{"Package - Setup.ini"});
        QCOMPARE(f.Window->windowTitle(), QString("Tessary - Setup.ini"));
        QCOMPARE(f.Column("lvPackage", 0), QStringList{"Eliminator"});
        QCOMPARE(f.Column("lvPackage", 1), QStringList{"StrongARM"});
        QCOMPARE(f.Column("lvPackage", 2), QStringList{"Eliminator.ARM.CAB"});
        QCOMPARE(f.Status(), QString("Setups in package: 1"));
        QVERIFY(f.Action("mnuCloseSetup")->isEnabled());

        // Enter or a double click on the row opens it below the package's node.
        QTreeView* list = f.View("lvPackage");
        emit list->activated(list->model()->index(0, 0));
        QVERIFY(f.Window->SetupOpen());
        QCOMPARE(f.Window->windowTitle(), QString("Tessary - Setup.ini : Eliminator.ARM.CAB"));
        QCOMPARE(TopNodes(f).size(), 2);
        QCOMPARE(TopNodes(f).front(), QString("Package - Setup.ini"));
        QVERIFY(f.ProjectNodes().contains("Files"));
        f.SelectProjectNode("Files");
        QVERIFY(f.Status().startsWith("Total of files: "));

        // Back on the package's node, its list and status are still there.
        f.View("tvProject")->setCurrentIndex(f.View("tvProject")->model()->index(0, 0));
        QCOMPARE(f.Status(), QString("Setups in package: 1"));
        QCOMPARE(f.Column("lvPackage", 2), QStringList{"Eliminator.ARM.CAB"});

        // Close Setup empties the window of both.
        f.Action("mnuCloseSetup")->trigger();
        QVERIFY(!f.Window->SetupOpen());
        QVERIFY(!f.Window->Package());
        QVERIFY(TopNodes(f).isEmpty());
        QCOMPARE(f.Window->windowTitle(), QString("Tessary"));
    }

    // A package dropped on the window opens as File > Open... opens it.
    void DroppedPackageOpensAsAPackage() {
        TempDir dir;
        const QString zip = WritePackage(dir);
        TWindowFixture f;
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(zip)});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(f.Window.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(f.Window.get(), &drop);
        QVERIFY(f.Window->Package());
        QCOMPARE(TopNodes(f), QStringList{"Package - App.zip"});
        QVERIFY(f.Services->Messages.isEmpty());
    }

    void MissingCabinetIsNamedAndAnotherFileClosesThePackage() {
        TempDir dir;
        const QString zip = WritePackage(dir);
        TWindowFixture f({zip});
        QVERIFY(f.Window->Package());
        QCOMPARE(f.Column("lvPackage", 2),
                 (QStringList{"App/App.ARM.CAB", "App/App.MIPS.CAB", "App/Loose.CAB"}));
        QCOMPARE(f.Column("lvPackage", 0), (QStringList{"App", "App", ""}));
        QCOMPARE(f.Column("lvPackage", 3)[1], QString("no cabinet App.MIPS.CAB beside App.ini"));
        QCOMPARE(f.Column("lvPackage", 3)[0], QString());

        // The missing one says why and the package stays as it was.
        f.Window->OpenContainedSetup(1);
        QVERIFY(!f.Window->SetupOpen());
        QCOMPARE(f.Services->Messages.size(), 1);
        QVERIFY(f.Services->Messages[0].Text.contains("no cabinet App.MIPS.CAB"));
        QVERIFY(f.Window->Package());

        // One setup after another, the package's node first all along.
        f.Window->OpenContainedSetup(0);
        QCOMPARE(f.Window->windowTitle(), QString("Tessary - App.zip : App/App.ARM.CAB"));
        f.Window->OpenContainedSetup(2);
        QCOMPARE(f.Window->windowTitle(), QString("Tessary - App.zip : App/Loose.CAB"));
        QCOMPARE(TopNodes(f).size(), 2);

        const QString plain = Q(WriteSetup(dir.File("plain.cab"), SmallSetup().Plan()));
        f.Window->OpenSetup(plain);
        QVERIFY(!f.Window->Package());
        QCOMPARE(TopNodes(f).size(), 1);
        QCOMPARE(f.Window->windowTitle(), QString("Tessary - plain.cab"));
    }

    void EmptyPackageFailsToOpenWithTheReason() {
        TempDir dir;
        const std::string zip = dir.File("Docs.zip");
        WriteFileBytes(zip, BuildZip({{"readme.txt", Bytes("no cabinets here")}}));
        TWindowFixture f({Q(zip)});
        QVERIFY(!f.Window->Package());
        QVERIFY(!f.Window->SetupOpen());
        QCOMPARE(f.Status(), QString("Docs.zip: no setup cabinet in this package"));
        QCOMPARE(f.Services->Messages.size(), 1);
    }

    void CompareWithTakesASetupInsideAPackage() {
        TempDir dir;
        const QString zip = WritePackage(dir);
        const QString open = Q(WriteSetup(dir.File("open.cab"), SmallSetup().Plan()));
        TWindowFixture f({open});
        // Several setups: the user chooses among those that can be read; cancelling compares
        // nothing.
        f.Services->DialogAnswers << zip;
        f.Action("mnuCompareWith")->trigger();
        QCOMPARE(f.Services->OfferedItems, (QStringList{"App/App.ARM.CAB", "App/Loose.CAB"}));
        QVERIFY(!f.ProjectNodes().contains("Comparison"));
        f.Services->ItemAnswer = 1;
        f.Services->DialogAnswers << zip;
        f.Action("mnuCompareWith")->trigger();
        QVERIFY(f.ProjectNodes().contains("Comparison"));
        QVERIFY2(f.Status().startsWith("Compared with App.zip : App/Loose.CAB: "),
                 qPrintable(f.Status()));
    }
};

QTEST_MAIN(PackageTest)
#include "package_test.moc"
