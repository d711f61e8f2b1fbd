// The "Device" node: the install decision and each program's run decision with their reasons,
// as tessary-info --device gives them; the Project page's row, the Programs page's column, and
// File > Device Profile... remembered between windows.
#include "app/ReportNode.h"
#include "device/DevicePage.h"
#include "tests/app/AppFixtures.h"
#include "tests/support/Corpus.h"

#include <QAction>
#include <QProcess>
#include <QTest>
#include <QTreeView>
#include <nlohmann/json.hpp>

namespace {

TReportNode* DeviceNode(const TWindowFixture& f) {
    return dynamic_cast<TReportNode*>(f.Window->findChild<QWidget*>("Device"));
}

nlohmann::json ToolDevice(const std::string& path, const QStringList& profile) {
    QStringList args{"--audit", "--json"};
    for (const QString& p : profile)
        args << "--device" << p;
    args << QString::fromStdString(path);
    QProcess tool;
    tool.start(TESSARY_INFO_EXE, args);
    tool.waitForFinished(kWait);
    return nlohmann::json::parse(tool.readAllStandardOutput().toStdString()).at("device");
}

QStringList Headers(const QTreeView* view) {
    QStringList headers;
    for (int c = 0; c < view->model()->columnCount(); ++c)
        headers << view->model()->headerData(c, Qt::Horizontal).toString();
    return headers;
}

} // namespace

class DeviceTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        if (!HaveCorpus()) QSKIP("no shared corpus");
    }

    // Ushahidi.CAB on a two-tier device: the window lists what the tool prints, reason by
    // reason, program by program.
    void WindowShowsTheToolsDecisionAndReasons() {
        const std::string path = RealCabinet("Ushahidi.CAB");
        TWindowFixture f;
        f.Services->ProfileAnswer = QStringList{"smartphone"};
        f.Action("mnuDeviceProfile")->trigger();
        QCOMPARE(f.Services->SavedProfile, QStringList{"smartphone"});
        f.Window->OpenSetup(Q(path));
        QVERIFY(f.ProjectNodes().contains("Device"));
        TReportNode* node = DeviceNode(f);
        QTRY_VERIFY_WITH_TIMEOUT(!node->StatusText().contains("reading"), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(!f.Window->Reading(), kWait);

        const nlohmann::json tool = ToolDevice(path, {"smartphone"});
        QCOMPARE(
            node->StatusText(),
            QString::fromStdString("Install decision: " + tool.at("install").get<std::string>() +
                                   " (" + tool.at("profile").get<std::string>() + ")"));
        // The list: the tool's install reasons, then each program with its reasons.
        QStringList expected;
        for (const auto& r : tool.at("reasons"))
            expected << QString::fromStdString(r);
        for (const auto& p : tool.at("programs"))
            for (const auto& r : p.at("reasons"))
                expected << QString::fromStdString(r);
        QStringList shown = f.Column("lvDevice", 2);
        shown.removeAll(QString());
        QCOMPARE(shown, expected);
        QVERIFY(f.Column("lvDevice", 1).contains("asks the user"));

        // The Project page's row and the Programs page's column.
        const int row = f.RowOf("lvProject", "Install decision");
        QVERIFY(row >= 0);
        QCOMPARE(f.Column("lvProject", 1)[row],
                 QString("asks the user (Smartphone / Standard, two-tier prompt)"));
        const QStringList headers = Headers(f.View("lvPrograms"));
        QCOMPARE(headers.last(), QString("On Device"));
        QVERIFY(headers.contains("Mismatch"));
        QVERIFY(f.Column("lvPrograms", int(headers.size()) - 1).contains("asks"));
    }

    // A profile remembered from an earlier run applies at once; choosing none removes the node,
    // the row and the column; a bad file is a problem row, the rest still shown.
    void ProfileIsRememberedAndCanBeDropped() {
        TWindowFixture f;
        f.Services->SavedProfile = QStringList{"locked", "/nonexistent/device.cpf"};
        f.Window.reset();
        f.Window = std::make_unique<TfrmWinCEMain>(QStringList{}, f.Services);
        f.Window->OpenSetup(Q(RealCabinet("SecurityOff.cpf")));
        QVERIFY(f.ProjectNodes().contains("Device"));
        // No decision while the setup's own document is being read: it may change the device.
        QVERIFY(DeviceNode(f)->StatusText().endsWith("reading the provisioning document..."));
        QTRY_VERIFY_WITH_TIMEOUT(!f.Window->Reading(), kWait);
        QVERIFY(f.Column("lvDevice", 1).contains("blocked"));
        QVERIFY(f.Column("lvDevice", 0).contains("Problem"));
        QVERIFY(
            f.Column("lvDevice", 2).join('\n').contains("/nonexistent/device.cpf: cannot open"));
        QVERIFY(f.RowOf("lvProject", "Findings") >= 0);

        f.Services->ProfileAnswer = QStringList();
        f.Action("mnuDeviceProfile")->trigger();
        QVERIFY(!f.ProjectNodes().contains("Device"));
        QCOMPARE(f.RowOf("lvProject", "Install decision"), -1);
        QCOMPARE(f.Services->SavedProfile, QStringList());
    }

    // A profile that the settings do not take is said once, and still judges the open setup.
    void ProfileThatCannotBeRememberedIsSaidAndStillUsed() {
        TWindowFixture f;
        f.Window->OpenSetup(Q(RealCabinet("Ushahidi.CAB")));
        QVERIFY(!f.ProjectNodes().contains("Device"));
        f.Services->SaveFails = true;
        f.Services->ProfileAnswer = QStringList{"smartphone"};
        f.Action("mnuDeviceProfile")->trigger();
        QCOMPARE(f.Services->Messages.size(), 1);
        QCOMPARE(f.Services->Messages[0].Kind, QString("warning"));
        QCOMPARE(f.Services->Messages[0].Text, QString(device::kProfileNotRemembered));
        QCOMPARE(f.Services->SavedProfile, QStringList());
        QTRY_VERIFY_WITH_TIMEOUT(f.ProjectNodes().contains("Device"), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(!f.Window->Reading(), kWait);
    }
};

QTEST_MAIN(DeviceTest)
#include "device_test.moc"
