#include "tests/xml/SetupXMLSupport.h"

#include "cab/Errors.h"
#include "cab/cabfiles.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/Corpus.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

using ::testing::ElementsAre;

namespace {

std::string Descriptor(const std::string& appName) {
    return Wrapped(InstallSection(appName, "%CE1%\\Demo") +
                   FileOperation(Directory("%CE1%\\Demo", FileEntry("app.exe", "app.001"))));
}

// Writes a cabinet with the given entries and loads it through the handler as the facade does.
struct CabinetFixture {
    TempDir Dir;
    TCABFile Cab;
    TSetupXML Handler;
    explicit CabinetFixture(const std::vector<FixtureEntry>& entries) {
        const std::string path = Dir.File("setup.cab");
        WriteCabinet(path, entries, FixtureCompression::MSZIP);
        Cab.CABFile = path;
        Handler.Cabinet = &Cab;
    }
};

} // namespace

// The entry is found by its file-name part in any letter case; the first match in entry order wins.
TEST(DescriptorEntry, FoundByFileNamePartInAnyCaseFirstMatchWins) {
    for (const std::string name : {"_SETUP.XML", "_Setup.Xml", "sub\\_setup.xml"}) {
        CabinetFixture f({{"app.001", Bytes("x")},
                          {name, Bytes(Descriptor("First"))},
                          {"_setup.xml", Bytes(Descriptor("Second"))}});
        ASSERT_TRUE(f.Handler.LoadDescriptor()) << name;
        EXPECT_EQ(f.Handler.Project.SoftwareName, "First") << name;
        EXPECT_EQ(f.Handler.Files.size(), 1u);
    }
}

// IsDescriptorEntry compares the whole name; the entry name for building is fixed.
TEST(DescriptorEntry, IsDescriptorEntryComparesTheWholeName) {
    TSetupXML h;
    EXPECT_TRUE(h.IsDescriptorEntry("_SETUP.XML"));
    EXPECT_TRUE(h.IsDescriptorEntry("_setup.Xml"));
    EXPECT_FALSE(h.IsDescriptorEntry("sub\\_setup.xml"));
    EXPECT_FALSE(h.IsDescriptorEntry("_setup.xml.bak"));
    EXPECT_EQ(h.GetDescriptorEntryName(), "_setup.xml");
}

// No descriptor entry, or no cabinet: false and the model is left as it was.
TEST(DescriptorEntry, MissingDescriptorAnswersFalseWithoutTouchingTheModel) {
    CabinetFixture f({{"app.001", Bytes("x")}, {"setup.xml", Bytes(Descriptor("No"))}});
    f.Handler.Project.SoftwareName = "Kept";
    f.Handler.Files.emplace_back();
    EXPECT_FALSE(f.Handler.LoadDescriptor());
    EXPECT_EQ(f.Handler.Project.SoftwareName, "Kept");
    EXPECT_EQ(f.Handler.Files.size(), 1u);
    TSetupXML unbound;
    EXPECT_FALSE(unbound.LoadDescriptor());
}

// Identification through the inherited slot: a cabinet with the XML entry is a setup cabinet.
TEST(DescriptorEntry, IsSetupCabinetFindsTheXmlEntry) {
    CabinetFixture with({{"_setup.xml", Bytes(Descriptor("A"))}});
    EXPECT_TRUE(with.Handler.IsSetupCabinet(with.Cab.CABFile));
    CabinetFixture without({{"a.txt", Bytes("x")}});
    EXPECT_FALSE(without.Handler.IsSetupCabinet(without.Cab.CABFile));
}

// ParseDescriptor without a stream reads the named file; a missing file raises.
TEST(DescriptorEntry, ParseDescriptorReadsANamedFile) {
    TempDir dir;
    WriteFileBytes(dir.File("_setup.xml"), Bytes(Descriptor("FromFile")));
    TSetupXML h;
    ASSERT_TRUE(h.ParseDescriptor(dir.File("_setup.xml"), nullptr));
    EXPECT_EQ(h.Project.SoftwareName, "FromFile");
    EXPECT_THROW((void)h.ParseDescriptor(dir.File("missing.xml"), nullptr), EStreamError);
}

// The real cabinets: counts and values checked by reading their _setup.xml by hand.
TEST(RealDescriptors, CorpusCabinetsLoadThroughTheXmlHandler) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus not present";
    struct Expect {
        std::string Cabinet, AppName;
        size_t Files, Shortcuts, Values, Keys;
    };
    for (const Expect& e : {Expect{"App.WM.CAB", "MyCo My Great App", 4, 1, 29, 25},
                            Expect{"Runtime.HPC_2577.CAB", "NSB Runtime", 4, 0, 33, 29},
                            Expect{"Basic.WM.CAB", "NSB Basic", 54, 1, 46, 41}}) {
        const std::string path = RealCabinet(e.Cabinet);
        if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " not present";
        TCABFile cab;
        cab.CABFile = path;
        TSetupXML h;
        h.Cabinet = &cab;
        ASSERT_TRUE(h.LoadDescriptor()) << e.Cabinet;
        EXPECT_EQ(h.Project.SoftwareName, e.AppName) << e.Cabinet;
        EXPECT_EQ(h.Project.InstallDir, "%ProgramFilesDir%") << e.Cabinet;
        EXPECT_EQ(h.Files.size(), e.Files) << e.Cabinet;
        EXPECT_EQ(h.Shortcuts.size(), e.Shortcuts) << e.Cabinet;
        EXPECT_EQ(h.RegValues.size(), e.Values) << e.Cabinet;
        std::set<std::string> keys;
        for (const TCEINFRegValue& v : h.RegValues) {
            EXPECT_EQ(v.Root, kRootClassesRoot) << e.Cabinet;
            keys.insert(v.KeyPath);
        }
        EXPECT_EQ(keys.size(), e.Keys) << e.Cabinet;
        EXPECT_EQ(h.RootTagName, "wap-provisioningdoc");
        EXPECT_TRUE(h.MarkupBefore.empty() && h.MarkupAfter.empty()) << e.Cabinet;
    }
}

// App.WM.CAB in detail: folders, ids, the shortcut and a value with quotes.
TEST(RealDescriptors, AppCabinetRowsMatchItsDescriptor) {
    const std::string path = RealCabinet("App.WM.CAB");
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "corpus not present";
    TCABFile cab;
    cab.CABFile = path;
    TSetupXML h;
    h.Cabinet = &cab;
    ASSERT_TRUE(h.LoadDescriptor());
    std::vector<std::string> rows;
    for (const TCEINFFile& f : h.Files)
        rows.push_back(std::to_string(f.Id) + " " + f.Dir + "\\" + f.Name);
    EXPECT_THAT(rows, ElementsAre("1 %InstallDir%\\nsbasic\\basic.exe",
                                  "4 %InstallDir%\\MyCo\\project1.exe",
                                  "2 %WinDir%\\nscepicturebox.ocx", "3 %WinDir%\\vbscript.dll"));
    ASSERT_EQ(h.Shortcuts.size(), 1u);
    EXPECT_EQ(h.Shortcuts[0].Name, "My Great App");
    EXPECT_EQ(h.Shortcuts[0].FileName, "project1.exe");
    EXPECT_EQ(h.Shortcuts[0].Folder, "%ProgramsDir%");
    ASSERT_FALSE(h.RegValues.empty());
    EXPECT_EQ(h.RegValues[0].KeyPath, "nsbfile\\Shell\\Open\\Command");
    EXPECT_EQ(h.RegValues[0].Name, "DEFAULT");
    EXPECT_EQ(h.RegValues[0].Data, "\"%InstallDir%\\nsbasic\\basic.exe\" \"%1\"");
}
