// The registry page: key tree built from the flat value list, and the value list per key.
#include "app/ListModel.h"
#include "app/RegistryKeyModel.h"
#include "app/RegistryTree.h"
#include "setup/CECAB.h"
#include "tests/app/QtEnvironment.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTreeView>
#include <gtest/gtest.h>

#include <memory>

namespace {

void AddValue(TCESetupBase& setup, int root, const std::string& keyPath, const std::string& name,
              const std::string& data = "x", int type = kTypeString) {
    TCEINFRegValue value;
    value.Id = static_cast<uint16_t>(setup.RegValues.size() + 1);
    value.Root = root;
    value.KeyPath = keyPath;
    value.Name = name;
    value.Data = data;
    value.DataType = type;
    setup.RegValues.push_back(value);
}

void PressKey(QWidget* widget, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QApplication::sendEvent(widget, &release);
}

void ClickItem(QTreeView& tree, const QModelIndex& item) {
    const QPointF at = tree.visualRect(item).center();
    const QPointF global = tree.viewport()->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(tree.viewport(), &press);
    QApplication::sendEvent(tree.viewport(), &release);
}

std::string Text(const QModelIndex& item, int column = 0) {
    return item.isValid() ? item.siblingAtColumn(column).data().toString().toStdString()
                          : std::string("<none>");
}

class RegistryTreeTest : public ::testing::Test {
  protected:
    RegistryTreeTest() : tree(&tv, &lv) {}

    // The value names the list shows, top to bottom.
    std::vector<std::string> Listed() const {
        std::vector<std::string> names;
        for (int i = 0; i < lv.model()->rowCount(); ++i)
            names.push_back(Text(ListRow(i)));
        return names;
    }
    QModelIndex ListRow(int row, int column = 0) const { return lv.model()->index(row, column); }
    std::vector<std::string> Children(const QModelIndex& node) const {
        std::vector<std::string> names;
        for (int i = 0; i < tv.model()->rowCount(node); ++i)
            names.push_back(Text(Child(node, i)));
        return names;
    }
    QModelIndex Child(const QModelIndex& node, int row) const {
        return tv.model()->index(row, 0, node);
    }
    void Select(const QModelIndex& node) { tv.setCurrentIndex(node); }
    bool Selected(const QModelIndex& node) const { return tv.selectionModel()->isSelected(node); }

    TCESetupBase setup;
    QTreeView tv;
    QTreeView lv;
    TRegistryTree tree;
};

TEST_F(RegistryTreeTest, NoValuesShowsThreeRootsWithCurrentUserSelectedAndAnEmptyList) {
    tree.Fill(setup);
    ASSERT_EQ(tv.model()->rowCount(), 1);
    const QModelIndex registry = tv.model()->index(0, 0);
    EXPECT_EQ(Text(registry), "Device Registry");
    EXPECT_EQ(
        Children(registry),
        (std::vector<std::string>{"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"}));
    EXPECT_EQ(tree.FNodeClassesRoot, Child(registry, 0));
    EXPECT_EQ(tree.FNodeCurrentUser, Child(registry, 1));
    EXPECT_EQ(tree.FNodeLocalMachine, Child(registry, 2));
    EXPECT_TRUE(tv.isExpanded(registry));
    EXPECT_EQ(tv.currentIndex(), tree.FNodeCurrentUser);
    EXPECT_EQ(lv.model()->rowCount(), 0);
    EXPECT_EQ(registry.data(TRegistryKeyModel::kImageRole).toInt(), 6);
    EXPECT_EQ(tree.FNodeCurrentUser.data(TRegistryKeyModel::kImageRole).toInt(), 7);
    EXPECT_EQ(tree.FNodeCurrentUser.data(TRegistryKeyModel::kSelectedImageRole).toInt(), 8);
}

TEST_F(RegistryTreeTest, ListHasTheThreeColumnsOfThePage) {
    ASSERT_EQ(lv.model()->columnCount(), 3);
    const auto header = [this](int column) {
        return lv.model()->headerData(column, Qt::Horizontal).toString().toStdString();
    };
    EXPECT_EQ(header(0), "Value Name");
    EXPECT_EQ(header(1), "Type");
    EXPECT_EQ(header(2), "Value");
    EXPECT_FALSE(lv.header()->sectionsClickable());
    EXPECT_FALSE(lv.isSortingEnabled());
    EXPECT_EQ(lv.columnWidth(0), 120);
    EXPECT_EQ(lv.columnWidth(1), 70);
    EXPECT_EQ(lv.columnWidth(2), 200);
    EXPECT_EQ(tv.indentation(), 19);
}

TEST_F(RegistryTreeTest, KeysOnlyExpandOneLevelAndKeepInsertionOrder) {
    AddValue(setup, kRootLocalMachine, "Software\\Zeta\\Deep", "a");
    AddValue(setup, kRootLocalMachine, "Software\\Alpha", "b");
    tree.Fill(setup);
    ASSERT_EQ(Children(tree.FNodeLocalMachine), std::vector<std::string>{"Software"});
    const QModelIndex software = Child(tree.FNodeLocalMachine, 0);
    EXPECT_EQ(Children(software), (std::vector<std::string>{"Zeta", "Alpha"}));
    EXPECT_FALSE(tv.isExpanded(tree.FNodeLocalMachine));
    EXPECT_FALSE(tv.isExpanded(software));
}

TEST_F(RegistryTreeTest, ValuesDirectlyUnderARootAreListedForThatRoot) {
    AddValue(setup, kRootLocalMachine, "", "AtRoot");
    AddValue(setup, kRootLocalMachine, "\\", "AtRootToo");
    AddValue(setup, kRootCurrentUser, "", "UserValue");
    tree.Fill(setup);
    EXPECT_EQ(tv.model()->rowCount(tree.FNodeLocalMachine), 0);
    EXPECT_EQ(Listed(), std::vector<std::string>{"UserValue"});
    Select(tree.FNodeLocalMachine);
    EXPECT_EQ(Listed(), (std::vector<std::string>{"AtRoot", "AtRootToo"}));
}

TEST_F(RegistryTreeTest, KeyPathsDifferingOnlyInCaseShareOneNodeWithTheFirstCase) {
    AddValue(setup, kRootLocalMachine, "Software\\Foo", "one");
    AddValue(setup, kRootLocalMachine, "SOFTWARE\\foo\\", "two");
    AddValue(setup, kRootLocalMachine, "software\\FOO", "three");
    tree.Fill(setup);
    ASSERT_EQ(Children(tree.FNodeLocalMachine), std::vector<std::string>{"Software"});
    const QModelIndex foo = Child(Child(tree.FNodeLocalMachine, 0), 0);
    ASSERT_EQ(tv.model()->rowCount(Child(tree.FNodeLocalMachine, 0)), 1);
    EXPECT_EQ(Text(foo), "Foo");
    EXPECT_EQ(tree.RegistryNodePath(foo), "HKEY_LOCAL_MACHINE\\Software\\Foo\\");
    EXPECT_EQ(tree.FindRegistryNode("hkey_local_machine\\SOFTWARE\\fOO\\"), foo);
    Select(foo);
    EXPECT_EQ(Listed(), (std::vector<std::string>{"one", "two", "three"}));
}

TEST_F(RegistryTreeTest, NodePathsAndLookupFollowTheCaptions) {
    tree.Fill(setup);
    EXPECT_EQ(tree.RegistryNodePath(tree.FNodeCurrentUser), "HKEY_CURRENT_USER\\");
    EXPECT_EQ(tree.FindRegistryNode("HKEY_CURRENT_USER\\"), tree.FNodeCurrentUser);
    EXPECT_FALSE(tree.FindRegistryNode("Device Registry\\").isValid());
    EXPECT_FALSE(tree.FindRegistryNode("HKEY_CURRENT_USER\\Missing\\").isValid());
}

TEST_F(RegistryTreeTest, AddRegistryKeyCreatesMissingAncestorsOnceAndDropsEmptyComponents) {
    tree.Fill(setup);
    QAbstractItemModelTester tester(tv.model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    const QModelIndex deep = tree.AddRegistryKey("HKEY_CLASSES_ROOT\\\\A\\B\\\\C");
    ASSERT_TRUE(deep.isValid());
    EXPECT_EQ(tree.RegistryNodePath(deep), "HKEY_CLASSES_ROOT\\A\\B\\C\\");
    EXPECT_EQ(tree.AddRegistryKey("hkey_classes_root\\a\\b\\c\\"), deep);
    const QModelIndex sibling = tree.AddRegistryKey("HKEY_CLASSES_ROOT\\A\\D");
    EXPECT_EQ(sibling.parent(), deep.parent().parent());
    EXPECT_EQ(tv.model()->rowCount(tree.FNodeClassesRoot), 1);
    EXPECT_FALSE(tree.AddRegistryKey("").isValid());
}

TEST_F(RegistryTreeTest, SelectingDeviceRegistryMovesToCurrentUser) {
    AddValue(setup, kRootCurrentUser, "Software", "UserValue");
    AddValue(setup, kRootCurrentUser, "", "AtUserRoot");
    tree.Fill(setup);
    Select(tree.FNodeLocalMachine);
    EXPECT_TRUE(Listed().empty());
    Select(tree.FNodeRegistry);
    EXPECT_EQ(tv.currentIndex(), tree.FNodeCurrentUser);
    EXPECT_EQ(Listed(), std::vector<std::string>{"AtUserRoot"});

    // By keyboard: up from HKEY_CLASSES_ROOT reaches "Device Registry".
    Select(tree.FNodeClassesRoot);
    PressKey(&tv, Qt::Key_Up);
    EXPECT_EQ(tv.currentIndex(), tree.FNodeCurrentUser);
    EXPECT_EQ(Listed(), std::vector<std::string>{"AtUserRoot"});

    // By mouse, on a shown tree.
    tv.resize(300, 300);
    tv.show();
    Select(tree.FNodeLocalMachine);
    ClickItem(tv, tree.FNodeRegistry);
    EXPECT_EQ(tv.currentIndex(), tree.FNodeCurrentUser);
    EXPECT_TRUE(Selected(tree.FNodeCurrentUser));
    EXPECT_FALSE(Selected(tree.FNodeRegistry));
    EXPECT_EQ(Listed(), std::vector<std::string>{"AtUserRoot"});
}

TEST_F(RegistryTreeTest, CollapsingIsRefusedOnlyForDeviceRegistry) {
    AddValue(setup, kRootLocalMachine, "Software\\Foo", "v");
    tree.Fill(setup);
    bool allow = true;
    tree.tvRegistryCollapsing(tree.FNodeRegistry, allow);
    EXPECT_FALSE(allow);
    allow = true;
    tree.tvRegistryCollapsing(tree.FNodeLocalMachine, allow);
    EXPECT_TRUE(allow);

    tv.collapse(tree.FNodeRegistry);
    EXPECT_TRUE(tv.isExpanded(tree.FNodeRegistry));
    Select(tree.FNodeRegistry);
    PressKey(&tv, Qt::Key_Left);
    EXPECT_TRUE(tv.isExpanded(tree.FNodeRegistry));

    tv.expand(tree.FNodeLocalMachine);
    ASSERT_TRUE(tv.isExpanded(tree.FNodeLocalMachine));
    tv.collapse(tree.FNodeLocalMachine);
    EXPECT_FALSE(tv.isExpanded(tree.FNodeLocalMachine));
}

TEST_F(RegistryTreeTest, UnnamedValueShowsDefaultAndValuesKeepModelOrder) {
    AddValue(setup, kRootCurrentUser, "Key", "zeta");
    AddValue(setup, kRootCurrentUser, "Other", "elsewhere");
    AddValue(setup, kRootCurrentUser, "key", "");
    AddValue(setup, kRootCurrentUser, "KEY", "alpha");
    tree.Fill(setup);
    Select(tree.FindRegistryNode("HKEY_CURRENT_USER\\Key\\"));
    EXPECT_EQ(Listed(), (std::vector<std::string>{"zeta", "(Default)", "alpha"}));
    EXPECT_EQ(ListRow(1).data(TListModel::kSourceRole).toInt(), 2);
}

TEST_F(RegistryTreeTest, TypesGiveTheirTextImageAndTheDataAsHeld) {
    AddValue(setup, kRootLocalMachine, "T", "s", "text", kTypeString);
    AddValue(setup, kRootLocalMachine, "T", "d", "4294967295", kTypeInteger);
    AddValue(setup, kRootLocalMachine, "T", "b", "01 FF", kTypeBinary);
    AddValue(setup, kRootLocalMachine, "T", "m", "one,two", kTypeMultiString);
    AddValue(setup, kRootLocalMachine, "T", "u", "?", 9);
    tree.Fill(setup);
    Select(tree.FindRegistryNode("HKEY_LOCAL_MACHINE\\T\\"));
    ASSERT_EQ(lv.model()->rowCount(), 5);
    const std::string types[] = {"REG_SZ", "REG_DWORD", "REG_BINARY", "REG_MULTI_SZ", "9"};
    const int images[] = {11, 12, 12, 11, 12};
    const std::string data[] = {"text", "4294967295", "01 FF", "one,two", "?"};
    for (int i = 0; i < 5; ++i) {
        const QModelIndex row = ListRow(i);
        EXPECT_EQ(Text(row, 1), types[i]) << i;
        EXPECT_EQ(row.data(TListModel::kImageRole).toInt(), images[i]) << i;
        EXPECT_EQ(Text(row, 2), data[i]) << i;
        EXPECT_EQ(ListRow(i, 1).data(Qt::TextAlignmentRole).toInt(), Qt::AlignCenter) << i;
    }
}

TEST_F(RegistryTreeTest, UnknownRootsGetTheirOwnNodeBelowDeviceRegistry) {
    AddValue(setup, -1, "", "Orphan");
    AddValue(setup, 256, "Software", "Wide");
    AddValue(setup, -1, "Sub\\Key", "Nested");
    AddValue(setup, kRootClassesRoot, "Software", "Classes");
    tree.Fill(setup);
    EXPECT_EQ(
        Children(tree.FNodeRegistry),
        (std::vector<std::string>{"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                  "(Unknown root -1)", "(Unknown root 256)"}));
    const QModelIndex minusOne = Child(tree.FNodeRegistry, 3);
    Select(minusOne);
    EXPECT_EQ(Listed(), std::vector<std::string>{"Orphan"});
    Select(tree.FindRegistryNode("(unknown root -1)\\sub\\key\\"));
    EXPECT_EQ(Listed(), std::vector<std::string>{"Nested"});
    // Root 256 must not fall to HKEY_CLASSES_ROOT by narrowing to a byte.
    Select(tree.FindRegistryNode("HKEY_CLASSES_ROOT\\Software\\"));
    EXPECT_EQ(Listed(), std::vector<std::string>{"Classes"});
    Select(tree.FindRegistryNode("(Unknown root 256)\\Software\\"));
    EXPECT_EQ(Listed(), std::vector<std::string>{"Wide"});
}

TEST_F(RegistryTreeTest, ClearAndRefillLeaveNoStaleNodes) {
    AddValue(setup, kRootLocalMachine, "Software", "v");
    tree.Fill(setup);
    tree.Fill(setup);
    ASSERT_EQ(tv.model()->rowCount(), 1);
    EXPECT_EQ(tv.model()->rowCount(tree.FNodeLocalMachine), 1);

    tree.Clear();
    EXPECT_EQ(tv.model()->rowCount(), 0);
    EXPECT_EQ(lv.model()->rowCount(), 0);
    EXPECT_FALSE(tree.FNodeCurrentUser.isValid());
    EXPECT_FALSE(tree.FindRegistryNode("HKEY_LOCAL_MACHINE\\Software\\").isValid());
}

TEST_F(RegistryTreeTest, ValuesStayListedAfterTheSetupIsFreed) {
    auto owned = std::make_unique<TCESetupBase>();
    AddValue(*owned, kRootLocalMachine, "Software", "kept", "data");
    tree.Fill(*owned);
    owned.reset();
    Select(tree.FindRegistryNode("HKEY_LOCAL_MACHINE\\Software\\"));
    EXPECT_EQ(Listed(), std::vector<std::string>{"kept"});
    EXPECT_EQ(Text(ListRow(0), 2), "data");
}

TEST_F(RegistryTreeTest, EightBitNamesSurviveTheRoundTripAndFoldOnlyAsciiCase) {
    const std::string key = "Soft\xE9ware";
    AddValue(setup, kRootLocalMachine, key, "n\xE4me");
    AddValue(setup, kRootLocalMachine, "SOFT\xC9WARE", "other");
    tree.Fill(setup);
    EXPECT_EQ(tv.model()->rowCount(tree.FNodeLocalMachine), 2);
    const QModelIndex node = tree.FindRegistryNode("HKEY_LOCAL_MACHINE\\" + key + "\\");
    ASSERT_TRUE(node.isValid());
    EXPECT_EQ(tree.RegistryNodePath(node), "HKEY_LOCAL_MACHINE\\" + key + "\\");
    Select(node);
    ASSERT_EQ(lv.model()->rowCount(), 1);
    EXPECT_EQ(ListRow(0).data().toString().toLatin1().toStdString(), "n\xE4me");
}

TEST_F(RegistryTreeTest, KeyAndValueModelsPassTheModelTester) {
    AddValue(setup, kRootLocalMachine, "Software\\A\\B", "one");
    AddValue(setup, kRootCurrentUser, "Software\\A", "two", "2", kTypeInteger);
    AddValue(setup, 7, "Odd", "three");
    QAbstractItemModelTester keys(tv.model(),
                                  QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester values(lv.model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    tree.Fill(setup);
    Select(tree.FindRegistryNode("HKEY_LOCAL_MACHINE\\Software\\A\\B\\"));
    EXPECT_EQ(Listed(), std::vector<std::string>{"one"});
    tree.ValueFilter()->SetText("zzz");
    EXPECT_TRUE(Listed().empty());
    tree.ValueFilter()->SetText("ON");
    EXPECT_EQ(Listed(), std::vector<std::string>{"one"});
    tree.Clear();
    tree.Fill(setup);
}

// A key thousands of levels deep is built in one pass and can be opened down to its leaf; the
// pane then scrolls sideways and the leaf tells its whole path.
TEST_F(RegistryTreeTest, DeepKeysBuildOpenAndTellTheirPath) {
    constexpr int kDepth = 16000;
    std::string path;
    for (int i = 0; i < kDepth; ++i)
        path += "K" + std::to_string(i % 10) + "\\";
    AddValue(setup, kRootLocalMachine, path, "deepest");
    tree.Fill(setup);
    const QModelIndex leaf = tree.FindRegistryNode("HKEY_LOCAL_MACHINE\\" + path);
    ASSERT_TRUE(leaf.isValid());
    EXPECT_EQ(tree.RegistryNodePath(leaf), "HKEY_LOCAL_MACHINE\\" + path);
    const std::string tip = leaf.data(Qt::ToolTipRole).toString().toStdString();
    EXPECT_EQ(tip, "HKEY_LOCAL_MACHINE\\" + path.substr(0, path.size() - 1));

    tv.resize(180, 300);
    tv.show();
    // Opening only the first levels: the full chain is not needed to see the sideways scroll.
    QModelIndex node = tree.FNodeLocalMachine;
    for (int level = 0; level < 40; ++level) {
        tv.expand(node);
        node = Child(node, 0);
    }
    tv.scrollTo(node);
    QApplication::processEvents();
    EXPECT_GT(tv.horizontalScrollBar()->maximum(), 0);
    Select(leaf);
    EXPECT_EQ(Listed(), std::vector<std::string>{"deepest"});
    // Every level open at once, the leaf scrolled into view and painted.
    tv.expandAll();
    tv.scrollTo(leaf);
    tv.viewport()->repaint();
    EXPECT_TRUE(tv.isExpanded(
        tree.FindRegistryNode("HKEY_LOCAL_MACHINE\\" + path.substr(0, path.size() - 3))));
}

TEST_F(RegistryTreeTest, RootKeysTellTheirNameAndDeviceRegistryNothing) {
    tree.Fill(setup);
    EXPECT_EQ(tree.FNodeCurrentUser.data(Qt::ToolTipRole).toString().toStdString(),
              "HKEY_CURRENT_USER");
    EXPECT_FALSE(tree.FNodeRegistry.data(Qt::ToolTipRole).isValid());
}

} // namespace
