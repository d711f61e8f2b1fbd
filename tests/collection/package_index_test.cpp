// Setups that came inside other files, indexed: a self-extracting program, a cabinet of
// cabinets, an archive; what a second run passes by, what goes when a package changes, and the
// inventory read back out of a package.
#include "tests/collection/CollectionFixtures.h"
#include "tests/support/PackageBuilder.h"

#include "collection/Database.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace fs = std::filesystem;
using collection::TIndexSummary;

namespace {

class PackageIndexTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root = dir.File("received");
        fs::create_directories(root);
        WriteFileBytes(root + "/Setup.exe",
                       SelfExtractingProgram({SmallSetupCabinet("Stored")}, true));
        WriteFileBytes(root + "/Runtime.cab",
                       PlainCabinet({{"One.cab", SmallSetupCabinet("One")},
                                     {"Two.cab", SmallSetupCabinet("Two", 0x0166)}}));
        // A program that carries no cabinet: recorded, so that the next run passes it by.
        WriteFileBytes(root + "/Tool.exe", SelfExtractingProgram({}, false));
        db = dir.File("index.db");
    }
    void Touch(const std::string& path) {
        fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(5));
    }
    TempDir dir;
    std::string root, db;
};

TEST_F(PackageIndexTest, SetupsInsidePackagesAreIndexedUnderThePackagesName) {
    const TIndexSummary s = Index(db, {root});
    EXPECT_EQ(s.Found, 3u);
    EXPECT_EQ(s.Packages, 2u);
    EXPECT_EQ(s.InPackages, 3u);
    EXPECT_TRUE(s.Problems.empty());
    const std::string program = Abs(root + "/Setup.exe"), runtime = Abs(root + "/Runtime.cab");
    // The fake header before the real cabinet is not taken for one.
    EXPECT_EQ(Column(db, "SELECT path FROM cabinets WHERE status = 'read' AND path NOT LIKE "
                         "'%Setup.exe : cabinet at offset %'"),
              (std::set<std::string>{runtime + " : One.cab", runtime + " : Two.cab"}));
    EXPECT_EQ(Column(db, "SELECT substr(path, 1, length(path) - 4) FROM cabinets WHERE path LIKE "
                         "'%Setup.exe : %'"),
              std::set<std::string>{program + " : cabinet at offset "});
    // The cabinet of cabinets is still a cabinet that holds no setup.
    EXPECT_EQ(Column(db, "SELECT status FROM cabinets WHERE path = '" + runtime + "'"),
              std::set<std::string>{"not a setup"});
    EXPECT_EQ(Column(db, "SELECT kind || ' ' || setups FROM packages"),
              (std::set<std::string>{"exe 1", "cab 2", " 0"}));
    EXPECT_EQ(Column(db, "SELECT name FROM setup_overview WHERE path LIKE '%Two.cab'"),
              std::set<std::string>{"Two"});
    EXPECT_EQ(collection::QueryCollection(db, {"Stored"}).size(), 1u);
}

TEST_F(PackageIndexTest, AnUnchangedPackageIsPassedByAndAChangedOneLosesWhatItNoLongerHolds) {
    (void)Index(db, {root});
    TIndexSummary again = Index(db, {root});
    EXPECT_EQ(again.Unchanged, 3u);
    EXPECT_EQ(again.Read, 0u);
    EXPECT_EQ(again.Packages, 2u);
    EXPECT_EQ(again.InPackages, 3u);

    // The runtime now carries One and Three: Two's rows go, with its contents' rows.
    const std::string runtime = root + "/Runtime.cab";
    WriteFileBytes(runtime, PlainCabinet({{"One.cab", SmallSetupCabinet("One")},
                                          {"Three.cab", SmallSetupCabinet("Three")}}));
    Touch(runtime);
    again = Index(db, {root});
    EXPECT_EQ(again.InPackages, 3u);
    EXPECT_EQ(Column(db, "SELECT path FROM cabinets WHERE path LIKE '%Runtime.cab : %'"),
              (std::set<std::string>{Abs(runtime) + " : One.cab", Abs(runtime) + " : Three.cab"}));
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM properties WHERE value = 'Two'"), 0);
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM properties WHERE value = 'Three'"), 1);
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM search"),
              CountRows(db, "SELECT count(DISTINCT sha256) FROM cabinets"));
}

TEST_F(PackageIndexTest, ASetupInAPackageIsTakenOutAgainToBeReadBack) {
    (void)Index(db, {root});
    int located = 0;
    for (const collection::TIndexedCabinet& c : collection::IndexedCabinets(db)) {
        if (c.Package.empty()) continue;
        EXPECT_EQ(c.Path, c.Package + " : " + c.Inside);
        const collection::TReadableCabinet readable = collection::LocateIndexedCabinet(c);
        ASSERT_FALSE(readable.Path.empty()) << readable.Why;
        EXPECT_EQ(collection::ChangedSinceIndexed(c, readable.Path), "");
        ++located;
    }
    EXPECT_EQ(located, 3);

    fs::remove(root + "/Setup.exe");
    for (const collection::TIndexedCabinet& c : collection::IndexedCabinets(db))
        if (c.Package == Abs(root + "/Setup.exe")) {
            const collection::TReadableCabinet readable = collection::LocateIndexedCabinet(c);
            EXPECT_TRUE(readable.Path.empty());
            EXPECT_NE(readable.Why.find("no such file"), std::string::npos);
        }
}

// A shard's packages come with its setups: a merged index takes a setup out of its package as
// the shard does, and a shard of the first version, which has no packages, merges all the same.
TEST_F(PackageIndexTest, AMergeKeepsThePackagesTheSetupsCameIn) {
    const std::string shard = dir.File("shard.db"), merged = dir.File("merged.db");
    (void)Index(shard, {root});
    (void)Index(merged, {root + "/Tool.exe"});
    const auto contents =
        static_cast<size_t>(CountRows(shard, "SELECT count(DISTINCT sha256) FROM cabinets"));
    EXPECT_EQ(collection::MergeCollections(merged, {shard}).Setups, contents);
    const std::string packages = "SELECT path || ' ' || kind || ' ' || setups FROM packages";
    EXPECT_EQ(Column(merged, packages), Column(shard, packages));
    int located = 0;
    for (const collection::TIndexedCabinet& c : collection::IndexedCabinets(merged)) {
        if (c.Package.empty()) continue;
        const collection::TReadableCabinet readable = collection::LocateIndexedCabinet(c);
        EXPECT_FALSE(readable.Path.empty()) << readable.Why;
        ++located;
    }
    EXPECT_EQ(located, 3);

    const std::string old = dir.File("old.db"), into = dir.File("into.db");
    (void)Index(old, {root});
    {
        collection::TDatabase first(old, collection::TOpenMode::Write);
        first.Exec("DROP TABLE packages");
        first.Exec("PRAGMA user_version=1");
    }
    EXPECT_EQ(collection::MergeCollections(into, {old}).Setups, contents);
    EXPECT_EQ(CountRows(into, "SELECT count(*) FROM packages"), 0);
}

// An index written before packages were kept is made current when it is next written, and is
// read as it is until then.
TEST_F(PackageIndexTest, AnIndexOfTheFirstVersionIsReadAndThenUpgraded) {
    (void)Index(db, {root + "/Tool.exe"});
    {
        collection::TDatabase old(db, collection::TOpenMode::Write);
        old.Exec("DROP TABLE packages");
        old.Exec("PRAGMA user_version=1");
    }
    EXPECT_EQ(collection::IndexedCabinets(db).size(), 0u);
    const TIndexSummary s = Index(db, {root});
    EXPECT_EQ(s.InPackages, 3u);
    EXPECT_EQ(CountRows(db, "PRAGMA user_version"), collection::kSchemaVersion);
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM packages"), 3);
}

} // namespace
