// The registry key tree and value rows built from the model's flat list of values.
#include "report/RegistryPages.h"
#include "setup/CESetup.h"
#include "setup/SetupFuncs.h"
#include "tests/report/ReportFixtures.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> Captions(const TTreePage& keys, const std::vector<size_t>& nodes) {
    std::vector<std::string> captions;
    for (const size_t n : nodes)
        captions.push_back(keys.Nodes[n].Caption);
    return captions;
}

} // namespace

TEST(RegistryPages, WithoutValuesTheRootsStandAloneUnderAnExpandedDeviceRegistry) {
    TCESetup setup;
    const TRegistryPages pages = BuildRegistryPages(setup);
    ASSERT_EQ(pages.Keys.Nodes.size(), 4u);
    EXPECT_EQ(pages.Keys.TopLevel, std::vector<size_t>{kRegistryNodeDevice});
    EXPECT_EQ(pages.Keys.Nodes[kRegistryNodeDevice].Caption, "Device Registry");
    EXPECT_TRUE(pages.Keys.Nodes[kRegistryNodeDevice].Expanded);
    EXPECT_EQ(
        Captions(pages.Keys, pages.Keys.Nodes[kRegistryNodeDevice].Children),
        (std::vector<std::string>{"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"}));
    EXPECT_FALSE(pages.Keys.Nodes[kRegistryNodeCurrentUser].Expanded);
    EXPECT_EQ(pages.Keys.Nodes[kRegistryNodeCurrentUser].Icon, TIconKind::Key);
    EXPECT_TRUE(pages.Values.Rows.empty());
    EXPECT_EQ(pages.Values.Caption, "Device Registry Entries");
}

TEST(RegistryPages, KeysDifferingInCaseShareANodeThatKeepsItsFirstCase) {
    TCESetup setup;
    setup.RegValues = {Value(2, "Software\\Acme", "A"), Value(2, "SOFTWARE\\acme\\Sub", "B"),
                       Value(2, "software\\ACME\\", "C"), Value(1, "", "AtRoot"),
                       Value(2, "\\Software\\\\Other\\", "D")};
    const TRegistryPages pages = BuildRegistryPages(setup);
    const TTreePage& keys = pages.Keys;
    const auto& machine = keys.Nodes[kRegistryNodeLocalMachine];
    ASSERT_EQ(Captions(keys, machine.Children), std::vector<std::string>{"Software"});
    const size_t software = machine.Children[0];
    EXPECT_EQ(Captions(keys, keys.Nodes[software].Children),
              (std::vector<std::string>{"Acme", "Other"}))
        << "empty components from leading and doubled backslashes are dropped";
    const size_t acme = keys.Nodes[software].Children[0];
    EXPECT_EQ(keys.Nodes[acme].Rows, (std::vector<size_t>{0, 2})) << "model order kept";
    EXPECT_EQ(keys.Nodes[software].Rows, std::vector<size_t>{});
    EXPECT_EQ(keys.Nodes[kRegistryNodeCurrentUser].Rows, std::vector<size_t>{3})
        << "a value with an empty key path is listed under its root";
    const size_t sub = keys.Nodes[acme].Children[0];
    EXPECT_EQ(keys.Nodes[sub].Parent, acme);
    EXPECT_EQ(RegistryNodePath(keys, sub), "HKEY_LOCAL_MACHINE\\Software\\Acme\\Sub\\");
    EXPECT_EQ(RegistryNodePath(keys, kRegistryNodeCurrentUser), "HKEY_CURRENT_USER\\");
    EXPECT_EQ(RegistryNodePath(keys, kRegistryNodeDevice), "");
    EXPECT_EQ(pages.Values.Rows[1].Node, sub);
}

TEST(RegistryPages, ValueRowsShowDefaultNamesTypesAndTheModelsKey) {
    TCESetup setup;
    setup.RegValues = {Value(2, "Software\\Acme\\", "", kTypeString, "%InstallDir%"),
                       Value(2, "Software\\Acme", "Count", kTypeInteger, "7"),
                       Value(0, "", "Bin", kTypeBinary, "01 02"),
                       Value(1, "K", "Multi", kTypeMultiString, "a b"),
                       Value(1, "K", "Odd", 9, "?")};
    setup.RegValues[1].Id = 42;
    const TPage values = BuildRegistryPages(setup).Values;
    ASSERT_EQ(values.Columns.size(), 4u);
    EXPECT_FALSE(values.Columns[0].Listed) << "the window lists one key's values";
    EXPECT_EQ(values.Columns[2].Align, TAlign::Center);
    EXPECT_EQ(Column(values, 0),
              (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\Software\\Acme",
                                        "HKEY_LOCAL_MACHINE\\Software\\Acme", "HKEY_CLASSES_ROOT",
                                        "HKEY_CURRENT_USER\\K", "HKEY_CURRENT_USER\\K"}));
    EXPECT_EQ(Column(values, 1),
              (std::vector<std::string>{"(Default)", "Count", "Bin", "Multi", "Odd"}));
    EXPECT_EQ(Column(values, 2),
              (std::vector<std::string>{"REG_SZ", "REG_DWORD", "REG_BINARY", "REG_MULTI_SZ", "9"}));
    EXPECT_EQ(Column(values, 3),
              (std::vector<std::string>{"%InstallDir%", "7", "01 02", "a b", "?"}));
    EXPECT_EQ(values.Rows[0].Cells[1].Icon, TIconKind::StringValue);
    EXPECT_EQ(values.Rows[1].Cells[1].Icon, TIconKind::NumberValue);
    EXPECT_EQ(values.Rows[2].Cells[1].Icon, TIconKind::NumberValue);
    EXPECT_EQ(values.Rows[3].Cells[1].Icon, TIconKind::StringValue);
    EXPECT_EQ(*FindField(values.Rows[1].Record, "Id"), TValue(int64_t{42}));
    EXPECT_EQ(*FindField(values.Rows[0].Record, "KeyPath"),
              TValue(std::string("Software\\Acme\\")));
    EXPECT_EQ(*FindField(values.Rows[0].Record, "Name"), TValue(std::string()));
}

TEST(RegistryPages, UnknownRootsGetTheirOwnRootNodeAndAreNotNarrowed) {
    TCESetup setup;
    setup.RegValues = {Value(256, "Key", "A"), Value(7, "", "B"), Value(256, "KEY\\Sub", "C")};
    const TRegistryPages pages = BuildRegistryPages(setup);
    const auto& device = pages.Keys.Nodes[kRegistryNodeDevice];
    EXPECT_EQ(
        Captions(pages.Keys, device.Children),
        (std::vector<std::string>{"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                  "(Unknown root 256)", "(Unknown root 7)"}));
    EXPECT_TRUE(pages.Keys.Nodes[kRegistryNodeClassesRoot].Children.empty());
    EXPECT_EQ(RegistryNodePath(pages.Keys, pages.Values.Rows[2].Node),
              "(Unknown root 256)\\Key\\Sub\\");
}

TEST(RegistryPages, AKeySixteenThousandLevelsDeepIsBuiltOnceWithoutDeepRecursion) {
    constexpr size_t kDepth = 16000;
    std::string deep;
    for (size_t i = 0; i < kDepth; ++i)
        deep += (i % 2 ? "K" : "k") + std::to_string(i % 10) + "\\";
    TCESetup setup;
    setup.RegValues = {Value(2, deep, "Deep"), Value(2, deep.substr(0, deep.size() / 2), "Half"),
                       Value(2, UpperCaseAscii(deep), "Again")};
    const TRegistryPages pages = BuildRegistryPages(setup);
    ASSERT_EQ(pages.Keys.Nodes.size(), 4 + kDepth) << "the three paths share their nodes";
    const size_t deepest = pages.Values.Rows[0].Node;
    EXPECT_EQ(pages.Keys.Nodes[deepest].Rows, (std::vector<size_t>{0, 2}));
    EXPECT_TRUE(pages.Keys.Nodes[deepest].Children.empty());
    EXPECT_EQ(RegistryNodePath(pages.Keys, deepest), "HKEY_LOCAL_MACHINE\\" + deep);
    size_t depth = 0;
    for (size_t at = deepest; at != kRegistryNodeLocalMachine; at = pages.Keys.Nodes[at].Parent)
        ++depth;
    EXPECT_EQ(depth, kDepth);
}
