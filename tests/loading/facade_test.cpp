#include "cab/Errors.h"
#include "cab/cabfiles.h"
#include "setup/CESetup.h"
#include "setup/SetupINF.h"
#include "setup/SetupXML.h"
#include "tests/support/DescriptorWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// A small XML descriptor installing the given (folder, file, source entry) triples.
std::string XmlDescriptor(const std::string& appName,
                          const std::vector<std::array<std::string, 3>>& files) {
    std::string xml = "<wap-provisioningdoc>\n"
                      " <characteristic type=\"Install\">\n"
                      "  <parm name=\"AppName\" value=\"" +
                      appName +
                      "\" />\n"
                      "  <parm name=\"InstallDir\" value=\"%CE1%\\" +
                      appName +
                      "\" />\n"
                      " </characteristic>\n"
                      " <characteristic type=\"FileOperation\">\n";
    for (const auto& [folder, name, source] : files)
        xml += "  <characteristic type=\"" + folder +
               "\" translation=\"install\">\n"
               "   <characteristic type=\"" +
               name +
               "\" translation=\"install\">\n"
               "    <characteristic type=\"Extract\"><parm name=\"Source\" value=\"" +
               source +
               "\" /></characteristic>\n"
               "   </characteristic>\n"
               "  </characteristic>\n";
    return xml + " </characteristic>\n</wap-provisioningdoc>\n";
}

// The window's sequence: a cabinet object, the facade, identify, load.
struct OpenedSetup {
    explicit OpenedSetup(const std::string& path) {
        setup.Cabinet = &cab;
        identified = setup.IsSetupCabinet(path);
        if (identified) loaded = setup.LoadSetup(path, std::string(), false);
    }
    TCABFile cab;
    TCESetup setup;
    bool identified = false;
    bool loaded = false;
};

DescriptorPlan TwoFoldersPlan() {
    DescriptorBuilder b("Demo", "Acme", "%CE1%\\Demo");
    const uint16_t data = b.Dir("%CE1%\\Demo\\Data");
    b.File(1, "readme.txt");
    b.File(data, "readme.txt");
    b.File(data, "other.bin");
    return b.Plan();
}

} // namespace

TEST(SetupIdentification, CabinetWithBothDescriptorsLoadsThroughTheBinaryHandler) {
    TempDir dir;
    DescriptorBuilder b("BinaryName", "Acme", "\\Program Files\\Demo");
    b.File(1, "app.exe");
    SetupCabinetContents contents;
    contents.Extra.push_back({"_setup.xml", Bytes(XmlDescriptor("XmlName", {}))});
    WriteSetupCabinet(dir.File("both.cab"), b.Plan(), contents);
    OpenedSetup s(dir.File("both.cab"));
    ASSERT_TRUE(s.identified);
    EXPECT_TRUE(s.loaded);
    EXPECT_EQ(s.setup.Format, kFormatBinary);
    EXPECT_EQ(s.setup.Project.SoftwareName, "BinaryName");
    EXPECT_EQ(s.setup.FileCount(), 1);
}

TEST(SetupIdentification, UpperCaseXmlDescriptorIsRecognised) {
    TempDir dir;
    WriteCabinet(
        dir.File("x.cab"),
        {{"_SETUP.XML", Bytes(XmlDescriptor("XmlName", {{"%CE1%\\XmlName", "a.txt", "a.001"}}))},
         {"a.001", Bytes("a-data")}},
        FixtureCompression::MSZIP);
    OpenedSetup s(dir.File("x.cab"));
    ASSERT_TRUE(s.identified);
    EXPECT_EQ(s.setup.Format, kFormatXML);
    EXPECT_EQ(s.setup.Project.SoftwareName, "XmlName");
    ASSERT_EQ(s.setup.FileCount(), 1);
    EXPECT_EQ(s.setup.Files[0].Id, 1);
    EXPECT_EQ(s.setup.Project.Processor, -1);
    EXPECT_TRUE(s.setup.Strings.empty());
    const auto entry = s.setup.FindCabEntry("a.txt");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->Name, "a.001");
}

TEST(SetupIdentification, FilesWithoutADescriptorAreNoSetup) {
    TempDir dir;
    WriteCabinet(dir.File("plain.cab"), {{"a.txt", Bytes("a")}, {"b.001", Bytes("b")}},
                 FixtureCompression::None);
    WriteFileBytes(dir.File("text.cab"), Bytes("not a cabinet"));
    for (const char* name : {"plain.cab", "text.cab", "missing.cab"}) {
        OpenedSetup s(dir.File(name));
        EXPECT_FALSE(s.identified) << name;
        EXPECT_EQ(s.setup.Format, kFormatNone) << name;
        EXPECT_FALSE(s.setup.LoadSetup(dir.File(name), "", false)) << name;
    }
}

TEST(SetupIdentification, InvalidStoredDateReachesTheCallerOfIsSetupCabinet) {
    TempDir dir;
    DescriptorBuilder b("Demo", "Acme", "\\Program Files\\Demo");
    b.File(1, "app.exe");
    auto cabinet = BuildSetupCabinet(b.Plan(), {}, FixtureCompression::None);
    PatchEntryDateTime(cabinet, 1, 0xFFFF, 0);
    WriteFileBytes(dir.File("date.cab"), cabinet);
    TCABFile cab;
    TCESetup setup;
    setup.Cabinet = &cab;
    try {
        (void)setup.IsSetupCabinet(dir.File("date.cab"));
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Invalid argument to date encode (the stored date of entry "
                               "APP.001)");
    }
}

TEST(SetupLoading, FacadeTakesOverTheModelEvenWhenTheParseFails) {
    TempDir dir;
    DescriptorBuilder b("Demo", "Acme", "\\Program Files\\Demo");
    b.File(1, "app.exe");
    b.File(1, "lib.dll");
    DescriptorPlan plan = b.Plan();
    DescriptorLayout layout;
    (void)WriteDescriptorBytes(plan, &layout);
    plan.TruncateAt = layout.Size - 2; // the last table runs past the end
    WriteSetupCabinet(dir.File("cut.cab"), plan);
    OpenedSetup s(dir.File("cut.cab"));
    ASSERT_TRUE(s.identified);
    EXPECT_FALSE(s.loaded);
    EXPECT_EQ(s.setup.Project.SoftwareName, "Demo");
    EXPECT_EQ(s.setup.Project, s.setup.INFHandler->Project);
    // The rows decoded before the cut are the facade's now.
    ASSERT_FALSE(s.setup.Files.empty());
    EXPECT_EQ(s.setup.Files[0].Name, "app.exe");
    EXPECT_TRUE(s.setup.INFHandler->Files.empty()) << "taken over, not copied";
}

TEST(SetupExtraction, SameNameInTwoFoldersIsToldApartByFolderWhenExtracting) {
    TempDir dir;
    SetupCabinetContents contents;
    contents.FileData[1] = Bytes("top readme");
    contents.FileData[2] = Bytes("data readme");
    WriteSetupCabinet(dir.File("two.cab"), TwoFoldersPlan(), contents);
    OpenedSetup s(dir.File("two.cab"));
    ASSERT_TRUE(s.loaded);
    ASSERT_EQ(s.setup.FileCount(), 3);
    EXPECT_EQ(s.setup.Files[1].Dir, "%InstallDir%\\Data");

    EXPECT_TRUE(s.setup.ExtractFile("README.TXT", "%installdir%\\data", dir.File("got.txt")));
    EXPECT_EQ(ReadFileBytes(dir.File("got.txt")), Bytes("data readme"));
    EXPECT_TRUE(s.setup.ExtractFile("readme.txt", "%InstallDir%", dir.File("top.txt")));
    EXPECT_EQ(ReadFileBytes(dir.File("top.txt")), Bytes("top readme"));

    // The folder is not compared: the first entry in cabinet order answers.
    const auto entry = s.setup.FindCabEntry("readme.txt");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->Size, 10);
}

TEST(SetupExtraction, MissingEntryLeavesTheDestinationUnwritten) {
    TempDir dir;
    WriteSetupCabinet(dir.File("two.cab"), TwoFoldersPlan());
    OpenedSetup s(dir.File("two.cab"));
    ASSERT_TRUE(s.loaded);
    EXPECT_TRUE(s.setup.ExtractFile("readme.txt", "%InstallDir%\\Elsewhere", dir.File("no.txt")));
    EXPECT_FALSE(fs::exists(dir.File("no.txt")));
    const TExtractResult r =
        s.setup.ExtractFileChecked("nothere.txt", "%InstallDir%", dir.File("no.txt"));
    EXPECT_EQ(r.Outcome, TExtractOutcome::NotFound);
    EXPECT_FALSE(fs::exists(dir.File("no.txt")));
}

TEST(SetupExtraction, SetupDllAndUnmatchedEntriesAreNeverModelFiles) {
    TempDir dir;
    // A model row numbered 999 can come from the XML form; its entry is the setup DLL.
    const std::string xml = XmlDescriptor(
        "Demo", {{"%CE1%\\Demo", "app.exe", "app.001"}, {"%CE1%\\Demo", "setup.dll", "setup.999"}});
    WriteCabinet(dir.File("dll.cab"),
                 {{"_setup.xml", Bytes(xml)},
                  {"app.001", Bytes("app")},
                  {"setup.999", Bytes("dll bytes")},
                  {"STRAY.042", Bytes("stray")}},
                 FixtureCompression::MSZIP);
    OpenedSetup s(dir.File("dll.cab"));
    ASSERT_TRUE(s.loaded);
    ASSERT_EQ(s.setup.FileCount(), 2);
    EXPECT_EQ(s.setup.Files[1].Id, 999);
    EXPECT_FALSE(s.setup.FindCabEntry("setup.dll")) << "999 is the setup DLL, not a file";
    EXPECT_TRUE(s.setup.ExtractFile("setup.dll", "%InstallDir%", dir.File("dll")));
    EXPECT_FALSE(fs::exists(dir.File("dll")));
    EXPECT_TRUE(CabinetHasSetupDll(s.cab));
    const auto entries = s.setup.FindCabEntries();
    ASSERT_EQ(entries.size(), 2u);
    ASSERT_TRUE(entries[0]);
    EXPECT_EQ(entries[0]->Name, "app.001");
    EXPECT_FALSE(entries[1]);
}

TEST(SetupExtraction, FirstEntryOfANumberIsTheRowsAndNumbersPastARowIdStandForNone) {
    TempDir dir;
    // Two entries numbered 1: the first is the row's, whatever follows. One numbered past the
    // 16 bits of a row's Id, and one past 32 bits, stand for no row and stop nothing.
    const std::string xml = XmlDescriptor(
        "Demo", {{"%CE1%\\Demo", "app.exe", "app.001"}, {"%CE1%\\Demo", "b.dat", "b.002"}});
    WriteCabinet(dir.File("dup.cab"),
                 {{"_setup.xml", Bytes(xml)},
                  {"first.001", Bytes("first")},
                  {"second.001", Bytes("second one")},
                  {"far.65538", Bytes("far")},
                  {"huge.99999999999", Bytes("huge")},
                  {"b.002", Bytes("bb")}},
                 FixtureCompression::MSZIP);
    OpenedSetup s(dir.File("dup.cab"));
    ASSERT_TRUE(s.loaded);
    const auto entries = s.setup.FindCabEntries();
    ASSERT_EQ(entries.size(), 2u);
    ASSERT_TRUE(entries[0]);
    EXPECT_EQ(entries[0]->Name, "first.001");
    ASSERT_TRUE(entries[1]);
    EXPECT_EQ(entries[1]->Name, "b.002");
    const std::string out = dir.File("app.exe");
    ASSERT_EQ(s.setup.ExtractFileChecked("app.exe", s.setup.Files[0].Dir, out).Outcome,
              TExtractOutcome::Extracted);
    EXPECT_EQ(fs::file_size(out), 5u);
}

TEST(SetupExtraction, EachRowAnswersTheEntryExtractWritesForIt) {
    TempDir dir;
    DescriptorBuilder b("Demo", "Acme", "%CE1%\\Demo");
    const uint16_t data = b.Dir("%CE1%\\Demo\\Data");
    b.File(1, "Same.txt");
    b.File(data, "same.TXT");
    b.File(data, "unique.bin");
    const uint16_t ghost = b.File(1, "ghost.txt");
    SetupCabinetContents contents;
    contents.FileData[1] = Bytes("1");
    contents.FileData[2] = Bytes("22");
    contents.FileData[3] = Bytes("333");
    // No entry carries the ghost's number.
    std::vector<FixtureEntry> built = SetupCabinetEntries(b.Plan(), contents);
    const std::string ghostEntry = SetupEntryName("ghost.txt", ghost);
    std::erase_if(built, [&](const FixtureEntry& e) { return e.Name == ghostEntry; });
    WriteCabinet(dir.File("bulk.cab"), built, FixtureCompression::MSZIP);
    OpenedSetup s(dir.File("bulk.cab"));
    ASSERT_TRUE(s.loaded);
    const auto bulk = s.setup.FindCabEntries();
    ASSERT_EQ(bulk.size(), 4u);
    // Files of one name in two folders: each row shows the size of its own entry, the bytes
    // that extracting that row writes.
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(bulk[i]) << i;
        const std::string out = dir.File("out" + std::to_string(i));
        ASSERT_EQ(
            s.setup.ExtractFileChecked(s.setup.Files[i].Name, s.setup.Files[i].Dir, out).Outcome,
            TExtractOutcome::Extracted)
            << i;
        EXPECT_EQ(fs::file_size(out), static_cast<uintmax_t>(bulk[i]->Size)) << i;
    }
    EXPECT_EQ(bulk[0]->Size, 1);
    EXPECT_EQ(bulk[1]->Size, 2) << "same name ignoring case, other folder: its own entry";
    EXPECT_EQ(bulk[2]->Size, 3);
    EXPECT_FALSE(bulk[3]);

    // A listing held by the caller, here of another cabinet object, answers the same.
    TCABFile other;
    other.CABFile = dir.File("bulk.cab");
    other.ListContents();
    const auto held = s.setup.FindCabEntries(other.CABFileContents);
    ASSERT_EQ(held.size(), bulk.size());
    for (size_t i = 0; i < held.size(); ++i) {
        ASSERT_EQ(held[i].has_value(), bulk[i].has_value()) << i;
        if (held[i]) {
            EXPECT_EQ(held[i]->Name, bulk[i]->Name) << i;
        }
    }
    const auto none = s.setup.FindCabEntries(TCABFileContents(nullptr));
    ASSERT_EQ(none.size(), bulk.size());
    EXPECT_TRUE(
        std::none_of(none.begin(), none.end(), [](const auto& e) { return e.has_value(); }));
}

TEST(SetupExtraction, EntryStoredWithAFolderIsWrittenOnlyToTheChosenPath) {
    TempDir dir;
    WriteCabinet(dir.File("sub.cab"),
                 {{"_setup.xml",
                   Bytes(XmlDescriptor("Demo", {{"%CE1%\\Demo", "deep.txt", "sub\\deep.001"}}))},
                  {"sub\\deep.001", Bytes("deep data")}},
                 FixtureCompression::MSZIP);
    OpenedSetup s(dir.File("sub.cab"));
    ASSERT_TRUE(s.loaded);
    ASSERT_EQ(s.setup.FileCount(), 1);
    const TExtractResult r =
        s.setup.ExtractFileChecked("deep.txt", "%InstallDir%", dir.File("chosen.txt"));
    EXPECT_EQ(r.Outcome, TExtractOutcome::Extracted);
    EXPECT_EQ(ReadFileBytes(dir.File("chosen.txt")), Bytes("deep data"));
    EXPECT_FALSE(fs::exists(dir.Path() + "/sub"));
}

TEST(SetupExtraction, UnwritableDestinationIsReportedAsFailed) {
    TempDir dir;
    WriteSetupCabinet(dir.File("two.cab"), TwoFoldersPlan());
    OpenedSetup s(dir.File("two.cab"));
    ASSERT_TRUE(s.loaded);
    fs::create_directory(dir.File("taken"));
    // The destination is a folder: it cannot be created as a file.
    const TExtractResult r =
        s.setup.ExtractFileChecked("other.bin", "%InstallDir%\\Data", dir.File("taken"));
    EXPECT_EQ(r.Outcome, TExtractOutcome::Failed);
    EXPECT_TRUE(fs::is_directory(dir.File("taken")));
}
