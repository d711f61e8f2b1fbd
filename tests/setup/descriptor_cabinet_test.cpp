#include "Parse.h"
#include "cab/Errors.h"
#include "cab/cabfiles.h"
#include "setup/CESetup.h"
#include "tests/support/Corpus.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

DescriptorPlan SmallSetup() {
    DescriptorBuilder b("Cab Demo", "Co", "%CE1%\\CabDemo", true);
    const uint16_t exe = b.File(1, "demo.exe");
    b.File(b.Dir("%CE2%"), "demo.dll");
    b.Shortcut("Demo", exe);
    return b.Plan();
}

TEST(DescriptorEntry, OnlyNumberZeroIsTheDescriptor) {
    TSetupINF setup;
    EXPECT_TRUE(setup.IsDescriptorEntry("SETUP.000"));
    EXPECT_TRUE(setup.IsDescriptorEntry("x.0"));
    EXPECT_TRUE(setup.IsDescriptorEntry("x.a0b0"));
    EXPECT_FALSE(setup.IsDescriptorEntry("x.001"));
    EXPECT_FALSE(setup.IsDescriptorEntry("x.999"));
    EXPECT_FALSE(setup.IsDescriptorEntry("_setup.xml"));
    EXPECT_FALSE(setup.IsDescriptorEntry("noext"));
    EXPECT_THROW((void)setup.IsDescriptorEntry("x.99999999999"), EConvertError);
}

TEST(FindDescriptor, FirstEntryWithExtension000IsExtracted) {
    TempDir dir;
    const DescriptorPlan plan = SmallSetup();
    SetupCabinetContents contents;
    contents.Stem = "DEMO";
    contents.SetupDll = Bytes("MZ dll");
    WriteSetupCabinet(dir.File("demo.cab"), plan, contents);
    TCABFile cabinet(nullptr);
    cabinet.CABFile = dir.File("demo.cab");
    TSetupINF setup;
    TMemoryStream stream;
    ASSERT_TRUE(setup.FindDescriptor(cabinet, stream));
    EXPECT_EQ(stream.Data(), WriteDescriptorBytes(plan));
}

TEST(FindDescriptor, ExtensionMustBe000ExactlyIgnoringCase) {
    TempDir dir;
    const std::vector<uint8_t> descriptor = WriteDescriptorBytes(SmallSetup());
    WriteCabinet(dir.File("a.cab"), {{"setup.0", descriptor}, {"setup.0000", descriptor}},
                 FixtureCompression::None);
    TCABFile cabinet(nullptr);
    cabinet.CABFile = dir.File("a.cab");
    TSetupINF setup;
    TMemoryStream stream;
    EXPECT_FALSE(setup.FindDescriptor(cabinet, stream));
    WriteCabinet(dir.File("b.cab"), {{"other.txt", Bytes("x")}, {"dir\\SETUP.000", descriptor}},
                 FixtureCompression::None);
    cabinet.CABFile = dir.File("b.cab");
    EXPECT_TRUE(setup.FindDescriptor(cabinet, stream));
}

TEST(LoadDescriptor, CabinetSetupLoadsThroughTheHandler) {
    TempDir dir;
    WriteSetupCabinet(dir.File("demo.cab"), SmallSetup());
    TCABFile cabinet(nullptr);
    TSetupINF setup;
    setup.Cabinet = &cabinet;
    ASSERT_TRUE(setup.IsSetupCabinet(dir.File("demo.cab")));
    ASSERT_TRUE(setup.LoadSetup(dir.File("demo.cab"), "", false));
    ASSERT_EQ(setup.FileCount(), 2);
    TCECAB_File file;
    setup.GetFile(1, file);
    EXPECT_EQ(file.Name, "demo.dll");
    EXPECT_EQ(file.Dir, "%WinDir%");
    EXPECT_EQ(setup.Project.InstallDir, "%ProgramFilesDir%\\CabDemo");
}

TEST(LoadDescriptor, CabinetWithoutDescriptorIsNoSetup) {
    TempDir dir;
    WriteCabinet(dir.File("plain.cab"), {{"readme.txt", Bytes("hello")}},
                 FixtureCompression::MSZIP);
    TCABFile cabinet(nullptr);
    TSetupINF setup;
    setup.Cabinet = &cabinet;
    EXPECT_FALSE(setup.IsSetupCabinet(dir.File("plain.cab")));
    EXPECT_FALSE(setup.LoadSetup(dir.File("plain.cab"), "", false));
}

// A stream that takes no bytes, as a full disk would.
class TRefusingStream : public TMemoryStream {
  public:
    int64_t Write(const void*, int64_t) override { return -1; }
};

TEST(FindDescriptor, AStreamThatRefusesTheBytesIsAnError) {
    TempDir dir;
    WriteSetupCabinet(dir.File("demo.cab"), SmallSetup());
    TCABFile cabinet(nullptr);
    cabinet.CABFile = dir.File("demo.cab");
    TSetupINF setup;
    TRefusingStream stream;
    EXPECT_THROW((void)setup.FindDescriptor(cabinet, stream), EStreamError);
}

// A cabinet cut inside its descriptor entry, where what was read before the cut still decodes
// (the descriptor's records end before its padding does): the model shows what was decoded, and
// the load says it is incomplete, naming the entry.
TEST(LoadDescriptor, ADescriptorCutWhereItStillDecodesIsNoCompleteLoad) {
    TempDir dir;
    std::vector<uint8_t> padded = WriteDescriptorBytes(SmallSetup());
    padded.resize(padded.size() + 100000, 0);
    std::vector<uint8_t> cabinet = BuildCabinet({{"SETUP.000", padded}}, FixtureCompression::None);
    WriteFileBytes(dir.File("whole.cab"), cabinet);
    cabinet.resize(cabinet.size() - 20000);
    WriteFileBytes(dir.File("cut.cab"), cabinet);
    for (const char* name : {"whole.cab", "cut.cab"}) {
        SCOPED_TRACE(name);
        const bool cut = std::string(name) == "cut.cab";
        TCABFile listing(nullptr);
        TCESetup setup;
        setup.Cabinet = &listing;
        EXPECT_EQ(setup.LoadSetup(dir.File(name), "", false), !cut);
        EXPECT_EQ(setup.Format, kFormatBinary);
        EXPECT_EQ(setup.FileCount(), 2);
        EXPECT_EQ(setup.DescriptorError, cut ? "SETUP.000 could not be read whole" : "");
        // The handler alone, without a look, says the same.
        TSetupINF handler;
        handler.Cabinet = &listing;
        EXPECT_EQ(handler.LoadSetup(dir.File(name), "", false), !cut);
        EXPECT_EQ(handler.DescriptorError, setup.DescriptorError);
    }
}

TEST(SetupCabinetBuilder, EntriesAreNamedByShortStemAndId) {
    EXPECT_EQ(SetupEntryName("BenchmarkDotNet.exe", 1), "BENCHMAR.001");
    EXPECT_EQ(SetupEntryName("a b.dll", 42), "A_B.042");
    EXPECT_EQ(SetupEntryName("x", 1234), "X.1234");
    SetupCabinetContents contents;
    contents.SetupDll = Bytes("dll");
    const auto entries = SetupCabinetEntries(SmallSetup(), contents);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].Name, "SETUP.000");
    EXPECT_EQ(entries[1].Name, "DEMO.001");
    EXPECT_EQ(entries[2].Name, "DEMO.002");
    EXPECT_EQ(entries[3].Name, "SETUP.999");
}

struct RealCase {
    std::string File;
    std::string SoftwareName, CompanyName, InstallDir, MinVersion, MaxVersion;
    int32_t Processor;
    size_t Files, RegPaths, RegValues, Shortcuts;
};

// Values read from the descriptor bytes by hand.
const std::vector<RealCase> kReal = {
    {"App.WM.CAB", "My Great App", "MyCo", "%ProgramFilesDir%", "4.2.0", "100.0.3758096384", 2577,
     4, 25, 29, 1},
    {"Basic.WM.CAB", "Basic", "NSB", "%ProgramFilesDir%", "4.2.0", "100.0.3758096384", 2577, 54, 41,
     46, 1},
    {"BenchmarkDotNet_PPC.ARMV4.CAB", "BenchmarkDotNet", "My Company",
     "%ProgramFilesDir%\\BenchmarkDotNet", "3.0.0", "4.99.0", 0, 3, 0, 0, 1},
    {"Eliminator.ARM.CAB", "Eliminator", "Omnytex", "%ProgramFilesDir%\\Eliminator", "0.0.0",
     "0.0.0", 2577, 1, 0, 0, 1},
    {"Runtime.HPC_2577.CAB", "Runtime", "NSB", "%ProgramFilesDir%", "4.0.0", "100.0.0", 2577, 4, 29,
     33, 0},
};

TEST(RealCabinets, DescriptorsDecodeToWhatTheirBytesSay) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus not present";
    for (const RealCase& real : kReal) {
        SCOPED_TRACE(real.File);
        const std::string path = RealCabinet(real.File);
        if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " missing";
        TCABFile cabinet(nullptr);
        TSetupINF setup;
        setup.Cabinet = &cabinet;
        ASSERT_TRUE(setup.LoadSetup(path, "", false));
        EXPECT_EQ(setup.Project.CE4Plus, 0);
        EXPECT_EQ(setup.Project.SoftwareName, real.SoftwareName);
        EXPECT_EQ(setup.Project.CompanyName, real.CompanyName);
        EXPECT_EQ(setup.Project.InstallDir, real.InstallDir);
        EXPECT_EQ(setup.Project.MinVersion, real.MinVersion);
        EXPECT_EQ(setup.Project.MaxVersion, real.MaxVersion);
        EXPECT_EQ(setup.Project.Processor, real.Processor);
        EXPECT_EQ(setup.Project.UnsupportedDevices, "");
        EXPECT_EQ(setup.Files.size(), real.Files);
        EXPECT_EQ(setup.RegPaths.size(), real.RegPaths);
        EXPECT_EQ(setup.RegValues.size(), real.RegValues);
        EXPECT_EQ(setup.Shortcuts.size(), real.Shortcuts);
    }
}

TEST(RealCabinets, AppWmFoldersShortcutAndValues) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus not present";
    TCABFile cabinet(nullptr);
    TSetupINF setup;
    setup.Cabinet = &cabinet;
    ASSERT_TRUE(setup.LoadSetup(RealCabinet("App.WM.CAB"), "", false));
    ASSERT_EQ(setup.Files.size(), 4u);
    EXPECT_EQ(setup.Files[0].Name, "basic.exe");
    EXPECT_EQ(setup.Files[0].Dir, "%InstallDir%\\nsbasic");
    EXPECT_EQ(setup.Files[1].Dir, "%WinDir%");
    EXPECT_EQ(setup.Files[1].Flags, 0x10000000);
    EXPECT_EQ(setup.Strings[0].Id, 2); // strings 1 and 2 both hold %CE1%
    ASSERT_EQ(setup.Shortcuts.size(), 1u);
    EXPECT_EQ(setup.Shortcuts[0].Name, "My Great App");
    EXPECT_EQ(setup.Shortcuts[0].Folder, "%ProgramsDir%");
    EXPECT_EQ(setup.Shortcuts[0].FileName, "project1.exe");
    ASSERT_EQ(setup.RegValues.size(), 29u);
    EXPECT_EQ(setup.RegValues[0].Root, 0);
    EXPECT_EQ(setup.RegValues[0].KeyPath, "CLSID");
    EXPECT_EQ(setup.RegValues[0].Data, "VB Script Language Authoring");
    EXPECT_EQ(setup.RegValues[28].Data, "\"%InstallDir%\\nsbasic\\basic.exe\" \"%1\"");
}

TEST(RealCabinets, EliminatorShortcutFolderComesFromItsDirectory) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus not present";
    TCABFile cabinet(nullptr);
    TSetupINF setup;
    setup.Cabinet = &cabinet;
    ASSERT_TRUE(setup.LoadSetup(RealCabinet("Eliminator.ARM.CAB"), "", false));
    ASSERT_EQ(setup.Shortcuts.size(), 1u);
    EXPECT_EQ(setup.Shortcuts[0].Folder, "%ProgramsDir%");
    EXPECT_EQ(setup.Shortcuts[0].FileName, "Eliminator.exe");
    EXPECT_EQ(setup.Files[0].Dir, "%InstallDir%");
}

} // namespace
