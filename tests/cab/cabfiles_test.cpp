#include "cab/Diagnostics.h"
#include "cab/Errors.h"
#include "cab/cabfiles.h"
#include "tests/support/CabinetBuilder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<uint8_t>((i * 131) ^ (i >> 7));
    return data;
}

class CabFileTest : public ::testing::TestWithParam<FixtureCompression> {
  protected:
    void SetUp() override {
        FixtureEntry a{"alpha.txt", Bytes("first file")};
        FixtureEntry b{"sub\\beta.bin", Pattern(70000)};
        b.DosDate = (27 << 9) | (12 << 5) | 31;  // 2007-12-31
        b.DosTime = (23 << 11) | (59 << 5) | 29; // 23:59:58
        FixtureEntry c{"Gamma.DAT", {}};
        cabPath = dir.File("three.cab");
        WriteCabinet(cabPath, {a, b, c}, GetParam());
        cab.CABFile = cabPath;
    }
    TempDir dir;
    std::string cabPath;
    TCABFile cab;
};

INSTANTIATE_TEST_SUITE_P(Compressions, CabFileTest,
                         ::testing::Values(FixtureCompression::None, FixtureCompression::MSZIP));

} // namespace

TEST_P(CabFileTest, ListingGivesEntriesInCabinetOrderWithSizesAndDates) {
    EXPECT_TRUE(cab.IsCabinet(cabPath));
    cab.ListContents();
    ASSERT_EQ(cab.CABFileContents.Count(), 3);
    EXPECT_EQ(cab.CABFileContents.Item(0).Name, "alpha.txt");
    EXPECT_EQ(cab.CABFileContents.Item(1).Name, "sub\\beta.bin");
    EXPECT_EQ(cab.CABFileContents.Item(2).Name, "Gamma.DAT");
    EXPECT_EQ(cab.CABFileContents.Item(0).Size, 10);
    EXPECT_EQ(cab.CABFileContents.Item(1).Size, 70000);
    EXPECT_EQ(cab.CABFileContents.Item(2).Size, 0);
    EXPECT_EQ(FormatDateTime(cab.CABFileContents.Item(0).Date), "2020-05-17 13:45:30");
    EXPECT_EQ(FormatDateTime(cab.CABFileContents.Item(1).Date), "2007-12-31 23:59:58");
    EXPECT_TRUE(cab.CABFileContents.Item(0).InternalName.empty());
    EXPECT_TRUE(cab.CABFileContents.Item(0).RelPath.empty());
    // A second listing replaces the first instead of adding to it.
    cab.ListContents();
    EXPECT_EQ(cab.CABFileContents.Count(), 3);
}

TEST_P(CabFileTest, WantedNameMatchesIgnoringCase) {
    TMemoryStream stream;
    ASSERT_TRUE(cab.ExtractToStream(stream, "SUB\\BETA.BIN"));
    EXPECT_EQ(stream.Data(), Pattern(70000));
}

TEST_P(CabFileTest, StreamIsWrittenFromItsPositionAndLeftAtTheEnd) {
    TMemoryStream stream;
    ASSERT_EQ(stream.Write("0123456789", 10), 10);
    stream.SetPosition(4);
    ASSERT_TRUE(cab.ExtractToStream(stream, "alpha.txt"));
    EXPECT_EQ(stream.Position(), 14);
    const std::string text(stream.Data().begin(), stream.Data().end());
    EXPECT_EQ(text, "0123first file");
}

TEST_P(CabFileTest, MissingEntryWritesNothingAndStillSucceeds) {
    TMemoryStream stream;
    EXPECT_TRUE(cab.ExtractToStream(stream, "nothere.txt"));
    EXPECT_EQ(stream.Size(), 0);
    cab.TargetPath = dir.Path();
    EXPECT_TRUE(cab.ExtractEntry("nothere.txt", "out.txt"));
    EXPECT_FALSE(fs::exists(dir.File("out.txt")));
}

TEST_P(CabFileTest, ExtractedFileTakesDestinationNameAndStoredLocalDate) {
    cab.TargetPath = dir.Path() + "/out";
    ASSERT_TRUE(cab.ExtractEntry("alpha.txt", "/elsewhere/renamed.txt"));
    const std::string target = dir.Path() + "/out/renamed.txt";
    EXPECT_EQ(ReadFileBytes(target), Bytes("first file"));
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    std::tm local{};
    const std::time_t mtime = st.st_mtime;
    localtime_r(&mtime, &local);
    EXPECT_EQ(local.tm_year + 1900, 2020);
    EXPECT_EQ(local.tm_mon + 1, 5);
    EXPECT_EQ(local.tm_mday, 17);
    EXPECT_EQ(local.tm_hour, 13);
    EXPECT_EQ(local.tm_min, 45);
    EXPECT_EQ(local.tm_sec, 30);
    // Nothing lands under the destination's own folder.
    EXPECT_FALSE(fs::exists("/elsewhere/renamed.txt"));
}

TEST_P(CabFileTest, FolderStoredInEntryNameLandsBelowTargetPath) {
    cab.TargetPath = dir.Path() + "/";
    ASSERT_TRUE(cab.ExtractEntry("sub\\beta.bin", "copy.bin"));
    EXPECT_EQ(ReadFileBytes(dir.Path() + "/sub/copy.bin"), Pattern(70000));
}

TEST_P(CabFileTest, EmptyTargetPathWritesRelativeToCurrentDirectory) {
    const fs::path previous = fs::current_path();
    fs::current_path(dir.Path());
    cab.TargetPath.clear();
    const bool ok = cab.ExtractEntry("sub\\beta.bin", "here.bin");
    fs::current_path(previous);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ReadFileBytes(dir.Path() + "/sub/here.bin"), Pattern(70000));
}

TEST_P(CabFileTest, OverwriteEventDecidesAboutAnExistingTarget) {
    cab.TargetPath = dir.Path();
    const std::string target = dir.File("alpha.txt");

    WriteFileBytes(target, Bytes("old"));
    ASSERT_TRUE(cab.ExtractEntry("alpha.txt", "alpha.txt"));
    EXPECT_EQ(ReadFileBytes(target), Bytes("first file")) << "no handler replaces";

    WriteFileBytes(target, Bytes("old"));
    std::string askedFor;
    cab.OnOverWriteFile = [&](TCABFile* sender, const std::string& name, bool& allow) {
        EXPECT_EQ(sender, &cab);
        askedFor = name;
        allow = false;
    };
    EXPECT_TRUE(cab.ExtractEntry("alpha.txt", "alpha.txt")) << "a refusal still succeeds";
    EXPECT_EQ(askedFor, target);
    EXPECT_EQ(ReadFileBytes(target), Bytes("old"));

    cab.OnOverWriteFile = [](TCABFile*, const std::string&, bool& allow) { allow = true; };
    ASSERT_TRUE(cab.ExtractEntry("alpha.txt", "alpha.txt"));
    EXPECT_EQ(ReadFileBytes(target), Bytes("first file"));
}

TEST_P(CabFileTest, ProgressEventsAddUpToTheEntrySize) {
    int32_t last = 0, total = -1, calls = 0;
    std::string reported;
    cab.OnDecompressProgress = [&](TCABFile*, const std::string& name, int32_t pos, int32_t tot) {
        EXPECT_GT(pos, last);
        last = pos;
        total = tot;
        reported = name;
        ++calls;
    };
    cab.TargetPath = dir.Path();
    ASSERT_TRUE(cab.ExtractEntry("sub\\beta.bin", "p.bin"));
    EXPECT_GE(calls, 1);
    EXPECT_EQ(last, 70000);
    EXPECT_EQ(total, 70000);
    EXPECT_EQ(reported, "p.bin");

    last = 0;
    TMemoryStream stream;
    ASSERT_TRUE(cab.ExtractToStream(stream, "sub\\beta.bin"));
    EXPECT_EQ(last, 70000);
    EXPECT_EQ(reported, "") << "a stream has no file name";
}

TEST_P(CabFileTest, ExceptionFromAnEventReachesTheCallerAndLeavesNoFile) {
    cab.OnDecompressProgress = [](TCABFile*, const std::string&, int32_t, int32_t) {
        throw std::runtime_error("stop");
    };
    cab.TargetPath = dir.Path();
    EXPECT_THROW((void)cab.ExtractEntry("alpha.txt", "x.txt"), std::runtime_error);
    EXPECT_FALSE(fs::exists(dir.File("x.txt")));
    cab.OnDecompressProgress = nullptr;
    EXPECT_TRUE(cab.ExtractEntry("alpha.txt", "x.txt")) << "the next run starts clean";
}

namespace {
// Every entry's bytes by a run over the cabinet, or nothing when the run did not complete.
std::optional<std::vector<std::vector<uint8_t>>> ReadEveryEntry(TCABFile& cab) {
    std::vector<TMemorySink> sinks(cab.CABFileContents.Items().size(), TMemorySink(1 << 20));
    if (!cab.ExtractEntries([&](size_t index, const TCABFileEntry&) -> TEntrySink* {
            return index < sinks.size() ? &sinks[index] : nullptr;
        }))
        return std::nullopt;
    std::vector<std::vector<uint8_t>> bodies;
    for (TMemorySink& sink : sinks)
        bodies.push_back(sink.Finished() ? sink.Data : std::vector<uint8_t>{1, 2, 3});
    return bodies;
}
} // namespace

// A cabinet in memory is listed and read as its file is, under a name that is never opened: a
// file of that name, holding another cabinet, is not read.
TEST_P(CabFileTest, CabinetInMemoryReadsAsItsFileDoes) {
    cab.ListContents();
    const auto fromFile = ReadEveryEntry(cab);
    ASSERT_TRUE(fromFile.has_value());
    const std::vector<uint8_t> bytes = ReadFileBytes(cabPath);
    const std::string decoy = dir.File("decoy.cab");
    WriteCabinet(decoy, {{"decoy.txt", Bytes("not these")}}, GetParam());

    TCABFile memory;
    memory.CABFile = decoy;
    memory.CABBytes = bytes;
    memory.ListContents();
    ASSERT_EQ(memory.CABFileContents.Count(), 3);
    EXPECT_EQ(memory.CABFileContents.Item(1).Name, "sub\\beta.bin");
    EXPECT_EQ(memory.CABFileContents.Item(1).Date, cab.CABFileContents.Item(1).Date);
    EXPECT_EQ(ReadEveryEntry(memory), fromFile);
    TMemoryStream stream;
    ASSERT_TRUE(memory.ExtractToStream(stream, "SUB\\BETA.BIN"));
    EXPECT_EQ(stream.Size(), 70000);
    memory.TargetPath = dir.Path();
    ASSERT_TRUE(memory.ExtractEntry("alpha.txt", "alpha-copy.txt"));
    EXPECT_EQ(ReadFileBytes(dir.File("alpha-copy.txt")), Bytes("first file"));
    memory.CABBytes = {};
    memory.ListContents();
    EXPECT_EQ(memory.CABFileContents.Count(), 1) << "without bytes the name is the file again";
}

// Cut at every length, a cabinet in memory never reads whole: each run ends, the next starts.
TEST_P(CabFileTest, CabinetInMemoryCutAnywhereNeverReadsWhole) {
    cab.ListContents();
    const auto whole = ReadEveryEntry(cab);
    ASSERT_TRUE(whole.has_value());
    const std::vector<uint8_t> bytes = ReadFileBytes(cabPath);
    for (size_t cut = 0; cut < bytes.size(); cut += cut < 400 ? 1 : 97) {
        TCABFile memory;
        memory.CABFile = dir.File("cut.cab");
        memory.CABBytes = std::span<const uint8_t>(bytes.data(), cut);
        try {
            memory.ListContents();
        } catch (const EConvertError&) {
            continue; // a cut date field, said as for a file
        }
        EXPECT_LE(memory.CABFileContents.Count(), 3) << cut;
        const auto read = ReadEveryEntry(memory);
        EXPECT_FALSE(read.has_value() && read == whole) << "cut at " << cut;
    }
    EXPECT_EQ(ReadEveryEntry(cab), whole) << "the thread runs the library again";
    EXPECT_FALSE(fs::exists(dir.File("cut.cab")));
}

TEST(CabFile, NonCabinetListsNothingAndFailsExtraction) {
    TempDir dir;
    WriteFileBytes(dir.File("plain.cab"), Bytes("this is not a cabinet at all, just text"));
    TCABFile cab;
    EXPECT_FALSE(cab.IsCabinet(dir.File("plain.cab")));
    EXPECT_FALSE(cab.IsCabinet(dir.File("missing.cab")));
    EXPECT_FALSE(cab.IsCabinet(dir.Path())) << "a folder is not a cabinet";
    cab.CABFile = dir.File("plain.cab");
    cab.ListContents();
    EXPECT_EQ(cab.CABFileContents.Count(), 0);
    TMemoryStream stream;
    EXPECT_FALSE(cab.ExtractToStream(stream, "a"));
    cab.CABFile = dir.File("missing.cab");
    EXPECT_EQ(cab.ProcessCabinet(), -1);
}

TEST(CabFile, InvalidStoredDateReachesTheCallerNamingItsEntryAfterEveryEntryIsListed) {
    TempDir dir;
    auto cabinet = BuildCabinet({{"good.txt", Bytes("g")}, {"bad.txt", Bytes("b")}, {"z", {}}},
                                FixtureCompression::None);
    TCABFile cab;
    cab.CABFile = dir.File("d.cab");

    PatchEntryDateTime(cabinet, 1, 0xFFFF, 0); // month 15
    WriteFileBytes(cab.CABFile, cabinet);
    try {
        cab.ListContents();
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(),
                     "Invalid argument to date encode (the stored date of entry bad.txt)");
    }
    ASSERT_EQ(cab.CABFileContents.Count(), 3) << "entries after the bad one are listed too";
    EXPECT_EQ(cab.CABFileContents.Item(1).Date, TDateTime{}) << "an invalid date stays zero";

    PatchEntryDateTime(cabinet, 1, (20 << 9) | (2 << 5) | 30, 0); // 30 February
    WriteFileBytes(cab.CABFile, cabinet);
    EXPECT_THROW(cab.ListContents(), EConvertError);

    PatchEntryDateTime(cabinet, 1, (20 << 9) | (2 << 5) | 29, 24 << 11); // 2000-02-29, 24:00
    WriteFileBytes(cab.CABFile, cabinet);
    try {
        cab.ListContents();
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(),
                     "Invalid argument to time encode (the stored date of entry bad.txt)");
    }

    // Extracting the bad entry to a file fails with the error and leaves nothing behind.
    cab.TargetPath = dir.Path() + "/out";
    EXPECT_THROW((void)cab.ExtractEntry("bad.txt", "bad.txt"), EConvertError);
    EXPECT_FALSE(fs::exists(dir.Path() + "/out/bad.txt"));
    // A stream needs no date: the bytes come out.
    TMemoryStream stream;
    EXPECT_TRUE(cab.ExtractToStream(stream, "bad.txt"));
    EXPECT_EQ(stream.Data(), Bytes("b"));
    // The good entry still extracts to a file.
    EXPECT_TRUE(cab.ExtractEntry("good.txt", "good.txt"));
    EXPECT_TRUE(fs::exists(dir.Path() + "/out/good.txt"));
}

TEST(CabFile, NamesThatClimbOutOfTheTargetAreRefused) {
    EXPECT_FALSE(IsSafeEntryName("..\\evil.txt"));
    EXPECT_FALSE(IsSafeEntryName("sub\\..\\..\\evil.txt"));
    EXPECT_FALSE(IsSafeEntryName("sub/../evil"));
    EXPECT_FALSE(IsSafeEntryName("\\abs.txt"));
    EXPECT_FALSE(IsSafeEntryName("/abs.txt"));
    EXPECT_FALSE(IsSafeEntryName("C:evil.txt"));
    EXPECT_TRUE(IsSafeEntryName("sub\\file..txt"));
    EXPECT_TRUE(IsSafeEntryName("..file"));
    EXPECT_TRUE(IsSafeEntryName("a\\b\\c.txt"));

    TempDir dir;
    WriteCabinet(dir.File("w.cab"),
                 {{"sub\\..\\..\\evil.txt", Bytes("x")},
                  {"C:evil2.txt", Bytes("y")},
                  {"fine.txt", Bytes("z")}},
                 FixtureCompression::None);
    TCABFile cab;
    cab.CABFile = dir.File("w.cab");
    cab.TargetPath = dir.Path() + "/target";
    EXPECT_FALSE(cab.ExtractEntry("sub\\..\\..\\evil.txt", "evil.txt"));
    EXPECT_FALSE(cab.ExtractEntry("C:evil2.txt", "evil2.txt"));
    EXPECT_FALSE(cab.ExtractEntry("fine.txt", "..")) << "nor may the destination name";
    EXPECT_FALSE(fs::exists(dir.Path() + "/evil.txt"));
    EXPECT_FALSE(fs::exists(dir.Path() + "/target/evil2.txt"));
}

// Windows has no file-size limit to make a write fail this way.
#ifndef _WIN32
TEST(CabFile, FailedWriteIsReportedAndLeavesNoPartialFile) {
    TempDir dir;
    WriteCabinet(dir.File("big.cab"), {{"big.bin", Pattern(300000)}}, FixtureCompression::MSZIP);
    std::vector<std::string> reports;
    TDiagnostics diagnostics(
        [&](const TDiagnostic& report) { reports.push_back(report.Caption + ": " + report.Text); });
    std::optional<TDiagnosticsScope> scope(std::in_place, diagnostics);
    // A file-size limit makes the write fail the way a full disk does.
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    TCABFile cab;
    cab.CABFile = dir.File("big.cab");
    cab.TargetPath = dir.Path() + "/out";
    const bool ok = cab.ExtractEntry("big.bin", "big.bin");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    scope.reset();
    EXPECT_FALSE(ok);
    EXPECT_FALSE(fs::exists(dir.Path() + "/out/big.bin"));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].rfind("Error: ", 0), 0u) << reports[0];
}
#endif

TEST(CabFile, CompressionOnlyMembersKeepTheirInitialValues) {
    TCABFile cab;
    EXPECT_EQ(cab.CompressionType, TCompressionType::typMSZIP);
    EXPECT_EQ(cab.CABFileContents.Count(), 0);
    EXPECT_EQ(cab.CABFileContents.Owner(), &cab);
    EXPECT_FALSE(cab.OnCompressProgress);
}

TEST(DosDateTime, ConvertsRealDatesAndRejectsImpossibleOnes) {
    EXPECT_EQ(FormatDateTime(DosDateTimeToDateTime((0 << 9) | (1 << 5) | 1, 0)),
              "1980-01-01 00:00:00");
    EXPECT_EQ(FormatDateTime(
                  DosDateTimeToDateTime((127 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29)),
              "2107-12-31 23:59:58");
    EXPECT_NO_THROW((void)DosDateTimeToDateTime((20 << 9) | (2 << 5) | 29, 0)); // 2000 leap
    EXPECT_THROW((void)DosDateTimeToDateTime((120 << 9) | (2 << 5) | 29, 0),    // 2100 not
                 EConvertError);
    EXPECT_THROW((void)DosDateTimeToDateTime((20 << 9) | (4 << 5) | 31, 0), EConvertError);
    EXPECT_THROW((void)DosDateTimeToDateTime((20 << 9) | (0 << 5) | 1, 0), EConvertError);
    EXPECT_THROW((void)DosDateTimeToDateTime((20 << 9) | (1 << 5) | 0, 0), EConvertError);
    EXPECT_THROW((void)DosDateTimeToDateTime((20 << 9) | (1 << 5) | 1, 60 << 5), EConvertError);
    EXPECT_THROW((void)DosDateTimeToDateTime((20 << 9) | (1 << 5) | 1, 30), EConvertError);
}

// The reader serves the library's small reads and seeks from a window of the file: headers and
// data that run over many windows must still come out whole, in both kinds of folder.
TEST(CabFile, EntriesPastTheReadWindowAreListedAndExtractedWhole) {
    for (const FixtureCompression compression :
         {FixtureCompression::None, FixtureCompression::MSZIP}) {
        TempDir dir;
        std::vector<FixtureEntry> entries;
        for (int i = 0; i < 3000; ++i) {
            std::vector<uint8_t> data = Pattern(static_cast<size_t>(i % 300));
            if (!data.empty()) data[0] = static_cast<uint8_t>(i);
            entries.push_back({"folder\\entry-" + std::to_string(i) + "-with-a-longer-name.bin",
                               std::move(data)});
        }
        WriteCabinet(dir.File("many.cab"), entries, compression);
        TCABFile cab;
        cab.CABFile = dir.File("many.cab");
        cab.ListContents();
        ASSERT_EQ(cab.CABFileContents.Count(), 3000);
        std::vector<TMemorySink> sinks(3000, TMemorySink(1000));
        ASSERT_TRUE(
            cab.ExtractEntries([&](size_t index, const TCABFileEntry&) { return &sinks[index]; }));
        for (size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(cab.CABFileContents.Item(static_cast<int>(i)).Name, entries[i].Name);
            EXPECT_EQ(sinks[i].Data, entries[i].Data) << entries[i].Name;
        }
        TMemoryStream last;
        ASSERT_TRUE(cab.ExtractToStream(last, entries.back().Name));
        EXPECT_EQ(last.Data(), entries.back().Data);
    }
}
