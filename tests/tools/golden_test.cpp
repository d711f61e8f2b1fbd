// tessary-info's text report and JSON for every real cabinet, byte for byte as recorded in
// tests/tools/golden. A change of output shows here as a diff of the recorded file.
#include "tests/support/CabinetBuilder.h"
#include "tests/support/Corpus.h"
#include "tests/support/TextFiles.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

// The tool's standard output, started from an argument list with the C locale, so that the
// recorded row order does not depend on the machine's collation.
std::string RunToolC(const std::vector<std::string>& args, int& exit) {
    TempDir dir;
    const std::string outPath = dir.File("out");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> storage = {TESSARY_INFO_EXE};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStorage = {"LC_ALL=C"};
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("LC_", 0) != 0 && std::string(*e).rfind("LANG", 0) != 0)
            envStorage.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : envStorage)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    exit = -1;
    if (spawned != 0) return {};
    int status = 0;
    waitpid(pid, &status, 0);
    exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return ReadFileText(outPath);
}

} // namespace

TEST(TessaryInfoGolden, TextAndJsonOfEveryRealCabinetAreUnchanged) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    const std::vector<std::string> cabinets = CorpusFiles("real");
    int compared = 0;
    for (const std::string& cabinet : cabinets) {
        const std::string name = fs::path(cabinet).filename().string();
        const std::string golden = std::string(TESSARY_GOLDEN_DIR) + "/" + name;
        if (!fs::exists(golden + ".txt")) continue; // not a cabinet we have recorded
        SCOPED_TRACE(name);
        int exit = -1;
        EXPECT_EQ(RunToolC({cabinet}, exit), ReadFileText(golden + ".txt"));
        EXPECT_EQ(exit, 0);
        EXPECT_EQ(RunToolC({"--json", cabinet}, exit), ReadFileText(golden + ".json"));
        EXPECT_EQ(exit, 0);
        ++compared;
    }
    // Every recorded cabinet must still be there: a golden that compares nothing guards nothing.
    size_t recorded = 0;
    for (const auto& item : fs::directory_iterator(TESSARY_GOLDEN_DIR))
        recorded += item.path().extension() == ".txt" ? 1 : 0;
    EXPECT_EQ(static_cast<size_t>(compared), recorded);
}

// Opened through the application manager's .ini beside it, a real cabinet is reported exactly
// as when it is opened itself, under a package heading; its JSON gains "file" and "container".
TEST(TessaryInfoGolden, RealPackagesThroughTheirIniShowTheirCabinetsUnchanged) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    const struct {
        const char* Ini;
        const char* Component;
        const char* Cabinet;
    } packages[] = {{"Eliminator/Setup.ini", "Eliminator", "Eliminator.ARM.CAB"},
                    {"Ushahidi/Ushahidi.ini", "Ushahidi", "Ushahidi.CAB"}};
    for (const auto& p : packages) {
        SCOPED_TRACE(p.Ini);
        const std::string ini = CorpusDir() + "/packages/" + p.Ini;
        const std::string golden = std::string(TESSARY_GOLDEN_DIR) + "/" + p.Cabinet;
        int exit = -1;
        EXPECT_EQ(RunToolC({ini}, exit),
                  "==> " + ini + " : " + p.Cabinet + " <==\n" + ReadFileText(golden + ".txt"));
        EXPECT_EQ(exit, 0);
        nlohmann::ordered_json line =
            nlohmann::ordered_json::parse(RunToolC({"--json", ini}, exit));
        EXPECT_EQ(exit, 0);
        EXPECT_EQ(line["file"], ini);
        EXPECT_EQ(line["container"].dump(), nlohmann::ordered_json({{"kind", "ini"},
                                                                    {"path", p.Cabinet},
                                                                    {"offset", nullptr},
                                                                    {"component", p.Component}})
                                                .dump());
        line.erase("file");
        line.erase("container");
        EXPECT_EQ(line.dump(),
                  nlohmann::ordered_json::parse(ReadFileText(golden + ".json")).dump());
    }
}
