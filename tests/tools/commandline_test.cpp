// Command-line conventions of tessary-info: --help, --version, "--", and several files at once.
#include "tessary/Version.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/support/TextFiles.h"
#include "tests/tools/ToolRun.h"
#include "tools/CommandLine.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using ProgramRun = ToolRun;

// Started in folder dir, so that relative names such as "-x.cab" work. stdoutPath: where
// standard output goes instead of being captured.
ProgramRun RunToolIn(const std::string& dir, const std::vector<std::string>& args,
                     const std::string& stdoutPath = "") {
    ToolRunOptions options;
    options.Dir = dir;
    options.StdoutPath = stdoutPath;
    return RunToolWith(args, options);
}

void WriteDemoSetup(const std::string& path) {
    DescriptorBuilder b("Demo", "Acme", "%CE1%\\Demo", false);
    b.File(1, "app.exe");
    SetupCabinetContents contents;
    contents.FileData[1] = Bytes("app bytes");
    WriteSetupCabinet(path, b.Plan(), contents);
}

TParseResult Parse(const std::vector<std::string>& args, Options* out = nullptr) {
    Options o;
    const TParseResult r = ParseArguments(args, o);
    if (out) *out = o;
    return r;
}

const char kNotSetup[] = "Invalid Windows CE Setup file, Tessary cannot read this file.";

} // namespace

TEST(ParseArguments, HelpAndVersionWinAndDoubleDashEndsTheOptions) {
    EXPECT_EQ(Parse({"--help"}), TParseResult::Help);
    EXPECT_EQ(Parse({"--json", "a.cab", "--help"}), TParseResult::Help);
    EXPECT_EQ(Parse({"--version"}), TParseResult::Version);
    EXPECT_EQ(Parse({"--", "--help"}), TParseResult::Run) << "after -- it is a file";

    Options o;
    ASSERT_EQ(Parse({"--json", "--", "-x.cab", "--entries"}, &o), TParseResult::Run);
    EXPECT_TRUE(o.Json);
    EXPECT_FALSE(o.Entries);
    EXPECT_EQ(o.Files, (std::vector<std::string>{"-x.cab", "--entries"}));
    EXPECT_EQ(Parse({"-x.cab"}), TParseResult::Usage);
    EXPECT_EQ(Parse({"--"}), TParseResult::Usage) << "no file";
}

TEST(ParseArguments, SeveralFilesForReportsAndListingsButNotForExtraction) {
    Options o;
    ASSERT_EQ(Parse({"a.cab", "--json", "b.cab"}, &o), TParseResult::Run);
    EXPECT_EQ(o.Files, (std::vector<std::string>{"a.cab", "b.cab"}));
    EXPECT_EQ(Parse({"--entries", "a.cab", "b.cab"}), TParseResult::Run);
    EXPECT_EQ(Parse({"--extract-all", "out", "a.cab", "b.cab"}), TParseResult::Usage);
    EXPECT_EQ(Parse({"--extract", "n", "--folder", "f", "--output", "o", "a.cab", "b.cab"}),
              TParseResult::Usage);
    EXPECT_EQ(Parse({"--extract", "n", "--folder", "f", "--output", "o", "a.cab"}),
              TParseResult::Run);
    EXPECT_EQ(Parse({"--extract-all", "out", "--json", "a.cab"}), TParseResult::Usage);
    ASSERT_EQ(Parse({"--jsonl", "a.cab"}, &o), TParseResult::Run);
    EXPECT_TRUE(o.Json && o.Labelled);
    EXPECT_EQ(Parse({"--extract-all", "out", "--jsonl", "a.cab"}), TParseResult::Usage);
}

TEST(TessaryInfoCommandLine, HelpAndVersionGoToStandardOutput) {
    TempDir dir;
    const ProgramRun help = RunToolIn(dir.Path(), {"--help"});
    EXPECT_EQ(help.Exit, 0);
    EXPECT_EQ(help.Out.rfind("usage: tessary-info", 0), 0u) << help.Out;
    EXPECT_NE(help.Out.find("--version"), std::string::npos);
    EXPECT_EQ(help.Err, "");

    const ProgramRun version = RunToolIn(dir.Path(), {"--version"});
    EXPECT_EQ(version.Exit, 0);
    EXPECT_EQ(version.Out, std::string("tessary-info ") + kTessaryVersion + "\n");

    const ProgramRun wrong = RunToolIn(dir.Path(), {"--bogus"});
    EXPECT_EQ(wrong.Exit, 2);
    EXPECT_EQ(wrong.Out, "");
    EXPECT_EQ(wrong.Err.rfind("usage: tessary-info", 0), 0u);
}

TEST(TessaryInfoCommandLine, DoubleDashReadsAFileWhoseNameLooksLikeAnOption) {
    TempDir dir;
    WriteDemoSetup(dir.File("-x.cab"));
    EXPECT_EQ(RunToolIn(dir.Path(), {"--json", "-x.cab"}).Exit, 2);
    const ProgramRun run = RunToolIn(dir.Path(), {"--json", "--", "-x.cab"});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(nlohmann::json::parse(run.Out)["project"]["SoftwareName"], "Demo");
}

TEST(TessaryInfoCommandLine, SeveralFilesGiveOneJsonLineEachAndTheWorstStatus) {
    TempDir dir;
    WriteDemoSetup(dir.File("good.cab"));
    WriteFileBytes(dir.File("text.cab"), Bytes("plain text"));
    const ProgramRun single = RunToolIn(dir.Path(), {"--json", "good.cab"});
    ASSERT_EQ(single.Exit, 0);
    const auto model = nlohmann::ordered_json::parse(single.Out);
    EXPECT_EQ(model.begin().key(), "format") << "a single file is not labelled";
    const ProgramRun forced = RunToolIn(dir.Path(), {"--jsonl", "good.cab"});
    ASSERT_EQ(forced.Exit, 0);
    EXPECT_EQ(forced.Out.rfind("{\"file\":\"good.cab\",\"format\":", 0), 0u) << forced.Out;

    const ProgramRun run =
        RunToolIn(dir.Path(), {"--json", "good.cab", "text.cab", "missing.cab", "good.cab"});
    const std::vector<std::string> lines = SplitLines(run.Out);
    ASSERT_EQ(lines.size(), 4u) << run.Out;
    int worst = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        const auto line = nlohmann::ordered_json::parse(lines[i]);
        ASSERT_TRUE(line.is_object());
        EXPECT_EQ(line.begin().key(), "file");
        if (line.contains("error")) {
            std::vector<std::string> keys;
            for (const auto& item : line.items())
                keys.push_back(item.key());
            EXPECT_EQ(keys, (std::vector<std::string>{"file", "error", "exit"}));
            EXPECT_FALSE(line["error"].get<std::string>().empty());
            EXPECT_GT(line["exit"].get<int>(), 0);
            worst = std::max(worst, line["exit"].get<int>());
        } else {
            nlohmann::ordered_json rest = line;
            rest.erase("file");
            EXPECT_EQ(rest, model) << "the same model as the single-file run";
        }
    }
    const auto text = nlohmann::ordered_json::parse(lines[1]);
    EXPECT_EQ(text["file"], "text.cab");
    EXPECT_EQ(text["error"], kNotSetup);
    EXPECT_EQ(text["exit"], 1);
    EXPECT_EQ(nlohmann::json::parse(lines[2])["file"], "missing.cab");
    EXPECT_EQ(run.Exit, worst);
    EXPECT_EQ(run.Err, "") << "JSON Lines carry their own errors";
}

TEST(TessaryInfoCommandLine, AFailureOfOneFileDoesNotStopTheOthersAndRaisesTheStatus) {
    TempDir dir;
    WriteDemoSetup(dir.File("good.cab"));
    auto cabinet = BuildCabinet({{"a.txt", Bytes("a")}}, FixtureCompression::None);
    PatchEntryDateTime(cabinet, 0, 0, 0); // day 0 of month 0: listing it throws
    WriteFileBytes(dir.File("date.cab"), cabinet);
    WriteFileBytes(dir.File("text.cab"), Bytes("plain text"));

    const ProgramRun json =
        RunToolIn(dir.Path(), {"--entries", "--json", "text.cab", "date.cab", "good.cab"});
    EXPECT_EQ(json.Exit, 3) << "the highest of 1, 3 and 0";
    const std::vector<std::string> lines = SplitLines(json.Out);
    ASSERT_EQ(lines.size(), 3u) << json.Out;
    EXPECT_EQ(nlohmann::json::parse(lines[0])["exit"], 1);
    const auto date = nlohmann::json::parse(lines[1]);
    EXPECT_EQ(date["exit"], 3);
    EXPECT_NE(date["error"].get<std::string>().find("Invalid argument to date encode"),
              std::string::npos);
    EXPECT_EQ(nlohmann::json::parse(lines[2])["entries"][0]["Name"], "SETUP.000");

    const ProgramRun text = RunToolIn(dir.Path(), {"good.cab", "text.cab", "good.cab"});
    EXPECT_EQ(text.Exit, 1);
    const std::string report = RunToolIn(dir.Path(), {"good.cab"}).Out;
    EXPECT_EQ(text.Out,
              "==> good.cab <==\n" + report + "\n==> text.cab <==\n\n==> good.cab <==\n" + report);
    EXPECT_EQ(text.Err, std::string("tessary-info: text.cab: ") + kNotSetup + "\n");
}

TEST(TessaryInfoCommandLine, AFullDiskIsAFailureNotAFinishedInventory) {
    TempDir dir;
    WriteDemoSetup(dir.File("good.cab"));
    const ProgramRun run = RunToolIn(dir.Path(), {"--json", "good.cab", "good.cab"}, "/dev/full");
    EXPECT_EQ(run.Exit, 3);
    EXPECT_EQ(run.Err, "tessary-info: cannot write the output\n");
}
