#include "programs/PEImage.h"
#include "tests/support/PEBuilder.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

PEPlan FullPlan() {
    PEPlan plan;
    plan.Dll = true;
    plan.Imports = {"COREDLL.dll", "AYGSHELL.dll", "ws2.dll"};
    plan.ClrRuntimeVersion = "v2.0.50727";
    PEVersionPlan v;
    v.File[0] = 3;
    v.File[1] = 0;
    v.File[2] = 0;
    v.File[3] = 1004;
    v.Product[0] = 3;
    v.Product[1] = 1;
    v.Product[2] = 2;
    v.Product[3] = 65535;
    v.Strings = {{"Comments", "not read"},
                 {"CompanyName", "Acme \xE9"},
                 {"FileDescription", "Demo library"},
                 {"ProductName", "Demo"},
                 {"OriginalFilename", "demo.dll"}};
    plan.Version = v;
    plan.Signature = true;
    return plan;
}

bool HasNote(const TPEImage& image, const std::string& text) {
    for (const std::string& note : image.Notes)
        if (note.find(text) != std::string::npos) return true;
    return false;
}

} // namespace

TEST(PEImage, EveryWindowsCEMachineIsNamedAndGroupedByFamily) {
    struct Case {
        uint16_t Machine;
        const char* Name;
        const char* Family;
    };
    const Case cases[] = {
        {0x01c0, "ARM", "ARM"},
        {0x01c2, "ARM Thumb", "ARM"},
        {0x01c4, "ARMv7 Thumb-2", "ARM"},
        {0x0162, "MIPS R3000", "MIPS"},
        {0x0166, "MIPS R4000", "MIPS"},
        {0x0168, "MIPS R10000", "MIPS"},
        {0x0169, "MIPS WCE v2", "MIPS"},
        {0x0266, "MIPS16", "MIPS"},
        {0x0366, "MIPS with FPU", "MIPS"},
        {0x0466, "MIPS16 with FPU", "MIPS"},
        {0x01a2, "SH3", "SH3"},
        {0x01a3, "SH3-DSP", "SH3"},
        {0x01a4, "SH3E", "SH3"},
        {0x01a6, "SH4", "SH4"},
        {0x01a8, "SH5", "SH5"},
        {0x014c, "x86", "x86"},
        {0x01d3, "AM33", "AM33"},
        {0x01f0, "PowerPC", "PowerPC"},
        {0x8664, "x64", "x64"},
        {0xaa64, "ARM64", "ARM64"},
        {0x5064, "RISC-V 64", "RISC-V 64"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        PEPlan plan;
        plan.Machine = c.Machine;
        const TPEImage image = ReadPEImage(BuildPEImage(plan));
        ASSERT_TRUE(image.IsImage);
        EXPECT_EQ(image.Machine, c.Machine);
        EXPECT_EQ(MachineName(image.Machine), c.Name);
        EXPECT_EQ(MachineFamily(image.Machine), c.Family);
        EXPECT_EQ(ImageKind(image), "Program");
        EXPECT_EQ(SubsystemName(image.Subsystem), "Windows CE GUI");
        EXPECT_EQ(image.SubsystemMajor, 4);
        EXPECT_EQ(image.SubsystemMinor, 20);
        EXPECT_TRUE(image.Notes.empty()) << image.Notes.front();
    }
    EXPECT_EQ(MachineName(0x1234), "Unknown (0x1234)");
    EXPECT_EQ(MachineFamily(0x1234), "");
}

TEST(PEImage, DllWithImportsClrHeaderVersionAndSignatureIsReadWhole) {
    for (const bool plus : {false, true}) {
        SCOPED_TRACE(plus ? "PE32+" : "PE32");
        PEPlan plan = FullPlan();
        plan.PE32Plus = plus;
        const TPEImage image = ReadPEImage(BuildPEImage(plan));
        ASSERT_TRUE(image.IsImage);
        EXPECT_EQ(image.IsPE32Plus, plus);
        EXPECT_EQ(ImageKind(image), "DLL");
        EXPECT_EQ(image.Imports,
                  (std::vector<std::string>{"COREDLL.dll", "AYGSHELL.dll", "ws2.dll"}));
        EXPECT_TRUE(image.IsDotNet);
        EXPECT_EQ(image.RuntimeVersion, "v2.0.50727");
        EXPECT_TRUE(image.HasSignature);
        EXPECT_TRUE(image.Version.Present);
        EXPECT_EQ(image.Version.FileVersion, "3.0.0.1004");
        EXPECT_EQ(image.Version.ProductVersion, "3.1.2.65535");
        EXPECT_EQ(image.Version.CompanyName, "Acme \xE9");
        EXPECT_EQ(image.Version.FileDescription, "Demo library");
        EXPECT_EQ(image.Version.ProductName, "Demo");
        EXPECT_EQ(image.Version.OriginalFilename, "demo.dll");
        EXPECT_TRUE(image.Notes.empty()) << image.Notes.front();
    }
}

TEST(PEImage, AssemblyRunsOnAnyCpuOnlyWhenPureILWithAnX86Header) {
    PEPlan plan;
    plan.Machine = 0x014c;
    plan.ClrRuntimeVersion = "v3.5";
    EXPECT_TRUE(RunsOnAnyCpu(ReadPEImage(BuildPEImage(plan))));
    plan.ClrFlags = 0; // mixed code: x86 only
    EXPECT_FALSE(RunsOnAnyCpu(ReadPEImage(BuildPEImage(plan))));
    plan = {};
    plan.Machine = 0x014c;
    EXPECT_FALSE(RunsOnAnyCpu(ReadPEImage(BuildPEImage(plan))));
}

TEST(PEImage, FilesThatAreNoImagesSayNothing) {
    EXPECT_FALSE(ReadPEImage({}).IsImage);
    const std::vector<uint8_t> text = {'h', 'e', 'l', 'l', 'o'};
    const TPEImage plain = ReadPEImage(text);
    EXPECT_FALSE(plain.IsImage);
    EXPECT_TRUE(plain.Notes.empty());
    std::vector<uint8_t> dos(128, 0);
    dos[0] = 'M';
    dos[1] = 'Z';
    const TPEImage dosImage = ReadPEImage(dos);
    EXPECT_FALSE(dosImage.IsImage);
    EXPECT_TRUE(HasNote(dosImage, "without a PE header"));
}

TEST(PEImageDamage, LoopingResourceDirectoryEndsWithANote) {
    PEPlan plan = FullPlan();
    plan.ResourceLoop = true;
    const TPEImage image = ReadPEImage(BuildPEImage(plan));
    EXPECT_TRUE(HasNote(image, "loops back"));
    EXPECT_FALSE(image.Version.Present);
    EXPECT_EQ(image.Imports.size(), 3u); // the rest is still read
}

TEST(PEImageDamage, ImportTableWithoutEndKeepsTheNamesItFound) {
    PEPlan plan;
    plan.Imports = {"a.dll", "b.dll"};
    plan.ImportsWithoutEnd = true;
    const TPEImage image = ReadPEImage(BuildPEImage(plan));
    EXPECT_EQ(image.Imports, (std::vector<std::string>{"a.dll", "b.dll"}));
    EXPECT_TRUE(HasNote(image, "no end"));
}

TEST(PEImageDamage, VersionLengthsThatLieAreCutToWhatIsThere) {
    PEPlan plan = FullPlan();
    plan.Version->RootLengthLie = 0x4000;
    const TPEImage image = ReadPEImage(BuildPEImage(plan));
    EXPECT_TRUE(HasNote(image, "lengths lie"));
    EXPECT_EQ(image.Version.FileVersion, "3.0.0.1004");
    EXPECT_EQ(image.Version.CompanyName, "Acme \xE9");
}

TEST(PEImageDamage, CountsOf65535AreBoundedByTheBytes) {
    PEPlan plan = FullPlan();
    plan.SectionCountField = 65535;
    plan.DirectoryCountField = 65535;
    const TPEImage image = ReadPEImage(BuildPEImage(plan));
    EXPECT_TRUE(HasNote(image, "section table is cut short"));
    EXPECT_TRUE(HasNote(image, "65535 data directories"));
    EXPECT_EQ(image.Machine, 0x01c0);
}

// Cut at every byte: each cut gives the whole answer, no image, or a note saying what is
// missing; never a crash.
TEST(PEImageDamage, EveryTruncationEndsCleanlyWithANoteOrTheWholeAnswer) {
    PEPlan plan = FullPlan();
    plan.Signature = false; // the certificate sits last; without it every cut reaches the section
    const std::vector<uint8_t> bytes = BuildPEImage(plan);
    const TPEImage whole = ReadPEImage(bytes);
    ASSERT_TRUE(whole.Notes.empty());
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        const TPEImage part = ReadPEImage(std::span(bytes.data(), cut));
        const bool same = part.IsImage && part.Imports == whole.Imports &&
                          part.RuntimeVersion == whole.RuntimeVersion &&
                          part.Version.FileVersion == whole.Version.FileVersion &&
                          part.Version.OriginalFilename == whole.Version.OriginalFilename;
        if (!same && cut >= 2) {
            ASSERT_FALSE(part.Notes.empty()) << "silent partial answer at " << cut;
        }
    }
}

// Time linear in the size: large images of endless import descriptors that all name one DLL,
// one of them stating 65,535 sections, whose headers then come from the section's bytes.
TEST(PEImageDamage, HugeDamagedImagesAreReadInBoundedTime) {
    PEPlan plan;
    plan.Imports.assign(200000, "x.dll");
    plan.ImportsWithoutEnd = true;
    const auto start = std::chrono::steady_clock::now();
    const TPEImage image = ReadPEImage(BuildPEImage(plan));
    EXPECT_EQ(image.Imports.size(), 4096u) << "memory stays bounded";
    EXPECT_TRUE(HasNote(image, "more than 4096 DLLs"));
    plan.SectionCountField = 65535;
    const TPEImage many = ReadPEImage(BuildPEImage(plan));
    EXPECT_TRUE(many.IsImage);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}
