// tessary-info.exe's collection commands as a Windows user runs them: recorded fixture cabinets
// and the shared real ones indexed by several readers, paths kept with "\", sizes and times
// kept, a second run skipping what is unchanged, a changed file and a copy, a search by file
// name, a write refused by --sql, an index and cabinets in folders whose names are not ASCII,
// and no progress line where standard error is no console.
#include "tests/collection/CollectionFixtures.h"
#include "tests/windows/IndexedCollection.h"
#include "win/TextWin.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::set<std::string> Names(const std::set<std::string>& paths) {
    std::set<std::string> names;
    for (const std::string& p : paths)
        names.insert(fs::path(p).filename().string());
    return names;
}

std::string Utf8(const std::wstring& text) {
    const std::u8string utf8 = fs::path(text).u8string();
    return {reinterpret_cast<const char*>(utf8.data()), utf8.size()};
}

class WindowsCollection : public IndexedCollection {};

TEST_F(WindowsCollection, EveryCabinetIsKeptUnderItsWindowsPathWithItsSizeAndAnswers) {
    ASSERT_EQ(first->Exit, 3u) << first->Err;
    EXPECT_EQ(WithoutCarriageReturns(first->Out),
              "Indexed 11 cabinets: 11 read, 0 unchanged, 0 copies, 1 damaged, 0 not setups\n");
    // Standard error is a file here: no progress line, and nothing else to say.
    EXPECT_EQ(first->Err, "");

    const std::set<std::string> paths = Column(db, "SELECT path FROM cabinets");
    ASSERT_EQ(paths.size(), 11u);
    // Absolute, on a drive, with "\" alone between folders ("Z:\" is the build machine's root).
    for (const std::string& path : paths) {
        EXPECT_TRUE(path.size() > 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
                    path.compare(1, 2, ":\\") == 0)
            << path;
        EXPECT_EQ(path.find('/'), std::string::npos) << path;
    }
    EXPECT_TRUE(paths.count(Abs(kReal + "/Ushahidi.CAB")));
    EXPECT_TRUE(paths.count(Abs(walk + "\\sub\\Kept.cab")));
    const std::string good = Abs(walk + "\\Good.cab");
    EXPECT_EQ(CountRows(db, "SELECT size FROM cabinets WHERE path = '" + good + "'"),
              static_cast<int64_t>(fs::file_size(good)));
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM cabinets WHERE mtime IS NULL OR mtime = 0"), 0);
    EXPECT_EQ(Column(db, "SELECT status FROM cabinets WHERE path LIKE '%\\Broken.cab'"),
              std::set<std::string>{"damaged"});

    // The answers across the collection that the Linux build gives.
    EXPECT_EQ(Names(Column(db, "SELECT path FROM signed_setups WHERE verdict = 'Intact'")),
              (std::set<std::string>{"SecurityOff.cpf", "Ushahidi.CAB"}));
    EXPECT_EQ(Names(Column(db, "SELECT path FROM certificates_added")),
              (std::set<std::string>{"SdkCerts.cab", "Ushahidi.CAB"}));
    EXPECT_EQ(Names(Column(db, "SELECT path FROM programs_by_cpu WHERE cpu = 'ARM'")),
              (std::set<std::string>{"App.WM.CAB", "Basic.WM.CAB", "BenchmarkDotNet_PPC.ARMV4.CAB",
                                     "Eliminator.ARM.CAB", "Runtime.HPC_2577.CAB", "Good.cab",
                                     "Kept.cab"}));
}

TEST_F(WindowsCollection, QueriesFindByFileNameAndSqlRefusesAWrite) {
    ASSERT_EQ(first->Exit, 3u);
    TToolRun q = RunTool({L"--query", W(db), L"Good1.txt"}, 30);
    EXPECT_EQ(q.Exit, 0u) << q.Err;
    const std::string out = WithoutCarriageReturns(q.Out);
    EXPECT_EQ(out.rfind(Abs(walk + "\\Good.cab") + "\tGood\t", 0), 0u) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);

    q = RunTool({L"--json", L"--query", W(db), L"mscoree.dll"}, 30);
    ASSERT_EQ(q.Exit, 0u) << q.Err;
    std::set<std::string> dotnet;
    const nlohmann::json doc = nlohmann::json::parse(q.Out);
    for (const auto& hit : doc.at("hits"))
        dotnet.insert(fs::path(hit.at("path").get<std::string>()).filename().string());
    EXPECT_EQ(dotnet, Names(Column(db, "SELECT path FROM programs_by_cpu p JOIN programs q "
                                       "ON q.name = p.name WHERE q.imports LIKE '%mscoree.dll%'")));
    EXPECT_FALSE(dotnet.empty());

    q = RunTool({L"--sql", W(db), L"SELECT count(*) AS n FROM cabinets"}, 30);
    EXPECT_EQ(q.Exit, 0u);
    EXPECT_EQ(WithoutCarriageReturns(q.Out), "n\n11\n");
    for (const wchar_t* write : {L"DELETE FROM cabinets", L"DROP VIEW signed_setups"}) {
        const TToolRun refused = RunTool({L"--sql", W(db), write}, 30);
        EXPECT_EQ(refused.Exit, 2u);
        EXPECT_NE(refused.Err.find("would change the index"), std::string::npos) << refused.Err;
        EXPECT_EQ(refused.Out, "");
    }
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM cabinets"), 11);
}

TEST(CollectionOnWindows, ASecondRunSkipsTheUnchangedAndReadsTheChangedAndTheCopies) {
    TempDir dir;
    const std::string root = dir.File("walk"), db = dir.File("again.db");
    fs::create_directories(root);
    WriteVariedSetup(root + "\\Kept.cab", "Kept", 2);
    WriteVariedSetup(root + "\\Changed.cab", "Changed", 1);
    TToolRun r = RunTool({L"--index", W(db), L"-j", L"3", W(root)});
    ASSERT_EQ(r.Exit, 0u) << r.Err;
    EXPECT_EQ(WithoutCarriageReturns(r.Out),
              "Indexed 2 cabinets: 2 read, 0 unchanged, 0 copies, 0 damaged, 0 not setups\n");

    r = RunTool({L"--index", W(db), W(root)});
    EXPECT_EQ(r.Exit, 0u) << r.Err;
    EXPECT_EQ(WithoutCarriageReturns(r.Out),
              "Indexed 2 cabinets: 0 read, 2 unchanged, 0 copies, 0 damaged, 0 not setups\n");

    WriteVariedSetup(root + "\\Changed.cab", "Changed", 4);
    fs::copy_file(root + "\\Kept.cab", root + "\\Copy.cab");
    r = RunTool({L"--index", W(db), W(root)});
    EXPECT_EQ(r.Exit, 0u) << r.Err;
    EXPECT_EQ(WithoutCarriageReturns(r.Out),
              "Indexed 3 cabinets: 1 read, 1 unchanged, 1 copy, 0 damaged, 0 not setups\n");
    EXPECT_EQ(Column(db, "SELECT copy_of FROM cabinets WHERE path LIKE '%\\Copy.cab'"),
              std::set<std::string>{Abs(root + "\\Kept.cab")});
    EXPECT_EQ(CountRows(db, "SELECT count(*) FROM files WHERE name LIKE 'Changed%.txt'"), 4);
}

TEST(CollectionOnWindows, AnIndexAndCabinetsInFoldersNamedBeyondAsciiAreFoundAgain) {
    TempDir dir;
    // "Índice", which the usual ANSI code pages and UTF-8 all hold: the tool is given it in the
    // code page, and SQLite must be given it in UTF-8.
    const std::wstring folder = W(dir.Path()) + L"\\\u00cdndice";
    ASSERT_TRUE(fs::create_directories(fs::path(folder)));
    const std::string local = ToLocalPath(folder);
    ASSERT_FALSE(local.empty());
    WriteVariedSetup(local + "\\Good.cab", "Good", 2);
    const std::wstring db = folder + L"\\colecci\u00f3n.db";
    const TToolRun r = RunTool({L"--index", db, folder});
    ASSERT_EQ(r.Exit, 0u) << r.Err;
    EXPECT_TRUE(fs::exists(fs::path(db)));
    // The index keeps the path as UTF-8 text, and finds it again on the next run.
    const std::string dbLocal = ToLocalPath(db);
    EXPECT_EQ(Column(dbLocal, "SELECT path FROM cabinets"),
              std::set<std::string>{Utf8(folder + L"\\Good.cab")});
    const TToolRun again = RunTool({L"--index", db, folder});
    EXPECT_EQ(WithoutCarriageReturns(again.Out),
              "Indexed 1 cabinet: 0 read, 1 unchanged, 0 copies, 0 damaged, 0 not setups\n");
    const TToolRun q = RunTool({L"--query", db, L"Good0.txt"}, 30);
    EXPECT_EQ(q.Exit, 0u) << q.Err;
    EXPECT_EQ(q.Out.rfind(Utf8(folder + L"\\Good.cab") + "\t", 0), 0u) << q.Out;
}

} // namespace
