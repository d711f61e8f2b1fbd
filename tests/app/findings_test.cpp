// The "Findings" node: the audit's findings listed and counted on the Project page, completed
// when the programs are read, sortable, and a double click that shows the row a finding is
// about.
#include "app/ListModel.h"
#include "app/ReportNode.h"
#include "tests/app/AppFixtures.h"
#include "tests/support/Corpus.h"
#include "tests/support/PEBuilder.h"

#include <QColor>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>
#include <QTreeView>
#include <algorithm>

namespace {

TReportNode* FindingsNode(const TWindowFixture& f) {
    return dynamic_cast<TReportNode*>(f.Window->findChild<QWidget*>("Findings"));
}

// The index of the first finding of a rule.
size_t FindingOf(const TWindowFixture& f, const char* rule) {
    const auto& findings = f.Window->Findings();
    for (size_t i = 0; i < findings.size(); ++i)
        if (std::string(findings[i].Rule) == rule) return i;
    return findings.size();
}

QString Current(const TWindowFixture& f, const char* list, int column = 0) {
    return f.View(list)->currentIndex().siblingAtColumn(column).data().toString();
}
} // namespace

class FindingsTest : public QObject {
    Q_OBJECT

  private slots:
    // A setup writing into the Windows folder, starting a program at boot and carrying a MIPS
    // DLL for an ARM device: the last is found once the programs are read.
    void FindingsAreListedCountedAndLeadToTheirRows() {
        TempDir dir;
        DescriptorBuilder b = SmallSetup();
        b.Plan().Processor = 2577;
        SetupCabinetContents contents;
        PEPlan mips;
        mips.Machine = 0x0166;
        contents.FileData[b.File(b.Dir("%CE2%"), "hook.dll")] = BuildPEImage(mips);
        b.RegString(b.RegKey(3, "Init"), "Launch90", "hook.exe");
        const std::string path = WriteSetup(dir.File("audit.cab"), b.Plan(), contents);
        TWindowFixture f;
        f.Window->OpenSetup(Q(path));
        QVERIFY(f.ProjectNodes().contains("Findings"));
        TReportNode* node = FindingsNode(f);
        QTRY_VERIFY_WITH_TIMEOUT(!node->StatusText().contains("reading"), kWait);
        const auto& findings = f.Window->Findings();
        QVERIFY(FindingOf(f, "cpu-mismatch") < findings.size());
        QCOMPARE(f.View("lvFindings")->model()->rowCount(), static_cast<int>(findings.size()));
        const TFindingCounts counts = CountFindings(findings);
        QCOMPARE(node->StatusText(), QString::fromStdString(FindingsHeadline(counts)));
        const QStringList properties = f.Column("lvProject", 0);
        QCOMPARE(properties.last(), QString("Findings"));
        QCOMPARE(f.Column("lvProject", 1).last(),
                 QString::fromStdString(FindingsHeadline(counts)).mid(10));
        // After the signature's two rows.
        QCOMPARE(properties.at(properties.size() - 3), QString("Signature"));

        f.Window->GoToFinding(FindingOf(f, "windows-folder"));
        QCOMPARE(Current(f, "lvFiles"), QString("hook.dll"));
        f.Window->GoToFinding(FindingOf(f, "boot-registry"));
        QCOMPARE(Current(f, "lvRegistry"), QString("Launch90"));
        QCOMPARE(Current(f, "tvRegistry"), QString("Init"));
        // A double click on the list does the same.
        f.SelectProjectNode("Findings");
        QTreeView* list = f.View("lvFindings");
        const QModelIndexList mismatch =
            list->model()->match(list->model()->index(0, 2), Qt::DisplayRole,
                                 "Program built for another CPU", 1, Qt::MatchExactly);
        QCOMPARE(mismatch.size(), 1);
        // The rule's id beside the severity.
        QCOMPARE(mismatch.front().siblingAtColumn(1).data().toString(), QString("cpu-mismatch"));
        emit list->doubleClicked(mismatch.front());
        QCOMPARE(Current(f, "lvPrograms"), QString("hook.dll"));
        QCOMPARE(f.Status(), QString("Total of programs: 1, 1 built for another CPU"));

        // Warnings, notices and infos apart by a click on the Severity header, by their rank:
        // the gravest first going up.
        list->header()->setSortIndicator(0, Qt::AscendingOrder);
        QCOMPARE(list->model()->index(0, 0).data().toString(), QString("Warning"));
        list->header()->setSortIndicator(0, Qt::DescendingOrder);
        QCOMPARE(list->model()->index(list->model()->rowCount() - 1, 0).data().toString(),
                 QString("Warning"));
    }

    // A provisioning document has no programs: its findings are whole once the document is
    // read, and one leads to its row of the provisioning tree.
    void SecurityOffPoliciesLeadToTheProvisioningTree() {
        if (!HaveCorpus()) QSKIP("no shared corpus");
        TWindowFixture f;
        f.Window->OpenSetup(Q(RealCabinet("SecurityOff.cpf")));
        QTRY_VERIFY_WITH_TIMEOUT(!f.Window->Reading(), kWait);
        const size_t policy = FindingOf(f, "security-policy");
        QVERIFY(policy < f.Window->Findings().size());
        QVERIFY(!FindingsNode(f)->StatusText().contains("reading"));
        f.Window->GoToFinding(policy);
        QCOMPARE(Current(f, "tvProvisioning", 1), QString("4123"));
        f.Window->CloseSetup();
        QVERIFY(f.Window->Findings().empty());
        QVERIFY(!f.ProjectNodes().contains("Findings"));
    }

    // File > Open Baseline...: the findings it accepts are greyed with their statement and no
    // longer counted; a broken baseline is shown with its line and leaves the one before.
    void ABaselineGreysWhatItAccepts() {
        if (!HaveCorpus()) QSKIP("no shared corpus");
        TempDir dir;
        const std::string good = dir.File("good.json");
        WriteFileBytes(good, Bytes(R"({"version": 1, "accepted": [
            {"rule": "windows-folder", "where": "%WinDir%\\*.dll", "statement": "its runtime"}]})"));
        const std::string broken = dir.File("broken.json");
        WriteFileBytes(broken, Bytes("{\"version\": 1,\n\"accepted\": [{\"rule\": \"nope\"}]}"));
        TWindowFixture f;
        f.Window->OpenSetup(Q(RealCabinet("Basic.WM.CAB")));
        QTRY_VERIFY_WITH_TIMEOUT(!FindingsNode(f)->StatusText().contains("reading"), kWait);
        const size_t before = f.Window->Findings().size();
        QCOMPARE(CountFindings(f.Window->Findings()).Accepted, size_t(0));

        f.Services->DialogAnswers << Q(good);
        f.Action("mnuOpenBaseline")->trigger();
        QCOMPARE(f.Services->DialogRuns.size(), 1);
        const TFindingCounts counts = CountFindings(f.Window->Findings());
        // The accepted places are one finding, apart from the Windows folder's other files.
        const auto& all = f.Window->Findings();
        QVERIFY(std::count_if(all.begin(), all.end(),
                              [](const TFinding& x) { return x.Accepted; }) > 3);
        QCOMPARE(counts.Accepted, size_t(1));
        QCOMPARE(f.Window->Findings().size(), before);
        QVERIFY(FindingsNode(f)->StatusText().contains("accepted"));
        QAbstractItemModel* model = f.View("lvFindings")->model();
        QCOMPARE(model->columnCount(), 6);
        QCOMPARE(model->headerData(5, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QString("Accepted"));
        int greyed = 0;
        for (int row = 0; row < model->rowCount(); ++row) {
            const QModelIndex index = model->index(row, 0);
            const bool accepted = index.siblingAtColumn(5).data().toString() == "its runtime";
            QCOMPARE(index.data(Qt::ForegroundRole).value<QColor>() == QColor(Qt::gray), accepted);
            greyed += accepted ? 1 : 0;
            if (!accepted) continue;
            // One place, or a group whose places all match the pattern.
            const int places = model->rowCount(index);
            for (int p = 0; p < places; ++p)
                QVERIFY(model->index(p, 3, index).data().toString().endsWith(".dll"));
            if (places == 0) QVERIFY(index.siblingAtColumn(3).data().toString().endsWith(".dll"));
        }
        QCOMPARE(greyed, static_cast<int>(counts.Accepted));

        QVERIFY(!f.Window->OpenBaseline(Q(broken)));
        QCOMPARE(f.Services->Messages.size(), 1);
        QVERIFY(f.Services->Messages.front().Text.contains("broken.json line 2: unknown rule"));
        QCOMPARE(CountFindings(f.Window->Findings()).Accepted, counts.Accepted);

        // It holds for the next setup too, and a reopened one is marked again.
        f.Window->CloseSetup();
        f.Window->OpenSetup(Q(RealCabinet("Basic.WM.CAB")));
        QTRY_VERIFY_WITH_TIMEOUT(!FindingsNode(f)->StatusText().contains("reading"), kWait);
        QCOMPARE(CountFindings(f.Window->Findings()).Accepted, counts.Accepted);
    }

    // Basic.WM.CAB's ActiveX files are one finding with their count, which opens into its
    // places; a double click on a place shows its file.
    void RepeatedFindingsAreOneRowThatOpensIntoItsPlaces() {
        if (!HaveCorpus()) QSKIP("no shared corpus");
        TWindowFixture f;
        f.Window->OpenSetup(Q(RealCabinet("Basic.WM.CAB")));
        QTRY_VERIFY_WITH_TIMEOUT(!FindingsNode(f)->StatusText().contains("reading"), kWait);
        f.SelectProjectNode("Findings");
        QTreeView* tree = f.View("lvFindings");
        QAbstractItemModel* model = tree->model();
        const QModelIndexList group =
            model->match(model->index(0, 1), Qt::DisplayRole, "self-registering", -1);
        QCOMPARE(group.size(), 1);
        const QModelIndex row = group.front().siblingAtColumn(0);
        QCOMPARE(row.siblingAtColumn(3).data().toString(), QString("12 places"));
        QCOMPARE(model->rowCount(row), 12);
        QCOMPARE(model->rowCount(), static_cast<int>(GroupFindings(f.Window->Findings()).size()));
        QVERIFY(model->rowCount() < static_cast<int>(f.Window->Findings().size()));
        QVERIFY(!tree->isExpanded(row));
        const QModelIndexList ocx = model->match(model->index(0, 3, row), Qt::DisplayRole,
                                                 "%WinDir%\\DialogX.ocx", 1, Qt::MatchExactly);
        QCOMPARE(ocx.size(), 1);
        emit tree->doubleClicked(ocx.front());
        QCOMPARE(Current(f, "lvFiles"), QString("DialogX.ocx"));
        // A click on the Severity header orders the groups, their places staying with them.
        tree->header()->setSortIndicator(0, Qt::DescendingOrder);
        const QModelIndex moved =
            model->match(model->index(0, 1), Qt::DisplayRole, "self-registering", -1).front();
        QCOMPARE(model->rowCount(moved.siblingAtColumn(0)), 12);

        // The filter box narrows the tree: a group whose rule matches keeps all its places, a
        // place that matches is shown under its group alone; the status counts groups.
        const int groups = model->rowCount();
        auto* filter = f.Window->findChild<QLineEdit*>("edtFilter");
        f.SelectProjectNode("Findings");
        filter->setText("SELF-registering");
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(model->rowCount(model->index(0, 0)), 12);
        QVERIFY(f.Status().endsWith(QString("(1 of %1 shown)").arg(groups)));
        filter->setText("DialogX.ocx");
        const QModelIndexList narrowed =
            model->match(model->index(0, 1), Qt::DisplayRole, "self-registering", -1);
        QCOMPARE(narrowed.size(), 1);
        const QModelIndex only = narrowed.front().siblingAtColumn(0);
        QCOMPARE(model->rowCount(only), 1);
        QCOMPARE(model->index(0, 3, only).data().toString(), QString("%WinDir%\\DialogX.ocx"));
        // Its place still leads to its file.
        emit tree->doubleClicked(model->index(0, 3, only));
        QCOMPARE(Current(f, "lvFiles"), QString("DialogX.ocx"));
        f.SelectProjectNode("Findings");
        filter->setText("no finding says this");
        QCOMPARE(model->rowCount(), 0);
        filter->clear();
        QCOMPARE(model->rowCount(), groups);
        QCOMPARE(f.Status(), FindingsNode(f)->StatusText());
    }

    // File > Save Report...: the page the tool's --html writes, with the window's findings;
    // refused while the programs are being read, and a target that cannot be written leaves
    // nothing.
    void SaveReportWritesTheAuditAsOnePage() {
        if (!HaveCorpus()) QSKIP("no shared corpus");
        TempDir dir;
        TWindowFixture f;
        QVERIFY(!f.Action("mnuSaveReport")->isEnabled());
        f.Window->OpenSetup(Q(RealCabinet("Ushahidi.CAB")));
        QVERIFY(f.Action("mnuSaveReport")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!FindingsNode(f)->StatusText().contains("reading"), kWait);
        const std::string page = dir.File("ushahidi.html");
        f.Services->DialogAnswers << Q(page);
        f.Action("mnuSaveReport")->trigger();
        QCOMPARE(f.Services->DialogRuns.size(), 1);
        QVERIFY(f.Services->Messages.isEmpty());
        const std::vector<uint8_t> bytes = ReadFileBytes(page);
        const std::string html(bytes.begin(), bytes.end());
        QVERIFY(html.find("<h1>Audit of Ushahidi.CAB</h1>") != std::string::npos);
        QVERIFY(html.find(">self-vouching</a>") != std::string::npos);
        QVERIFY(html.find("<script") == std::string::npos);

        const std::string nowhere = dir.File("missing/report.html");
        QVERIFY(!f.Window->SaveReport(Q(nowhere)));
        QCOMPARE(f.Services->Messages.size(), 1);
        QVERIFY(!QFileInfo::exists(Q(nowhere)));
        f.Window->CloseSetup();
        QVERIFY(!f.Action("mnuSaveReport")->isEnabled());
    }
};

QTEST_MAIN(FindingsTest)
#include "findings_test.moc"
