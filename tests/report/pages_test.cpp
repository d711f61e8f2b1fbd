// The project tree, properties, files and shortcuts pages of setups built by our fixture
// writers.
#include "report/SetupPages.h"
#include "tests/report/ReportFixtures.h"
#include "tests/support/DescriptorWriter.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Texts = std::vector<std::string>;

// Three files of which two share a name in different folders with different sizes, a setup
// DLL and two shortcuts whose titles sort differently from their model order.
std::string DemoCabinet(const TempDir& dir) {
    DescriptorBuilder b("Demo", "Acme", "%CE1%\\Demo");
    const uint16_t data = b.Dir("%CE1%\\Demo\\Data");
    const uint16_t zeta = b.File(1, "zeta.exe", 0x90000001u);
    b.File(1, "res.dll");
    b.File(data, "res.dll");
    b.Shortcut("Zed", zeta);
    b.Shortcut("apple", zeta);
    SetupCabinetContents contents;
    contents.FileData[1] = Bytes("zeta");
    contents.FileData[2] = std::vector<uint8_t>(10, 'a');
    contents.FileData[3] = std::vector<uint8_t>(2000, 'b');
    contents.SetupDll = Bytes("dll");
    WriteSetupCabinet(dir.File("demo.cab"), b.Plan(), contents);
    return dir.File("demo.cab");
}

std::string XmlCabinet(const TempDir& dir) {
    const std::string xml =
        "<wap-provisioningdoc><characteristic type=\"Install\">"
        "<parm name=\"AppName\" value=\"Xdemo\"/><parm name=\"InstallDir\" value=\"%CE1%\\X\"/>"
        "</characteristic><characteristic type=\"FileOperation\">"
        "<characteristic type=\"%CE1%\\X\" translation=\"install\">"
        "<characteristic type=\"a.txt\" translation=\"install\"><characteristic "
        "type=\"Extract\"><parm name=\"Source\" value=\"a.001\"/></characteristic>"
        "</characteristic></characteristic></characteristic></wap-provisioningdoc>";
    WriteCabinet(dir.File("x.cab"), {{"_setup.xml", Bytes(xml)}, {"a.001", Bytes("abc")}},
                 FixtureCompression::None);
    return dir.File("x.cab");
}

} // namespace

TEST(ProjectTree, TheSetupNameOverTheThreeFixedPagesAllExpanded) {
    TempDir dir;
    LoadedSetup loaded(DemoCabinet(dir));
    const TTreePage tree = BuildProjectTree(loaded.Setup);
    ASSERT_EQ(tree.Nodes.size(), 4u);
    EXPECT_EQ(tree.TopLevel, std::vector<size_t>{kProjectNodeSetup});
    EXPECT_EQ(tree.Nodes[kProjectNodeSetup].Caption, "Demo");
    EXPECT_EQ(
        tree.Nodes[kProjectNodeSetup].Children,
        (std::vector<size_t>{kProjectNodeFiles, kProjectNodeShortcuts, kProjectNodeRegistry}));
    EXPECT_EQ(tree.Nodes[kProjectNodeRegistry].Caption, "Registry Entries");
    EXPECT_EQ(tree.Nodes[kProjectNodeRegistry].Row, 2u);
    EXPECT_EQ(tree.Nodes[kProjectNodeShortcuts].Icon, TIconKind::Shortcuts);
    EXPECT_TRUE(std::all_of(tree.Nodes.begin(), tree.Nodes.end(),
                            [](const TTreeNode& n) { return n.Expanded; }));
}

TEST(PropertiesPage, RowsOfABinaryAndOfAnXmlSetup) {
    TempDir dir;
    LoadedSetup binary(DemoCabinet(dir));
    const TPage page = BuildPropertiesPage(binary.Setup, binary.Listing());
    EXPECT_EQ(page.Caption, "Windows CE Setup Properties");
    EXPECT_EQ(Column(page, 0), (Texts{"Software Name", "Company", "Install Directory",
                                      "Platform Name", "Platform Min Version",
                                      "Platform Max Version", "Processor", "Use Setup DLL"}));
    const Texts values = Column(page, 1);
    EXPECT_EQ(values[0], "Demo");
    EXPECT_EQ(values[2], "%ProgramFilesDir%\\Demo");
    EXPECT_EQ(values[6], "StrongARM");
    EXPECT_EQ(values[7], "Yes");
    EXPECT_EQ(*FindField(page.Rows[6].Record, "Processor"), TValue(int64_t{2577}));
    EXPECT_EQ(*FindField(page.Rows[7].Record, "setupDll"), TValue(true));

    LoadedSetup xml(XmlCabinet(dir));
    const TPage xmlPage = BuildPropertiesPage(xml.Setup, xml.Listing());
    EXPECT_EQ(Column(xmlPage, 0),
              (Texts{"Software Name", "Company", "Install Directory", "Unsupported Devices",
                     "Min Version", "Max Version", "Processor", "Use Setup DLL"}));
    EXPECT_EQ(xmlPage.Rows[6].Cells[1].Text, "") << "the XML reader's -1 has no processor name";
    EXPECT_EQ(*FindField(xmlPage.Rows[6].Record, "Processor"), TValue(int64_t{-1}));
    EXPECT_EQ(xmlPage.Rows[7].Cells[1].Text, "No");
}

TEST(FilesPage, SortedRowsWithEachRowsOwnSizeFlagsAndExactRecords) {
    TempDir dir;
    LoadedSetup loaded(DemoCabinet(dir));
    const TPage page = BuildFilesPage(loaded.Setup, loaded.Listing());
    EXPECT_EQ(page.Caption, "Device Files");
    ASSERT_EQ(page.Columns.size(), 6u);
    EXPECT_EQ(page.Columns[2].Caption, "File Size");
    EXPECT_EQ(page.Columns[2].Align, TAlign::Right);
    EXPECT_EQ(page.Columns[3].Align, TAlign::Center);
    EXPECT_EQ(Column(page, 0), (Texts{"res.dll", "res.dll", "zeta.exe"}));
    EXPECT_EQ(Column(page, 1), (Texts{"%InstallDir%\\", "%InstallDir%\\Data\\", "%InstallDir%\\"}));
    EXPECT_EQ(Column(page, 2), (Texts{"10 bytes", "2.0 KB", "4 bytes"}))
        << "same name, other folder: each row has its own entry's size";
    EXPECT_EQ(page.Rows[1].Cells[2].SortKey, (std::variant<std::string, int64_t>(int64_t{2000})));
    EXPECT_EQ(page.Rows[1].Cells[2].Align, TAlign::Right);
    EXPECT_EQ(Column(page, 3), (Texts{"0x00000000", "0x00000000", "0x00000001"}));
    EXPECT_EQ(Column(page, 4), (Texts{"No", "No", "Yes"}));
    EXPECT_EQ(Column(page, 5), (Texts{"No", "No", "Yes"}));
    EXPECT_EQ(page.Rows[0].Cells[0].Icon, TIconKind::FileRow);

    const TRow& zeta = page.Rows[2];
    EXPECT_EQ(zeta.Source, 0u);
    EXPECT_EQ(*FindField(zeta.Record, "Flags"), TValue(int64_t{static_cast<int32_t>(0x90000001u)}))
        << "the record keeps the whole flag word";
    EXPECT_EQ(*FindField(zeta.Record, "Size"), TValue(int64_t{4}));
    EXPECT_EQ(*FindField(zeta.Record, "Dir"), TValue(std::string("%InstallDir%")));
    const auto model = InModelOrder(page);
    EXPECT_EQ(model[0], &zeta);
    EXPECT_EQ(model[2]->Cells[1].Text, "%InstallDir%\\Data\\");
}

TEST(FilesPage, AMissingEntryShowsZeroBytesAndANullSize) {
    TempDir dir;
    LoadedSetup loaded(DemoCabinet(dir));
    TCABFileContents listing(&loaded.Cabinet);
    for (const TCABFileEntry& entry : loaded.Listing().Items())
        if (entry.Name.find(".001") == std::string::npos) listing.Add() = entry;
    const TPage page = BuildFilesPage(loaded.Setup, listing);
    ASSERT_EQ(page.Rows.size(), 3u);
    EXPECT_EQ(page.Rows[2].Cells[2].Text, "0 bytes");
    EXPECT_EQ(*FindField(page.Rows[2].Record, "Size"), TValue());
}

TEST(FilesPage, TheCallersOrderAndDecimalSeparatorAreUsed) {
    TempDir dir;
    LoadedSetup loaded(DemoCabinet(dir));
    TReportOptions options;
    options.DecimalSeparator = ",";
    options.Order = [](const std::vector<std::string>& captions) {
        std::vector<size_t> order(captions.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = order.size() - 1 - i; // model order reversed
        return order;
    };
    const TPage page = BuildFilesPage(loaded.Setup, loaded.Listing(), options);
    EXPECT_EQ(Column(page, 2), (Texts{"2,0 KB", "10 bytes", "4 bytes"}));
}

TEST(FilesPage, EveryFolderEndsInOneBackslashWhateverItsLength) {
    // Around the length up to which a folder cell is made without a copy on the heap: with
    // "%WinDir%\\" before them, the folders of 53 to 56 characters are 62 to 65 long.
    TempDir dir;
    DescriptorBuilder b("Long", "Acme", "%CE1%\\Long");
    std::vector<std::string> folders;
    for (const size_t length : {1u, 53u, 54u, 55u, 56u, 300u})
        folders.push_back("%CE2%\\" + std::string(length, 'f'));
    SetupCabinetContents contents;
    for (size_t i = 0; i < folders.size(); ++i) {
        const uint16_t id = b.File(b.Dir(folders[i]), "f" + std::to_string(i) + ".txt");
        contents.FileData[id] = Bytes("x");
    }
    WriteSetupCabinet(dir.File("long.cab"), b.Plan(), contents);
    LoadedSetup loaded(dir.File("long.cab"));
    const TPage page = BuildFilesPage(loaded.Setup, loaded.Listing());
    ASSERT_EQ(page.Rows.size(), folders.size());
    for (const TRow& row : page.Rows) {
        const std::string& folder = loaded.Setup.Files[row.Source].Dir;
        const std::string& cell = row.Cells[1].Text;
        ASSERT_FALSE(cell.empty());
        EXPECT_EQ(cell.back(), '\\') << folder;
        EXPECT_EQ(cell.substr(0, folder.size()), folder);
        EXPECT_EQ(cell.size(), folder.size() + 1) << folder;
    }
}

TEST(ShortcutsPage, SortedByTitleWithFolderAndRecords) {
    TempDir dir;
    LoadedSetup loaded(DemoCabinet(dir));
    const TPage page = BuildShortcutsPage(loaded.Setup);
    EXPECT_EQ(page.Caption, "Device Shortcuts");
    // The C locale collates upper case before lower case.
    EXPECT_EQ(Column(page, 0), (Texts{"Zed", "apple"}));
    EXPECT_EQ(Column(page, 1), (Texts{"zeta.exe", "zeta.exe"}));
    EXPECT_EQ(page.Rows[1].Source, 1u);
    EXPECT_EQ(page.Rows[1].Cells[0].Icon, TIconKind::ShortcutRow);
    EXPECT_EQ(page.Rows[1].Cells[2].Text.back(), '\\');
    EXPECT_EQ(*FindField(page.Rows[1].Record, "Name"), TValue(std::string("apple")));
}
