#include "Parse.h"

#include <gtest/gtest.h>

namespace {

DescriptorPlan Basic(bool ce4Plus) {
    DescriptorBuilder b("Demo App", "Demo Co", "%CE1%\\Demo", ce4Plus);
    b.File(1, "demo.exe");
    return b.Plan();
}

TEST(DescriptorHeader, NamesVersionsAndProcessorReachTheProject) {
    DescriptorPlan plan = Basic(false);
    plan.Processor = 2577;
    plan.MinMajor = 3;
    plan.MinMinor = 0;
    plan.MinBuild = 0;
    plan.MaxMajor = 5;
    plan.MaxMinor = 1;
    plan.MaxBuild = 0xFFFFFFFF;
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, plan));
    EXPECT_EQ(setup.Project.CE4Plus, 0);
    EXPECT_EQ(setup.Project.SoftwareName, "Demo App");
    EXPECT_EQ(setup.Project.HeaderAppName, "Demo App");
    EXPECT_EQ(setup.Project.ProgramGroup, "Demo App");
    EXPECT_EQ(setup.Project.CompanyName, "Demo Co");
    EXPECT_EQ(setup.Project.Processor, 2577);
    EXPECT_EQ(setup.Project.MinVersion, "3.0.0");
    EXPECT_EQ(setup.Project.MaxVersion, "5.1.4294967295");
    EXPECT_EQ(setup.Project.InstallDir, "%ProgramFilesDir%\\Demo");
}

TEST(DescriptorHeader, ProcessorIsKeptAsAllThirtyTwoBits) {
    DescriptorPlan plan = Basic(false);
    plan.Processor = 0xFFFFFFFF;
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, plan));
    EXPECT_EQ(setup.Project.Processor, -1);
}

TEST(DescriptorMagic, OnlyMsceAndCe4PlusAreAccepted) {
    TSetupINF setup;
    setup.Project.SoftwareName = "before";
    std::vector<uint8_t> bytes = WriteDescriptorBytes(Basic(false));
    bytes[0] = 'M', bytes[1] = 'S', bytes[2] = 'C', bytes[3] = 'F';
    EXPECT_FALSE(ParseBytes(setup, bytes));
    EXPECT_FALSE(ParseBytes(setup, {'M', 'S', 'C'}));
    EXPECT_FALSE(ParseBytes(setup, {}));
    bytes[3] = 'e';
    EXPECT_FALSE(ParseBytes(setup, bytes));
    EXPECT_EQ(setup.Project.SoftwareName, "before");
    EXPECT_EQ(setup.Project.CE4Plus, 0);
}

TEST(DescriptorMagic, RejectedMagicLeavesTablesUntouched) {
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, Basic(true)));
    const auto files = setup.Files;
    std::vector<uint8_t> bytes = WriteDescriptorBytes(Basic(false));
    bytes[0] = 'X';
    EXPECT_FALSE(ParseBytes(setup, bytes));
    EXPECT_EQ(setup.Files, files);
    EXPECT_EQ(setup.Project.CE4Plus, 1);
}

TEST(UnsupportedDevices, NamesAreJoinedWithCommas) {
    DescriptorPlan plan = Basic(false);
    plan.UnsupportedDevices = std::vector<std::string>{"HPC", "Palm-size PC", "Jupiter"};
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, plan));
    EXPECT_EQ(setup.Project.UnsupportedDevices, "HPC, Palm-size PC, Jupiter");
}

TEST(UnsupportedDevices, EmptyListReadsAsEmptyText) {
    DescriptorPlan plan = Basic(false);
    DescriptorLayout layout;
    const auto bytes = WriteDescriptorBytes(plan, &layout);
    EXPECT_EQ(bytes[94], 2); // two NUL bytes
    TSetupINF setup;
    ASSERT_TRUE(ParseBytes(setup, bytes));
    EXPECT_EQ(setup.Project.UnsupportedDevices, "");
    EXPECT_EQ(setup.Project.InstallDir, "%ProgramFilesDir%\\Demo");
}

TEST(UnsupportedDevices, AnEmptyNameEndsTheList) {
    DescriptorPlan plan = Basic(false);
    plan.UnsupportedDevices = std::vector<std::string>{"X", "", "Y"};
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, plan));
    EXPECT_EQ(setup.Project.UnsupportedDevices, "X");
}

TEST(UnsupportedDevices, ListLengthLimitsTheNamesRead) {
    DescriptorPlan plan = Basic(false);
    plan.UnsupportedDevices = std::vector<std::string>{"X", "Y", "Z"};
    plan.UnsupportedDevicesLength = 4; // "X\0Y\0": Z is not read
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, plan));
    EXPECT_EQ(setup.Project.UnsupportedDevices, "X, Y");
    plan.UnsupportedDevicesLength = 1; // the first name is read whatever the length
    ASSERT_TRUE(ParsePlan(setup, plan));
    EXPECT_EQ(setup.Project.UnsupportedDevices, "X");
}

TEST(UnsupportedDevices, ZeroLengthLeavesDevicesUnassigned) {
    DescriptorPlan plan = Basic(false);
    plan.UnsupportedDevices = std::vector<std::string>{"X"};
    plan.UnsupportedDevicesLength = 0;
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, plan));
    EXPECT_EQ(setup.Project.UnsupportedDevices, "");
    EXPECT_EQ(setup.Project.InstallDir, "%ProgramFilesDir%\\Demo");
}

TEST(UnsupportedDevices, ListOffsetZeroTakesInstallDirFromStringNamedAtOffsetFour) {
    DescriptorBuilder b("Demo", "Co", "%CE1%\\Demo", false);
    const uint16_t other = b.String("%CE2%\\Other\\");
    b.File(1, "demo.exe");
    DescriptorPlan plan = b.Plan();
    plan.UnsupportedDevices.reset();
    plan.Reserved4 = 0xABCD0000u | other;
    TSetupINF setup;
    setup.Project.UnsupportedDevices = "stale";
    ASSERT_TRUE(ParsePlan(setup, plan));
    EXPECT_EQ(setup.Project.UnsupportedDevices, "");
    EXPECT_EQ(setup.Project.InstallDir, "%WinDir%\\Other");
}

TEST(UnsupportedDevices, ListOffsetZeroWithReservedZeroGivesEmptyInstallDir) {
    DescriptorPlan plan = Basic(false);
    plan.UnsupportedDevices.reset();
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, plan));
    EXPECT_EQ(setup.Project.InstallDir, "");
    EXPECT_EQ(setup.Strings.size(), 2u); // row 0 and string 1, which no longer matches
}

TEST(PlatformExtension, Ce4PlusReadsPlatformAfterTheShortcutTable) {
    DescriptorBuilder b("Demo", "Co", "%CE1%\\Demo", true);
    const uint16_t file = b.File(1, "demo.exe");
    b.Shortcut("Demo", file);
    b.Shortcut("Demo 2", file);
    DescriptorPlan plan = b.Plan();
    plan.PlatformMinMajor = 4;
    plan.PlatformMinMinor = 21;
    plan.PlatformMaxMajor = 0xFFFFFFFF;
    plan.PlatformMaxMinor = 0;
    plan.PlatformName = "Windows Mobile";
    DescriptorLayout layout;
    const auto bytes = WriteDescriptorBytes(plan, &layout);
    ASSERT_EQ(layout.PlatformExtension, layout.ShortcutTable + 2 * 14);
    TSetupINF setup;
    ASSERT_TRUE(ParseBytes(setup, bytes));
    EXPECT_EQ(setup.Project.CE4Plus, 1);
    EXPECT_EQ(setup.Project.PlatformMinVersion, "4.21");
    EXPECT_EQ(setup.Project.PlatformMaxVersion, "4294967295.0");
    EXPECT_EQ(setup.Project.PlatformName, "Windows Mobile");
}

TEST(PlatformExtension, WithoutShortcutsItStartsAtTheShortcutTableOffset) {
    DescriptorPlan plan = Basic(true);
    DescriptorLayout layout;
    auto bytes = WriteDescriptorBytes(plan, &layout);
    ASSERT_EQ(layout.PlatformExtension, layout.ShortcutTable);
    TSetupINF setup;
    ASSERT_TRUE(ParseBytes(setup, bytes));
    EXPECT_EQ(setup.Project.PlatformName, "PocketPC");
    EXPECT_EQ(setup.Project.PlatformMinVersion, "4.0");
    EXPECT_EQ(setup.Project.PlatformMaxVersion, "5.0");
    // The name is found through its offset field, not by position.
    bytes.insert(bytes.end(), {'O', 't', 'h', 'e', 'r', 0});
    PutU32(bytes, layout.PlatformExtension + 20, static_cast<uint32_t>(bytes.size() - 6));
    ASSERT_TRUE(ParseBytes(setup, bytes));
    EXPECT_EQ(setup.Project.PlatformName, "Other");
}

TEST(PlatformExtension, MsceLeavesPlatformFieldsEmpty) {
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, Basic(true)));
    ASSERT_EQ(setup.Project.PlatformName, "PocketPC");
    ASSERT_TRUE(ParsePlan(setup, Basic(false)));
    EXPECT_EQ(setup.Project.CE4Plus, 0);
    EXPECT_EQ(setup.Project.PlatformName, "");
    EXPECT_EQ(setup.Project.PlatformMinVersion, "");
    EXPECT_EQ(setup.Project.PlatformMaxVersion, "");
}

TEST(PlatformExtension, Ce4PlusCutBeforeItFailsAfterDecodingTheTables) {
    DescriptorBuilder b("Demo", "Co", "%CE1%\\Demo", true);
    const uint16_t file = b.File(1, "demo.exe");
    b.Shortcut("Demo", file);
    DescriptorPlan plan = b.Plan();
    plan.CutBeforePlatformExtension = true;
    TSetupINF setup;
    EXPECT_FALSE(ParsePlan(setup, plan));
    EXPECT_EQ(setup.Files.size(), 1u);
    EXPECT_EQ(setup.Shortcuts.size(), 1u);
    plan.CE4Plus = false; // the same bytes as "MSCE" are complete
    EXPECT_TRUE(ParsePlan(setup, plan));
}

} // namespace
