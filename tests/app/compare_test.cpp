// File > Compare With...: the "Comparison" node with its marked rows and counts, dropped when the
// setup closes; a failing or cancelled comparison leaves the open setup as it was.
#include "tests/app/AppFixtures.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QColor>
#include <QTest>
#include <QTreeView>

class CompareTest : public QObject {
    Q_OBJECT

  private slots:
    void ComparisonNodeShowsMarkedRowsUntilTheSetupCloses() {
        TempDir dir;
        const QString older = Q(WriteSetup(dir.File("old.cab"), SmallSetup().Plan()));
        DescriptorBuilder changed = SmallSetup();
        changed.File(1, "Licence.txt");
        SetupCabinetContents contents;
        contents.FileData[1] = Bytes("tides 2.0");
        const QString newer = Q(WriteSetup(dir.File("new.cab"), changed.Plan(), contents));
        TWindowFixture f;
        QVERIFY(!f.Action("mnuCompareWith")->isEnabled());
        f.Window->OpenSetup(older);
        QVERIFY(f.Action("mnuCompareWith")->isEnabled());
        f.Services->DialogAnswers << newer;
        f.Action("mnuCompareWith")->trigger();

        QVERIFY(f.ProjectNodes().contains("Comparison"));
        QCOMPARE(f.Status(), QString("Compared with new.cab: 1 added, 0 removed, 1 changed"));
        QTreeView* view = f.View("tvComparison");
        QAbstractItemModelTester tester(view->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QModelIndex files = view->model()->index(0, 0);
        QCOMPARE(files.data().toString(), QString("Files (2)"));
        QCOMPARE(view->model()->rowCount(files), 2);
        const QModelIndex added = view->model()->index(0, 0, files);
        const QModelIndex changedRow = view->model()->index(1, 0, files);
        QCOMPARE(added.data().toString(), QString("Licence.txt, %InstallDir%\\"));
        QCOMPARE(added.siblingAtColumn(1).data().toString(), QString("Added"));
        QCOMPARE(changedRow.siblingAtColumn(4).data().toString(), QString("Content"));
        QVERIFY(!added.data(Qt::DecorationRole).isNull());
        // Added and changed rows differ in colour from each other and from the page's own.
        const QVariant addedColour = added.data(Qt::ForegroundRole);
        QVERIFY(addedColour.isValid());
        QVERIFY(addedColour != changedRow.data(Qt::ForegroundRole));
        QVERIFY(!files.data(Qt::ForegroundRole).isValid());

        f.Window->CloseSetup();
        QVERIFY(!f.ProjectNodes().contains("Comparison"));
        QVERIFY(!f.Action("mnuCompareWith")->isEnabled());
        f.Window->OpenSetup(older);
        QVERIFY(!f.ProjectNodes().contains("Comparison"));
    }

    void FailureNamesTheCabinetAndCancelShowsNothing() {
        TempDir dir;
        const QString older = Q(WriteSetup(dir.File("old.cab"), SmallSetup().Plan()));
        WriteCabinet(dir.File("plain.cab"), {{"readme.txt", Bytes("no setup")}},
                     FixtureCompression::None);
        TWindowFixture f;
        f.Window->OpenSetup(older);
        const QStringList nodes = f.ProjectNodes();
        for (const QString& other : {Q(dir.File("missing.cab")), Q(dir.File("plain.cab"))}) {
            f.Services->Messages.clear();
            f.Window->CompareWith(other);
            QCOMPARE(f.Services->Messages.size(), 1);
            QCOMPARE(f.Services->Messages[0].Kind, QString("error"));
            QVERIFY2(f.Services->Messages[0].Text.contains(other),
                     qPrintable(f.Services->Messages[0].Text));
            QCOMPARE(f.ProjectNodes(), nodes);
            QCOMPARE(f.Window->SetupFileName(), older);
        }
        f.Services->Messages.clear();
        f.Services->CancelAt = static_cast<int>(f.Services->ProgressTexts.size());
        f.Window->CompareWith(older);
        QCOMPARE(f.Status(), QString("Comparison cancelled"));
        QCOMPARE(f.ProjectNodes(), nodes);
        QVERIFY(f.Services->Messages.isEmpty());
        QCOMPARE(f.Services->ProgressOpen, 0);
    }
};

QTEST_MAIN(CompareTest)
#include "compare_test.moc"
