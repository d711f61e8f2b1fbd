// File > Open Collection...: an index's setups listed and searched, "Which setups contain..."
// over their files and registry values, a double click opening a setup in the main window, and
// a file that is no index refused with its reason.
#include "tests/app/AppFixtures.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QTest>
#include <QTreeView>

#if defined(TESSARY_HAVE_COLLECTION)
#include "app/CollectionWindow.h"
#include "collection/Collection.h"
#include "tests/support/PackageBuilder.h"
#endif

class CollectionTest : public QObject {
    Q_OBJECT

  private slots:
    void IndexIsListedSearchedAndOpensItsSetups() {
#if !defined(TESSARY_HAVE_COLLECTION)
        QSKIP("this build has no collection support");
#else
        TempDir dir;
        std::filesystem::create_directories(dir.File("setups"));
        (void)WriteSetup(dir.File("setups/tides.cab"), SmallSetup().Plan());
        DescriptorBuilder other("Star Charts", "Night Sky Ltd", "%CE1%\\Charts");
        other.File(1, "charts.exe");
        const uint16_t key = other.RegKey(2, "Software\\Night Sky");
        other.RegString(key, "Sky", "Orion");
        (void)WriteSetup(dir.File("setups/charts.cab"), other.Plan());
        const std::string db = dir.File("setups.db");
        collection::TIndexOptions options;
        options.Paths = {dir.File("setups")};
        options.Readers = 1;
        (void)collection::IndexCollection(db, options);

        TWindowFixture f;
        QVERIFY(f.Action("mnuOpenCollection"));
        QDialog* window = f.Window->OpenCollection(Q(db));
        QVERIFY(window);
        QCOMPARE(window->objectName(), QString("frmCollection"));
        auto* list = window->findChild<QTreeView*>("lvCollection");
        auto* status = window->findChild<QLabel*>("lblCollectionStatus");
        QVERIFY(list && status);
        QCOMPARE(list->model()->rowCount(), 2);
        QCOMPARE(status->text(), QString("Setups: 2"));
        QStringList names;
        for (int row = 0; row < 2; ++row)
            names << list->model()->index(row, 1).data().toString();
        QCOMPARE(names, (QStringList{"Star Charts", "Tide Tables"}));

        auto* collectionWindow = static_cast<TfrmCollection*>(window);
        collectionWindow->Search("harbour");
        QCOMPARE(list->model()->rowCount(), 1);
        QCOMPARE(list->model()->index(0, 1).data().toString(), QString("Tide Tables"));
        QCOMPARE(status->text(), QString("Setups: 1 of 2"));
        collectionWindow->Search("");
        QCOMPARE(list->model()->rowCount(), 2);

        // Files by name, registry values by value; LIKE's own wildcards taken as they are.
        auto* contains = window->findChild<QTreeView*>("lvContains");
        QVERIFY(contains);
        collectionWindow->SearchContains("orion");
        QCOMPARE(contains->model()->rowCount(), 1);
        QCOMPARE(contains->model()->index(0, 1).data().toString(), QString("Registry"));
        QVERIFY(contains->model()->index(0, 2).data().toString().contains("Orion"));
        QCOMPARE(status->text(), QString("1 found in 1 setups"));
        collectionWindow->SearchContains("ports.dat");
        QCOMPARE(contains->model()->rowCount(), 1);
        QCOMPARE(contains->model()->index(0, 1).data().toString(), QString("File"));
        collectionWindow->SearchContains("Tide_Tables");
        QCOMPARE(contains->model()->rowCount(), 0);
        collectionWindow->SearchContains("ports.dat");

        // A double click (or Enter) opens the setup in the main window.
        emit contains->activated(contains->model()->index(0, 0));
        QVERIFY(f.Window->SetupOpen());
        QCOMPARE(f.Window->windowTitle(), QString("Tessary - tides.cab"));

        // Opened as a file (the command line, Open), an index opens its own window too.
        window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!f.Window->findChild<QDialog*>("frmCollection"));
        f.Window->OpenSetup(Q(db));
        QVERIFY(!f.Window->SetupOpen());
        QVERIFY(f.Window->findChild<QDialog*>("frmCollection"));
        QVERIFY(f.Services->Messages.isEmpty());
#endif
    }

    // A setup the index found inside a package opens below the package's node.
    void SetupInsideAPackageOpensBelowIt() {
#if !defined(TESSARY_HAVE_COLLECTION)
        QSKIP("this build has no collection support");
#else
        TempDir dir;
        std::filesystem::create_directories(dir.File("received"));
        const std::string exe = dir.File("received/Setup.exe");
        WriteFileBytes(exe, SelfExtractingProgram({SmallSetupCabinet("Stored")}, false));
        const std::string db = dir.File("received.db");
        collection::TIndexOptions options;
        options.Paths = {dir.File("received")};
        options.Readers = 1;
        (void)collection::IndexCollection(db, options);

        TWindowFixture f;
        auto* window = static_cast<TfrmCollection*>(f.Window->OpenCollection(Q(db)));
        QVERIFY(window);
        auto* list = window->findChild<QTreeView*>("lvCollection");
        QVERIFY(list);
        QCOMPARE(list->model()->rowCount(), 1);
        emit list->activated(list->model()->index(0, 0));
        QVERIFY(f.Window->SetupOpen());
        QVERIFY2(f.Window->windowTitle().startsWith("Tessary - Setup.exe : cabinet at offset "),
                 qPrintable(f.Window->windowTitle()));
        QVERIFY(f.Services->Messages.isEmpty());

        // The package gone: said, nothing opened.
        f.Window->CloseSetup();
        f.Window->CloseSetup();
        std::filesystem::remove(exe);
        emit list->activated(list->model()->index(0, 0));
        QVERIFY(!f.Window->SetupOpen());
        QCOMPARE(f.Services->Messages.size(), 1);
#endif
    }

    void FileThatIsNoIndexIsRefused() {
        TempDir dir;
        const std::string notIndex = dir.File("notes.db");
        WriteFileBytes(notIndex, Bytes("just some notes, no database"));
        TWindowFixture f;
        QVERIFY(!f.Window->OpenCollection(Q(notIndex)));
        QCOMPARE(f.Services->Messages.size(), 1);
        QVERIFY2(f.Services->Messages[0].Text.startsWith("notes.db: "),
                 qPrintable(f.Services->Messages[0].Text));
    }
};

QTEST_MAIN(CollectionTest)
#include "collection_test.moc"
