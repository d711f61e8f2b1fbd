#include "cab/Streams.h"
#include "cab/cabfiles.h"
#include "package/Carve.h"
#include "package/Package.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/PackageBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

std::vector<std::string> PathsInside(const TPackage& package) {
    std::vector<std::string> paths;
    for (const TContainedSetup& s : package.Setups)
        paths.push_back(s.PathInside);
    return paths;
}

} // namespace

TEST(Package, ZipWithIniGivesItsComponentsThenTheOtherCabinets) {
    TempDir dir;
    const std::string zip = dir.File("App.zip");
    WriteFileBytes(zip, BuildZip({
                            {"App/readme.txt", Bytes("not a cabinet")},
                            {"App/Loose.CAB", SmallSetupCabinet("Loose")},
                            {"App/app.sh3.cab", SmallSetupCabinet("AppSH3", 0x01a2)},
                            {"App/App.ARM.CAB", SmallSetupCabinet("AppARM")},
                            {"App/App.ini",
                             Bytes(AppManagerIniText({{"App", {"App.ARM.CAB", "App.SH3.CAB"}}}))},
                        }));
    auto package = OpenPackage(zip);
    ASSERT_EQ(package->Kind, TContainerKind::Zip);
    EXPECT_EQ(package->Error, "");
    EXPECT_EQ(PathsInside(*package),
              (std::vector<std::string>{"App/App.ARM.CAB", "App/app.sh3.cab", "App/Loose.CAB"}));
    EXPECT_EQ(package->Setups[0].Component, "App");
    EXPECT_EQ(package->Setups[1].Component, "App");
    EXPECT_EQ(package->Setups[2].Component, "");
    // Unpacked under names of our own, inside the private folder only.
    std::string folder;
    for (const TContainedSetup& s : package->Setups) {
        EXPECT_EQ(s.Kind, TContainerKind::Zip);
        EXPECT_EQ(ReadFileBytes(s.CabinetPath).size() > 0, true);
        folder = std::filesystem::path(s.CabinetPath).parent_path().string();
        EXPECT_EQ(folder, package->Folder.Path());
    }
    EXPECT_EQ(ReadFileBytes(package->Setups[0].CabinetPath), SmallSetupCabinet("AppARM"));
    package.reset();
    EXPECT_FALSE(std::filesystem::exists(folder)) << "the private folder is removed";
}

TEST(Package, ZipBombStopsAtTheUnpackedBudgetWithAClearMessage) {
    TempDir dir;
    const std::string zip = dir.File("bomb.zip");
    WriteZipBomb(zip, 64ull << 20);
    EXPECT_LT(ReadFileBytes(zip).size(), 1u << 20);
    TPackageBudget budget;
    budget.MaxUnpacked = 8 << 20;
    const auto package = OpenPackage(zip, budget);
    EXPECT_EQ(package->Kind, TContainerKind::Zip);
    EXPECT_EQ(package->Error, "the package unpacks to more than 8 MiB; stopped");
    EXPECT_TRUE(package->Setups.empty());
}

TEST(Package, ProgramWithCabinetsAppendedIsCarvedPastAFakeHeader) {
    TempDir dir;
    const std::vector<uint8_t> first = SmallSetupCabinet("First");
    const std::vector<uint8_t> second = SmallSetupCabinet("Second", 0x01a2);
    for (const bool fake : {false, true}) {
        const std::vector<uint8_t> program = SelfExtractingProgram({first, second}, fake);
        const std::string exe = dir.File(fake ? "fake.exe" : "plain.exe");
        WriteFileBytes(exe, program);
        const auto package = OpenPackage(exe);
        ASSERT_EQ(package->Kind, TContainerKind::Program);
        ASSERT_EQ(package->Setups.size(), 2u) << fake;
        const int64_t secondAt = static_cast<int64_t>(program.size() - second.size());
        const int64_t firstAt = secondAt - 13 - static_cast<int64_t>(first.size());
        EXPECT_EQ(package->Setups[0].Offset, firstAt);
        EXPECT_EQ(package->Setups[1].Offset, secondAt);
        EXPECT_EQ(package->Setups[1].PathInside, "cabinet at offset " + std::to_string(secondAt));
        EXPECT_EQ(ReadFileBytes(package->Setups[0].CabinetPath), first);
        EXPECT_EQ(ReadFileBytes(package->Setups[1].CabinetPath), second);
    }
}

TEST(Carve, RefusesInconsistentCutAndOverlappingHeaders) {
    const std::vector<uint8_t> cabinet = SmallSetupCabinet("One");
    int64_t size = 0;
    ASSERT_TRUE(ConsistentCabinetAt(cabinet.data(), cabinet.size(), cabinet.size(), size));
    EXPECT_EQ(size, static_cast<int64_t>(cabinet.size()));
    // The declared size does not fit in what is left of the file.
    EXPECT_FALSE(ConsistentCabinetAt(cabinet.data(), cabinet.size(), cabinet.size() - 1, size));
    // Cut at every byte: short of the end of the file table it is refused, past it taken.
    const size_t filesAt = cabinet[16] | cabinet[17] << 8;
    size_t firstTaken = 0;
    for (size_t cut = 0; cut <= cabinet.size() && firstTaken == 0; ++cut)
        if (ConsistentCabinetAt(cabinet.data(), cut, cabinet.size(), size)) firstTaken = cut;
    EXPECT_GT(firstTaken, filesAt + 16) << "the file table is read whole";
    std::vector<uint8_t> badVersion = cabinet;
    badVersion[25] = 2;
    EXPECT_FALSE(
        ConsistentCabinetAt(badVersion.data(), badVersion.size(), badVersion.size(), size));
    std::vector<uint8_t> badFolderIndex = cabinet;
    badFolderIndex[filesAt + 8] = 7; // the first file's folder: there is one folder
    EXPECT_FALSE(ConsistentCabinetAt(badFolderIndex.data(), badFolderIndex.size(),
                                     badFolderIndex.size(), size));
    // A cabinet stored inside the first one is not taken again: the two would overlap.
    std::vector<uint8_t> outer = PlainCabinet({{"inner.cab", cabinet}});
    TMemoryStream stream(outer);
    const TCarveResult found =
        FindStoredCabinets(stream, 10, std::chrono::steady_clock::now() + std::chrono::seconds(10));
    ASSERT_EQ(found.Cabinets.size(), 1u);
    EXPECT_EQ(found.Cabinets[0].Offset, 0);
}

// The search finds a cabinet wherever it starts, after bytes made of the pieces of its
// signature ("MS", "SC", "MSC"), and where the file is read in two pieces around it.
TEST(Package, CarvingFindsACabinetAtEveryOffset) {
    const std::vector<uint8_t> cabinet = SmallSetupCabinet("Here");
    const auto find = [](const std::vector<uint8_t>& bytes) {
        TMemoryStream stream(bytes);
        return FindStoredCabinets(stream, 10,
                                  std::chrono::steady_clock::now() + std::chrono::seconds(10));
    };
    for (size_t offset = 0; offset < 200; ++offset) {
        std::vector<uint8_t> bytes(offset);
        for (size_t i = 0; i < offset; ++i)
            bytes[i] = static_cast<uint8_t>("MSCSMSCMS"[i % 9]);
        bytes.insert(bytes.end(), cabinet.begin(), cabinet.end());
        bytes.resize(bytes.size() + offset % 70, 'M');
        const TCarveResult found = find(bytes);
        ASSERT_EQ(found.Cabinets.size(), 1u) << offset;
        EXPECT_EQ(found.Cabinets[0].Offset, static_cast<int64_t>(offset));
    }
    for (const size_t piece : {size_t{1} << 20, size_t{4} << 20})
        for (const int shift : {-70, -5, -4, -3, -2, -1, 0, 1, 2, 63}) {
            const size_t offset = piece + static_cast<size_t>(static_cast<long>(shift));
            std::vector<uint8_t> bytes(offset, 'S');
            bytes.insert(bytes.end(), cabinet.begin(), cabinet.end());
            const TCarveResult found = find(bytes);
            ASSERT_EQ(found.Cabinets.size(), 1u) << shift;
            EXPECT_EQ(found.Cabinets[0].Offset, static_cast<int64_t>(offset));
        }
}

TEST(Package, CabinetInACabinetIsOpenedToAFixedDepth) {
    TempDir dir;
    const std::vector<uint8_t> setup = SmallSetupCabinet("Inner");
    const std::vector<uint8_t> middle =
        PlainCabinet({{"Inner.cab", setup}, {"note.txt", Bytes("x")}});
    const std::string outer = dir.File("Runtime.cab");
    WriteFileBytes(outer, PlainCabinet({{"Middle.cab", middle}, {"Other.cab", setup}}));
    const auto package = OpenPackage(outer);
    ASSERT_EQ(package->Kind, TContainerKind::Cabinet);
    EXPECT_EQ(PathsInside(*package),
              (std::vector<std::string>{"Middle.cab/Inner.cab", "Other.cab"}));
    EXPECT_EQ(ReadFileBytes(package->Setups[0].CabinetPath), setup);
    TPackageBudget shallow;
    shallow.MaxDepth = 1;
    // One level only: the middle cabinet is given as it is, to be reported as no setup.
    EXPECT_EQ(PathsInside(*OpenPackage(outer, shallow)),
              (std::vector<std::string>{"Middle.cab", "Other.cab"}));
}

// A cabinet of cabinets cut part way gives the cabinets before the cut and says that the rest
// could not be read, instead of passing for a whole one.
TEST(Package, CabinetOfCabinetsCutPartWaySaysSo) {
    TempDir dir;
    const std::vector<uint8_t> setup = SmallSetupCabinet("Inner");
    std::vector<uint8_t> outer = BuildCabinet({{"First.cab", setup},
                                               {"filler.bin", std::vector<uint8_t>(100000, 'x')},
                                               {"Second.cab", setup}},
                                              FixtureCompression::None);
    WriteFileBytes(dir.File("Whole.cab"), outer);
    outer.resize(outer.size() - setup.size() - 20000);
    WriteFileBytes(dir.File("Cut.cab"), outer);
    const auto whole = OpenPackage(dir.File("Whole.cab"));
    EXPECT_EQ(whole->Error, "");
    EXPECT_EQ(PathsInside(*whole), (std::vector<std::string>{"First.cab", "Second.cab"}));
    const auto cut = OpenPackage(dir.File("Cut.cab"));
    ASSERT_EQ(cut->Kind, TContainerKind::Cabinet);
    EXPECT_EQ(PathsInside(*cut), (std::vector<std::string>{"First.cab"}));
    EXPECT_EQ(ReadFileBytes(cut->Setups[0].CabinetPath), setup);
    // The package is the cabinet itself: its name is the caller's to give.
    EXPECT_EQ(cut->Error, "the cabinet could not be read to its end; the cabinets in it after the "
                          "damage are left out");
}

TEST(Package, SetupCabinetsAndOtherFilesAreNoContainers) {
    TempDir dir;
    WriteFileBytes(dir.File("setup.cab"), SmallSetupCabinet("Plain"));
    WriteFileBytes(dir.File("text.txt"), Bytes("just text"));
    WriteFileBytes(dir.File("empty"), {});
    WriteFileBytes(dir.File("plain.exe"), SelfExtractingProgram({}, true));
    for (const char* name : {"setup.cab", "text.txt", "empty", "plain.exe", "missing"}) {
        const auto package = OpenPackage(dir.File(name));
        EXPECT_FALSE(package->IsContainer()) << name;
        EXPECT_TRUE(package->Setups.empty()) << name;
    }
}

TEST(Package, InstallerOfAnotherFormatIsNamed) {
    TempDir dir;
    std::vector<uint8_t> program = SelfExtractingProgram({}, false);
    const std::vector<uint8_t> marker = Bytes("Inno Setup Setup Data (5.5.7)");
    program.insert(program.end(), marker.begin(), marker.end());
    WriteFileBytes(dir.File("setup.exe"), program);
    const auto package = OpenPackage(dir.File("setup.exe"));
    EXPECT_EQ(package->Kind, TContainerKind::Installer);
    EXPECT_NE(package->Error.find("an Inno Setup installer"), std::string::npos) << package->Error;
    EXPECT_TRUE(package->Setups.empty());
}

TEST(Package, TooManyCabinetsStopWithAMessage) {
    TempDir dir;
    const std::vector<uint8_t> cabinet = SmallSetupCabinet("Many");
    WriteFileBytes(dir.File("many.exe"), SelfExtractingProgram({cabinet, cabinet, cabinet}, false));
    TPackageBudget budget;
    budget.MaxCabinets = 2;
    const auto package = OpenPackage(dir.File("many.exe"), budget);
    EXPECT_EQ(package->Setups.size(), 2u);
    EXPECT_EQ(package->Error, "the package holds more than 2 cabinets; the rest are left out");
}

// Two setups installed from the package's embedded cabinet, named by its File table, and one in
// its Binary table.
TEST(Package, MsiGivesTheCabinetsOfItsStreamsUnderTheFileTablesNames) {
    TempDir dir;
    const std::string msi = dir.File("App.msi");
    const std::vector<uint8_t> arm = SmallSetupCabinet("AppARM");
    if (!BuildMsiWithWixl(
            dir.Path(), msi,
            {{"App.ARM.CAB", arm}, {"App.SH3.CAB", SmallSetupCabinet("AppSH3", 0x01a2)}},
            {{"Runtime", SmallSetupCabinet("Runtime")}}))
        GTEST_SKIP() << "wixl is not installed";
    const auto package = OpenPackage(msi);
    ASSERT_EQ(package->Kind, TContainerKind::Msi);
    EXPECT_EQ(package->Error, "");
    std::vector<std::string> paths = PathsInside(*package);
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{"Binary.Runtime", "app.cab/App.ARM.CAB",
                                               "app.cab/App.SH3.CAB"}));
    for (const TContainedSetup& s : package->Setups) {
        EXPECT_EQ(s.Kind, TContainerKind::Msi);
        if (s.PathInside == "app.cab/App.ARM.CAB") {
            EXPECT_EQ(ReadFileBytes(s.CabinetPath), arm);
        }
    }
}

// An embedded cabinet that holds no cabinets is given as it is, written out once, to be reported
// as no setup; a setup in the Binary table beside it is still found.
TEST(Package, MsiCabinetOfNoCabinetsIsGivenAsItIs) {
    TempDir dir;
    const std::string msi = dir.File("Docs.msi");
    if (!BuildMsiWithWixl(dir.Path(), msi, {{"readme.txt", Bytes("read me first")}},
                          {{"Runtime", SmallSetupCabinet("Runtime")}}))
        GTEST_SKIP() << "wixl is not installed";
    const auto package = OpenPackage(msi);
    ASSERT_EQ(package->Kind, TContainerKind::Msi);
    EXPECT_EQ(package->Error, "");
    std::vector<std::string> paths = PathsInside(*package);
    std::sort(paths.begin(), paths.end());
    ASSERT_EQ(paths, (std::vector<std::string>{"Binary.Runtime", "app.cab"}));
    for (const TContainedSetup& s : package->Setups) {
        ASSERT_TRUE(std::filesystem::exists(s.CabinetPath)) << s.PathInside;
        if (s.PathInside != "app.cab") continue;
        TCABFile cab;
        cab.CABFile = s.CabinetPath;
        cab.ListContents();
        ASSERT_EQ(cab.CABFileContents.Count(), 1);
        TMemoryStream text;
        ASSERT_TRUE(cab.ExtractToStream(text, cab.CABFileContents.Item(0).Name));
        EXPECT_EQ(text.Size(), 13);
    }
    // The private folder holds the two cabinets and nothing else.
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(package->Folder.Path()))
        ++files;
    EXPECT_EQ(files, 2u);
}

// A small .msi whose embedded cabinet carries a cabinet that inflates far past the budget: the
// stream is looked into in memory, the inner cabinet taken out (it is small, and no setup), and
// its bomb stopped at the same limit as a zip's, leaving nothing behind.
TEST(Package, MsiBombStopsAtTheUnpackedBudgetWithAClearMessage) {
    TempDir dir;
    const std::string msi = dir.File("bomb.msi");
    if (!BuildMsiWithWixl(dir.Path(), msi,
                          {{"bomb.cab", BuildZeroCabinet("zeros.bin", 64u << 20, 64u << 20)}}, {}))
        GTEST_SKIP() << "wixl is not installed";
    EXPECT_LT(ReadFileBytes(msi).size(), 1u << 20);
    TPackageBudget budget;
    budget.MaxUnpacked = 8 << 20;
    auto package = OpenPackage(msi, budget);
    EXPECT_EQ(package->Kind, TContainerKind::Msi);
    EXPECT_EQ(package->Error, "the package unpacks to more than 8 MiB; stopped");
    ASSERT_EQ(PathsInside(*package), std::vector<std::string>{"app.cab/bomb.cab"});
    EXPECT_LT(ReadFileBytes(package->Setups[0].CabinetPath).size(), 1u << 20);
    const std::string folder = package->Folder.Path();
    package.reset();
    EXPECT_FALSE(std::filesystem::exists(folder));
}
