#include "Parse.h"

#include <gtest/gtest.h>

namespace {

TEST(StringRows, InstallDirStringGivesItsIdToRowZero) {
    DescriptorBuilder b("Demo", "Co", "%CE1%\\Demo", false);
    b.String("Data");
    b.String("%ce1%\\DEMO"); // same folder, other spelling: the last match keeps row 0
    b.String("%CE2%");
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, b.Plan()));
    const std::vector<TCEINFString> expected = {{3, "%InstallDir%"}, {2, "Data"}, {4, "%WinDir%"}};
    EXPECT_EQ(setup.Strings, expected);
}

TEST(StringRows, StringCountZeroLeavesOnlyRowZero) {
    DescriptorPlan plan;
    plan.AppName = "Empty";
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, plan));
    ASSERT_EQ(setup.Strings.size(), 1u);
    EXPECT_EQ(setup.Strings[0].Id, 0);
    EXPECT_EQ(setup.Strings[0].Text, "%InstallDir%");
    ASSERT_EQ(setup.Dirs.size(), 1u);
    EXPECT_EQ(setup.Dirs[0].Path, "%InstallDir%");
    EXPECT_TRUE(setup.Files.empty() && setup.RegPaths.empty() && setup.RegValues.empty());
}

TEST(StringRows, DuplicateIdsFindTheFirstAndMissingIdsAddNoRow) {
    DescriptorPlan plan;
    plan.Strings = {{1, "%CE1%", {}}, {3, "first", {}}, {3, "second", {}}};
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, plan));
    const std::vector<TCEINFString> expected = {{1, "%InstallDir%"}, {3, "first"}};
    EXPECT_EQ(setup.Strings, expected);
}

TEST(StringRows, LiteralInstallDirStringIsTranslatedBeforeTheComparison) {
    // The text of string 1 becomes "%InstallDir%" itself, which differs from InstallDir.
    DescriptorPlan plan;
    plan.Strings = {{1, "\\Demo", {}}};
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, plan));
    EXPECT_EQ(setup.Project.InstallDir, "\\Demo");
    const std::vector<TCEINFString> expected = {{0, "%InstallDir%"}, {1, "%InstallDir%"}};
    EXPECT_EQ(setup.Strings, expected);
}

TEST(StringRows, OddLengthTextsPutLaterFieldsAtOddOffsets) {
    DescriptorBuilder b("Odd", "Co", "\\A", false); // "\A" + NUL: 3 bytes
    const uint16_t dir = b.Dir("\\A\\bcd");
    b.File(dir, "x.exe", 0x12345678);
    const uint16_t key = b.RegKey(3, "Software\\Odd");
    b.RegNumber(key, "N", 0x01020304);
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, b.Plan()));
    ASSERT_EQ(setup.Files.size(), 1u);
    EXPECT_EQ(setup.Files[0].Flags, 0x12345678);
    EXPECT_EQ(setup.Files[0].Dir, "%InstallDir%\\bcd");
    ASSERT_EQ(setup.RegValues.size(), 1u);
    EXPECT_EQ(setup.RegValues[0].Data, "16909060");
}

TEST(DirRows, InstallDirEntryGivesItsIdToRowZeroInTableOrder) {
    DescriptorPlan plan;
    plan.Strings = {{1, "%CE1%\\Demo", {}}, {2, "Bin", {}}};
    plan.Dirs = {{5, {2}, {}}, {9, {1}, {}}, {4, {1, 2}, {}}, {7, {1}, {}}, {5, {}, {}}};
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, plan));
    const std::vector<TCEINFDir> expected = {{7, "%InstallDir%", {}},
                                             {5, "Bin", {}},
                                             {4, "%ProgramFilesDir%\\Demo\\Bin", {}},
                                             {5, "", {}}};
    EXPECT_EQ(setup.Dirs, expected);
}

TEST(FileRows, FolderComesFromTheFirstDirectoryOfTheId) {
    DescriptorPlan plan;
    plan.Strings = {{1, "%CE1%\\Demo", {}}, {2, "Bin", {}}, {3, "%CE2%", {}}, {4, "%CE14%", {}}};
    plan.Dirs = {{1, {1}, {}}, {2, {1, 2}, {}}, {3, {3}, {}}, {3, {2}, {}}, {4, {4}, {}}};
    plan.Files = {{1, 1, 11, 0x80000000u, "a.exe", {}}, {2, 2, 22, 0, "b.dll", {}},
                  {3, 3, 33, 0, "c.dll", {}},           {4, 9, 44, 0, "d.txt", {}},
                  {5, 4, 55, 0, "e.txt", {}},           {7, 1, 77, 0, "g.txt", {}}};
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, plan));
    ASSERT_EQ(setup.Files.size(), 5u); // id 6 is missing, id 7 is beyond the count
    EXPECT_EQ(setup.Files[0], (TCEINFFile{1, "%InstallDir%", 11, static_cast<int32_t>(0x80000000u),
                                          "a.exe", "", 0}));
    EXPECT_EQ(setup.Files[1].Dir, "%InstallDir%\\Bin");
    EXPECT_EQ(setup.Files[2].Dir, "%WinDir%");
    EXPECT_EQ(setup.Files[3].Dir, "");
    EXPECT_EQ(setup.Files[4].Dir, "%CE14%"); // 14 is a shortcut folder's number only
    EXPECT_EQ(setup.Files[4].FileNo, 55);
}

TEST(RegPathRows, RootCountsFromOneAndPathIsTranslated) {
    DescriptorBuilder b("Demo", "Co", "%CE1%\\Demo", false);
    b.RegKey(1, ".demo");
    b.RegKey(2, "Software\\Demo Co\\Demo");
    b.RegKey(3, "Software\\%CE2%");
    b.RegKey(0, "Odd");
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, b.Plan()));
    const std::vector<TCEINFRegPath> expected = {{1, 0, ".demo", {}},
                                                 {2, 1, "Software\\Demo Co\\Demo", {}},
                                                 {3, 2, "Software\\%WinDir%", {}},
                                                 {4, -1, "Odd", {}}};
    EXPECT_EQ(setup.RegPaths, expected);
}

TEST(RegValueRows, KeyOfTheValueGivesRootAndPath) {
    DescriptorBuilder b("Demo", "Co", "%CE1%\\Demo", false);
    const uint16_t key = b.RegKey(3, "Software\\Demo");
    b.RegString(key, "Path", "%CE1%\\Demo\\demo.exe");
    b.RegString(77, "Lost", "x");
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, b.Plan()));
    ASSERT_EQ(setup.RegValues.size(), 2u);
    EXPECT_EQ(setup.RegValues[0], (TCEINFRegValue{1, 2, "Software\\Demo", 0, "Path",
                                                  "%ProgramFilesDir%\\Demo\\demo.exe", 0}));
    EXPECT_EQ(setup.RegValues[1].Root, -1);
    EXPECT_EQ(setup.RegValues[1].KeyPath, "");
    EXPECT_EQ(setup.RegValues[1].Data, "x");
}

struct TypeCase {
    uint16_t Marker;
    uint32_t Flags;
    std::vector<uint8_t> Data;
    int32_t Type;
    std::string Text;
};

TEST(RegValueRows, TypeComesFromEntryBytesFiveToEight) {
    const std::vector<uint8_t> number = RegNumberData(0xFFFFFFFF);
    const std::vector<TypeCase> cases = {
        {1, 0x00000000, RegStringData("text"), 0, "text"},
        {0, 0x00000002, RegStringData("text"), 0, "text"},
        {0, 0x00010001, number, 1, "4294967295"},
        {0, 0x00010003, number, 1, "4294967295"},
        {0, 0xFF010001, number, 1, "4294967295"}, // byte 9 is not examined
        {0, 0x00000001, {0x0A, 0xFF}, 2, "0A FF"},
        {0, 0x00000003, {0x00, 0x7f, 0x10}, 2, "00 7F 10"},
        {0, 0x00010000, RegMultiStringData({"a", "b"}), 3, "a;b"},
        {0, 0x00010002, RegMultiStringData({"x"}), 3, "x"},
        {0, 0x00000100, RegStringData("text"), 0, ""},      // byte 7 set
        {0x0100, 0x00000000, RegStringData("text"), 0, ""}, // byte 5 set
        {0, 0x00000004, RegStringData("text"), 0, ""},      // byte 6 other bits
        {0, 0x00020000, RegStringData("text"), 0, ""},      // byte 8 is 2
        {0, 0x00010001, {}, 0, ""},                         // no data
        {0, 0x00000001, {}, 0, ""},
    };
    DescriptorBuilder b("Demo", "Co", "\\Demo", false);
    const uint16_t key = b.RegKey(3, "K");
    for (const TypeCase& c : cases) {
        const uint16_t id = b.RegString(key, "v", "");
        DescRegValue& v = b.Plan().RegValues[id - 1];
        v.StringMarker = c.Marker;
        v.TypeFlags = c.Flags;
        v.Data = c.Data;
    }
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, b.Plan()));
    ASSERT_EQ(setup.RegValues.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        EXPECT_EQ(setup.RegValues[i].DataType, cases[i].Type);
        EXPECT_EQ(setup.RegValues[i].Data, cases[i].Text);
    }
}

TEST(RegValueRows, MultiStringEndsAtEmptyTextOrEndOfData) {
    DescriptorBuilder b("Demo", "Co", "\\Demo", false);
    const uint16_t key = b.RegKey(2, "K");
    b.RegMultiString(key, "m1", {"%CE2%", "\\Demo\\x", "", "hidden"});
    const uint16_t cut = b.RegMultiString(key, "m2", {"one", "two"});
    b.Plan().RegValues[cut - 1].Length = 3 + 4; // name "m2" + NUL, then "one" + NUL only
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, b.Plan()));
    ASSERT_EQ(setup.RegValues.size(), 2u);
    EXPECT_EQ(setup.RegValues[0].Data, "%WinDir%;%InstallDir%\\x");
    EXPECT_EQ(setup.RegValues[1].Data, "one");
}

TEST(RegValueRows, BinaryByteCountIsLengthMinusName) {
    DescriptorBuilder b("Demo", "Co", "\\Demo", false);
    const uint16_t key = b.RegKey(2, "K");
    b.RegBinary(key, "bin", {1, 2, 3, 4, 5});
    b.Plan().RegValues[0].Length = 4 + 2; // two of the five bytes
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, b.Plan()));
    EXPECT_EQ(setup.RegValues[0].Data, "01 02");
}

TEST(ShortcutRows, StandardFolderNumberWinsOverDirectory) {
    DescriptorBuilder b("Demo", "Co", "%CE1%\\Demo", false);
    const uint16_t file = b.File(1, "demo.exe");
    const uint16_t games = b.Dir("%CE14%");
    const uint16_t eight = b.Dir("%CE8%\\Sub");
    b.ShortcutInStandardFolder("In Programs", file, 11);
    b.ShortcutInStandardFolder("In Accessories", file, 12);
    b.ShortcutInStandardFolder("Unknown", file, 20);
    b.Shortcut("Install Dir", file, 0);
    b.Shortcut("Games", file, games);
    b.Shortcut("Eight", file, eight);
    b.Shortcut("Missing Target", 9, games);
    b.Shortcut("Missing Dir", file, 99);
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, b.Plan()));
    ASSERT_EQ(setup.Shortcuts.size(), 8u);
    const std::vector<TCEINFShortcut> expected = {
        {1, "%ProgramsDir%", "demo.exe", "In Programs", 0, 0},
        {2, "%ProgramsDir%\\Accessories", "demo.exe", "In Accessories", 0, 0},
        {3, "", "demo.exe", "Unknown", 0, 0},
        {4, "%ProgramFilesDir%\\Demo", "demo.exe", "Install Dir", 0, 0},
        {5, "%GamesDir%", "demo.exe", "Games", 0, 0},
        {6, "%CE8%\\Sub", "demo.exe", "Eight", 0, 0},
        {7, "%GamesDir%", "", "Missing Target", 0, 0},
        {8, "", "demo.exe", "Missing Dir", 0, 0},
    };
    EXPECT_EQ(setup.Shortcuts, expected);
}

TEST(ShortcutRows, NameIsTranslatedAsAShortcutText) {
    DescriptorBuilder b("Demo", "Co", "\\Demo", false);
    const uint16_t file = b.File(1, "demo.exe");
    b.Shortcut("%CE14% and %CE8%", file);
    b.Shortcut("Read.Me", file);
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, b.Plan()));
    EXPECT_EQ(setup.Shortcuts[0].Name, "%GamesDir% and %CE8%");
    EXPECT_EQ(setup.Shortcuts[1].Name, "Read.Me");
}

TEST(BothVariants, SameSetupGivesTheSameTables) {
    DescriptorBuilder b("Demo", "Co", "%CE1%\\Demo", true);
    const uint16_t dir = b.Dir("%CE2%\\Fonts");
    const uint16_t file = b.File(dir, "demo.ttf", 0x10000000);
    b.Shortcut("Demo", file, dir);
    b.RegNumber(b.RegKey(1, "Software"), "N", 7);
    TSetupINF a, c;
    ASSERT_TRUE(ParsePlan(a, b.Plan()));
    b.Plan().CE4Plus = false;
    ASSERT_TRUE(ParsePlan(c, b.Plan()));
    EXPECT_EQ(a.Strings, c.Strings);
    EXPECT_EQ(a.Dirs, c.Dirs);
    EXPECT_EQ(a.Files, c.Files);
    EXPECT_EQ(a.RegPaths, c.RegPaths);
    EXPECT_EQ(a.RegValues, c.RegValues);
    EXPECT_EQ(a.Shortcuts, c.Shortcuts);
    EXPECT_EQ(a.Shortcuts[0].Folder, "%WinDir%\\Fonts");
}

} // namespace
