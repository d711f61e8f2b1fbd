// Extract File and Edit with Velmora: the save dialog, what reaches the disk, the editor's command.
#include "tests/app/AppFixtures.h"

#include "cab/cabfiles.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QTreeView>
#include <sys/stat.h>

namespace {
// A setup with a DLL-named file, a file without extension and one in a sub-folder.
struct TExtractFixture {
    TempDir Dir;
    DescriptorBuilder Builder = DescriptorBuilder("Tide Tables", "Harbour Soft", "%CE1%\\Tides");
    SetupCabinetContents Contents;
    TWindowFixture F;
    QString Cabinet;

    TExtractFixture() {
        const uint16_t sub = Builder.Dir("%CE1%\\Tides\\Data");
        Contents.FileData[Builder.File(1, "setup.dll")] = Bytes("first setup.dll");
        Contents.FileData[Builder.File(1, "Readme")] = Bytes("plain readme");
        std::vector<uint8_t> ports(70000);
        for (size_t i = 0; i < ports.size(); ++i)
            ports[i] = static_cast<uint8_t>(i * 7 + i / 256);
        Contents.FileData[Builder.File(sub, "ports.dat")] = ports;
        Contents.FileData[Builder.File(sub, "setup.dll")] = Bytes("second setup.dll");
        Cabinet = Q(WriteSetup(Dir.File("tides.cab"), Builder.Plan(), Contents));
        F.Window->OpenSetup(Cabinet);
        F.SelectProjectNode(1);
    }

    void Select(const QString& name, const QString& folder) {
        const QStringList names = F.Column("lvFiles", 0);
        const QStringList folders = F.Column("lvFiles", 1);
        for (int i = 0; i < names.size(); ++i)
            if (names[i] == name && folders[i] == folder) F.SelectRow("lvFiles", i);
    }

    // Runs Extract File with the dialog answering target.
    void Extract(const QString& target) {
        F.Services->DialogAnswers = {target};
        F.Action("mnuExtractFile")->trigger();
    }
};

QStringList FilesIn(const std::string& dir) {
    return QDir(Q(dir)).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}
} // namespace

class CommandsTest : public QObject {
    Q_OBJECT

  private slots:
    // The save dialog offers one filter built from the extension and proposes the row's name.
    void SaveDialogFilterAndName() {
        TExtractFixture x;
        x.Select("setup.dll", "%InstallDir%\\");
        x.Extract(QString());
        x.Select("Readme", "%InstallDir%\\");
        x.Extract(QString());
        QCOMPARE(x.F.Services->DialogRuns.size(), 2);
        QCOMPARE(x.F.Services->DialogRuns[0].Filter, QString(".dll file (*.dll)"));
        QCOMPARE(x.F.Services->DialogRuns[0].ProposedName, QString("setup.dll"));
        // Qt trims the description's leading space.
        QCOMPARE(x.F.Services->DialogRuns[1].Filter, QString("file (*)"));
        QCOMPARE(x.F.Services->DialogRuns[1].ProposedName, QString("Readme"));
    }

    // Cancelling the dialog writes nothing and shows nothing.
    void CancellingWritesNothing() {
        TExtractFixture x;
        TempDir out;
        x.Select("ports.dat", "%InstallDir%\\Data\\");
        x.Extract(QString());
        QVERIFY(FilesIn(out.Path()).isEmpty());
        QVERIFY(x.F.Services->Messages.isEmpty());
    }

    // The file written equals the entry byte for byte, carries its stored date, and is the only
    // one.
    void ExtractedFileEqualsTheEntry() {
        TExtractFixture x;
        TempDir out;
        x.Select("ports.dat", "%InstallDir%\\Data\\");
        x.Extract(Q(out.File("saved ports.dat")));
        QVERIFY(x.F.Services->Messages.isEmpty());
        QCOMPARE(FilesIn(out.Path()), QStringList{"saved ports.dat"});
        const std::vector<uint8_t> written = ReadFileBytes(out.File("saved ports.dat"));
        QVERIFY(written == x.Contents.FileData[3]);
        TCABFile cabinet;
        cabinet.CABFile = x.Cabinet.toStdString();
        cabinet.ListContents();
        TMemoryStream stream;
        QVERIFY(cabinet.ExtractToStream(stream, SetupEntryName("ports.dat", 3)));
        QCOMPARE(stream.Size(), static_cast<int64_t>(written.size()));
        const QDateTime stored(QDate(2020, 5, 17), QTime(13, 45, 30));
        QCOMPARE(QFileInfo(Q(out.File("saved ports.dat"))).lastModified(), stored);
    }

    // Two files of one name: the row's folder decides which one is written.
    void TheRowsFolderChoosesTheEntry() {
        TExtractFixture x;
        TempDir out;
        x.Select("setup.dll", "%InstallDir%\\Data\\");
        x.Extract(Q(out.File("b.dll")));
        QVERIFY(ReadFileBytes(out.File("b.dll")) == Bytes("second setup.dll"));
        x.Select("setup.dll", "%InstallDir%\\");
        x.Extract(Q(out.File("a.dll")));
        QVERIFY(ReadFileBytes(out.File("a.dll")) == Bytes("first setup.dll"));
    }

    // A failed extraction says so, naming the file, and leaves nothing behind.
    void FailedExtractionIsReported() {
        TExtractFixture x;
        TempDir out;
        x.Select("ports.dat", "%InstallDir%\\Data\\");
        // A folder that cannot be created: its parent is a plain file.
        WriteFileBytes(out.File("plain"), Bytes("x"));
        x.Extract(Q(out.File("plain/ports.dat")));
        QVERIFY(!x.F.Services->Messages.isEmpty());
        const TFakeServices::TMessage& last = x.F.Services->Messages.last();
        QCOMPARE(last.Kind, QString("error"));
        QCOMPARE(last.Caption, QString("Tessary"));
        QVERIFY2(last.Text.contains("ports.dat"), qPrintable(last.Text));
        QCOMPARE(FilesIn(out.Path()), QStringList{"plain"});
        QFile::remove(Q(out.File("plain")));

        // The entry vanished from the cabinet after opening: nothing found is no success either.
        x.F.Services->Messages.clear();
        WriteCabinet(x.Cabinet.toStdString(), {}, FixtureCompression::None);
        std::vector<FixtureEntry> entries = SetupCabinetEntries(x.Builder.Plan(), x.Contents);
        entries.erase(entries.begin() + 3);
        WriteCabinet(x.Cabinet.toStdString(), entries, FixtureCompression::MSZIP);
        x.Extract(Q(out.File("ports.dat")));
        QCOMPARE(x.F.Services->Messages.size(), 1);
        QVERIFY2(x.F.Services->Messages[0].Text.contains("ports.dat"),
                 qPrintable(x.F.Services->Messages[0].Text));
        QVERIFY(FilesIn(out.Path()).isEmpty());
    }

    // A double click runs Extract File only while the command is enabled.
    void DoubleClickExtracts() {
        TExtractFixture x;
        QTreeView* list = x.F.View("lvFiles");
        x.Select("Readme", "%InstallDir%\\");
        emit list->doubleClicked(list->currentIndex());
        QCOMPARE(x.F.Services->DialogRuns.size(), 1);
        x.F.SelectProjectNode(2);
        emit list->doubleClicked(list->currentIndex());
        QCOMPARE(x.F.Services->DialogRuns.size(), 1);
    }

    // The editor gets the cabinet's path as one argument, spaces and all; nothing when empty.
    void EditorStartsWithTheCabinetPath() {
        TempDir dir;
        QVERIFY(QDir(Q(dir.Path())).mkpath("my setups"));
        const QString path =
            Q(WriteSetup(dir.File("my setups/Tide Tables 2.cab"), SmallSetup().Plan()));
        TWindowFixture f;
        f.Window->mnuEditWithVLMClick();
        QVERIFY(f.Services->Started.isEmpty());
        f.Window->OpenSetup(path);
        f.Action("mnuEditWithVLM")->trigger();
        QCOMPARE(f.Services->Started.size(), 1);
        QCOMPARE(f.Services->Started[0].first, f.Window->EditorPath());
        QVERIFY(f.Services->Started[0].first.endsWith("/Velmora.exe"));
        QCOMPARE(f.Services->Started[0].second, QStringList{path});
        QVERIFY(f.Services->Messages.isEmpty());
        QVERIFY(f.Window->SetupOpen());
    }
};

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
