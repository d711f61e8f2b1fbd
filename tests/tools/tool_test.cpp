#include "setup/ExtractAll.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/Corpus.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/tools/ToolRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Every file below root lies below target (the target's own parents may be created).
void ExpectNothingOutside(const std::string& root, const std::string& target) {
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        if (item.is_directory()) continue;
        EXPECT_EQ(item.path().string().rfind(target + "/", 0), 0u) << item.path() << " escaped";
    }
}

std::string SampleCabinet(const TempDir& dir) {
    DescriptorBuilder b("Demo\xE9", "Acme", "%CE1%\\Demo", false);
    const uint16_t data = b.Dir("%CE1%\\Demo\\Data");
    b.File(1, "app.exe", 0x80000001u);
    b.File(data, "table.dat");
    b.RegString(b.RegKey(3, "Software\\Acme"), "Path", "%InstallDir%");
    SetupCabinetContents contents;
    contents.FileData[1] = Bytes("app bytes");
    contents.FileData[2] = Bytes("table bytes");
    const std::string path = dir.File("demo.cab");
    WriteSetupCabinet(path, b.Plan(), contents);
    return path;
}

} // namespace

TEST(DeviceTargetPath, MacrosBecomePlainFoldersAndClimbingOutIsRefused) {
    EXPECT_EQ(DeviceTargetPath("out", "%InstallDir%\\Data", "a.txt"), "out/InstallDir/Data/a.txt");
    EXPECT_EQ(DeviceTargetPath("out", "", "a.txt"), "out/a.txt");
    EXPECT_EQ(DeviceTargetPath("out", "\\Windows\\", "a.txt"), "out/Windows/a.txt");
    EXPECT_EQ(DeviceTargetPath("out", "%CE14%", "a.txt"), "out/CE14/a.txt");
    EXPECT_FALSE(DeviceTargetPath("out", "%InstallDir%\\..\\..", "a.txt"));
    EXPECT_FALSE(DeviceTargetPath("out", "C:\\Windows", "a.txt"));
    EXPECT_FALSE(DeviceTargetPath("out", "a/../../b", "a.txt"));
    EXPECT_FALSE(DeviceTargetPath("out", "%InstallDir%", ".."));
    EXPECT_FALSE(DeviceTargetPath("out", "%InstallDir%", "sub\\a.txt"));
    EXPECT_FALSE(DeviceTargetPath("out", "%InstallDir%", "/etc/passwd"));
    EXPECT_FALSE(DeviceTargetPath("out", "%InstallDir%", ""));
}

TEST(TessaryInfo, ExitCodesTellUsageNonSetupsAndFailures) {
    TempDir dir;
    EXPECT_EQ(RunTool({}).Exit, 2);
    EXPECT_EQ(RunTool({"--bogus", "x.cab"}).Exit, 2);
    EXPECT_EQ(RunTool({"--extract", "a", "x.cab"}).Exit, 2)
        << "--extract needs --folder and --output";
    EXPECT_EQ(RunTool({"--extract-all", "out", "a.cab", "b.cab"}).Exit, 2);

    WriteFileBytes(dir.File("text.cab"), Bytes("plain text"));
    const ToolRun notSetup = RunTool({dir.File("text.cab")});
    EXPECT_EQ(notSetup.Exit, 1);
    EXPECT_EQ(notSetup.Err, "Invalid Windows CE Setup file, Tessary cannot read this file.\n");
    EXPECT_EQ(RunTool({"--entries", dir.File("text.cab")}).Exit, 1);

    auto cabinet = BuildCabinet({{"a.txt", Bytes("a")}}, FixtureCompression::None);
    PatchEntryDateTime(cabinet, 0, 0, 0); // day 0 of month 0
    WriteFileBytes(dir.File("date.cab"), cabinet);
    const ToolRun bad = RunTool({"--entries", dir.File("date.cab")});
    EXPECT_EQ(bad.Exit, 3);
    EXPECT_NE(bad.Err.find("Invalid argument to date encode"), std::string::npos) << bad.Err;
}

TEST(TessaryInfo, EntriesAreListedInCabinetOrder) {
    TempDir dir;
    WriteCabinet(dir.File("e.cab"), {{"b.txt", Bytes("bb")}, {"a\xE9.txt", Bytes("a")}},
                 FixtureCompression::MSZIP);
    const ToolRun text = RunTool({"--entries", dir.File("e.cab")});
    ASSERT_EQ(text.Exit, 0);
    EXPECT_EQ(text.Out.substr(0, text.Out.find('\n')), "b.txt\t2\t2020-05-17 13:45:30");
    const ToolRun json = RunTool({"--entries", "--json", dir.File("e.cab")});
    ASSERT_EQ(json.Exit, 0);
    const auto doc = nlohmann::json::parse(json.Out);
    ASSERT_EQ(doc["entries"].size(), 2u);
    EXPECT_EQ(doc["entries"][0]["Size"], 2);
    EXPECT_EQ(doc["entries"][0]["Date"], "2020-05-17 13:45:30");
}

TEST(TessaryInfo, JsonHoldsTheModelInOrderWithSizesFromTheCabinet) {
    TempDir dir;
    const ToolRun run = RunTool({"--json", SampleCabinet(dir)});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    const auto doc = nlohmann::ordered_json::parse(run.Out);
    std::vector<std::string> keys;
    for (const auto& item : doc.items())
        keys.push_back(item.key());
    EXPECT_EQ(keys,
              (std::vector<std::string>{"format", "project", "strings", "dirs", "regpaths", "files",
                                        "regvalues", "shortcuts", "setupDll", "entries"}));
    EXPECT_EQ(doc["format"], "binary");
    EXPECT_EQ(doc["project"]["SoftwareName"], "Demo\u00e9") << "bytes become their code points";
    ASSERT_EQ(doc["files"].size(), 2u);
    EXPECT_EQ(doc["files"][0]["Flags"], -2147483647) << "flags are signed 32-bit";
    EXPECT_EQ(doc["files"][0]["Size"], 9);
    EXPECT_EQ(doc["files"][1]["Dir"], "%InstallDir%\\Data");
    EXPECT_EQ(doc["regvalues"][0]["Root"], 2);
    EXPECT_EQ(doc["setupDll"], false);
    EXPECT_EQ(doc["entries"][0]["Name"], "SETUP.000");
}

TEST(TessaryInfo, ExtractWritesOneFileAndReportsAMissingOne) {
    TempDir dir;
    const std::string cab = SampleCabinet(dir);
    ASSERT_EQ(RunTool({"--extract", "table.dat", "--folder", "%InstallDir%\\Data", "--output",
                       dir.File("t.dat"), cab})
                  .Exit,
              0);
    EXPECT_EQ(ReadFileBytes(dir.File("t.dat")), Bytes("table bytes"));
    const ToolRun missing = RunTool(
        {"--extract", "table.dat", "--folder", "%InstallDir%", "--output", dir.File("m.dat"), cab});
    EXPECT_EQ(missing.Exit, 3);
    EXPECT_FALSE(missing.Err.empty());
    EXPECT_FALSE(fs::exists(dir.File("m.dat")));
}

TEST(TessaryInfo, ExtractAllRefusesClimbingNamesAndWritesTheRest) {
    TempDir dir;
    const std::string xml =
        "<wap-provisioningdoc><characteristic type=\"FileOperation\">"
        "<characteristic type=\"%CE1%\\..\\..\\..\" translation=\"install\">"
        "<characteristic type=\"evil.txt\" translation=\"install\"><characteristic "
        "type=\"Extract\"><parm name=\"Source\" value=\"evil.001\"/></characteristic>"
        "</characteristic></characteristic>"
        "<characteristic type=\"%CE1%\\Good\" translation=\"install\">"
        "<characteristic type=\"good.txt\" translation=\"install\"><characteristic "
        "type=\"Extract\"><parm name=\"Source\" value=\"good.002\"/></characteristic>"
        "</characteristic></characteristic>"
        "</characteristic></wap-provisioningdoc>";
    WriteCabinet(
        dir.File("x.cab"),
        {{"_setup.xml", Bytes(xml)}, {"evil.001", Bytes("evil")}, {"good.002", Bytes("good")}},
        FixtureCompression::None);
    const std::string target = dir.Path() + "/a/b/c/out";
    const ToolRun run = RunTool({"--extract-all", target, dir.File("x.cab")});
    EXPECT_EQ(run.Exit, 3);
    EXPECT_NE(run.Err.find("evil.txt"), std::string::npos) << run.Err;
    EXPECT_EQ(ReadFileBytes(target + "/ProgramFilesDir/Good/good.txt"), Bytes("good"));
    ExpectNothingOutside(dir.Path() + "/a", target);
}

TEST(TessaryInfoCorpus, ExtractAllWritesEveryFileOfTheRealSetups) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    for (const std::string& cab : CorpusFiles("real")) {
        SCOPED_TRACE(cab);
        TempDir dir;
        const ToolRun json = RunTool({"--json", cab});
        ASSERT_EQ(json.Exit, 0) << json.Err;
        const auto doc = nlohmann::json::parse(json.Out);
        ASSERT_EQ(RunTool({"--extract-all", dir.File("out"), cab}).Exit, 0);
        for (const auto& file : doc["files"]) {
            const auto target = DeviceTargetPath(dir.File("out"), file["Dir"], file["Name"]);
            ASSERT_TRUE(target);
            ASSERT_TRUE(fs::exists(*target)) << *target;
            EXPECT_EQ(static_cast<int64_t>(fs::file_size(*target)), file["Size"].get<int64_t>())
                << *target;
        }
    }
}

TEST(TessaryInfoCorpus, HostileCabinetsAreSurvived) {
    const std::vector<std::string> files = CorpusFiles("robust");
    if (files.empty()) GTEST_SKIP() << "corpus missing";
    for (const std::string& cab : files) {
        SCOPED_TRACE(cab);
        TempDir dir;
        for (const auto& args : {std::vector<std::string>{"--json", cab},
                                 std::vector<std::string>{"--extract-all", dir.File("out"), cab}}) {
            const int exit = RunTool(args).Exit;
            EXPECT_TRUE(exit == 0 || exit == 1 || exit == 3) << exit;
        }
        ExpectNothingOutside(dir.Path(), dir.File("out"));
    }
}
