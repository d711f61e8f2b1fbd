#include "Parse.h"

#include <gtest/gtest.h>

namespace {

DescriptorSpec Basic(bool ce4Plus) {
    DescriptorBuilder b("Demo App", "Demo Co", "%CE1%\\Demo", ce4Plus);
    b.File(1, "demo.exe");
    return b.Spec();
}

TEST(DescriptorHeader, NamesVersionsAndProcessorReachTheProject) {
    DescriptorSpec spec = Basic(false);
    spec.Processor = 2577;
    spec.MinMajor = 3;
    spec.MinMinor = 0;
    spec.MinBuild = 0;
    spec.MaxMajor = 5;
    spec.MaxMinor = 1;
    spec.MaxBuild = 0xFFFFFFFF;
    TSetupINF setup;
    ASSERT_TRUE(ParseSpec(setup, spec));
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
    DescriptorSpec spec = Basic(false);
    spec.Processor = 0xFFFFFFFF;
    TSetupINF setup;
    ASSERT_TRUE(ParseSpec(setup, spec));
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
    ASSERT_TRUE(ParseSpec(setup, Basic(true)));
    const auto files = setup.Files;
    std::vector<uint8_t> bytes = WriteDescriptorBytes(Basic(false));
    bytes[0] = 'X';
    EXPECT_FALSE(ParseBytes(setup, bytes));
    EXPECT_EQ(setup.Files, files);
    EXPECT_EQ(setup.Project.CE4Plus, 1);
}

TEST(UnsupportedDevices, NamesAreJoinedWithCommas) {
    DescriptorSpec spec = Basic(false);
    spec.UnsupportedDevices = std::vector<std::string>{"HPC", "Palm-size PC", "Jupiter"};
    TSetupINF setup;
    ASSERT_TRUE(ParseSpec(setup, spec));
    EXPECT_EQ(setup.Project.UnsupportedDevices, "HPC, Palm-size PC, Jupiter");
}

TEST(UnsupportedDevices, EmptyListReadsAsEmptyText) {
    DescriptorSpec spec = Basic(false);
    DescriptorLayout layout;
    const auto bytes = WriteDescriptorBytes(spec, &layout);
    EXPECT_EQ(bytes[94], 2); // two NUL bytes
    TSetupINF setup;
    ASSERT_TRUE(ParseBytes(setup, bytes));
    EXPECT_EQ(setup.Project.UnsupportedDevices, "");
    EXPECT_EQ(setup.Project.InstallDir, "%ProgramFilesDir%\\Demo");
}

TEST(UnsupportedDevices, AnEmptyNameEndsTheList) {
    DescriptorSpec spec = Basic(false);
    spec.UnsupportedDevices = std::vector<std::string>{"X", "", "Y"};
    TSetupINF setup;
    ASSERT_TRUE(ParseSpec(setup, spec));
    EXPECT_EQ(setup.Project.UnsupportedDevices, "X");
}

TEST(UnsupportedDevices, ListLengthLimitsTheNamesRead) {
    DescriptorSpec spec = Basic(false);
    spec.UnsupportedDevices = std::vector<std::string>{"X", "Y", "Z"};
    spec.UnsupportedDevicesLength = 4; // "X\0Y\0": Z is not read
    TSetupINF setup;
    ASSERT_TRUE(ParseSpec(setup, spec));
    EXPECT_EQ(setup.Project.UnsupportedDevices, "X, Y");
    spec.UnsupportedDevicesLength = 1; // the first name is read whatever the length
    ASSERT_TRUE(ParseSpec(setup, spec));
    EXPECT_EQ(setup.Project.UnsupportedDevices, "X");
}

TEST(UnsupportedDevices, ZeroLengthLeavesDevicesUnassigned) {
    DescriptorSpec spec = Basic(false);
    spec.UnsupportedDevices = std::vector<std::string>{"X"};
    spec.UnsupportedDevicesLength = 0;
    TSetupINF setup;
    ASSERT_TRUE(ParseSpec(setup, spec));
    EXPECT_EQ(setup.Project.UnsupportedDevices, "");
    EXPECT_EQ(setup.Project.InstallDir, "%ProgramFilesDir%\\Demo");
}

TEST(UnsupportedDevices, ListOffsetZeroTakesInstallDirFromStringNamedAtOffsetFour) {
    DescriptorBuilder b("Demo", "Co", "%CE1%\\Demo", false);
    const uint16_t other = b.String("%CE2%\\Other\\");
    b.File(1, "demo.exe");
    DescriptorSpec spec = b.Spec();
    spec.UnsupportedDevices.reset();
    spec.Reserved4 = 0xABCD0000u | other;
    TSetupINF setup;
    setup.Project.UnsupportedDevices = "stale";
    ASSERT_TRUE(ParseSpec(setup, spec));
    EXPECT_EQ(setup.Project.UnsupportedDevices, "");
    EXPECT_EQ(setup.Project.InstallDir, "%WinDir%\\Other");
}

TEST(UnsupportedDevices, ListOffsetZeroWithReservedZeroGivesEmptyInstallDir) {
    DescriptorSpec spec = Basic(false);
    spec.UnsupportedDevices.reset();
    TSetupINF setup;
    ASSERT_TRUE(ParseSpec(setup, spec));
    EXPECT_EQ(setup.Project.InstallDir, "");
    EXPECT_EQ(setup.Strings.size(), 2u); // row 0 and string 1, which no longer matches
}

TEST(PlatformExtension, Ce4PlusReadsPlatformAfterTheShortcutTable) {
    DescriptorBuilder b("Demo", "Co", "%CE1%\\Demo", true);
    const uint16_t file = b.File(1, "demo.exe");
    b.Shortcut("Demo", file);
    b.Shortcut("Demo 2", file);
    DescriptorSpec spec = b.Spec();
    spec.PlatformMinMajor = 4;
    spec.PlatformMinMinor = 21;
    spec.PlatformMaxMajor = 0xFFFFFFFF;
    spec.PlatformMaxMinor = 0;
    spec.PlatformName = "Windows Mobile";
    DescriptorLayout layout;
    const auto bytes = WriteDescriptorBytes(spec, &layout);
    ASSERT_EQ(layout.PlatformExtension, layout.ShortcutTable + 2 * 14);
    TSetupINF setup;
    ASSERT_TRUE(ParseBytes(setup, bytes));
    EXPECT_EQ(setup.Project.CE4Plus, 1);
    EXPECT_EQ(setup.Project.PlatformMinVersion, "4.21");
    EXPECT_EQ(setup.Project.PlatformMaxVersion, "4294967295.0");
    EXPECT_EQ(setup.Project.PlatformName, "Windows Mobile");
}

TEST(PlatformExtension, WithoutShortcutsItStartsAtTheShortcutTableOffset) {
    DescriptorSpec spec = Basic(true);
    DescriptorLayout layout;
    auto bytes = WriteDescriptorBytes(spec, &layout);
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
    ASSERT_TRUE(ParseSpec(setup, Basic(true)));
    ASSERT_EQ(setup.Project.PlatformName, "PocketPC");
    ASSERT_TRUE(ParseSpec(setup, Basic(false)));
    EXPECT_EQ(setup.Project.CE4Plus, 0);
    EXPECT_EQ(setup.Project.PlatformName, "");
    EXPECT_EQ(setup.Project.PlatformMinVersion, "");
    EXPECT_EQ(setup.Project.PlatformMaxVersion, "");
}

TEST(PlatformExtension, Ce4PlusCutBeforeItFailsAfterDecodingTheTables) {
    DescriptorBuilder b("Demo", "Co", "%CE1%\\Demo", true);
    const uint16_t file = b.File(1, "demo.exe");
    b.Shortcut("Demo", file);
    DescriptorSpec spec = b.Spec();
    spec.CutBeforePlatformExtension = true;
    TSetupINF setup;
    EXPECT_FALSE(ParseSpec(setup, spec));
    EXPECT_EQ(setup.Files.size(), 1u);
    EXPECT_EQ(setup.Shortcuts.size(), 1u);
    spec.CE4Plus = false; // the same bytes as "MSCE" are complete
    EXPECT_TRUE(ParseSpec(setup, spec));
}

} // namespace
