// Setups crafted to hurt: extraction that must stay inside its folder, rows that must get their
// own bytes, budgets, and texts that must not steer a terminal. Linux only (links, FIFOs, fork).
#include "cab/Diagnostics.h"
#include "cab/Errors.h"
#include "cab/FileSystem.h"
#include "cab/Streams.h"
#include "cab/cabfiles.h"
#include "setup/BinaryDescriptor.h"
#include "setup/CESetup.h"
#include "setup/ExtractAll.h"
#include "setup/SetupINF.h"
#include "setup/SetupXML.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/support/HostileFixtures.h"
#include "tests/tools/ToolRun.h"
#include "tools/Heap.h"
#include "xml/XMLPars.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A loaded setup over a cabinet written to dir.
struct Loaded {
    TCABFile cab;
    TCESetup setup;
    bool ok = false;
    explicit Loaded(const std::string& path) {
        setup.Cabinet = &cab;
        ok = setup.LoadSetup(path, std::string(), false);
    }
};

std::string TwoFileCabinet(const TempDir& dir) {
    DescriptorBuilder b("Demo", "Acme", "%CE1%\\Demo", false);
    b.File(1, "app.exe");
    b.File(b.Dir("%CE1%\\Demo\\Data"), "table.dat");
    SetupCabinetContents contents;
    contents.FileData[1] = Bytes("app bytes");
    contents.FileData[2] = Bytes("table bytes");
    const std::string path = dir.File("demo.cab");
    WriteSetupCabinet(path, b.Plan(), contents);
    return path;
}

bool IsLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// No temporary file of an unfinished write stays anywhere below root.
void ExpectNoTemporaries(const std::string& root) {
    for (const auto& item : fs::recursive_directory_iterator(root))
        EXPECT_EQ(item.path().filename().string().rfind(".tessary-", 0), std::string::npos)
            << item.path();
}

bool HasRawControl(const std::string& text) {
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if ((b < 0x20 && b != '\t' && b != '\n') || (b >= 0x7F && b <= 0x9F)) return true;
    }
    return false;
}

} // namespace

TEST(SafeWrites, LinksInsideTheTargetAreNeverFollowed) {
    TempDir dir;
    const std::string cab = TwoFileCabinet(dir);
    const std::string out = dir.File("out");
    const std::string elsewhere = dir.File("elsewhere");
    fs::create_directories(out);
    fs::create_directories(elsewhere);
    // A folder of the device path is a link to a folder outside the target ...
    fs::create_directory_symlink(elsewhere, out + "/InstallDir");
    const ToolRun linked = RunTool({"--extract-all", out, cab});
    EXPECT_EQ(linked.Exit, 3);
    EXPECT_NE(linked.Err.find("is a link, not a folder"), std::string::npos) << linked.Err;
    EXPECT_TRUE(fs::is_empty(elsewhere)) << "nothing lands through the link";
    EXPECT_TRUE(IsLink(out + "/InstallDir"));

    // ... or the file itself is a dangling link pointing outside.
    fs::remove(out + "/InstallDir");
    fs::create_directories(out + "/InstallDir");
    fs::create_symlink(elsewhere + "/planted", out + "/InstallDir/app.exe");
    const ToolRun dangling = RunTool({"--extract-all", out, cab});
    EXPECT_EQ(dangling.Exit, 3);
    EXPECT_NE(dangling.Err.find("app.exe is a link"), std::string::npos) << dangling.Err;
    EXPECT_FALSE(fs::exists(elsewhere + "/planted"));
    EXPECT_TRUE(IsLink(out + "/InstallDir/app.exe")) << "the link is left as it is";
    EXPECT_EQ(ReadFileBytes(out + "/InstallDir/Data/table.dat"), Bytes("table bytes"));
    ExpectNoTemporaries(out);

    // An entry stored with a folder part does not write through a link either.
    WriteCabinet(dir.File("sub.cab"), {{"sub\\f.txt", Bytes("f")}}, FixtureCompression::None);
    fs::create_directories(dir.File("target"));
    fs::create_directory_symlink(elsewhere, dir.File("target") + "/sub");
    TCABFile raw;
    raw.CABFile = dir.File("sub.cab");
    raw.TargetPath = dir.File("target");
    EXPECT_FALSE(raw.ExtractEntry("sub\\f.txt", "f.txt"));
    EXPECT_TRUE(fs::is_empty(elsewhere));
}

TEST(SafeWrites, OutputThatIsNotARegularFileIsRefusedAndLeftAlone) {
    TempDir dir;
    const std::string cab = TwoFileCabinet(dir);
    const auto extractTo = [&](const std::string& output) {
        return RunTool(
            {"--extract", "app.exe", "--folder", "%InstallDir%", "--output", output, cab}, 20);
    };
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const ToolRun toFifo = extractTo(fifo);
    EXPECT_EQ(toFifo.Exit, 3) << "refused, never blocked on the FIFO";
    EXPECT_NE(toFifo.Err.find("is not a regular file"), std::string::npos) << toFifo.Err;
    EXPECT_TRUE(fs::is_fifo(fifo));

    // /dev/null stands for a device node; a link to it is refused as a link.
    const ToolRun toDevice = extractTo("/dev/null");
    EXPECT_EQ(toDevice.Exit, 3);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    fs::create_symlink("/dev/null", dir.File("link"));
    const ToolRun toLink = extractTo(dir.File("link"));
    EXPECT_EQ(toLink.Exit, 3);
    EXPECT_NE(toLink.Err.find("is a link"), std::string::npos) << toLink.Err;
    EXPECT_TRUE(IsLink(dir.File("link")));

    // A regular file is replaced whole.
    WriteFileBytes(dir.File("old"), Bytes("a much longer old content"));
    EXPECT_EQ(extractTo(dir.File("old")).Exit, 0);
    EXPECT_EQ(ReadFileBytes(dir.File("old")), Bytes("app bytes"));
    ExpectNoTemporaries(dir.Path());
}

TEST(SafeWrites, CancelledExtractAllLeavesOnlyWholeFiles) {
    TempDir dir;
    Loaded s(TwoFileCabinet(dir));
    ASSERT_TRUE(s.ok);
    std::vector<std::string> asked;
    const TExtractAllReport report = ExtractAllFiles(
        s.setup, dir.File("out"), [&](size_t done, size_t total, const std::string& f) {
            asked.push_back(std::to_string(done) + "/" + std::to_string(total) + " " + f);
            return done == 0;
        });
    EXPECT_TRUE(report.Cancelled);
    EXPECT_EQ(asked, (std::vector<std::string>{"0/2 %InstallDir%\\app.exe",
                                               "1/2 %InstallDir%\\Data\\table.dat"}));
    ASSERT_EQ(report.Written.size(), 1u);
    EXPECT_EQ(ReadFileBytes(report.Written[0]), Bytes("app bytes"));
    EXPECT_FALSE(fs::exists(dir.File("out") + "/InstallDir/Data/table.dat"));
    ExpectNoTemporaries(dir.File("out"));
}

// A chosen folder that cannot be made (a file stands in its way) is said once per file, naming
// the folder and the system's reason, and nothing is read or written.
TEST(SafeWrites, AFolderThatCannotBeMadeIsSaidForEveryFile) {
    TempDir dir;
    Loaded s(TwoFileCabinet(dir));
    ASSERT_TRUE(s.ok);
    WriteFileBytes(dir.File("plain"), Bytes("a file, not a folder"));
    const std::string out = dir.File("plain") + "/out";
    const TExtractAllReport report = ExtractAllFiles(s.setup, out);
    EXPECT_TRUE(report.Written.empty());
    ASSERT_EQ(report.Refused.size(), 2u);
    for (const TExtractAllIssue& issue : report.Refused) {
        EXPECT_EQ(issue.Problem, TExtractAllProblem::WriteFailed);
        EXPECT_EQ(issue.Reason, "cannot make the folder " + out + ": Not a directory");
    }
    const ToolRun run = RunTool({"--extract-all", out, TwoFileCabinet(dir)});
    EXPECT_NE(run.Exit, 0);
    EXPECT_NE(run.Err.find("cannot make the folder " + out + ": Not a directory"),
              std::string::npos)
        << run.Err;

    // One entry to a target folder that cannot be made: false, and the reason reported.
    TDiagnostics diagnostics;
    const TDiagnosticsScope scope(diagnostics);
    TCABFile raw;
    raw.CABFile = TwoFileCabinet(dir);
    raw.TargetPath = out;
    EXPECT_FALSE(raw.ExtractEntry(SetupEntryName("app.exe", 1), "app.exe"));
    const std::vector<TDiagnostic> reports = diagnostics.Take();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].Text, "cannot make the folder " + out + ": Not a directory");
    EXPECT_EQ(ReadFileBytes(dir.File("plain")), Bytes("a file, not a folder"));
}

TEST(OneEntryPerRow, DuplicateEntryNamesGiveTheFirstEntryBothInSizeAndBytes) {
    TempDir dir;
    DescriptorBuilder b("Demo", "Acme", "%CE1%\\Demo", false);
    b.File(1, "app.exe");
    SetupCabinetContents contents;
    contents.FileData[1] = Bytes("first");
    contents.Extra.push_back({"APQ.001", Bytes("the second one")});
    auto cabinet = BuildSetupCabinet(b.Plan(), contents);
    PatchEntryName(cabinet, 2, "APP.001");
    const std::string cab = dir.File("dup.cab");
    WriteFileBytes(cab, cabinet);

    const auto doc = nlohmann::json::parse(RunTool({"--json", cab}).Out);
    EXPECT_EQ(doc["files"][0]["Size"], 5);
    ASSERT_EQ(RunTool({"--extract", "app.exe", "--folder", "%InstallDir%", "--output",
                       dir.File("one"), cab})
                  .Exit,
              0);
    EXPECT_EQ(ReadFileBytes(dir.File("one")), Bytes("first"));
    ASSERT_EQ(RunTool({"--extract-all", dir.File("all"), cab}).Exit, 0);
    EXPECT_EQ(ReadFileBytes(dir.File("all") + "/InstallDir/app.exe"), Bytes("first"));
}

TEST(OneEntryPerRow, RowsCollidingIgnoringCaseAreReportedNamingBoth) {
    TempDir dir;
    DescriptorBuilder b("Demo", "Acme", "%CE1%\\Demo", false);
    b.File(1, "App.exe");
    b.File(1, "app.EXE");
    SetupCabinetContents contents;
    contents.FileData[1] = Bytes("upper");
    contents.FileData[2] = Bytes("lower");
    const std::string cab = dir.File("case.cab");
    WriteSetupCabinet(cab, b.Plan(), contents);

    Loaded s(cab);
    ASSERT_TRUE(s.ok);
    const TExtractAllReport report = ExtractAllFiles(s.setup, dir.File("out"));
    ASSERT_EQ(report.Written.size(), 1u);
    EXPECT_EQ(ReadFileBytes(report.Written[0]), Bytes("upper")) << "each row its own bytes";
    ASSERT_EQ(report.Refused.size(), 1u);
    EXPECT_EQ(report.Refused[0].Problem, TExtractAllProblem::Collision);
    EXPECT_EQ(report.Refused[0].DeviceFile, "%InstallDir%\\app.EXE");
    EXPECT_NE(report.Refused[0].Reason.find("%InstallDir%\\App.exe"), std::string::npos);

    const ToolRun run = RunTool({"--extract-all", dir.File("tool"), cab});
    EXPECT_EQ(run.Exit, 3);
    EXPECT_NE(run.Err.find("app.EXE"), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("App.exe"), std::string::npos) << run.Err;
}

#if !defined(TESSARY_SANITIZED)
TEST(Budgets, TheHeapIsGrownAheadOnlyWithoutAnAddressSpaceLimit) {
    // Room reserved ahead would be taken from what a limited run may use; without a limit the
    // heap grows in one large step. Each case in a child of its own: the step is for good.
    const auto grown = [](bool limited) {
        const pid_t child = fork();
        if (child == 0) {
            if (limited) {
                const rlimit limit{1u << 30, 1u << 30};
                setrlimit(RLIMIT_AS, &limit);
            }
            // Earlier tests of this process leave free room in the heap, inherited by the child:
            // take it until the heap has to grow, so that the next allocation grows it.
            const void* start = sbrk(0);
            void* volatile taken = nullptr;
            for (int i = 0; i < 4096 && sbrk(0) == start; ++i)
                taken = std::malloc(size_t{1} << 20);
            (void)taken;
            const auto before = reinterpret_cast<uintptr_t>(sbrk(0));
            (void)GrowHeapInLargeSteps(true);
            const auto after = reinterpret_cast<uintptr_t>(sbrk(0));
            _exit(after - before >= (uintptr_t{32} << 20) ? 1 : 0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(grown(true), 0) << "nothing reserved under a limit";
    EXPECT_EQ(grown(false), 1) << "one large step without one";
}
#endif

TEST(Budgets, DescriptorBombIsRefusedFromTheListingUnderAMemoryLimit) {
    TempDir dir;
    const std::string cab = HostileFixtureDir() + "/descriptor-bomb.cab";
    WriteDescriptorBombCabinet(cab);
    WriteDeepFolderCabinet(HostileFixtureDir() + "/deep-folder.cab");

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
#if !defined(TESSARY_SANITIZED)
        const rlimit limit{512u << 20, 512u << 20};
        setrlimit(RLIMIT_AS, &limit);
#endif
        try {
            Loaded s(cab);
            _exit(1);
        } catch (const ETooLarge& e) {
            const std::string text = e.what();
            _exit(text.find("68157440 bytes") != std::string::npos ? 0 : 2);
        } catch (...) {
            _exit(3);
        }
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1 loaded, 2 wrong message, 3 another error";

    const ToolRun run = RunTool({cab}, 60);
    EXPECT_EQ(run.Exit, 3);
    EXPECT_NE(run.Err.find("SETUP.000 is 68157440 bytes"), std::string::npos) << run.Err;

    // The cap also holds while decompressing, whatever the listing said.
    TMemorySink sink(4);
    EXPECT_TRUE(sink.Write("abc", 3));
    EXPECT_FALSE(sink.Write("de", 2));
    EXPECT_TRUE(sink.Overflowed());
    EXPECT_EQ(sink.Data.size(), 3u);
}

TEST(Budgets, OnlyTheFirstEntryWithTheDescriptorsNameIsRead) {
    TempDir dir;
    DescriptorBuilder b("Demo", "Acme", "%CE1%\\Demo", false);
    b.File(1, "app.exe");
    SetupCabinetContents contents;
    char name[16];
    for (int i = 0; i < 4000; ++i) {
        std::snprintf(name, sizeof name, "S%04d.000", i);
        contents.Extra.push_back({name, Bytes("MSCE")});
    }
    const std::vector<uint8_t> descriptor = WriteDescriptorBytes(b.Plan());
    auto cabinet = BuildSetupCabinet(b.Plan(), contents);
    for (int i = 0; i < 4000; ++i)
        PatchEntryName(cabinet, 2 + i, "SETUP.000");
    WriteFileBytes(dir.File("many.cab"), cabinet);

    TCABFile cab;
    ASSERT_TRUE(cab.IsCabinet(dir.File("many.cab")));
    cab.CABFile = dir.File("many.cab");
    TSetupINF inf;
    TMemoryStream stream;
    ASSERT_TRUE(inf.FindDescriptor(cab, stream));
    EXPECT_EQ(stream.Data(), descriptor);
}

TEST(Budgets, OverlappingIdListsOfUnknownIdsEndQuickly) {
    // Directory entries 8 bytes apart inside one long list of id 4 (no string has it): each
    // entry reads the rest of the list, so without a budget the work grows with its square.
    DescriptorBuilder b("Demo", "Acme", "%CE1%\\Demo", false);
    b.File(1, "app.exe");
    DescriptorPlan plan = b.Plan();
    plan.Dirs.push_back({4, std::vector<uint16_t>(30000, 4), 4});
    std::vector<uint8_t> bytes = WriteDescriptorBytes(plan);
    PutU16(bytes, descriptor::kCounts + 2 * descriptor::Dirs,
           static_cast<uint16_t>(b.Plan().Dirs.size() + 7000));
    TSetupINF inf;
    TMemoryStream stream(bytes);
    EXPECT_FALSE(inf.ParseDescriptor(std::string(), &stream));
    EXPECT_NE(inf.DescriptorError.find("in the directory table"), std::string::npos)
        << inf.DescriptorError;
}

TEST(Budgets, DeepFolderLoadsAndIsRefusedAsTooLongToWrite) {
    TempDir dir;
    WriteDeepFolderCabinet(dir.File("deep.cab"));
    Loaded s(dir.File("deep.cab"));
    ASSERT_TRUE(s.ok);
    ASSERT_EQ(s.setup.Files.size(), 1u);
    EXPECT_GT(s.setup.Files[0].Dir.size(), 60000u);
    const ToolRun run = RunTool({"--extract-all", dir.File("out"), dir.File("deep.cab")}, 60);
    EXPECT_EQ(run.Exit, 3);
    EXPECT_NE(run.Err.find("longer than the system allows"), std::string::npos)
        << run.Err.substr(0, 300);
    EXPECT_FALSE(fs::exists(dir.File("out") + "/ProgramFilesDir")) << "no folder was begun";
}

TEST(PlainText, ControlCharactersAreEscapedInEveryPrintedFieldAndKeptInJson) {
    TempDir dir;
    const std::string esc = "\x1b]0;owned\x07\r\n\x9b";
    DescriptorBuilder b("App" + esc, "Co" + esc, "%CE1%\\Dir" + esc, false);
    const uint16_t file = b.File(b.Dir("%CE1%\\Dir" + esc + "\\Sub" + esc), "f" + esc + ".exe");
    b.RegString(b.RegKey(3, "Software\\K" + esc), "N" + esc, "D" + esc);
    b.Shortcut("S" + esc, file);
    SetupCabinetContents contents;
    contents.Extra.push_back({"x" + esc + ".txt", Bytes("x")});
    const std::string cab = dir.File("esc.cab");
    WriteSetupCabinet(cab, b.Plan(), contents);

    for (const auto& args :
         {std::vector<std::string>{cab}, std::vector<std::string>{"--entries", cab},
          std::vector<std::string>{"--extract-all", dir.File("o\x1b"), cab},
          std::vector<std::string>{"--extract", "f" + esc, "--folder", "x" + esc, "--output",
                                   dir.File("x"), cab}}) {
        const ToolRun run = RunTool(args);
        EXPECT_FALSE(HasRawControl(run.Out)) << args[0];
        EXPECT_FALSE(HasRawControl(run.Err)) << args[0] << ": " << run.Err;
    }
    const ToolRun text = RunTool({cab});
    EXPECT_NE(text.Out.find("App\\x1b]0;owned\\x07\\x0d\\x0a\\x9b"), std::string::npos) << text.Out;
    EXPECT_NE(RunTool({"--entries", cab}).Out.find("x\\x1b]0;owned"), std::string::npos);
    const auto doc = nlohmann::json::parse(RunTool({"--json", cab}).Out);
    EXPECT_EQ(doc["project"]["SoftwareName"], "App\x1b]0;owned\x07\r\n\u009b");
}

TEST(SmallerOnes, JunkEntryNumberIsSkippedAndTheRestStillWorks) {
    TempDir dir;
    DescriptorBuilder b("Demo", "Acme", "%CE1%\\Demo", false);
    b.File(1, "app.exe");
    SetupCabinetContents contents;
    contents.FileData[1] = Bytes("app");
    std::vector<FixtureEntry> entries = SetupCabinetEntries(b.Plan(), contents);
    entries.insert(entries.begin() + 1, {"x.99999999999", Bytes("junk")});
    WriteCabinet(dir.File("junk.cab"), entries, FixtureCompression::None);

    const auto doc = nlohmann::json::parse(RunTool({"--json", dir.File("junk.cab")}).Out);
    EXPECT_EQ(doc["files"][0]["Size"], 3);
    EXPECT_EQ(RunTool({"--extract-all", dir.File("out"), dir.File("junk.cab")}).Exit, 0);
    EXPECT_EQ(ReadFileBytes(dir.File("out") + "/InstallDir/app.exe"), Bytes("app"));
}

TEST(SmallerOnes, BadDateIsNamedAndEveryEntryStillListed) {
    TempDir dir;
    auto cabinet = BuildCabinet({{"a.txt", Bytes("a")}, {"bad.txt", Bytes("b")}, {"c.txt", {}}},
                                FixtureCompression::None);
    PatchEntryDateTime(cabinet, 1, 0xFFFF, 0);
    WriteFileBytes(dir.File("date.cab"), cabinet);
    const ToolRun run = RunTool({"--entries", dir.File("date.cab")});
    EXPECT_EQ(run.Exit, 3);
    EXPECT_EQ(run.Out, "a.txt\t1\t2020-05-17 13:45:30\nbad.txt\t1\tinvalid date\n"
                       "c.txt\t0\t2020-05-17 13:45:30\n");
    EXPECT_NE(run.Err.find("entry bad.txt"), std::string::npos) << run.Err;
}

TEST(SmallerOnes, DamagedDescriptorShowsWhatWasDecodedAndExitsThree) {
    TempDir dir;
    DescriptorBuilder b("Demo", "Acme", "%CE1%\\Demo", false);
    b.File(1, "app.exe");
    b.RegString(b.RegKey(3, "Software\\Acme"), "Path", "x");
    DescriptorLayout layout;
    (void)WriteDescriptorBytes(b.Plan(), &layout);
    b.Plan().TruncateAt = layout.RegValueTable + 4;
    WriteSetupCabinet(dir.File("cut.cab"), b.Plan());
    const ToolRun run = RunTool({dir.File("cut.cab")});
    EXPECT_EQ(run.Exit, 3);
    EXPECT_NE(run.Out.find("app.exe"), std::string::npos) << "decoded files are shown";
    EXPECT_NE(run.Err.find("damaged"), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("registry value table"), std::string::npos) << run.Err;
}

TEST(SmallerOnes, FilesThatCannotBeReadAndEmptyFoldersAreSaidPlainly) {
    TempDir dir;
    const ToolRun missing = RunTool({dir.File("none.cab")});
    EXPECT_EQ(missing.Exit, 3);
    EXPECT_EQ(missing.Err, "tessary-info: cannot open " + dir.File("none.cab") +
                               ": No such file or directory\n");
    ASSERT_EQ(::mkfifo(dir.File("fifo.cab").c_str(), 0644), 0);
    for (const auto& args : {std::vector<std::string>{dir.File("fifo.cab")},
                             std::vector<std::string>{"--entries", dir.File("fifo.cab")}}) {
        const ToolRun fifo = RunTool(args, 20);
        EXPECT_EQ(fifo.Exit, 3) << "124 would be a hang";
        EXPECT_NE(fifo.Err.find("not a regular file"), std::string::npos) << fifo.Err;
    }
    EXPECT_EQ(RunTool({dir.Path()}).Exit, 3);
    EXPECT_EQ(RunTool({"--extract-all", "", TwoFileCabinet(dir)}).Exit, 2);
}

TEST(Budgets, MillionsOfTinyTagsCostEightBytesEachAndAllArrive) {
    TempDir dir;
    std::string xml = "<wap-provisioningdoc><characteristic type=\"Install\"><parm "
                      "name=\"AppName\" value=\"Tags\"/></characteristic>";
    const size_t tags = 20u << 20;
    xml.reserve(xml.size() + 3 * tags + 32);
    for (size_t i = 0; i < tags; ++i)
        xml += "<a>";
    xml += "</wap-provisioningdoc>";
    WriteCabinet(dir.File("tags.cab"), {{"_setup.xml", Bytes(xml)}}, FixtureCompression::MSZIP);
    xml = std::string();

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
#if !defined(TESSARY_SANITIZED)
        const rlimit limit{1u << 30, 1u << 30};
        setrlimit(RLIMIT_AS, &limit);
#endif
        try {
            Loaded s(dir.File("tags.cab"));
            const auto* handler = s.setup.XMLHandler.get();
            _exit(s.ok && s.setup.Project.SoftwareName == "Tags" &&
                          handler->Parser->Items.size() == tags + 5
                      ? 0
                      : 1);
        } catch (const EOutOfMemory&) {
            _exit(2);
        } catch (...) {
            _exit(3);
        }
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1 items missing, 2 out of memory, 3 another error";
}

TEST(Budgets, OneImageNamedByThousandsOfRowsIsReadAndJoinedOnce) {
    TempDir dir;
    const std::string cab = dir.File("shared.cab");
    WriteSharedImageCabinet(cab);
    const ToolRun text = RunWithinBudget({"--audit", cab}, 2u << 20);
    EXPECT_EQ(text.Exit, 0) << text.Err.substr(0, 300);
    EXPECT_NE(text.Out.find("Programs (3000)"), std::string::npos);
    EXPECT_LT(text.Out.size(), 64u << 20) << "imports cut in text";

    // JSON has every row's whole list, so its size grows with the rows; fewer of them here.
    WriteSharedImageCabinet(dir.File("fewer.cab"), 100);
    const ToolRun json = RunWithinBudget({"--audit", "--json", dir.File("fewer.cab")}, 2u << 20);
    ASSERT_EQ(json.Exit, 0) << json.Err.substr(0, 300);
    const auto doc = nlohmann::json::parse(json.Out);
    ASSERT_EQ(doc["binaries"].size(), 100u);
    for (const size_t row : {0, 99}) {
        const std::string imports = doc["binaries"][row]["Imports"];
        // The reader keeps the first 4,096 DLLs of the 4,097 and says so in the notes.
        EXPECT_EQ(imports.size(), 4096u * 200 + 4095u * 2) << "every row has the whole list";
        EXPECT_EQ(imports.substr(imports.size() - 10), "104095.dll");
    }
}
