#include "cab/cabfiles.h"
#include "programs/EntryReader.h"
#include "programs/Programs.h"
#include "programs/ProgramsPage.h"
#include "setup/CESetup.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/Corpus.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/support/PEBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <thread>

namespace {

struct Loaded {
    TCABFile Cabinet;
    TCESetup Setup;
    std::vector<TProgramRow> Rows;
};

void Load(Loaded& l, const std::string& path, int64_t cap = kProgramReadCap) {
    l.Setup.Cabinet = &l.Cabinet;
    ASSERT_TRUE(l.Setup.LoadSetup(path, "", false));
    l.Cabinet.ListContents();
    l.Rows = AnalysePrograms(l.Setup, l.Cabinet, l.Cabinet.CABFileContents, cap);
}

const TProgramRow* Find(const Loaded& l, const std::string& name, const std::string& folder) {
    for (const TProgramRow& row : l.Rows)
        if (row.Name == name && row.Folder == folder) return &row;
    return nullptr;
}

std::vector<uint8_t> Image(uint16_t machine, std::optional<std::string> clr = std::nullopt) {
    PEPlan plan;
    plan.Machine = machine;
    plan.ClrRuntimeVersion = std::move(clr);
    return BuildPEImage(plan);
}

} // namespace

// What the real setups' programs are, read from their cabinets through the analysis.
TEST(ProgramsCorpus, RealProgramsShowTheirCpuKindRuntimeAndVersion) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    struct Case {
        const char* Cabinet;
        const char* Name;
        const char* Folder;
        uint16_t Machine;
        const char* Kind;
        const char* Runtime; // nullptr: not .NET
        const char* FileVersion;
    };
    const Case cases[] = {
        {"Eliminator.ARM.CAB", "Eliminator.exe", "%InstallDir%\\", 0x01c0, "Program", nullptr, ""},
        {"BenchmarkDotNet_PPC.ARMV4.CAB", "BenchmarkDotNet.exe", "%InstallDir%\\", 0x014c,
         "Program", "v1.1.4322", "1.0.1311.16511"},
        {"BenchmarkDotNet_PPC.ARMV4.CAB", "vsd_setup.dll", "%InstallDir%\\", 0x01c0, "DLL", nullptr,
         "1.0.2268.0"},
        {"Basic.WM.CAB", "basic.exe", "%InstallDir%\\nsbasic\\", 0x01c0, "Program", nullptr,
         "8.0.0.0"},
        {"Basic.WM.CAB", "Vbscript.dll", "%WinDir%\\", 0x01c0, "DLL", nullptr, "5.5.0.5207"},
        {"Ushahidi.CAB", "Ushahidi.exe", "%InstallDir%\\", 0x014c, "Program", "v2.0.50727",
         "1.2.3680.43118"},
        {"Ushahidi.CAB", "Ushahidi.Model.resources.dll", "%InstallDir%\\pl\\", 0x014c, "DLL",
         "v2.0.50727", "1.2.3680.43112"},
        {"App.WM.CAB", "project1.exe", "%InstallDir%\\MyCo\\", 0x01c0, "Program", nullptr, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Cabinet) + " " + c.Name);
        Loaded l;
        Load(l, RealCabinet(c.Cabinet));
        const TProgramRow* row = Find(l, c.Name, c.Folder);
        ASSERT_NE(row, nullptr);
        ASSERT_EQ(row->Status, TProgramStatus::Image);
        EXPECT_EQ(row->Image().Machine, c.Machine);
        EXPECT_EQ(ImageKind(row->Image()), c.Kind);
        EXPECT_EQ(row->Image().IsDotNet, c.Runtime != nullptr);
        EXPECT_EQ(row->Image().RuntimeVersion, c.Runtime ? c.Runtime : "");
        EXPECT_EQ(row->Image().Version.FileVersion, c.FileVersion);
        EXPECT_TRUE(row->Mismatch.empty()) << row->Mismatch;
        EXPECT_TRUE(row->Image().Notes.empty()) << row->Image().Notes.front();
    }
}

TEST(ProgramsCorpus, EveryRealSetupIsAnalysedWithoutMismatchesOrDamage) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    for (const char* name : {"App.WM.CAB", "Basic.WM.CAB", "BenchmarkDotNet_PPC.ARMV4.CAB",
                             "Eliminator.ARM.CAB", "Runtime.HPC_2577.CAB", "Ushahidi.CAB"}) {
        SCOPED_TRACE(name);
        Loaded l;
        Load(l, RealCabinet(name));
        ASSERT_EQ(l.Rows.size(),
                  l.Setup.Files.size() + SetupDllEntries(l.Cabinet.CABFileContents).size());
        int images = 0;
        for (const TProgramRow& row : l.Rows) {
            EXPECT_TRUE(row.Status == TProgramStatus::Image ||
                        row.Status == TProgramStatus::NotImage)
                << row.Name;
            images += row.Status == TProgramStatus::Image;
            EXPECT_TRUE(row.Mismatch.empty()) << row.Name << ": " << row.Mismatch;
        }
        EXPECT_GT(images, 0);
    }
}

// The .NET Compact Framework's setup DLL has no file row: its row names its cabinet entry,
// follows the file rows, is read as the ARM DLL it is and is listed as the setup DLL.
TEST(ProgramsCorpus, NetcfSetupDllIsAProgramsRowNamedByItsEntry) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    Loaded l;
    Load(l, RealCabinet("BenchmarkDotNet_PPC.ARMV4.CAB"));
    ASSERT_EQ(l.Rows.size(), l.Setup.Files.size() + 1);
    const TProgramRow& dll = l.Rows.back();
    EXPECT_TRUE(dll.SetupDll);
    EXPECT_FALSE(dll.FileRow.has_value());
    EXPECT_EQ(dll.Index, SetupDllRow(l.Setup.Files.size(), 0));
    EXPECT_EQ(dll.Name, "VSD_SE~1.999");
    EXPECT_EQ(dll.Entry, "VSD_SE~1.999");
    EXPECT_EQ(dll.Folder, "");
    EXPECT_EQ(dll.Size, 9216);
    ASSERT_EQ(dll.Status, TProgramStatus::Image);
    EXPECT_TRUE(dll.Image().IsDll);
    EXPECT_EQ(MachineFamily(dll.Image().Machine), "ARM");
    EXPECT_TRUE(dll.Mismatch.empty()) << dll.Mismatch;
    for (size_t i = 0; i + 1 < l.Rows.size(); ++i)
        EXPECT_FALSE(l.Rows[i].SetupDll) << l.Rows[i].Name;

    const TPage page = BuildProgramsPage(l.Rows);
    const auto listed = std::find_if(page.Rows.begin(), page.Rows.end(), [](const TRow& r) {
        return r.Cells[0].Text == "VSD_SE~1.999";
    });
    ASSERT_NE(listed, page.Rows.end());
    EXPECT_EQ(listed->Source, dll.Index);
    EXPECT_EQ(listed->Cells[2].Text, "ARM");
    EXPECT_EQ(listed->Cells[3].Text, "Setup DLL");
    const TPage details = BuildProgramDetailsPage(dll);
    EXPECT_EQ(details.Rows.at(1).Cells.at(0).Text, "Role");
}

// A setup DLL that is no image is still listed (its code still runs at install); the files'
// non-images are not.
TEST(ProgramsPage, SetupDllIsListedWhateverItHolds) {
    TempDir dir;
    DescriptorBuilder b("Dll", "Acme", "%CE1%\\Dll");
    SetupCabinetContents contents;
    contents.FileData[b.File(1, "readme.txt")] = Bytes("text");
    contents.SetupDll = Bytes("MZ but no image");
    const std::string path = dir.File("dll.cab");
    WriteSetupCabinet(path, b.Plan(), contents);
    Loaded l;
    Load(l, path);
    ASSERT_EQ(l.Rows.size(), 2u);
    EXPECT_EQ(l.Rows[1].Status, TProgramStatus::NotImage);
    const TPage page = BuildProgramsPage(l.Rows);
    ASSERT_EQ(page.Rows.size(), 1u);
    EXPECT_EQ(page.Rows[0].Source, 1u);
    EXPECT_EQ(page.Rows[0].Cells[3].Text, "Setup DLL");
}

// A StrongARM setup carrying a MIPS DLL, an x86 program, an assembly, a text and a large file.
TEST(Programs, ImagesAgainstTheSetupsProcessorAreMarkedAndOthersAreNot) {
    TempDir dir;
    DescriptorBuilder b("Mixed", "Acme", "%CE1%\\Mixed", false);
    b.Plan().Processor = 2577;
    const uint16_t bin = b.Dir("%CE1%\\Mixed\\Bin");
    SetupCabinetContents contents;
    contents.FileData[b.File(1, "app.exe")] = Image(0x01c0);
    contents.FileData[b.File(bin, "helper.dll")] = Image(0x0166);
    contents.FileData[b.File(1, "desk.exe")] = Image(0x014c);
    contents.FileData[b.File(1, "managed.exe")] = Image(0x014c, "v2.0.50727");
    contents.FileData[b.File(1, "readme.txt")] = Bytes("MZ but not a program");
    contents.FileData[b.File(1, "big.dat")] = std::vector<uint8_t>(8192, 'x');
    const std::string path = dir.File("mixed.cab");
    WriteSetupCabinet(path, b.Plan(), contents);

    Loaded l;
    Load(l, path, 4096);
    ASSERT_EQ(l.Rows.size(), 6u);
    EXPECT_EQ(l.Rows[0].Status, TProgramStatus::Image);
    EXPECT_EQ(l.Rows[0].Mismatch, "");
    EXPECT_EQ(l.Rows[1].Folder, "%InstallDir%\\Bin\\");
    EXPECT_EQ(l.Rows[1].Mismatch, "The setup's processor is ARM");
    EXPECT_EQ(l.Rows[2].Mismatch, "The setup's processor is ARM");
    EXPECT_EQ(l.Rows[3].Mismatch, "") << "an assembly runs on any CPU";
    EXPECT_EQ(l.Rows[4].Status, TProgramStatus::NotImage);
    EXPECT_FALSE(IsProgramsRow(l.Rows[4]));
    EXPECT_EQ(l.Rows[5].Status, TProgramStatus::TooLarge);
    EXPECT_TRUE(IsProgramsRow(l.Rows[5]));
}

TEST(Programs, WithoutAProcessorTheImagesMostFilesShareDecide) {
    std::vector<TProgramRow> rows(4);
    const uint16_t machines[] = {0x01a2, 0x01c0, 0x01c2, 0x01a6};
    for (size_t i = 0; i < rows.size(); ++i) {
        rows[i].Status = TProgramStatus::Image;
        TPEImage image;
        image.IsImage = true;
        image.Machine = machines[i];
        rows[i].Facts = MakeProgramFacts(image);
    }
    for (const int32_t processor : {0, -1, 12345}) {
        MarkMismatches(rows, processor);
        EXPECT_EQ(rows[0].Mismatch, "The setup's other programs are ARM");
        EXPECT_EQ(rows[1].Mismatch, "");
        EXPECT_EQ(rows[2].Mismatch, "") << "Thumb is ARM";
        EXPECT_EQ(rows[3].Mismatch, "The setup's other programs are ARM");
    }
    MarkMismatches(rows, 10003);
    EXPECT_EQ(rows[0].Mismatch, "");
    EXPECT_EQ(rows[1].Mismatch, "The setup's processor is SH3");
    EXPECT_EQ(rows[3].Mismatch, "The setup's processor is SH3");
    // A tie goes to the family met first.
    rows.resize(2);
    MarkMismatches(rows, 0);
    EXPECT_EQ(rows[0].Mismatch, "");
    EXPECT_EQ(rows[1].Mismatch, "The setup's other programs are SH3");
}

// A program whose compressed bytes are damaged is reported unreadable, and so is the file after
// it that the run never reached; the file before it is still read.
TEST(Programs, DamagedEntryEndsTheRunAndWhatItDidNotFinishIsUnreadable) {
    TempDir dir;
    DescriptorBuilder b("Damaged", "Acme", "%CE1%\\Damaged", false);
    SetupCabinetContents contents;
    contents.FileData[b.File(1, "first.exe")] = Image(0x01c0);
    // Varied bytes, so that the damaged file spans several compressed blocks of its own.
    std::vector<uint8_t> damaged = Image(0x01c0);
    for (uint32_t i = 0; i < 200000; ++i)
        damaged.push_back(static_cast<uint8_t>((i * 2654435761u) >> 24));
    contents.FileData[b.File(1, "damaged.exe")] = damaged;
    // The file after it shares its last compressed block.
    std::vector<uint8_t> after = Image(0x01c0);
    for (uint32_t i = 0; i < 3000; ++i)
        after.push_back(static_cast<uint8_t>((i * 2654435761u) >> 24));
    contents.FileData[b.File(1, "after.exe")] = after;
    const std::string path = dir.File("damaged.cab");
    WriteSetupCabinet(path, b.Plan(), contents);
    std::vector<uint8_t> cabinet = ReadFileBytes(path);
    for (size_t i = cabinet.size() - after.size() - 2000; i < cabinet.size(); ++i)
        cabinet[i] ^= 0x5A;
    WriteFileBytes(path, cabinet);

    Loaded l;
    Load(l, path);
    ASSERT_EQ(l.Rows.size(), 3u);
    EXPECT_EQ(l.Rows[0].Status, TProgramStatus::Image);
    EXPECT_EQ(l.Rows[1].Status, TProgramStatus::Unreadable);
    EXPECT_EQ(l.Rows[2].Status, TProgramStatus::Unreadable);
    EXPECT_TRUE(IsProgramsRow(l.Rows[1]));
}

// Every entry comes from one run over the cabinet: the cabinet file is gone once the first bytes
// arrive, and each later file is still read, from the run that already has it open.
TEST(Programs, EveryFileIsReadInOneRunOverTheCabinet) {
#ifdef _WIN32
    GTEST_SKIP() << "an open file cannot be removed";
#else
    TempDir dir;
    DescriptorBuilder b("Many", "Acme", "%CE1%\\Many", false);
    SetupCabinetContents contents;
    constexpr int kFiles = 60;
    for (int i = 0; i < kFiles; ++i)
        contents.FileData[b.File(1, "file" + std::to_string(i) + (i % 3 ? ".txt" : ".dll"))] =
            i % 3 ? Bytes("text " + std::to_string(i)) : Image(0x01c0);
    const std::string path = dir.File("many.cab");
    WriteSetupCabinet(path, b.Plan(), contents);

    Loaded l;
    l.Setup.Cabinet = &l.Cabinet;
    ASSERT_TRUE(l.Setup.LoadSetup(path, "", false));
    l.Cabinet.ListContents();
    int writes = 0;
    l.Cabinet.OnDecompressProgress = [&](TCABFile*, const std::string&, int32_t, int32_t) {
        if (writes++ == 0) {
            ASSERT_EQ(std::remove(path.c_str()), 0);
        }
    };
    l.Rows = AnalysePrograms(l.Setup, l.Cabinet, l.Cabinet.CABFileContents);
    ASSERT_EQ(l.Rows.size(), static_cast<size_t>(kFiles));
    EXPECT_GE(writes, kFiles);
    for (int i = 0; i < kFiles; ++i)
        EXPECT_EQ(l.Rows[i].Status, i % 3 ? TProgramStatus::NotImage : TProgramStatus::Image)
            << l.Rows[i].Name;
#endif
}

// A caller hears of each row as it is known, first the ones the listing settles, and can stop
// the run: what it did not reach is Unreadable.
TEST(Programs, ProgressTellsEachRowOnceAndAStopEndsTheRun) {
    TempDir dir;
    DescriptorBuilder b("Told", "Acme", "%CE1%\\Told", false);
    SetupCabinetContents contents;
    for (int i = 0; i < 6; ++i)
        contents.FileData[b.File(1, "p" + std::to_string(i) + ".exe")] = Image(0x01c0);
    contents.FileData[b.File(1, "big.exe")] = std::vector<uint8_t>(8192, 'x');
    const std::string path = dir.File("told.cab");
    WriteSetupCabinet(path, b.Plan(), contents);
    Loaded l;
    Load(l, path);
    for (const size_t stopAfter : {size_t{100}, size_t{3}}) {
        std::vector<std::string> told;
        TProgramsProgress progress;
        progress.RowDone = [&](const TProgramRow& row) { told.push_back(row.Name); };
        progress.Stopped = [&] { return told.size() >= stopAfter; };
        const auto rows =
            AnalysePrograms(l.Setup, l.Cabinet, l.Cabinet.CABFileContents, 4096, progress);
        ASSERT_EQ(rows.size(), 7u);
        EXPECT_EQ(told.front(), "big.exe") << "settled by the listing, told first";
        if (stopAfter == 100) {
            EXPECT_EQ(told.size(), 7u);
            for (const TProgramRow& row : rows) {
                if (row.Name != "big.exe") {
                    EXPECT_EQ(row.Status, TProgramStatus::Image);
                }
            }
        } else {
            EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                                    [](const TProgramRow& row) {
                                        return row.Status == TProgramStatus::Image;
                                    }),
                      2);
            EXPECT_EQ(rows[5].Status, TProgramStatus::Unreadable);
        }
    }
}

// Two threads read cabinets at the same time, each as if alone.
TEST(Programs, CabinetsAreReadOnTwoThreadsAtOnce) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    const auto analyse = [](const std::string& name) {
        Loaded l;
        Load(l, RealCabinet(name));
        std::vector<std::string> texts;
        for (const TRow& row : BuildProgramsPage(l.Rows).Rows)
            texts.push_back(row.Cells[0].Text + row.Cells[2].Text + row.Cells[4].Text);
        return texts;
    };
    const auto basic = analyse("Basic.WM.CAB");
    const auto ushahidi = analyse("Ushahidi.CAB");
    for (int round = 0; round < 3; ++round) {
        std::vector<std::string> other;
        std::thread thread([&] { other = analyse("Basic.WM.CAB"); });
        EXPECT_EQ(analyse("Ushahidi.CAB"), ushahidi);
        thread.join();
        EXPECT_EQ(other, basic);
    }
}

// The reader's own answers: an entry the listing puts over the cap is not read and does not end
// the run, an entry wanted twice is read once for both, and a file that is no image keeps only
// the two bytes that say so; an image read after those is whole (the reader's buffer serves
// every entry of the run).
TEST(EntryReader, SkipsWhatIsTooLargeSharesAnEntryAndKeepsLittleOfNonImages) {
    TempDir dir;
    DescriptorBuilder b("Reader", "Acme", "%CE1%\\Reader", false);
    SetupCabinetContents contents;
    const std::vector<uint8_t> image = Image(0x01c0);
    std::vector<std::string> names;
    auto add = [&](const std::string& name, std::vector<uint8_t> data) {
        const uint16_t id = b.File(1, name);
        contents.FileData[id] = std::move(data);
        names.push_back(SetupEntryName(name, id));
    };
    add("big.dat", std::vector<uint8_t>(image.size() + 1, 'x'));
    add("app.exe", image);
    add("notes.txt", Bytes("not an image"));
    add("m.txt", Bytes("M"));
    std::vector<uint8_t> late = Image(0x01a6);
    late.resize(late.size() / 2);
    add("late.dll", late);
    const std::string path = dir.File("reader.cab");
    WriteSetupCabinet(path, b.Plan(), contents);
    TCABFile cabinet;
    cabinet.CABFile = path;
    cabinet.ListContents();
    const auto& items = cabinet.CABFileContents.Items();
    auto index = [&](size_t file) {
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i].Name == names[file]) return i;
        ADD_FAILURE() << names[file];
        return size_t{0};
    };
    const std::vector<size_t> wanted = {index(0), index(1),         index(2), index(3),
                                        index(1), items.size() + 5, index(4)};
    std::vector<int> calls(wanted.size());
    std::vector<std::vector<uint8_t>> bytes(wanted.size());
    std::vector<bool> ok(wanted.size());
    ReadEntries(cabinet, wanted, static_cast<int64_t>(image.size()),
                [&](size_t w, const std::vector<uint8_t>& b, bool o) {
                    ++calls[w];
                    bytes[w] = b;
                    ok[w] = o;
                });
    for (size_t w = 0; w < wanted.size(); ++w)
        EXPECT_EQ(calls[w], 1) << w;
    EXPECT_FALSE(ok[0]);
    EXPECT_TRUE(ok[1]);
    EXPECT_EQ(bytes[1], image);
    EXPECT_TRUE(ok[4]);
    EXPECT_EQ(bytes[4], image);
    EXPECT_TRUE(ok[2]);
    EXPECT_EQ(bytes[2], Bytes("no"));
    EXPECT_TRUE(ok[3]);
    EXPECT_EQ(bytes[3], Bytes("M"));
    EXPECT_FALSE(ok[5]);
    EXPECT_TRUE(ok[6]);
    EXPECT_EQ(bytes[6], late);
}

TEST(ProgramsPage, ListsProgramsAndUnreadFilesByNameWithNullsForWhatIsUnknown) {
    std::vector<TProgramRow> rows(3);
    rows[0].Name = "zeta.exe";
    rows[0].Status = TProgramStatus::Image;
    rows[0].Facts = MakeProgramFacts(ReadPEImage(Image(0x01a6)));
    rows[1].Name = "data.bin";
    rows[1].Status = TProgramStatus::NotImage;
    rows[2].Name = "alpha.dll";
    rows[2].Status = TProgramStatus::TooLarge;
    const TPage page = BuildProgramsPage(rows);
    ASSERT_EQ(page.Rows.size(), 2u);
    EXPECT_EQ(page.Rows[0].Source, 2u);
    EXPECT_EQ(page.Rows[0].Cells[3].Text, "Too large");
    EXPECT_TRUE(std::holds_alternative<std::monostate>(*FindField(page.Rows[0].Record, "CPU")));
    EXPECT_EQ(page.Rows[1].Cells[2].Text, "SH4");
    EXPECT_EQ(std::get<int64_t>(*FindField(page.Rows[1].Record, "Machine")), 0x01a6);
    const TPage details = BuildProgramDetailsPage(rows[0]);
    EXPECT_EQ(details.Rows[2].Cells[1].Text, "SH4 (0x01A6)");
}

TEST(ProgramsPage, SubsystemVersionsHaveTwoMinorDigitsWhateverTheirSize) {
    TPEImage image;
    image.Subsystem = 9; // Windows CE GUI
    const std::pair<std::pair<uint16_t, uint16_t>, const char*> versions[] = {
        {{4, 20}, "4.20"},  {{5, 2}, "5.02"},    {{0, 0}, "0.00"},
        {{10, 9}, "10.09"}, {{3, 100}, "3.100"}, {{65535, 65535}, "65535.65535"}};
    for (const auto& [version, text] : versions) {
        image.SubsystemMajor = version.first;
        image.SubsystemMinor = version.second;
        EXPECT_EQ(SubsystemVersionText(image), text);
        TProgramRow row;
        row.Status = TProgramStatus::Image;
        row.Facts = MakeProgramFacts(image);
        const TDetailFields fields = ProgramDetailFields(row);
        const auto subsystem = std::find_if(fields.begin(), fields.end(), [](const auto& f) {
            return f.first == std::string("Subsystem");
        });
        ASSERT_NE(subsystem, fields.end());
        EXPECT_EQ(subsystem->second, std::string("Windows CE GUI ") + text);
    }
}

namespace {

// A setup of images, texts, a one-byte file, a text that begins "MZ" (notes, no image) and a
// cut image, each named by a row.
std::string MixedSetup(TempDir& dir) {
    DescriptorBuilder b("Mixed", "Acme", "%CE1%\\Mixed", false);
    SetupCabinetContents contents;
    for (int i = 0; i < 12; ++i)
        contents.FileData[b.File(1, "file" + std::to_string(i) + ".dll")] =
            i % 3 == 0 ? Bytes("text " + std::to_string(i)) : Image(i % 2 ? 0x01c0 : 0x014c);
    contents.FileData[b.File(1, "one.bin")] = Bytes("M");
    contents.FileData[b.File(1, "mz.txt")] = Bytes("MZ, and then plain text");
    std::vector<uint8_t> cut = Image(0x01c0);
    cut.resize(100);
    contents.FileData[b.File(1, "cut.exe")] = cut;
    const std::string path = dir.File("mixed.cab");
    WriteSetupCabinet(path, b.Plan(), contents);
    return path;
}

void ExpectSameRows(const std::vector<TProgramRow>& got, const std::vector<TProgramRow>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(want[i].Name);
        EXPECT_EQ(got[i].Status, want[i].Status);
        ASSERT_EQ(got[i].Facts == nullptr, want[i].Facts == nullptr);
        if (!want[i].Facts) continue;
        EXPECT_EQ(got[i].Image().Machine, want[i].Image().Machine);
        EXPECT_EQ(*got[i].Facts->ImportsText, *want[i].Facts->ImportsText);
        EXPECT_EQ(*got[i].Facts->NotesText, *want[i].Facts->NotesText);
        EXPECT_EQ(got[i].Mismatch, want[i].Mismatch);
    }
}

} // namespace

// The listing's run reads every body as the programs reader would, so the programs need no run
// of their own; a run ended part way leaves the rest to that reader, with the same rows.
TEST(EntryImageReader, TheListingsRunReadsWhatTheProgramsReaderWould) {
    TempDir dir;
    const std::string path = MixedSetup(dir);
    Loaded alone;
    Load(alone, path);
    ASSERT_EQ(alone.Rows.size(), 15u);
    const auto mz = std::find_if(alone.Rows.begin(), alone.Rows.end(),
                                 [](const TProgramRow& row) { return row.Name == "mz.txt"; });
    ASSERT_NE(mz, alone.Rows.end());
    ASSERT_EQ(mz->Status, TProgramStatus::NotImage);
    ASSERT_NE(mz->Facts, nullptr) << "its notes say why it is no image";

    for (const uint64_t budget : {TEntryImageReader::kEveryEntryBudget, uint64_t{4000}}) {
        SCOPED_TRACE(budget);
        Loaded l;
        l.Setup.Cabinet = &l.Cabinet;
        TCabinetLook look(path);
        TEntryImageReader reader(budget);
        const bool whole = look.ListAndRead(
            [&](size_t index, const TCABFileEntry& entry) { return reader.Open(index, entry); });
        EXPECT_EQ(whole, budget == TEntryImageReader::kEveryEntryBudget);
        ASSERT_TRUE(l.Setup.LoadSetup(path, "", false, look));
        const std::vector<TEntryImage> images = reader.Take(l.Cabinet.CABFileContents, !whole);
        const size_t read = std::count_if(images.begin(), images.end(),
                                          [](const TEntryImage& i) { return i.Read; });
        const TCABRunCount before = CabinetRunCount();
        l.Rows = AnalysePrograms(l.Setup, l.Cabinet, l.Cabinet.CABFileContents, kProgramReadCap, {},
                                 &images);
        const TCABRunCount after = CabinetRunCount();
        if (whole) {
            EXPECT_EQ(read, 16u) << "every body, the descriptor's too";
            EXPECT_EQ(after.Extractions, before.Extractions) << "no run of its own";
        } else {
            EXPECT_GT(read, 0u);
            EXPECT_LT(read, 15u);
            EXPECT_EQ(after.Extractions, before.Extractions + 1) << "the rest in one run";
        }
        ExpectSameRows(l.Rows, alone.Rows);
    }
}

TEST(EntryImageReader, ImagesOfAnotherListingAreNotTaken) {
    TempDir dir;
    const std::string path = MixedSetup(dir);
    TCABFile listed;
    listed.CABFile = path;
    listed.ListContents();
    const auto readEvery = [&](TEntryImageReader& reader) {
        return TCabinetLook(path).ListAndRead(
            [&](size_t index, const TCABFileEntry& entry) { return reader.Open(index, entry); });
    };
    TEntryImageReader same, changed;
    ASSERT_TRUE(readEvery(same));
    ASSERT_TRUE(readEvery(changed));
    EXPECT_EQ(same.Take(listed.CABFileContents, true).size(), 16u) << "the cabinet listed again";
    // A cabinet replaced between two runs: one entry's size differs.
    TCABFileContents other(nullptr);
    for (size_t i = 0; i < listed.CABFileContents.Items().size(); ++i) {
        TCABFileEntry& entry = other.Add();
        entry = listed.CABFileContents.Items()[i];
        if (i == 1) entry.Size += 1;
    }
    EXPECT_TRUE(changed.Take(other, true).empty());
}

// Images larger than the reading thread may have waiting at once: the run waits for room, and
// every image is read all the same.
TEST(EntryImageReader, LargeImagesWaitForRoomAndAreAllRead) {
    TempDir dir;
    DescriptorBuilder b("Large", "Acme", "%CE1%\\Large", false);
    SetupCabinetContents contents;
    for (int i = 0; i < 5; ++i) {
        std::vector<uint8_t> image = Image(0x01c0);
        image.resize(image.size() + (size_t{6} << 20), static_cast<uint8_t>(i));
        contents.FileData[b.File(1, "big" + std::to_string(i) + ".dll")] = image;
    }
    const std::string path = dir.File("large.cab");
    WriteSetupCabinet(path, b.Plan(), contents);

    Loaded l;
    l.Setup.Cabinet = &l.Cabinet;
    TCabinetLook look(path);
    TEntryImageReader reader;
    ASSERT_TRUE(look.ListAndRead(
        [&](size_t index, const TCABFileEntry& entry) { return reader.Open(index, entry); }));
    ASSERT_TRUE(l.Setup.LoadSetup(path, "", false, look));
    const std::vector<TEntryImage> images = reader.Take(l.Cabinet.CABFileContents, false);
    l.Rows = AnalysePrograms(l.Setup, l.Cabinet, l.Cabinet.CABFileContents, kProgramReadCap, {},
                             &images);
    ASSERT_EQ(l.Rows.size(), 5u);
    for (const TProgramRow& row : l.Rows) {
        EXPECT_EQ(row.Status, TProgramStatus::Image) << row.Name;
        EXPECT_EQ(row.Image().Machine, 0x01c0) << row.Name;
    }
}
