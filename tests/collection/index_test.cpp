// Indexing a folder of setups: what is kept, what a second run skips, changed files, copies,
// damaged and hostile cabinets in the walk, an interrupted run resumed, shards merged.
#include "tests/collection/CollectionFixtures.h"

#include "signature/Crypto.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;
using collection::TIndexSummary;

namespace {

std::string Sha256Of(const std::vector<uint8_t>& bytes) {
    auto digest = crypto::TDigest::Create(crypto::TDigestAlgorithm::SHA256);
    digest->Update(bytes);
    const auto d = digest->Final();
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (const uint8_t b : d) {
        text += hex[b >> 4];
        text += hex[b & 15];
    }
    return text;
}

// A folder: three good setups (one in a subfolder, one named in capitals, one a .cpf), a
// damaged one, a hostile one, a text file that is no cabinet.
class IndexTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root = dir.File("collection");
        fs::create_directories(root + "/sub");
        WriteVariedSetup(root + "/Alpha.cab", "Alpha", 3);
        WriteVariedSetup(root + "/sub/BETA.CAB", "Beta", 5, true);
        WriteVariedSetup(root + "/Gamma.cpf", "Gamma", 1);
        WriteDamagedSetup(root + "/Broken.cab");
        WriteDescriptorBombCabinet(root + "/Bomb.cab");
        WriteFileBytes(root + "/notes.txt", Bytes("not a cabinet"));
        db = dir.File("index.db");
    }
    TempDir dir;
    std::string root, db;
};

TEST_F(IndexTest, KeepsEverySetupsRowsAndRecordsTheFailuresWithoutStopping) {
    const TIndexSummary s = Index(db, {root});
    EXPECT_EQ(s.Found, 5u); // notes.txt is not walked
    EXPECT_EQ(s.Read, 5u);
    EXPECT_EQ(s.Damaged + s.NotSetups, 2u);
    EXPECT_TRUE(s.Problems.empty());

    EXPECT_EQ(Column(db, "SELECT status FROM cabinets WHERE path LIKE '%Broken.cab'"),
              std::set<std::string>{"damaged"});
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM cabinets WHERE status = 'read'"), 3);
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM damaged_cabinets WHERE error IS NULL OR "
                            "error = ''"),
              0);
    // Each file's hash is the hash of the bytes the setup installs.
    const std::string body = "Beta file 4";
    EXPECT_EQ(Column(db, "SELECT sha256 FROM files WHERE name = 'Beta4.txt'"),
              std::set<std::string>{Sha256Of(Bytes(body))});
    EXPECT_EQ(Column(db, "SELECT folder FROM files WHERE name = 'Beta4.txt'"),
              std::set<std::string>{"%InstallDir%\\"});
    EXPECT_EQ(Column(db, "SELECT sha256 FROM cabinets WHERE path LIKE '%Alpha.cab'"),
              std::set<std::string>{Sha256Of(ReadFileBytes(root + "/Alpha.cab"))});
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM files"), 3 + 1 + 5 + 1 + 1 + 1);
    EXPECT_EQ(Column(db, "SELECT company FROM programs WHERE name = 'Beta.exe'"),
              std::set<std::string>{"Beta Software"});
    EXPECT_EQ(Column(db, "SELECT cpu FROM programs WHERE name = 'Beta.exe'"),
              std::set<std::string>{"ARM"});
    EXPECT_EQ(Column(db, "SELECT value FROM registry WHERE key LIKE '%Init'"),
              std::set<std::string>{"Beta.exe"});
    EXPECT_EQ(Column(db, "SELECT DISTINCT c.path FROM cabinets c JOIN findings f ON "
                         "f.cabinet_sha256 = c.sha256 WHERE f.rule = 'boot-registry'"),
              std::set<std::string>{Abs(root + "/sub/BETA.CAB")});
    EXPECT_EQ(Column(db, "SELECT name FROM setup_overview WHERE path LIKE '%Gamma.cpf'"),
              std::set<std::string>{"Gamma"});
    EXPECT_EQ(Column(db, "SELECT verdict FROM signatures"), std::set<std::string>{"Not signed"});
    EXPECT_EQ(CountRows(db, "PRAGMA user_version"), collection::kSchemaVersion);
}

TEST_F(IndexTest, ASecondRunSkipsWhatIsUnchangedAndRereadsWhatChanged) {
    (void)Index(db, {root});
    const int64_t rows = CountRows(db, "SELECT count(*) FROM files");
    TIndexSummary again = Index(db, {root});
    EXPECT_EQ(again.Unchanged, 5u);
    EXPECT_EQ(again.Read, 0u);
    // Unchanged damaged cabinets still count: the exit status stays the same.
    EXPECT_EQ(again.Damaged + again.NotSetups, 2u);
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM files"), rows);

    // Alpha becomes another setup: its old rows go, the new ones come.
    WriteVariedSetup(root + "/Alpha.cab", "Delta", 7);
    fs::last_write_time(root + "/Alpha.cab",
                        fs::last_write_time(root + "/Alpha.cab") + std::chrono::seconds(5));
    again = Index(db, {root});
    EXPECT_EQ(again.Read, 1u);
    EXPECT_EQ(again.Unchanged, 4u);
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM files WHERE name LIKE 'Alpha%'"), 0);
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM files WHERE name LIKE 'Delta%'"), 8);
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM search"),
              CountRows(db, "SELECT count(DISTINCT sha256) FROM cabinets"));

    // Only the time changed: hashed, found the same, not read again.
    fs::last_write_time(root + "/Gamma.cpf",
                        fs::last_write_time(root + "/Gamma.cpf") + std::chrono::seconds(5));
    again = Index(db, {root});
    EXPECT_EQ(again.Unchanged, 5u);
    EXPECT_EQ(again.Read, 0u);

    // --rehash hashes everything; nothing changed, so nothing is read.
    collection::TIndexOptions options;
    options.Paths = {root};
    options.Rehash = true;
    again = collection::IndexCollection(db, options);
    EXPECT_EQ(again.Unchanged, 5u);
    EXPECT_EQ(again.Read, 0u);
}

TEST_F(IndexTest, ACopyUnderAnotherPathIsRecordedWithoutBeingRead) {
    (void)Index(db, {root});
    const int64_t rows = CountRows(db, "SELECT count(*) FROM files");
    fs::create_directories(root + "/mirror");
    fs::copy_file(root + "/Alpha.cab", root + "/mirror/Alpha-copy.CAB");
    fs::copy_file(root + "/Broken.cab", root + "/mirror/Broken-copy.cab");
    const TIndexSummary s = Index(db, {root});
    EXPECT_EQ(s.Copies, 2u);
    EXPECT_EQ(s.Read, 0u);
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM files"), rows);
    EXPECT_EQ(Column(db, "SELECT copy_of FROM cabinets WHERE path LIKE '%Alpha-copy.CAB'"),
              std::set<std::string>{Abs(root + "/Alpha.cab")});
    // A copy of a damaged cabinet is as damaged as the original.
    EXPECT_EQ(Column(db, "SELECT status FROM cabinets WHERE path LIKE '%Broken-copy.cab'"),
              std::set<std::string>{"damaged"});
    // Both paths answer a search for the setup.
    EXPECT_EQ(collection::QueryCollection(db, {"Alpha1.txt"}).size(), 2u);

    // Two copies met in the same run: one is read, the other recorded as its copy.
    const std::string fresh = dir.File("fresh.db");
    const TIndexSummary first = Index(fresh, {root}, 4);
    EXPECT_EQ(first.Copies, 2u);
    EXPECT_EQ(first.Read, 5u);
    EXPECT_EQ(CountRows(fresh, "SELECT count(*) FROM files"), rows);
}

TEST_F(IndexTest, AnInterruptedRunKeepsWhatItCommittedAndTheNextGoesOn) {
    for (int i = 0; i < 12; ++i)
        WriteVariedSetup(root + "/More" + std::to_string(i) + ".cab", "More" + std::to_string(i),
                         2);
    std::atomic<bool> cancel{false};
    collection::TIndexOptions options;
    options.Paths = {root};
    options.Readers = 1;
    options.BatchSize = 2;
    options.Cancel = &cancel;
    size_t seen = 0;
    options.Progress = [&](const collection::TIndexProgress& p) {
        seen = p.Done;
        if (p.Done == 4) cancel = true;
    };
    const TIndexSummary cut = collection::IndexCollection(db, options);
    EXPECT_TRUE(cut.Cancelled);
    const int64_t kept = CountRows(db, "SELECT count(*) FROM cabinets");
    // The writer stops at the cabinet it was interrupted after; what readers had read beyond it
    // is left for the next run.
    EXPECT_EQ(kept, 4);
    EXPECT_EQ(seen, 4u);

    const TIndexSummary rest = Index(db, {root});
    EXPECT_FALSE(rest.Cancelled);
    EXPECT_EQ(rest.Unchanged, static_cast<size_t>(kept));
    EXPECT_EQ(rest.Read + rest.Unchanged, 17u);
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM cabinets"), 17);
    // Every setup's rows once: no half-written setup, none written twice.
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM (SELECT cabinet_sha256 FROM signatures GROUP "
                            "BY cabinet_sha256 HAVING count(*) > 1)"),
              0);
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM files WHERE name LIKE 'More%'"), 12 * 3);
}

// The schema as sqlite_master holds it: every table, index and view with its statement.
std::set<std::string> Schema(const std::string& db) {
    return Column(db, "SELECT type || ' ' || name || ' ' || coalesce(sql, '') FROM sqlite_master "
                      "WHERE name NOT LIKE 'sqlite_%'");
}

TEST_F(IndexTest, AFirstLoadKilledHalfWayKeepsItsCommitsAndTheNextRunCompletesTheSchema) {
    for (int i = 0; i < 8; ++i)
        WriteVariedSetup(root + "/More" + std::to_string(i) + ".cab", "More" + std::to_string(i),
                         2);
    // The files as a process killed at that moment leaves them: the index and its log, whose
    // committed transactions the next opening recovers.
    const std::string killed = dir.File("killed.db");
    collection::TIndexOptions options;
    options.Paths = {root};
    options.Readers = 1;
    options.BatchSize = 2;
    options.Progress = [&](const collection::TIndexProgress& p) {
        if (p.Done != 7) return;
        fs::copy_file(db, killed);
        if (fs::exists(db + "-wal")) fs::copy_file(db + "-wal", killed + "-wal");
    };
    (void)collection::IndexCollection(db, options);
    ASSERT_TRUE(fs::exists(killed));

    const std::string fresh = dir.File("fresh.db");
    { collection::TDatabase created(fresh, collection::TOpenMode::Write); }
    EXPECT_EQ(Schema(db), Schema(fresh));
    // Three batches of two were committed; the rows went in without the indexes on them.
    EXPECT_EQ(CountRows(killed, "SELECT count(*) FROM cabinets"), 6);
    EXPECT_NE(Schema(killed), Schema(fresh));
    EXPECT_EQ(Column(killed, "PRAGMA integrity_check"), std::set<std::string>{"ok"});
    // Its queries give their answers without those indexes.
    EXPECT_GT(CountRows(killed, "SELECT count(*) FROM search WHERE search MATCH 'Fixture'"), 0);
    EXPECT_GT(CountRows(killed, "SELECT count(*) FROM files WHERE name LIKE 'More%'"), 0);

    const TIndexSummary rest = Index(killed, {root});
    EXPECT_EQ(rest.Unchanged, 6u);
    EXPECT_EQ(rest.Read, 7u);
    EXPECT_EQ(Schema(killed), Schema(fresh));
    EXPECT_EQ(Column(killed, "PRAGMA integrity_check"), std::set<std::string>{"ok"});
    for (const char* table : {"cabinets", "files", "findings", "programs", "search"}) {
        const std::string count = std::string("SELECT count(*) FROM ") + table;
        EXPECT_EQ(CountRows(killed, count), CountRows(db, count)) << table;
    }

    // Killed after its last commit, before the indexes: a run with nothing to read adds them.
    {
        collection::TDatabase index(killed, collection::TOpenMode::Write);
        index.StartWriting();
        collection::DropFactIndexes(index);
        collection::LeaveOneFile(index);
    }
    EXPECT_NE(Schema(killed), Schema(fresh));
    const TIndexSummary nothing = Index(killed, {root});
    EXPECT_EQ(nothing.Read, 0u);
    EXPECT_EQ(Schema(killed), Schema(fresh));
}

TEST_F(IndexTest, ShardsMergeBySha256) {
    const std::string other = dir.File("other");
    fs::create_directories(other);
    fs::copy_file(root + "/Alpha.cab", other + "/Alpha.cab"); // the same setup on two machines
    WriteVariedSetup(other + "/Omega.cab", "Omega", 2);
    const std::string shard1 = dir.File("shard1.db"), shard2 = dir.File("shard2.db");
    (void)Index(shard1, {root});
    (void)Index(shard2, {other});
    const collection::TMergeSummary m = collection::MergeCollections(db, {shard1, shard2});
    EXPECT_EQ(m.Cabinets, 7u);
    EXPECT_EQ(m.Setups, 6u); // Alpha once
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM cabinets"), 7);
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM files WHERE name = 'Alpha0.txt'"), 1);
    EXPECT_EQ(collection::QueryCollection(db, {"Omega1.txt"}).size(), 1u);
    EXPECT_EQ(collection::QueryCollection(db, {"Alpha0.txt"}).size(), 2u);
    // Merging again takes nothing more.
    const collection::TMergeSummary again = collection::MergeCollections(db, {shard2});
    EXPECT_EQ(again.Cabinets, 0u);
    EXPECT_EQ(again.Setups, 0u);
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM files"),
              CountRows(shard1, "SELECT count(*) FROM files") +
                  CountRows(shard2, "SELECT count(*) FROM files WHERE name LIKE 'Omega%'"));
}

TEST_F(IndexTest, FindsSetupsByFileNameRuleAndCompany) {
    (void)Index(db, {root});
    const auto paths = [&](std::vector<std::string> words) {
        std::set<std::string> found;
        for (const collection::TQueryHit& h : collection::QueryCollection(db, words))
            found.insert(h.Path);
        return found;
    };
    EXPECT_EQ(paths({"Beta3.txt"}), std::set<std::string>{Abs(root + "/sub/BETA.CAB")});
    EXPECT_EQ(paths({"boot-registry"}), std::set<std::string>{Abs(root + "/sub/BETA.CAB")});
    EXPECT_EQ(paths({"Gamma", "Software"}), std::set<std::string>{Abs(root + "/Gamma.cpf")});
    EXPECT_EQ(paths({"coredll.dll"}).size(), 3u);
    EXPECT_TRUE(paths({"nowhere-to-be-found"}).empty());
    // Every word must be there.
    EXPECT_TRUE(paths({"Beta3.txt", "Gamma"}).empty());
    // Quotes in a word are text, not syntax.
    EXPECT_TRUE(paths({"\"Beta"}).size() <= 1);
}

TEST_F(IndexTest, AnIndexOfAnotherProgramOrNoDatabaseIsRefusedUntouched) {
    WriteFileBytes(db, Bytes(std::string(4096, '\x5a')));
    try {
        (void)Index(db, {root});
        FAIL() << "garbage taken as an index";
    } catch (const collection::TCollectionError& e) {
        EXPECT_TRUE(e.Refused);
        EXPECT_NE(std::string(e.what()).find("not a Tessary collection index"), std::string::npos);
    }
    EXPECT_EQ(ReadFileBytes(db), Bytes(std::string(4096, '\x5a')));
    EXPECT_THROW((void)collection::QueryCollection(dir.File("missing.db"), {"x"}),
                 collection::TCollectionError);
    EXPECT_FALSE(fs::exists(dir.File("missing.db")));
}

} // namespace
