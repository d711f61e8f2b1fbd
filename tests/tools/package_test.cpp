// tessary-info over packages: a heading per contained setup, JSON lines with "container", the
// failures of a package, and --extract-cabinets.
#include "tests/support/CabinetBuilder.h"
#include "tests/support/Corpus.h"
#include "tests/support/PackageBuilder.h"
#include "tests/tools/ToolRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::vector<nlohmann::json> Lines(const std::string& out) {
    std::vector<nlohmann::json> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(nlohmann::json::parse(line));
    return lines;
}

// A zip of two setups named by its .ini, one it names but lacks, and one no .ini names.
std::string AppZip(const TempDir& dir) {
    const std::string zip = dir.File("App.zip");
    WriteFileBytes(
        zip,
        BuildZip({
            {"App.ARM.CAB", SmallSetupCabinet("AppARM")},
            {"App.SH3.CAB", SmallSetupCabinet("AppSH3", 0x01a2)},
            {"Setup.ini",
             Bytes(AppManagerIniText({{"App", {"App.ARM.CAB", "App.SH3.CAB", "App.MIPS.CAB"}}}))},
            {"Tools/\x1b[31mTool.cab", SmallSetupCabinet("Tool")},
        }));
    return zip;
}

} // namespace

TEST(TessaryInfoPackage, ZipGivesAHeadingPerSetupAndNamesTheMissingCabinet) {
    TempDir dir;
    const std::string zip = AppZip(dir);
    const ToolRun text = RunTool({zip}, 60);
    EXPECT_EQ(text.Exit, 3) << text.Err;
    EXPECT_NE(text.Out.find("==> " + zip + " : App.ARM.CAB <==\n"), std::string::npos);
    EXPECT_NE(text.Out.find("==> " + zip + " : App.SH3.CAB <==\n"), std::string::npos);
    EXPECT_NE(text.Out.find("AppSH3"), std::string::npos);
    // Printed names are escaped like every other text.
    EXPECT_NE(text.Out.find("==> " + zip + " : Tools/\\x1b[31mTool.cab <==\n"), std::string::npos);
    EXPECT_EQ(text.Out.find('\x1b'), std::string::npos);
    EXPECT_NE(text.Err.find(zip + " : App.MIPS.CAB: no cabinet App.MIPS.CAB beside Setup.ini"),
              std::string::npos)
        << text.Err;

    // One document is one setup: a package's are named, and how to get at them.
    const ToolRun manifest = RunTool({"--manifest", zip}, 60);
    EXPECT_EQ(manifest.Exit, 1);
    EXPECT_NE(manifest.Err.find(zip + " holds 3 setups: write them out with --extract-cabinets"),
              std::string::npos)
        << manifest.Err;

    const ToolRun json = RunTool({"--jsonl", zip}, 60);
    EXPECT_EQ(json.Exit, 3);
    const std::vector<nlohmann::json> lines = Lines(json.Out);
    ASSERT_EQ(lines.size(), 4u) << json.Out;
    EXPECT_EQ(lines[0]["file"], zip);
    EXPECT_EQ(
        lines[0]["container"],
        nlohmann::json(
            {{"kind", "zip"}, {"path", "App.ARM.CAB"}, {"offset", nullptr}, {"component", "App"}}));
    EXPECT_EQ(lines[0]["project"]["SoftwareName"], "AppARM");
    EXPECT_EQ(lines[1]["project"]["SoftwareName"], "AppSH3");
    EXPECT_EQ(lines[2]["container"]["path"], "App.MIPS.CAB");
    EXPECT_EQ(lines[2]["exit"], 3);
    EXPECT_EQ(lines[2]["error"], "no cabinet App.MIPS.CAB beside Setup.ini");
    EXPECT_EQ(lines[3]["container"]["component"], nullptr);
    EXPECT_EQ(lines[3]["container"]["path"], "Tools/\x1b[31mTool.cab");
}

TEST(TessaryInfoPackage, SelfExtractingProgramKeepsTheSignatureOfACarvedCabinet) {
    if (!HaveCorpus()) GTEST_SKIP() << "no shared corpus";
    TempDir dir;
    const std::string exe = dir.File("Setup.exe");
    const std::vector<uint8_t> signedCab = ReadFileBytes(RealCabinet("Ushahidi.CAB"));
    const std::vector<uint8_t> program =
        SelfExtractingProgram({signedCab, SmallSetupCabinet("Second")}, true);
    WriteFileBytes(exe, program);
    const ToolRun run = RunTool({"--jsonl", exe}, 60);
    EXPECT_EQ(run.Exit, 0) << run.Err;
    const std::vector<nlohmann::json> lines = Lines(run.Out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["container"]["kind"], "exe");
    EXPECT_EQ(lines[0]["signature"]["verdict"], "Intact") << lines[0]["signature"].dump();
    EXPECT_EQ(lines[1]["project"]["SoftwareName"], "Second");
    const int64_t offset = lines[0]["container"]["offset"];
    EXPECT_EQ(
        std::vector<uint8_t>(program.begin() + offset, program.begin() + offset + signedCab.size()),
        signedCab);

    // Verified and listed cabinet by cabinet, under the package's headings.
    const ToolRun verified = RunTool({"--verify", exe}, 60);
    EXPECT_EQ(verified.Exit, 4) << verified.Err; // the second one is not signed
    const std::string heading = "==> " + exe + " : cabinet at offset " + std::to_string(offset);
    const size_t first = verified.Out.find(heading + " <==\nIntact: signed by ");
    EXPECT_NE(first, std::string::npos) << verified.Out;
    EXPECT_NE(verified.Out.find(" <==\nNot signed\n", first), std::string::npos) << verified.Out;
    const ToolRun listed = RunTool({"--entries", exe}, 60);
    EXPECT_EQ(listed.Exit, 0) << listed.Err;
    EXPECT_NE(listed.Out.find(heading + " <==\n"), std::string::npos);
    EXPECT_NE(listed.Out.find("_setup.xml\t"), std::string::npos) << listed.Out;
}

TEST(TessaryInfoPackage, ExtractCabinetsWritesThemAndRefusesNamesThatClimbOut) {
    TempDir dir;
    const std::string zip = dir.File("evil.zip");
    const std::vector<uint8_t> cabinet = SmallSetupCabinet("Evil");
    WriteFileBytes(zip, BuildZip({{"Good/App.cab", cabinet},
                                  {"../../escaped.cab", cabinet},
                                  {"/abs.cab", cabinet}}));
    const std::string out = dir.File("out");
    const ToolRun run = RunTool({"--extract-cabinets", out, zip}, 60);
    EXPECT_EQ(run.Exit, 3);
    EXPECT_EQ(ReadFileBytes(out + "/Good/App.cab"), cabinet);
    EXPECT_NE(run.Err.find("refused ../../escaped.cab: it would leave " + out), std::string::npos)
        << run.Err;
    EXPECT_NE(run.Err.find("refused /abs.cab"), std::string::npos) << run.Err;
    for (const auto& item : fs::recursive_directory_iterator(dir.Path())) {
        if (!item.is_regular_file()) continue;
        EXPECT_TRUE(item.path() == zip || item.path().string().rfind(out + "/", 0) == 0)
            << item.path();
    }
    EXPECT_EQ(RunTool({"--extract-cabinets", out, "--json", zip}).Exit, 2);
    const std::string plain = dir.File("plain.cab");
    WriteFileBytes(plain, cabinet);
    EXPECT_EQ(RunTool({"--extract-cabinets", out, plain}).Exit, 1);
}

TEST(TessaryInfoPackage, HostilePackagesEndWithAClearMessage) {
    TempDir dir;
    // A cabinet header that declares 100 bytes before 64 MiB of zeros.
    const std::string bomb = dir.File("bomb.zip");
    std::vector<uint8_t> zeros(64 << 20, 0);
    const std::vector<uint8_t> head = Bytes("MSCF\0\0\0\0d\0\0\0");
    std::copy(head.begin(), head.end(), zeros.begin());
    zeros[8] = 100;
    WriteFileBytes(bomb, BuildZip({{"bomb.cab", zeros}}));
    const ToolRun run = RunTool({bomb}, 60);
    EXPECT_EQ(run.Exit, 3);
    EXPECT_NE(run.Err.find("bomb.cab is larger than its cabinet header says; stopped"),
              std::string::npos)
        << run.Err;
    // An installer whose payload we cannot read is named.
    std::vector<uint8_t> inno = SelfExtractingProgram({}, false);
    const std::vector<uint8_t> marker = Bytes("Inno Setup Setup Data (5.5.7)");
    inno.insert(inno.end(), marker.begin(), marker.end());
    WriteFileBytes(dir.File("inno.exe"), inno);
    const ToolRun innoRun = RunTool({dir.File("inno.exe")}, 60);
    EXPECT_EQ(innoRun.Exit, 1);
    EXPECT_NE(innoRun.Err.find("an Inno Setup installer"), std::string::npos) << innoRun.Err;
    // A zip without cabinets.
    WriteFileBytes(dir.File("none.zip"), BuildZip({{"a.txt", Bytes("text")}}));
    const ToolRun none = RunTool({dir.File("none.zip")}, 60);
    EXPECT_EQ(none.Exit, 1);
    EXPECT_NE(none.Err.find("no setup cabinet in this package"), std::string::npos);
}
