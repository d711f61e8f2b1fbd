#include "tests/support/DescriptorWriter.h"

#include <gtest/gtest.h>

namespace {

uint16_t U16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}
uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return U16(b, at) | (static_cast<uint32_t>(U16(b, at + 2)) << 16);
}

TEST(DescriptorWriter, HeaderAndNamesAreLaidOutAsTheFormatSays) {
    DescriptorPlan plan;
    plan.AppName = "App";
    plan.Provider = "Co";
    plan.UnsupportedDevices = std::vector<std::string>{"X", "Y"};
    plan.Processor = 2577;
    DescriptorLayout layout;
    const auto b = WriteDescriptorBytes(plan, &layout);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "MSCE");
    EXPECT_EQ(U32(b, 8), b.size());
    EXPECT_EQ(U16(b, 16), 1);
    EXPECT_EQ(U32(b, 20), 2577u);
    EXPECT_EQ(U16(b, 84), 100);
    EXPECT_EQ(U16(b, 86), 4);
    EXPECT_EQ(U16(b, 88), 104);
    EXPECT_EQ(U16(b, 90), 3);
    EXPECT_EQ(U16(b, 92), 107);
    EXPECT_EQ(U16(b, 94), 5);
    const std::vector<uint8_t> list(b.begin() + 107, b.begin() + 112);
    EXPECT_EQ(list, (std::vector<uint8_t>{'X', 0, 'Y', 0, 0}));
    EXPECT_EQ(layout.StringTable, 112u);
    EXPECT_EQ(b.size(), 112u);
}

TEST(DescriptorWriter, EntriesFollowEachOtherWithoutPadding) {
    DescriptorPlan plan;
    plan.CE4Plus = true;
    plan.UnsupportedDevices.reset();
    plan.Strings = {{1, "ab", {}}};
    plan.Dirs = {{1, {1}, {}}};
    plan.Files = {{1, 1, 1, 0x80000000u, "f", {}}};
    plan.RegKeys = {{1, 3, {1}, {}}};
    plan.RegValues = {{1, 1, 0, kDescTypeNumber, "n", RegNumberData(7), {}}};
    plan.Shortcuts = {{1, 0, 0, 1, 1}};
    plan.PlatformName = "P";
    DescriptorLayout at;
    const auto b = WriteDescriptorBytes(plan, &at);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "CE4+");
    EXPECT_EQ(U16(b, 92), 0);
    EXPECT_EQ(at.DirTable, at.StringTable + 4 + 3);
    EXPECT_EQ(at.FileTable, at.DirTable + 4 + 4);
    EXPECT_EQ(at.RegKeyTable, at.FileTable + 12 + 2);
    EXPECT_EQ(at.RegValueTable, at.RegKeyTable + 8 + 4);
    EXPECT_EQ(at.ShortcutTable, at.RegValueTable + 12 + 2 + 4);
    EXPECT_EQ(at.PlatformExtension, at.ShortcutTable + 14);
    EXPECT_EQ(U32(b, at.FileTable + 6), 0x80000000u);
    EXPECT_EQ(U32(b, at.RegValueTable + 6), 0x00010001u);
    EXPECT_EQ(U16(b, at.ShortcutTable + 8), 1);
    EXPECT_EQ(U16(b, at.ShortcutTable + 10), 2);
    EXPECT_EQ(U32(b, at.PlatformExtension + 16), 2u);
    EXPECT_EQ(U32(b, at.PlatformExtension + 20), at.PlatformExtension + 24);
    EXPECT_EQ(b.size(), at.PlatformExtension + 24 + 2u);
}

TEST(DescriptorWriter, KnobsCutAndTruncate) {
    DescriptorPlan plan;
    plan.CE4Plus = true;
    DescriptorLayout at;
    plan.CutBeforePlatformExtension = true;
    EXPECT_EQ(WriteDescriptorBytes(plan, &at).size(), at.ShortcutTable);
    plan.CutBeforePlatformExtension = false;
    plan.TruncateAt = 50;
    EXPECT_EQ(WriteDescriptorBytes(plan).size(), 50u);
}

TEST(DescriptorWriter, BuilderNumbersEntriesAndSharesTexts) {
    DescriptorBuilder b("App", "Co", "%CE1%\\App");
    EXPECT_EQ(b.Dir("%CE1%\\App"), 1);
    const uint16_t data = b.Dir("%CE1%\\App\\Data");
    EXPECT_EQ(data, 2);
    EXPECT_EQ(b.Dir("%CE1%\\App\\Data"), data);
    EXPECT_EQ(b.String("Data"), b.Plan().Dirs[1].StrIds.back());
    EXPECT_EQ(b.File(data, "a.txt"), 1);
    EXPECT_EQ(b.File(data, "b.txt"), 2);
    EXPECT_EQ(b.Plan().Files[1].FileNo, 2);
    b.Shortcut("App", 1);
    EXPECT_EQ(b.Plan().Strings[b.Plan().Shortcuts[0].NameStrId - 1].Text, "App.lnk");
}

} // namespace
