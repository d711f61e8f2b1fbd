// The "Provisioning", "Signature" and "Programs" nodes on real cabinets: when they are there,
// that they show the report layer's rows as the command-line tool prints them, their details,
// and the background reading of the programs, also when a second setup opens meanwhile.
#include "app/ListModel.h"
#include "app/ReportNode.h"
#include "cab/cabfiles.h"
#include "inspection/BackgroundReading.h"
#include "programs/PEImage.h"
#include "programs/ProgramsPage.h"
#include "provisioning/ProvisioningPage.h"
#include "provisioning/Rows.h"
#include "report/SignaturePage.h"
#include "setup/CESetup.h"
#include "signature/Signature.h"
#include "tests/app/AppFixtures.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/Corpus.h"

#include <QLabel>
#include <QTest>
#include <QTextEdit>
#include <QTreeView>

namespace {

QStringList Texts(const std::vector<TListRow>& rows) {
    QStringList texts;
    for (const TListRow& row : rows)
        texts << row.Texts.join('|');
    return texts;
}

// Every row of a view, depth first, cells joined.
QStringList Shown(const QTreeView* view, const QModelIndex& parent = {}) {
    QStringList texts;
    const QAbstractItemModel* model = view->model();
    for (int row = 0; row < model->rowCount(parent); ++row) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(parent); ++column)
            cells << model->index(row, column, parent).data().toString();
        texts << cells.join('|');
        texts << Shown(view, model->index(row, 0, parent));
    }
    return texts;
}

// What the tool reads of a cabinet, through the same report builders.
struct TToolRows {
    QStringList Provisioning;
    QStringList Programs; // sorted: the tool and the window collate differently
    provisioning::TProvisioningPages Pages;
    TSignaturePages Signature;
};

TToolRows ToolRows(const std::string& path) {
    TToolRows r;
    TCABFile cabinet;
    TCESetup setup;
    setup.Cabinet = &cabinet;
    (void)setup.LoadSetup(path, "", false);
    cabinet.ListContents();
    provisioning::TProvisioningTree tree;
    if (provisioning::ReadCabinetProvisioning(cabinet, tree)) {
        r.Pages = provisioning::BuildProvisioningPages(tree);
        r.Provisioning = Texts(ListRows(r.Pages.Rows));
    }
    r.Programs = Texts(
        ListRows(BuildProgramsPage(AnalysePrograms(setup, cabinet, cabinet.CABFileContents))));
    r.Programs.sort();
    r.Signature = BuildSignaturePages(VerifyCabinetSignature(path));
    return r;
}

TReportNode* Node(const TWindowFixture& f, const char* name) {
    return dynamic_cast<TReportNode*>(f.Window->findChild<QWidget*>(name));
}

QString Details(const TWindowFixture& f, const char* name) {
    return f.Window->findChild<QTextEdit*>(name)->toPlainText();
}

QStringList ProgramRows(const TWindowFixture& f) {
    QStringList rows = Shown(f.View("lvPrograms"));
    rows.sort();
    return rows;
}
} // namespace

class SetupNodesTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        if (!HaveCorpus()) QSKIP("no shared corpus");
    }

    // A signed provisioning document: what it changes on the Project page, its tree and the
    // signature's certificates and checks; no files, so no programs.
    void SecurityOffShowsItsPolicyChangesAndSignature() {
        const std::string path = RealCabinet("SecurityOff.cpf");
        const TToolRows tool = ToolRows(path);
        TWindowFixture f;
        f.Window->OpenSetup(Q(path));
        QCOMPARE(f.ProjectNodes(), QStringList({"Files", "Shortcuts", "Registry Entries",
                                                "Provisioning", "Signature", "Findings"}));
        // Even a setup that is only a document reads it in the background: until the window's
        // thread takes the result, the nodes say so and the findings wait.
        auto* note = f.Window->findChild<QLabel*>("lblProjectNote");
        QVERIFY(!note->isVisibleTo(f.Window.get()));
        QCOMPARE(Node(f, "Provisioning")->StatusText(),
                 QString("Reading the provisioning document..."));
        QCOMPARE(Node(f, "Findings")->StatusText(),
                 QString("Findings: reading the provisioning document..."));
        QVERIFY(f.Window->Findings().empty());
        QTRY_VERIFY_WITH_TIMEOUT(!f.Window->Reading(), kWait);
        QVERIFY(note->isVisibleTo(f.Window.get()));
        QVERIFY(!Node(f, "Findings")->StatusText().contains("reading"));
        QCOMPARE(note->text(),
                 QString("Provisioning document: 9 security policies, 0 certificates"));
        QCOMPARE(Shown(f.View("tvProvisioning")), tool.Provisioning);

        f.SelectProjectNode("Signature");
        // The verdict, then what it does not say: the tool's trust line, to the letter.
        QCOMPARE(f.Status(), QString::fromStdString(tool.Signature.Status));
        QVERIFY(f.Status().startsWith("Intact: signed by TEST USE ONLY - Sample Privileged "
                                      "Developer - Windows Mobile SDK. Trust: chain ends at "));
        QVERIFY(f.Status().contains("not valid today"));
        QCOMPARE(Shown(f.View("lvSignature")), Texts(ListRows(tool.Signature.Certificates)));
        QVERIFY(Details(f, "txtSignatureDetails").startsWith("Checks"));
        QVERIFY(Details(f, "txtSignatureDetails").contains("is a test certificate"));
        // The list's one row is current already (as focus makes it) but not selected: a click
        // only selects it, and the pane follows.
        QTreeView* list = f.View("lvSignature");
        f.Window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.Window.get()));
        list->selectionModel()->setCurrentIndex(list->model()->index(0, 0),
                                                QItemSelectionModel::NoUpdate);
        QVERIFY(!Details(f, "txtSignatureDetails").contains("Thumbprint"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(0, 0)).center());
        QVERIFY(Details(f, "txtSignatureDetails").contains("Thumbprint"));
        // Ctrl+Space takes the row out of the selection again, the current row staying.
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
        QVERIFY(!list->selectionModel()->hasSelection());
        QVERIFY(Details(f, "txtSignatureDetails").startsWith("Checks"));
        f.Window->CloseSetup();
        QVERIFY(!note->isVisibleTo(f.Window.get()));
    }

    // Certificates for the trust stores: selecting one shows its decoded fields.
    void SdkCertsShowsEachCertificate() {
        const std::string path = RealCabinet("SdkCerts.cab");
        const TToolRows tool = ToolRows(path);
        TWindowFixture f;
        f.Window->OpenSetup(Q(path));
        QVERIFY(!f.ProjectNodes().contains("Signature"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.Window->Reading(), kWait);
        QCOMPARE(f.Window->findChild<QLabel*>("lblProjectNote")->text(),
                 QString("Provisioning document: 0 security policies, 8 certificates"));
        const TRow& certificate = tool.Pages.Certificates.Rows.at(0);
        QTreeView* tree = f.View("tvProvisioning");
        const QModelIndexList found = tree->model()->match(
            tree->model()->index(0, 0), Qt::UserRole + 4, static_cast<int>(certificate.Source), 1,
            Qt::MatchExactly | Qt::MatchRecursive);
        QCOMPARE(found.size(), 1);
        tree->setCurrentIndex(found.front());
        const QString details = Details(f, "txtProvisioningDetails");
        QVERIFY(details.contains("Thumbprint (SHA-1)"));
        QVERIFY(details.contains(Q(certificate.Cells.at(2).Text))); // the subject
    }

    // A program with a provisioning document inside: both read in the background, the rows as
    // the tool prints them; the selected program's fields below the list.
    void UshahidiShowsItsProgramsAndProvisioning() {
        const std::string path = RealCabinet("Ushahidi.CAB");
        const TToolRows tool = ToolRows(path);
        TWindowFixture f;
        f.Window->OpenSetup(Q(path));
        TReportNode* programs = Node(f, "Programs");
        QVERIFY(programs->StatusText().startsWith("Reading the programs"));
        QVERIFY(!f.Window->findChild<QLabel*>("lblProjectNote")->isVisibleTo(f.Window.get()));
        QTRY_VERIFY_WITH_TIMEOUT(programs->StatusText().startsWith("Total of programs"), kWait);
        QCOMPARE(ProgramRows(f), tool.Programs);
        QCOMPARE(Shown(f.View("tvProvisioning")), tool.Provisioning);
        f.SelectProjectNode("Programs");
        f.SelectRow("lvPrograms", 0);
        QVERIFY(Details(f, "txtProgramsDetails").contains("File Version"));
        // Once its document is read, the signature says that the setup installs its own signer.
        f.SelectProjectNode("Signature");
        QVERIFY(f.Status().contains("chain complete to CN=Ushahidi, self-signed"));
        QVERIFY(f.Status().endsWith("SPC stores: it vouches for itself"));
        QVERIFY(Details(f, "txtSignatureDetails").contains("Installed by the setup"));
    }

    // The NETCF setup DLL is a Programs row of its own, which Extract File writes: its bytes are
    // the cabinet entry's, with no file row to go through.
    void NetcfSetupDllIsListedAndExtracted() {
        const std::string path = RealCabinet("BenchmarkDotNet_PPC.ARMV4.CAB");
        TWindowFixture f;
        f.Window->OpenSetup(Q(path));
        TReportNode* programs = Node(f, "Programs");
        QTRY_VERIFY_WITH_TIMEOUT(programs->StatusText().startsWith("Total of programs"), kWait);
        QCOMPARE(ProgramRows(f), ToolRows(path).Programs);
        f.SelectProjectNode("Programs");
        const int row = f.RowOf("lvPrograms", "VSD_SE~1.999");
        QVERIFY(row >= 0);
        QCOMPARE(f.Column("lvPrograms", 3).at(row), QString("Setup DLL"));
        QVERIFY(!f.Action("mnuExtractFile")->isEnabled());
        f.SelectRow("lvPrograms", row);
        QVERIFY(Details(f, "txtProgramsDetails").contains("the installer runs it at install"));
        QVERIFY(f.Action("mnuExtractFile")->isEnabled());
        TempDir dir;
        const QString out = Q(dir.File("setup.dll"));
        f.Services->DialogAnswers = {out};
        f.Action("mnuExtractFile")->trigger();
        QVERIFY(f.Services->Messages.isEmpty());
        QCOMPARE(f.Services->DialogRuns.last().ProposedName, QString("VSD_SE~1.999"));
        const std::vector<uint8_t> bytes = ReadFileBytes(dir.File("setup.dll"));
        QCOMPARE(bytes.size(), size_t{9216});
        QVERIFY(ReadPEImage(bytes).IsDll);
    }

    // Opening another setup or closing this one stops the reading; nothing of it reaches the
    // next setup's pages.
    void ASecondSetupTakesNothingFromTheFirstOnesReading() {
        const std::string second = RealCabinet("Ushahidi.CAB");
        const TToolRows tool = ToolRows(second);
        TWindowFixture f;
        f.Window->OpenSetup(Q(RealCabinet("Basic.WM.CAB")));
        QTest::qWait(250); // past the pause before the first one reads
        f.Window->OpenSetup(Q(second));
        TReportNode* programs = Node(f, "Programs");
        QTRY_VERIFY_WITH_TIMEOUT(!f.Window->Reading(), kWait);
        QVERIFY(programs->StatusText().startsWith("Total of programs"));
        QCOMPARE(ProgramRows(f), tool.Programs);

        f.Window->OpenSetup(Q(RealCabinet("Basic.WM.CAB")));
        f.Window->CloseSetup();
        QTRY_VERIFY_WITH_TIMEOUT(!f.Window->Reading(), kWait);
        QTest::qWait(100);
        QCOMPARE(f.View("lvPrograms")->model()->rowCount(), 0);
        QCOMPARE(programs->StatusText(), QString());
    }

    // A reading stopped when its first rows arrive hands over nothing more, and never its end;
    // one not stopped hands over every row in its batches.
    void ReadingStopsBetweenTwoFiles() {
        TBackgroundRequest request;
        request.Path = RealCabinet("Basic.WM.CAB");
        request.Settle = std::chrono::milliseconds(0);
        request.BatchInterval = std::chrono::milliseconds(0);
        std::atomic<bool> stop{false};
        size_t rows = 0;
        bool done = false;
        TBackgroundResults results;
        results.ProgramRows = [&](std::vector<TProgramRow> batch) {
            rows += batch.size();
            stop = true;
        };
        results.ProgramsDone = [&](std::vector<TProgramRow>) { done = true; };
        ReadInBackground(request, results, stop);
        QCOMPARE(rows, size_t{1});
        QVERIFY(!done);
        // Not stopped, every row the Programs page lists arrives in the batches.
        rows = 0;
        results.ProgramRows = [&](std::vector<TProgramRow> batch) { rows += batch.size(); };
        stop = false;
        ReadInBackground(request, results, stop);
        QVERIFY(done);
        QCOMPARE(static_cast<qsizetype>(rows), ToolRows(request.Path).Programs.size());
    }
};

QTEST_MAIN(SetupNodesTest)
#include "setupnodes_test.moc"
