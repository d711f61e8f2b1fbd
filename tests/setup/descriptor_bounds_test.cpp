#include "Parse.h"

#include <gtest/gtest.h>

namespace {

DescriptorPlan FullSetup(bool ce4Plus) {
    DescriptorBuilder b("Bounds Demo", "Co", "%CE1%\\Bounds", ce4Plus);
    const uint16_t bin = b.Dir("%CE1%\\Bounds\\Bin");
    const uint16_t exe = b.File(1, "demo.exe", 0x80000000u);
    b.File(bin, "odd.dll", 0x10000000);
    const uint16_t key = b.RegKey(3, "Software\\Bounds");
    b.RegString(key, "S", "%CE2%");
    b.RegNumber(key, "N", 3);
    b.RegBinary(key, "B", {1, 2, 3});
    b.RegMultiString(key, "M", {"a", "b"});
    b.RegString(b.RegKey(1, ".bounds"), "", "Bounds.Document");
    b.Shortcut("Demo", exe);
    b.ShortcutInStandardFolder("Demo", exe, 11);
    b.Plan().UnsupportedDevices = std::vector<std::string>{"HPC", "Jupiter"};
    return b.Plan();
}

TEST(TruncatedDescriptor, EveryCutFailsCleanly) {
    for (const bool ce4Plus : {false, true}) {
        const std::vector<uint8_t> whole = WriteDescriptorBytes(FullSetup(ce4Plus));
        TSetupINF complete;
        ASSERT_TRUE(ParseBytes(complete, whole));
        for (size_t cut = 0; cut < whole.size(); ++cut) {
            SCOPED_TRACE("cut at " + std::to_string(cut));
            // The platform name ends the "CE4+" bytes; "MSCE" ends with its last shortcut,
            // which is read whole.
            TSetupINF setup;
            const std::vector<uint8_t> part(whole.begin(), whole.begin() + cut);
            EXPECT_FALSE(ParseBytes(setup, part));
            EXPECT_LE(setup.Files.size(), complete.Files.size());
            EXPECT_LE(setup.RegValues.size(), complete.RegValues.size());
        }
    }
}

TEST(TruncatedDescriptor, ModelHoldsWhatWasDecodedBeforeTheCut) {
    DescriptorPlan plan = FullSetup(false);
    DescriptorLayout layout;
    (void)WriteDescriptorBytes(plan, &layout);
    plan.TruncateAt = layout.RegValueTable + 3; // inside the first registry value
    TSetupINF setup;
    EXPECT_FALSE(ParsePlan(setup, plan));
    EXPECT_EQ(setup.Project.SoftwareName, "Bounds Demo");
    EXPECT_EQ(setup.Project.UnsupportedDevices, "HPC, Jupiter");
    EXPECT_EQ(setup.Files.size(), 2u);
    EXPECT_EQ(setup.RegPaths.size(), 2u);
    EXPECT_TRUE(setup.RegValues.empty());
    EXPECT_TRUE(setup.Shortcuts.empty());
}

TEST(OutOfBounds, OffsetsAndLengthsPastTheEndFail) {
    const std::vector<uint8_t> whole = WriteDescriptorBytes(FullSetup(true));
    const uint32_t size = static_cast<uint32_t>(whole.size());
    struct Patch {
        size_t At;
        int Width;
        uint32_t Value;
    };
    const std::vector<Patch> patches = {
        {84, 2, 0xFFFF},     {88, 2, 0xFFFF},   {92, 2, 0xFFFF},     {60, 4, size},
        {64, 4, 0xFFFFFFFF}, {68, 4, size - 1}, {72, 4, 0x80000000}, {76, 4, size + 100},
        {80, 4, 0xFFFFFFF0}, {48, 2, 0xFFFF},   {50, 2, 0xFFFF},     {52, 2, 0xFFFF},
        {54, 2, 0xFFFF},     {56, 2, 0xFFFF},   {58, 2, 0xFFFF},
    };
    for (const Patch& p : patches) {
        SCOPED_TRACE("patch at " + std::to_string(p.At));
        std::vector<uint8_t> bytes = whole;
        if (p.Width == 2)
            PutU16(bytes, p.At, static_cast<uint16_t>(p.Value));
        else
            PutU32(bytes, p.At, p.Value);
        TSetupINF setup;
        EXPECT_FALSE(ParseBytes(setup, bytes));
    }
}

TEST(OutOfBounds, EntryLengthsThatStepPastTheEndFail) {
    for (int table = 0; table < 5; ++table) {
        SCOPED_TRACE("table " + std::to_string(table));
        DescriptorPlan plan = FullSetup(false);
        switch (table) {
        case 0:
            plan.Strings[0].Length = 0xFFFF;
            break;
        case 1:
            plan.Dirs[0].Length = 0xFFFF;
            break;
        case 2:
            plan.Files[0].Length = 0xFFFF;
            break;
        case 3:
            plan.RegKeys[0].Length = 0xFFFF;
            break;
        default:
            plan.RegValues[2].Length = 0xFFFF;
            break; // binary data past the end
        }
        TSetupINF setup;
        EXPECT_FALSE(ParsePlan(setup, plan));
    }
}

TEST(OutOfBounds, TextWithoutItsNulFails) {
    DescriptorPlan plan;
    plan.AppName = "Demo";
    std::vector<uint8_t> bytes = WriteDescriptorBytes(plan);
    bytes.insert(bytes.end(), {'a', 'b', 'c'});
    PutU16(bytes, 88, static_cast<uint16_t>(bytes.size() - 3));
    TSetupINF setup;
    EXPECT_FALSE(ParseBytes(setup, bytes));
    bytes.push_back(0);
    EXPECT_TRUE(ParseBytes(setup, bytes));
    EXPECT_EQ(setup.Project.CompanyName, "abc");
}

TEST(OutOfBounds, IdListWithoutItsTerminatorFails) {
    DescriptorPlan plan;
    plan.Strings = {{1, "\\Demo", {}}};
    plan.Dirs = {{1, {1}, {}}};
    DescriptorLayout layout;
    std::vector<uint8_t> bytes = WriteDescriptorBytes(plan, &layout);
    // Drop the list's terminating 0 and everything after it.
    bytes.resize(layout.DirTable + 6);
    TSetupINF setup;
    EXPECT_FALSE(ParseBytes(setup, bytes));
}

TEST(OutOfBounds, OverlappingEntriesCannotBlowUpTheModel) {
    // Directories that repeat one long string many times would build paths of gigabytes.
    DescriptorPlan plan;
    plan.Strings = {{1, "\\Demo", {}}, {2, std::string(20000, 'x'), {}}};
    const std::vector<uint16_t> many(30000, 2);
    plan.Dirs = {{1, many, {}}, {2, many, {}}};
    TSetupINF setup;
    EXPECT_FALSE(ParsePlan(setup, plan));
}

TEST(DescriptorSource, NamedFileIsReadWhenNoStreamIsGiven) {
    TempDir dir;
    WriteFileBytes(dir.File("setup.000"), WriteDescriptorBytes(FullSetup(true)));
    TSetupINF setup;
    ASSERT_TRUE(setup.ParseDescriptor(dir.File("setup.000"), nullptr));
    EXPECT_EQ(setup.Project.SoftwareName, "Bounds Demo");
    EXPECT_FALSE(setup.ParseDescriptor(dir.File("missing.000"), nullptr));
}

TEST(DescriptorSource, StreamIsReadFromItsStartWhateverItsPosition) {
    TMemoryStream stream(WriteDescriptorBytes(FullSetup(false)));
    stream.Seek(17, TSeekOrigin::Beginning);
    TSetupINF setup;
    ASSERT_TRUE(setup.ParseDescriptor({}, &stream));
    EXPECT_EQ(setup.Files.size(), 2u);
}

TEST(DescriptorSource, EachParseReplacesTheTables) {
    TSetupINF setup;
    ASSERT_TRUE(ParsePlan(setup, FullSetup(true)));
    DescriptorBuilder small("Small", "Co", "\\Small", false);
    small.File(1, "one.exe");
    ASSERT_TRUE(ParsePlan(setup, small.Plan()));
    ASSERT_EQ(setup.Files.size(), 1u);
    EXPECT_EQ(setup.Files[0].Name, "one.exe");
    EXPECT_TRUE(setup.RegValues.empty());
    EXPECT_TRUE(setup.Shortcuts.empty());
    EXPECT_EQ(setup.Project.PlatformName, "");
}

} // namespace
