// tessary-info's collection commands as a user runs them: exit statuses, messages, and the
// shared real cabinets indexed with a few answers across them pinned.
#include "tests/collection/CollectionFixtures.h"
#include "tests/support/Corpus.h"
#include "tests/tools/ToolRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const std::string kReal = std::string(TESSARY_CORPUS_DIR) + "/real";

std::set<std::string> Names(const std::set<std::string>& paths) {
    std::set<std::string> names;
    for (const std::string& p : paths)
        names.insert(fs::path(p).filename().string());
    return names;
}

class RealCollection : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    }
    static void SetUpTestSuite() {
        if (!HaveCorpus()) return;
        dir = new TempDir;
        db = dir->File("real.db");
        run = new ToolRun(RunTool({"-j", "2", "--index", db, kReal}, 120));
    }
    static void TearDownTestSuite() {
        delete run;
        delete dir;
    }
    static TempDir* dir;
    static std::string db;
    static ToolRun* run;
};
TempDir* RealCollection::dir = nullptr;
std::string RealCollection::db;
ToolRun* RealCollection::run = nullptr;

TEST_F(RealCollection, AllEightAreReadAndTheirAnswersAcrossTheCollectionHold) {
    ASSERT_EQ(run->Exit, 0) << run->Err;
    EXPECT_EQ(run->Out, "Indexed 8 cabinets: 8 read, 0 unchanged, 0 copies, 0 damaged, 0 not "
                        "setups\n");
    EXPECT_EQ(Names(Column(db, "SELECT path FROM signed_setups WHERE verdict = 'Intact'")),
              (std::set<std::string>{"SecurityOff.cpf", "Ushahidi.CAB"}));
    // Each signature's own trust statement: the signer that vouches for itself is named so;
    // unsigned setups have none.
    EXPECT_EQ(Names(Column(db, "SELECT c.path FROM cabinets c JOIN signatures s ON "
                               "s.cabinet_sha256 = c.sha256 WHERE s.trust LIKE '%self-signed%"
                               "vouches for itself%'")),
              std::set<std::string>{"Ushahidi.CAB"});
    EXPECT_EQ(Column(db, "SELECT trust FROM signatures WHERE verdict = 'Not signed'"),
              std::set<std::string>{""});
    EXPECT_EQ(Names(Column(db, "SELECT path FROM certificates_added")),
              (std::set<std::string>{"SdkCerts.cab", "Ushahidi.CAB"}));
    // Ushahidi files its certificate under a name that is not its thumbprint: the index keeps
    // the certificate's own.
    EXPECT_EQ(Column(db, "SELECT DISTINCT thumbprint FROM certificates_added WHERE path LIKE "
                         "'%Ushahidi.CAB'"),
              std::set<std::string>{"A20F2863C68353672368360252125D05FB1C013D"});
    EXPECT_EQ(Names(Column(db, "SELECT path FROM programs_by_cpu WHERE cpu = 'ARM'")),
              (std::set<std::string>{"App.WM.CAB", "Basic.WM.CAB", "BenchmarkDotNet_PPC.ARMV4.CAB",
                                     "Eliminator.ARM.CAB", "Runtime.HPC_2577.CAB"}));
    EXPECT_EQ(Names(Column(db, "SELECT path FROM setup_overview WHERE processor = 'StrongARM'")),
              (std::set<std::string>{"App.WM.CAB", "Basic.WM.CAB", "Eliminator.ARM.CAB",
                                     "Runtime.HPC_2577.CAB"}));
    // Ushahidi's eight files of one name in eight folders, of two sizes.
    EXPECT_EQ(CountRows(db, "SELECT count(DISTINCT folder) FROM files f JOIN cabinets c ON "
                            "c.sha256 = f.cabinet_sha256 WHERE c.path LIKE '%Ushahidi.CAB' "
                            "GROUP BY f.name ORDER BY 1 DESC LIMIT 1"),
              8);
}

TEST_F(RealCollection, QueriesFindByThumbprintRuleAndFileName) {
    ASSERT_EQ(run->Exit, 0);
    ToolRun q = RunTool({"--query", db, "A20F2863C68353672368360252125D05FB1C013D"}, 30);
    EXPECT_EQ(q.Exit, 0);
    EXPECT_EQ(q.Out.rfind(Abs(kReal + "/Ushahidi.CAB") + "\tUshahidi\t", 0), 0u) << q.Out;
    EXPECT_EQ(std::count(q.Out.begin(), q.Out.end(), '\n'), 1);

    q = RunTool({"--jsonl", "--query", db, "security-policy"}, 30);
    ASSERT_EQ(q.Exit, 0);
    std::istringstream lines(q.Out);
    std::set<std::string> found;
    for (std::string line; std::getline(lines, line);)
        found.insert(fs::path(nlohmann::json::parse(line).at("path").get<std::string>())
                         .filename()
                         .string());
    EXPECT_EQ(found, std::set<std::string>{"SecurityOff.cpf"});

    q = RunTool({"--json", "--query", db, "mscoree.dll"}, 30);
    ASSERT_EQ(q.Exit, 0) << q.Err;
    const auto doc = nlohmann::json::parse(q.Out);
    EXPECT_EQ(doc.at("query"), nlohmann::json::array({"mscoree.dll"}));
    std::set<std::string> dotnet;
    for (const auto& hit : doc.at("hits"))
        dotnet.insert(fs::path(hit.at("path").get<std::string>()).filename().string());
    EXPECT_EQ(dotnet, Names(Column(db, "SELECT path FROM programs_by_cpu p JOIN programs q "
                                       "ON q.name = p.name WHERE q.imports LIKE '%mscoree.dll%'")));
    EXPECT_FALSE(dotnet.empty());
}

TEST_F(RealCollection, SqlReadsOnlyOneStatementOfThisIndexAlone) {
    ASSERT_EQ(run->Exit, 0);
    ToolRun q = RunTool({"--sql", db, "SELECT count(*) AS n FROM cabinets"}, 30);
    EXPECT_EQ(q.Exit, 0);
    EXPECT_EQ(q.Out, "n\n8\n");
    q = RunTool({"--sql", db, "SELECT status, error FROM cabinets LIMIT 1", "--jsonl"}, 30);
    EXPECT_EQ(q.Out, "{\"status\":\"read\",\"error\":null}\n");

    const auto refused = [&](const std::string& sql, const std::string& message) {
        const ToolRun r = RunTool({"--sql", db, sql}, 30);
        EXPECT_EQ(r.Exit, 2) << sql;
        EXPECT_NE(r.Err.find(message), std::string::npos) << r.Err;
        EXPECT_TRUE(r.Out.empty());
    };
    refused("DELETE FROM cabinets", "would change the index");
    refused("DROP VIEW signed_setups", "would change the index");
    refused("ATTACH DATABASE '/tmp/x.db' AS x", "refuses ATTACH");
    refused("SELECT 1; DELETE FROM cabinets", "exactly one statement");
    refused("SELEKT 1", "not valid SQL");
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM cabinets"), 8);
}

// The files --into wrote, by name, with their texts.
std::map<std::string, std::string> Written(const std::string& folder) {
    std::map<std::string, std::string> files;
    if (!fs::exists(folder)) return files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::vector<uint8_t> bytes = ReadFileBytes(entry.path().string());
        files[entry.path().filename().string()] = std::string(bytes.begin(), bytes.end());
    }
    return files;
}

TEST_F(RealCollection, TheIndexWritesEachSetupsManifestAndSbomAsTheSingleCommandsDo) {
    ASSERT_EQ(run->Exit, 0);
    for (const std::string kind : {"--manifest", "--sbom"}) {
        const std::string folder = dir->File(kind.substr(2));
        const ToolRun r = RunTool({kind, "--into", folder, db}, 120);
        ASSERT_EQ(r.Exit, 0) << r.Err;
        EXPECT_TRUE(r.Err.empty()) << r.Err;
        const std::map<std::string, std::string> files = Written(folder);
        ASSERT_EQ(files.size(), 8u);
        const std::string suffix = kind == "--manifest" ? ".hashdeep" : ".cdx.json";
        std::istringstream lines(r.Out);
        size_t compared = 0;
        for (std::string line; std::getline(lines, line);) {
            const size_t tab = line.find('\t');
            ASSERT_NE(tab, std::string::npos) << line;
            const std::string target = line.substr(0, tab), cabinet = line.substr(tab + 1);
            const std::string sha =
                *Column(db, "SELECT sha256 FROM cabinets WHERE path = '" + cabinet + "'").begin();
            EXPECT_EQ(fs::path(target).filename().string(), sha + suffix);
            const ToolRun single = RunTool({kind, cabinet}, 60);
            ASSERT_EQ(single.Exit, 0) << cabinet;
            EXPECT_EQ(files.at(sha + suffix), single.Out) << cabinet;
            ++compared;
        }
        EXPECT_EQ(compared, 8u);
    }
}

TEST(CollectionTool, TheIndexsDocumentsSayWhatMovedChangedOrIsDamagedAndWriteNothingStale) {
    TempDir dir;
    const std::string root = dir.File("walk");
    fs::create_directories(root);
    WriteVariedSetup(root + "/Kept.cab", "Kept", 2);
    WriteVariedSetup(root + "/Moved.cab", "Moved", 3);
    WriteVariedSetup(root + "/Changed.cab", "Changed", 1);
    WriteVariedSetup(root + "/Original.cab", "Copied", 2);
    fs::copy_file(root + "/Original.cab", root + "/Copy.cab");
    WriteDamagedSetup(root + "/Broken.cab");
    const std::string db = dir.File("walk.db");
    ASSERT_EQ(RunTool({"--index", db, root}, 120).Exit, 3);
    const auto sha = [&](const std::string& name) {
        return *Column(db, "SELECT sha256 FROM cabinets WHERE path LIKE '%/" + name + "'").begin();
    };
    fs::rename(root + "/Moved.cab", dir.File("Moved.cab"));
    WriteVariedSetup(root + "/Changed.cab", "Changed", 4);
    fs::remove(root + "/Original.cab");

    const std::string folder = dir.File("manifests");
    const ToolRun r = RunTool({"--into", folder, db, "--manifest"}, 120);
    EXPECT_EQ(r.Exit, 3);
    EXPECT_NE(r.Err.find(Abs(root + "/Moved.cab") +
                         ": moved or changed since it was indexed (no such file)"),
              std::string::npos)
        << r.Err;
    EXPECT_NE(r.Err.find(Abs(root + "/Changed.cab") + ": moved or changed since it was indexed "
                                                      "(its content changed since it was "
                                                      "indexed)"),
              std::string::npos)
        << r.Err;
    EXPECT_NE(r.Err.find(sha("Moved.cab") + ": not written"), std::string::npos);
    EXPECT_NE(r.Err.find(Abs(root + "/Broken.cab") + ": not written: indexed as damaged"),
              std::string::npos);
    // The kept one, and the copied content from the copy that is still there; nothing else,
    // no temporary file left behind.
    const std::map<std::string, std::string> files = Written(folder);
    EXPECT_EQ(files.size(), 2u);
    ASSERT_TRUE(files.count(sha("Copy.cab") + ".hashdeep"));
    EXPECT_EQ(files.at(sha("Copy.cab") + ".hashdeep"),
              RunTool({"--manifest", root + "/Copy.cab"}, 60).Out);
    EXPECT_TRUE(files.count(sha("Kept.cab") + ".hashdeep"));
    EXPECT_NE(r.Out.find("\t" + Abs(root + "/Copy.cab") + "\n"), std::string::npos) << r.Out;

    // An empty index writes nothing and makes no folder; a file that is no index is refused.
    fs::create_directories(dir.File("empty"));
    ASSERT_EQ(RunTool({"--index", dir.File("empty.db"), dir.File("empty")}, 60).Exit, 0);
    const ToolRun none = RunTool({"--sbom", "--into", dir.File("none"), dir.File("empty.db")});
    EXPECT_EQ(none.Exit, 0) << none.Err;
    EXPECT_EQ(none.Out, "");
    EXPECT_FALSE(fs::exists(dir.File("none")));
    const ToolRun cabinet = RunTool({"--sbom", "--into", dir.File("x"), root + "/Kept.cab"});
    EXPECT_EQ(cabinet.Exit, 2);
    EXPECT_NE(cabinet.Err.find("not a Tessary collection index"), std::string::npos);
    EXPECT_EQ(RunTool({"--into", dir.File("x"), db}).Exit, 2);
    EXPECT_EQ(RunTool({"--manifest", "--into", "", db}).Exit, 2);
}

TEST(CollectionTool, TheWalkRecordsDamagedAndHostileCabinetsAndExits3) {
    TempDir dir;
    const std::string root = dir.File("walk");
    fs::create_directories(root);
    WriteVariedSetup(root + "/Good.cab", "Good", 2);
    WriteDamagedSetup(root + "/Broken.cab");
    WriteDeepFolderCabinet(root + "/Deep.cab");
    WriteSharedImageCabinet(root + "/Shared.cab", 300, 100);
    // Recognised by its bytes with --all-files only.
    fs::copy_file(root + "/Good.cab", root + "/renamed.bin");
    const std::string db = dir.File("walk.db");
    ToolRun r = RunTool({"--index", db, root}, 120);
    EXPECT_EQ(r.Exit, 3) << r.Err;
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM cabinets"), 4);
    EXPECT_EQ(Column(db, "SELECT status FROM cabinets WHERE path LIKE '%Broken.cab'"),
              std::set<std::string>{"damaged"});
    EXPECT_EQ(Column(db, "SELECT status FROM cabinets WHERE path LIKE '%Good.cab'"),
              std::set<std::string>{"read"});
    r = RunTool({"--index", db, "--all-files", root}, 120);
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM cabinets"), 5);
    EXPECT_EQ(Column(db, "SELECT copy_of FROM cabinets WHERE path LIKE '%renamed.bin'"),
              std::set<std::string>{Abs(root + "/Good.cab")});
    // A path that is not there is said, and the others are still indexed.
    r = RunTool({"--index", dir.File("only-good.db"), dir.File("missing"), root + "/Good.cab"}, 60);
    EXPECT_EQ(r.Exit, 3);
    EXPECT_NE(r.Err.find("cannot open"), std::string::npos);
    EXPECT_EQ(CountRows(dir.File("only-good.db"), "SELECT count(*) FROM cabinets"), 1);
    // Only the good one: all read.
    EXPECT_EQ(RunTool({"--index", dir.File("good.db"), root + "/Good.cab"}, 60).Exit, 0);
}

TEST(CollectionTool, AMalformedOrForeignDatabaseIsRefusedWithAClearMessage) {
    TempDir dir;
    const std::string garbage = dir.File("garbage.db");
    WriteFileBytes(garbage, Bytes(std::string(3000, 'x')));
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"--query", garbage, "word"},
                                               {"--sql", garbage, "SELECT 1"},
                                               {"--index", garbage, dir.Path()},
                                               {"--merge", dir.File("m.db"), garbage}}) {
        const ToolRun r = RunTool(args, 30);
        EXPECT_EQ(r.Exit, 2) << args[0];
        EXPECT_NE(r.Err.find("not a Tessary collection index"), std::string::npos) << r.Err;
    }
    EXPECT_EQ(ReadFileBytes(garbage), Bytes(std::string(3000, 'x')));
}

TEST(CollectionTool, OptionsComeInAnyOrderAndWrongOnesAreUsage) {
    TempDir dir;
    WriteVariedSetup(dir.File("A.cab"), "A", 1);
    const ToolRun a = RunTool({dir.File("A.cab"), "--index", dir.File("a.db"), "-j", "1"}, 60);
    EXPECT_EQ(a.Exit, 0) << a.Err;
    EXPECT_EQ(RunTool({"--index", dir.File("a.db"), "--json", dir.File("A.cab")}).Exit, 2);
    EXPECT_EQ(RunTool({"--query", dir.File("a.db"), "--rehash", "x"}).Exit, 2);
    EXPECT_EQ(RunTool({"--index", dir.File("a.db"), "-j", "0", dir.File("A.cab")}).Exit, 2);
    EXPECT_EQ(RunTool({"--sql", dir.File("a.db"), "SELECT 1", "SELECT 2"}).Exit, 2);
    EXPECT_EQ(RunTool({"--audit", "--index", dir.File("a.db"), dir.File("A.cab")}).Exit, 2);
}

} // namespace
