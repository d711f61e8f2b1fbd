#include "cab/Errors.h"
#include "setup/CECAB.h"
#include "setup/SetupFuncs.h"

#include <gtest/gtest.h>

namespace {

TEST(ModelAccessors, FileFlagsSplitIntoFlagsActiveXAndShared) {
    TCESetupBase model;
    model.Files.push_back(
        {7, "%InstallDir%", 7, static_cast<int32_t>(0x90000001u), "a.dll", "", 0});
    model.Files.push_back({8, "%WinDir%", 8, 0x10, "b.dll", "", 0});
    TCECAB_File file;
    model.GetFile(0, file);
    EXPECT_EQ(file.Flags, 1);
    EXPECT_TRUE(file.ActiveX);
    EXPECT_TRUE(file.Shared);
    EXPECT_EQ(file.Name, "a.dll");
    EXPECT_EQ(file.Dir, "%InstallDir%");
    model.GetFile(1, file);
    EXPECT_EQ(file.Flags, 0x10);
    EXPECT_FALSE(file.ActiveX);
    EXPECT_FALSE(file.Shared);
}

TEST(ModelAccessors, FileShownUnderExtractedPathWhenSet) {
    TCESetupBase model;
    model.Files.push_back({1, "%InstallDir%", 1, 0, "a.exe", "/tmp/x/a.exe", 0});
    TCECAB_File file;
    model.GetFile(0, file);
    EXPECT_EQ(file.Name, "/tmp/x/a.exe");
}

TEST(ModelAccessors, RegEntryCarriesLowBytesOfRootAndType) {
    TCESetupBase model;
    model.RegValues.push_back({1, 2, "Software\\Demo", 1, "Count", "5", 0});
    model.RegValues.push_back({2, 0x102, "K", 0x203, "N", "D", 0});
    TCECAB_RegEntry entry;
    model.GetRegEntry(0, entry);
    EXPECT_EQ(entry.Root, 2);
    EXPECT_EQ(entry.DataType, 1);
    EXPECT_EQ(entry.KeyPath, "Software\\Demo");
    EXPECT_EQ(entry.Name, "Count");
    EXPECT_EQ(entry.Data, "5");
    model.GetRegEntry(1, entry);
    EXPECT_EQ(entry.Root, 2);
    EXPECT_EQ(entry.DataType, 3);
}

TEST(ModelAccessors, ShortcutRecordCopiesTitleTargetAndFolder) {
    TCESetupBase model;
    model.Shortcuts.push_back({1, "%ProgramsDir%", "demo.exe", "Demo", 0, 0});
    TCECAB_Shortcut shortcut;
    model.GetShortcut(0, shortcut);
    EXPECT_EQ(shortcut.Name, "Demo");
    EXPECT_EQ(shortcut.FileName, "demo.exe");
    EXPECT_EQ(shortcut.Folder, "%ProgramsDir%");
    EXPECT_EQ(model.ShortcutCount(), 1);
}

TEST(ModelLookups, IndexOfIdTakesTheFirstMatch) {
    std::vector<TCEINFString> table = {{3, "a"}, {5, "b"}, {3, "c"}};
    EXPECT_EQ(TCESetupBase::IndexOfId(3, table), 0);
    EXPECT_EQ(TCESetupBase::IndexOfId(5, table), 1);
    EXPECT_EQ(TCESetupBase::IndexOfId(4, table), -1);
    EXPECT_EQ(TCESetupBase::IndexOfId(-1, table), -1);
}

TEST(ModelLookups, ClearModelEmptiesTablesButKeepsProject) {
    TCESetupBase model;
    model.Strings.push_back({1, "x"});
    model.Dirs.push_back({1, "x", {}});
    model.RegPaths.push_back({1, 0, "x", {}});
    model.Files.push_back({});
    model.RegValues.push_back({});
    model.Shortcuts.push_back({});
    model.Project.SoftwareName = "Demo";
    model.ClearModel();
    EXPECT_TRUE(model.Strings.empty() && model.Dirs.empty() && model.RegPaths.empty());
    EXPECT_EQ(model.FileCount() + model.RegValueCount() + model.ShortcutCount(), 0);
    EXPECT_EQ(model.Project.SoftwareName, "Demo");
}

TEST(EntryNumbering, DigitsOfTheExtensionFormTheNumber) {
    EXPECT_EQ(TCESetupBase::EntryNumber("SETUP.000"), 0);
    EXPECT_EQ(TCESetupBase::EntryNumber("demo.005"), 5);
    EXPECT_EQ(TCESetupBase::EntryNumber("VSD_SE~1.999"), 999);
    EXPECT_EQ(TCESetupBase::EntryNumber("file.b1c2"), 12);
    EXPECT_EQ(TCESetupBase::EntryNumber("a.b.017"), 17);
}

TEST(EntryNumbering, NoDigitsOrNoExtensionGivesMinusOne) {
    EXPECT_EQ(TCESetupBase::EntryNumber("_setup.xml"), -1);
    EXPECT_EQ(TCESetupBase::EntryNumber("README"), -1);
    EXPECT_EQ(TCESetupBase::EntryNumber("dir.001\\README"), -1);
    EXPECT_EQ(TCESetupBase::EntryNumber(""), -1);
}

TEST(EntryNumbering, OversizedDigitStringRaisesConversionError) {
    EXPECT_EQ(TCESetupBase::EntryNumber("x.2147483647"), 2147483647);
    EXPECT_THROW((void)TCESetupBase::EntryNumber("x.2147483648"), EConvertError);
    EXPECT_THROW((void)TCESetupBase::EntryNumber("x.99999999999999999999"), EConvertError);
}

TEST(PathHelpers, TrailingBackslashOfEmptyDiffersBetweenTheTwoHelpers) {
    EXPECT_EQ(IncludeBackslash(""), "\\");
    EXPECT_EQ(TCESetupBase::WithTrailingBackslash(""), "");
    EXPECT_EQ(IncludeBackslash("a"), "a\\");
    EXPECT_EQ(IncludeBackslash("a\\"), "a\\");
    EXPECT_EQ(TCESetupBase::WithTrailingBackslash("a"), "a\\");
    EXPECT_EQ(TCESetupBase::WithTrailingBackslash("a\\"), "a\\");
}

TEST(PathHelpers, ExcludeBackslashDropsOneBackslash) {
    EXPECT_EQ(ExcludeBackslash(""), "");
    EXPECT_EQ(ExcludeBackslash("\\"), "");
    EXPECT_EQ(ExcludeBackslash("a\\\\"), "a\\");
    EXPECT_EQ(ExcludeBackslash("a"), "a");
}

TEST(PathHelpers, StripExtensionCutsAtTheLastDot) {
    EXPECT_EQ(StripExtension("Demo.lnk"), "Demo");
    EXPECT_EQ(StripExtension("My.Demo.lnk"), "My.Demo");
    EXPECT_EQ(StripExtension("Demo"), "Demo");
    EXPECT_EQ(StripExtension(".lnk"), "");
}

} // namespace
