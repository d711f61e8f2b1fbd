#include "programs/PEImage.h"
#include "setup/ExtractAll.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/Corpus.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/support/PEBuilder.h"
#include "tests/tools/ToolRun.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>

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
    EXPECT_EQ(keys, (std::vector<std::string>{"format", "project", "strings", "dirs", "regpaths",
                                              "files", "regvalues", "shortcuts", "setupDll",
                                              "entries", "signature", "provisioning"}));
    EXPECT_EQ(doc["signature"]["verdict"], "Not signed");
    EXPECT_EQ(doc["format"], "binary");
    EXPECT_TRUE(doc["provisioning"].is_null()) << "no _setup.xml, no provisioning document";
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

// The setup DLL has no file row: it is named as the Programs section names it, by its entry
// and without a folder; nothing else is found that way.
TEST(TessaryInfo, ExtractWritesTheSetupDllNamedByItsEntry) {
    TempDir dir;
    DescriptorBuilder b("Demo", "Acme", "%CE1%\\Demo", false);
    b.File(1, "app.exe");
    SetupCabinetContents contents;
    contents.FileData[1] = Bytes("app bytes");
    contents.SetupDll = Bytes("setup dll bytes");
    const std::string cab = dir.File("dll.cab");
    WriteSetupCabinet(cab, b.Plan(), contents);
    const ToolRun run =
        RunTool({"--extract", "setup.999", "--folder", "", "--output", dir.File("s.dll"), cab});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(ReadFileBytes(dir.File("s.dll")), Bytes("setup dll bytes"));
    for (const std::vector<std::string>& wrong :
         {std::vector<std::string>{"SETUP.999", "%InstallDir%"},
          {"app.exe", ""},
          {"SETUP.000", ""}}) {
        SCOPED_TRACE(wrong[0] + " in " + wrong[1]);
        const ToolRun missing = RunTool(
            {"--extract", wrong[0], "--folder", wrong[1], "--output", dir.File("m.dat"), cab});
        EXPECT_EQ(missing.Exit, 3);
        EXPECT_FALSE(fs::exists(dir.File("m.dat")));
    }
}

TEST(TessaryInfoCorpus, NetcfSetupDllIsExtractedAsTheAuditNamesIt) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    const std::string cab = RealCabinet("BenchmarkDotNet_PPC.ARMV4.CAB");
    const ToolRun audit = RunTool({"--audit", "--json", cab});
    ASSERT_EQ(audit.Exit, 0) << audit.Err;
    const auto doc = nlohmann::json::parse(audit.Out);
    const auto dll = std::find_if(doc["binaries"].begin(), doc["binaries"].end(),
                                  [](const auto& b) { return b["SetupDll"] == true; });
    ASSERT_NE(dll, doc["binaries"].end());
    EXPECT_EQ((*dll)["Name"], "VSD_SE~1.999");
    EXPECT_EQ((*dll)["Kind"], "DLL");
    TempDir dir;
    const ToolRun run = RunTool({"--extract", (*dll)["Name"], "--folder", (*dll)["Folder"],
                                 "--output", dir.File("vsd_setup.dll"), cab});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    const std::vector<uint8_t> bytes = ReadFileBytes(dir.File("vsd_setup.dll"));
    EXPECT_EQ(static_cast<int64_t>(bytes.size()), (*dll)["Size"].get<int64_t>());
    EXPECT_TRUE(ReadPEImage(bytes).IsDll);
    const auto finding = std::find_if(doc["findings"].begin(), doc["findings"].end(),
                                      [](const auto& f) { return f["rule"] == "setup-dll"; });
    ASSERT_NE(finding, doc["findings"].end());
    EXPECT_EQ((*finding)["where"], "VSD_SE~1.999");
    EXPECT_EQ((*finding)["page"], "Programs");
    EXPECT_EQ((*finding)["row"], doc["files"].size());
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
                                 std::vector<std::string>{"--audit", "--json", cab},
                                 std::vector<std::string>{"--extract-all", dir.File("out"), cab}}) {
            const int exit = RunTool(args).Exit;
            EXPECT_TRUE(exit == 0 || exit == 1 || exit == 3) << exit;
        }
        ExpectNothingOutside(dir.Path(), dir.File("out"));
    }
}

// A provisioning-only cabinet says so and counts what it changes, in text and JSON alike; a
// setup that also provisions shows its certificates with the thumbprint check.
TEST(TessaryInfoCorpus, ProvisioningDocumentsInTextAndJson) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    const ToolRun text = RunTool({RealCabinet("SecurityOff.cpf")});
    ASSERT_EQ(text.Exit, 0) << text.Err;
    EXPECT_NE(text.Out.find("\nProvisioning (11)\n"
                            "  Provisioning document: 9 security policies, 0 certificates\n"),
              std::string::npos)
        << text.Out;
    EXPECT_NE(text.Out.find("Unsigned Prompt Policy (4122): 1 = the user is not asked"),
              std::string::npos);
    const ToolRun json = RunTool({"--json", RealCabinet("SecurityOff.cpf")});
    ASSERT_EQ(json.Exit, 0) << json.Err;
    const auto doc = nlohmann::ordered_json::parse(json.Out);
    const auto& p = doc["provisioning"];
    EXPECT_EQ(p["provisioningOnly"], true);
    EXPECT_EQ(p["headline"], "Provisioning document: 9 security policies, 0 certificates");
    EXPECT_EQ(p["summary"]["securityPolicies"], 9);
    ASSERT_EQ(p["rows"].size(), 11u);
    EXPECT_EQ(p["rows"][2]["item"], "parm");
    EXPECT_EQ(p["rows"][2]["name"], "4123");
    EXPECT_EQ(p["rows"][2]["depth"], 2);

    const ToolRun ushahidi = RunTool({"--json", RealCabinet("Ushahidi.CAB")});
    ASSERT_EQ(ushahidi.Exit, 0) << ushahidi.Err;
    const auto u = nlohmann::ordered_json::parse(ushahidi.Out)["provisioning"];
    EXPECT_EQ(u["provisioningOnly"], false);
    ASSERT_EQ(u["certificates"].size(), 2u);
    EXPECT_EQ(u["certificates"][0]["thumbprintMatchesName"], false);
    EXPECT_EQ(u["certificates"][0]["subject"], "CN=Ushahidi");
    const ToolRun ushahidiText = RunTool({RealCabinet("Ushahidi.CAB")});
    EXPECT_EQ(ushahidiText.Out.find("Provisioning document:"), std::string::npos)
        << "it installs a program: not a provisioning-only cabinet";
    EXPECT_NE(ushahidiText.Out.find("Thumbprint Is Name  No"), std::string::npos);
}

// Scripts refuse unsigned or changed installers by the exit status of --verify.
TEST(TessaryInfoVerify, VerdictAndExitStatus) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    const ToolRun intact = RunTool({"--verify", RealCabinet("Ushahidi.CAB")});
    EXPECT_EQ(intact.Exit, 0);
    // The second line says what the signature does not: whom a device must already trust.
    EXPECT_EQ(intact.Out.rfind("Intact: signed by Ushahidi\nTrust: chain complete to CN=Ushahidi, "
                               "self-signed; trusted only by devices that have it;",
                               0),
              0u)
        << intact.Out;
    EXPECT_NE(intact.Out.find("; the setup itself adds CN=Ushahidi to the device's Privileged "
                              "Execution Trust Authorities and SPC stores: it vouches for "
                              "itself\n"),
              std::string::npos);
    const ToolRun unsigned_ = RunTool({"--verify", RealCabinet("App.WM.CAB")});
    EXPECT_EQ(unsigned_.Exit, 4);
    EXPECT_EQ(unsigned_.Out, "Not signed\n");

    TempDir dir;
    std::vector<uint8_t> bytes = ReadFileBytes(RealCabinet("SecurityOff.cpf"));
    bytes[100] ^= 0x01;
    WriteFileBytes(dir.File("modified.cpf"), bytes);
    const ToolRun modified = RunTool({"--verify", dir.File("modified.cpf")});
    EXPECT_EQ(modified.Exit, 5);
    EXPECT_EQ(modified.Out.rfind("Modified: signed by TEST USE ONLY", 0), 0u) << modified.Out;
    EXPECT_NE(modified.Out.find("\nTrust: none, the cabinet's bytes are not the ones signed; "),
              std::string::npos);
    bytes[100] ^= 0x01;
    bytes[48] = 0xFF; // the signature's size now runs past the end
    WriteFileBytes(dir.File("unreadable.cpf"), bytes);
    const ToolRun unreadable = RunTool({"--verify", dir.File("unreadable.cpf")});
    EXPECT_EQ(unreadable.Exit, 5);
    EXPECT_EQ(unreadable.Out.rfind("Signature unreadable: ", 0), 0u) << unreadable.Out;

    WriteFileBytes(dir.File("text.cab"), Bytes("no cabinet"));
    EXPECT_EQ(RunTool({"--verify", dir.File("text.cab")}).Exit, 1);
    EXPECT_EQ(RunTool({"--verify", "--json", RealCabinet("Ushahidi.CAB")}).Exit, 2);
}

// A parm's value is exactly what the document means: entities decoded, its other attributes
// apart, in JSON, and in the text report's own column.
TEST(TessaryInfoProvisioning, AppWmValuesAreExactAndAttributesApart) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    const std::string path = RealCabinet("App.WM.CAB");
    const auto rows = nlohmann::json::parse(RunTool({"--json", path}).Out)["provisioning"]["rows"];
    const auto find = [&](const std::string& value) {
        for (const auto& row : rows)
            if (row["value"] == value) return row;
        return nlohmann::json();
    };
    const auto source = find("%CE1%\\MyCo\\project1.exe");
    ASSERT_FALSE(source.is_null());
    EXPECT_EQ(source["name"], "Source");
    EXPECT_EQ(source["attributes"], nlohmann::json({{"translation", "install"}}));
    const auto open = find("\"%InstallDir%\\nsbasic\\basic.exe\" \"%1\"");
    ASSERT_FALSE(open.is_null());
    EXPECT_EQ(open["attributes"],
              nlohmann::json({{"datatype", "string"}, {"translation", "install"}}));
    for (const auto& row : rows) {
        EXPECT_EQ(row["value"].get<std::string>().find("&quot;"), std::string::npos) << row;
        EXPECT_EQ(row["value"].get<std::string>().find("translation="), std::string::npos) << row;
    }
    const std::string text = RunTool({path}).Out;
    // The value, then in its own column the attributes.
    EXPECT_TRUE(std::regex_search(
        text, std::regex(R"("%InstallDir%\\nsbasic\\basic\.exe" "%1" +datatype="string" )"
                         R"(translation="install")")));
    EXPECT_EQ(text.find("&quot;"), std::string::npos);
}

// --audit and --json carry the same statement as --verify's second line.
TEST(TessaryInfoVerify, AuditAndJsonCarryTheTrustStatement) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    const std::string path = RealCabinet("Ushahidi.CAB");
    const std::string line = RunTool({"--verify", path}).Out;
    const std::string statement = line.substr(line.find("Trust: "));
    const ToolRun json = RunTool({"--json", path});
    const auto trust = nlohmann::json::parse(json.Out)["signature"]["trust"];
    EXPECT_EQ(trust["statement"].get<std::string>() + "\n", statement);
    EXPECT_EQ(trust["chainEnd"], "self-signed");
    EXPECT_EQ(trust["chainEndThumbprint"], "A20F2863C68353672368360252125D05FB1C013D");
    EXPECT_EQ(trust["test"], false);
    EXPECT_EQ(trust["weakDigest"], true);
    const ToolRun audit = RunTool({"--audit", path});
    EXPECT_NE(audit.Out.find("Certificate chain   chain complete to CN=Ushahidi, self-signed"),
              std::string::npos)
        << audit.Out;
    EXPECT_NE(audit.Out.find("\nTrust (5)\n"), std::string::npos);
}

TEST(TessaryInfoVerify, SeveralFilesGiveHeadingsAndTheWorstStatus) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    const std::string signed_ = RealCabinet("Ushahidi.CAB");
    const std::string unsigned_ = RealCabinet("App.WM.CAB");
    const ToolRun run = RunTool({"--verify", signed_, unsigned_});
    EXPECT_EQ(run.Exit, 4);
    EXPECT_EQ(run.Out.rfind("==> " + signed_ + " <==\nIntact: signed by Ushahidi\nTrust: ", 0), 0u);
    EXPECT_EQ(run.Out.substr(run.Out.find("\n\n==> ")),
              "\n\n==> " + unsigned_ + " <==\nNot signed\n");
}

namespace {

// An ARM program with a version resource, a MIPS DLL beside it and a text file.
std::string ProgramsCabinet(const TempDir& dir) {
    DescriptorBuilder b("Progs", "Acme", "%CE1%\\Progs", false);
    b.Plan().Processor = 2577;
    SetupCabinetContents contents;
    PEPlan app;
    app.Imports = {"COREDLL.dll"};
    app.Version = PEVersionPlan{};
    app.Version->Strings = {{"CompanyName", "Acme"}, {"OriginalFilename", "app.exe"}};
    contents.FileData[b.File(1, "app.exe")] = BuildPEImage(app);
    PEPlan dll;
    dll.Machine = 0x0166;
    dll.Dll = true;
    contents.FileData[b.File(1, "mips.dll")] = BuildPEImage(dll);
    contents.FileData[b.File(1, "notes.txt")] = Bytes("plain");
    const std::string path = dir.File("progs.cab");
    WriteSetupCabinet(path, b.Plan(), contents);
    return path;
}

} // namespace

TEST(TessaryInfoAudit, TextIsThePlainReportFollowedByThePrograms) {
    TempDir dir;
    const std::string cab = ProgramsCabinet(dir);
    const ToolRun plain = RunTool({cab});
    const ToolRun audit = RunTool({"--audit", cab});
    ASSERT_EQ(audit.Exit, 0) << audit.Err;
    ASSERT_EQ(audit.Out.substr(0, plain.Out.size()), plain.Out);
    const std::string programs = audit.Out.substr(plain.Out.size());
    EXPECT_EQ(programs.rfind("\nPrograms (2)\n", 0), 0u) << programs;
    EXPECT_NE(programs.find("  app.exe    %InstallDir%\\  ARM         Program  1.2.3.4  Acme"),
              std::string::npos)
        << programs;
    EXPECT_NE(programs.find("Subsystem           Windows CE GUI 4.20"), std::string::npos);
    EXPECT_NE(programs.find("Mismatch            The setup's processor is ARM"), std::string::npos);
    EXPECT_EQ(programs.find("notes.txt"), std::string::npos) << "not a program";
    EXPECT_EQ(RunTool({"--audit", "--entries", cab}).Exit, 2);
}

TEST(TessaryInfoAudit, JsonIsThePlainJsonWithBinariesThenFindingsLast) {
    TempDir dir;
    const std::string cab = ProgramsCabinet(dir);
    const ToolRun plain = RunTool({"--json", cab});
    const ToolRun audit = RunTool({"--audit", "--json", cab});
    ASSERT_EQ(audit.Exit, 0) << audit.Err;
    auto doc = nlohmann::ordered_json::parse(audit.Out);
    ASSERT_EQ(doc.back(), doc["findings"]);
    const auto findings = doc["findings"];
    doc.erase("findings");
    ASSERT_EQ(doc.back(), doc["binaries"]);
    const auto binaries = doc["binaries"];
    doc.erase("binaries");
    ASSERT_FALSE(findings.empty());
    const auto& mismatch = findings[0]; // the one Warning leads
    EXPECT_EQ(mismatch["severity"], "Warning");
    EXPECT_EQ(mismatch["rule"], "cpu-mismatch");
    EXPECT_EQ(mismatch["where"], "%InstallDir%\\mips.dll");
    EXPECT_EQ(mismatch["page"], "Programs");
    EXPECT_EQ(mismatch["row"], 1);
    EXPECT_EQ(doc.dump() + "\n", plain.Out);
    ASSERT_EQ(binaries.size(), 2u);
    const auto& app = binaries[0];
    EXPECT_EQ(app["Name"], "app.exe");
    EXPECT_EQ(app["Folder"], "%InstallDir%\\");
    EXPECT_EQ(app["Status"], "Image");
    EXPECT_EQ(app["Machine"], 0x01c0);
    EXPECT_EQ(app["CPU"], "ARM");
    EXPECT_EQ(app["Kind"], "Program");
    EXPECT_EQ(app["SubsystemName"], "Windows CE GUI");
    EXPECT_EQ(app["SubsystemVersion"], "4.20");
    EXPECT_EQ(app["Imports"], "COREDLL.dll");
    EXPECT_EQ(app["DotNet"], false);
    EXPECT_EQ(app["RuntimeVersion"], nullptr);
    EXPECT_EQ(app["Signed"], false);
    EXPECT_EQ(app["FileVersion"], "1.2.3.4");
    EXPECT_EQ(app["CompanyName"], "Acme");
    EXPECT_EQ(app["OriginalFilename"], "app.exe");
    EXPECT_EQ(app["Mismatch"], nullptr);
    EXPECT_EQ(binaries[1]["Kind"], "DLL");
    EXPECT_EQ(binaries[1]["CPU"], "MIPS R4000");
    EXPECT_EQ(binaries[1]["FileVersion"], nullptr) << "no version resource";
    EXPECT_EQ(binaries[1]["Mismatch"], "The setup's processor is ARM");
}

TEST(TessaryInfoAudit, FindingsFollowTheProgramsAndStrictExitsFourOnAWarning) {
    TempDir dir;
    const std::string mixed = ProgramsCabinet(dir);
    const ToolRun audit = RunTool({"--audit", mixed});
    ASSERT_EQ(audit.Exit, 0) << audit.Err;
    const size_t at = audit.Out.find("\nFindings (2)\n  Findings: 1 warning, 1 notice, 0 info\n");
    ASSERT_NE(at, std::string::npos) << audit.Out;
    EXPECT_GT(at, audit.Out.find("\nPrograms (2)\n"));
    EXPECT_NE(audit.Out.find(
                  "Warning   cpu-mismatch  Program built for another CPU  %InstallDir%\\mips.dll"),
              std::string::npos)
        << audit.Out;
    EXPECT_EQ(RunTool({"--audit", "--strict", mixed}).Exit, 4);
    EXPECT_EQ(RunTool({"--audit", "--strict", "--json", mixed}).Exit, 4);

    DescriptorBuilder b("Plain", "Acme", "%CE1%\\Plain", false);
    b.File(1, "readme.txt");
    const std::string plain = dir.File("plain.cab");
    WriteSetupCabinet(plain, b.Plan());
    EXPECT_EQ(RunTool({"--audit", "--strict", plain}).Exit, 0) << "notices only";
    EXPECT_EQ(RunTool({"--strict", plain}).Exit, 2) << "--strict belongs to --audit";
}

TEST(TessaryInfoAudit, CertificateNamesInFindingsStayUtf8) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    // One of the certificates' names has an en dash; the model's 8-bit texts are Latin-1, but
    // a certificate's are UTF-8 already and must not be encoded a second time.
    const ToolRun audit = RunTool({"--audit", "--json", RealCabinet("SdkCerts.cab")});
    ASSERT_EQ(audit.Exit, 0) << audit.Err;
    EXPECT_NE(audit.Out.find("TEST USE ONLY \xE2\x80\x93"
                             "Failsafe"),
              std::string::npos);
    EXPECT_EQ(audit.Out.find("\xC3\xA2\xC2\x80\xC2\x93"), std::string::npos) << "encoded twice";
}
