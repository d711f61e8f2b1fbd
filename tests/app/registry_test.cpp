// The registry page: key tree built from the flat value list, and the value list per key.
#include "app/RegistryTree.h"
#include "setup/CECAB.h"
#include "tests/app/QtEnvironment.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTreeWidget>
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

void ClickItem(QTreeWidget& tree, QTreeWidgetItem* item) {
    const QPointF at = tree.visualItemRect(item).center();
    const QPointF global = tree.viewport()->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(tree.viewport(), &press);
    QApplication::sendEvent(tree.viewport(), &release);
}

std::string Text(const QTreeWidgetItem* item, int column = 0) {
    return item ? item->text(column).toStdString() : std::string("<none>");
}

class RegistryTreeTest : public ::testing::Test {
  protected:
    RegistryTreeTest() : tree(&tv, &lv, {}) {}

    // The value names the list shows, top to bottom.
    std::vector<std::string> Listed() const {
        std::vector<std::string> names;
        for (int i = 0; i < lv.topLevelItemCount(); ++i)
            names.push_back(Text(lv.topLevelItem(i)));
        return names;
    }
    std::vector<std::string> Children(const QTreeWidgetItem* node) const {
        std::vector<std::string> names;
        for (int i = 0; i < node->childCount(); ++i)
            names.push_back(Text(node->child(i)));
        return names;
    }
    void Select(QTreeWidgetItem* node) { tv.setCurrentItem(node); }

    TCESetupBase setup;
    QTreeWidget tv;
    QTreeWidget lv;
    TRegistryTree tree;
};

TEST_F(RegistryTreeTest, NoValuesShowsThreeRootsWithCurrentUserSelectedAndAnEmptyList) {
    tree.Fill(setup);
    ASSERT_EQ(tv.topLevelItemCount(), 1);
    QTreeWidgetItem* registry = tv.topLevelItem(0);
    EXPECT_EQ(Text(registry), "Device Registry");
    EXPECT_EQ(
        Children(registry),
        (std::vector<std::string>{"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"}));
    EXPECT_EQ(tree.FNodeClassesRoot, registry->child(0));
    EXPECT_EQ(tree.FNodeCurrentUser, registry->child(1));
    EXPECT_EQ(tree.FNodeLocalMachine, registry->child(2));
    EXPECT_TRUE(registry->isExpanded());
    EXPECT_EQ(tv.currentItem(), tree.FNodeCurrentUser);
    EXPECT_EQ(lv.topLevelItemCount(), 0);
    EXPECT_EQ(registry->data(0, TRegistryTree::kImageRole).toInt(), 6);
    EXPECT_EQ(tree.FNodeCurrentUser->data(0, TRegistryTree::kImageRole).toInt(), 7);
    EXPECT_EQ(tree.FNodeCurrentUser->data(0, TRegistryTree::kSelectedImageRole).toInt(), 8);
}

TEST_F(RegistryTreeTest, ListHasTheThreeColumnsOfThePage) {
    ASSERT_EQ(lv.columnCount(), 3);
    EXPECT_EQ(lv.headerItem()->text(0).toStdString(), "Value Name");
    EXPECT_EQ(lv.headerItem()->text(1).toStdString(), "Type");
    EXPECT_EQ(lv.headerItem()->text(2).toStdString(), "Value");
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
    QTreeWidgetItem* software = tree.FNodeLocalMachine->child(0);
    EXPECT_EQ(Children(software), (std::vector<std::string>{"Zeta", "Alpha"}));
    EXPECT_FALSE(tree.FNodeLocalMachine->isExpanded());
    EXPECT_FALSE(software->isExpanded());
}

TEST_F(RegistryTreeTest, ValuesDirectlyUnderARootAreListedForThatRoot) {
    AddValue(setup, kRootLocalMachine, "", "AtRoot");
    AddValue(setup, kRootLocalMachine, "\\", "AtRootToo");
    AddValue(setup, kRootCurrentUser, "", "UserValue");
    tree.Fill(setup);
    EXPECT_EQ(tree.FNodeLocalMachine->childCount(), 0);
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
    QTreeWidgetItem* foo = tree.FNodeLocalMachine->child(0)->child(0);
    ASSERT_EQ(tree.FNodeLocalMachine->child(0)->childCount(), 1);
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
    EXPECT_EQ(tree.FindRegistryNode("HKEY_CURRENT_USER"), nullptr);
    EXPECT_EQ(tree.FindRegistryNode("Device Registry\\"), nullptr);
    EXPECT_EQ(tree.FindRegistryNode("HKEY_CURRENT_USER\\Missing\\"), nullptr);
}

TEST_F(RegistryTreeTest, AddRegistryKeyCreatesMissingAncestorsOnceAndDropsEmptyComponents) {
    tree.Fill(setup);
    QTreeWidgetItem* deep = tree.AddRegistryKey("HKEY_CLASSES_ROOT\\\\A\\B\\\\C");
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(tree.RegistryNodePath(deep), "HKEY_CLASSES_ROOT\\A\\B\\C\\");
    EXPECT_EQ(tree.AddRegistryKey("hkey_classes_root\\a\\b\\c\\"), deep);
    QTreeWidgetItem* sibling = tree.AddRegistryKey("HKEY_CLASSES_ROOT\\A\\D");
    EXPECT_EQ(sibling->parent(), deep->parent()->parent());
    EXPECT_EQ(tree.FNodeClassesRoot->childCount(), 1);
    EXPECT_EQ(tree.AddRegistryKey(""), nullptr);
}

TEST_F(RegistryTreeTest, SelectingDeviceRegistryMovesToCurrentUser) {
    AddValue(setup, kRootCurrentUser, "Software", "UserValue");
    AddValue(setup, kRootCurrentUser, "", "AtUserRoot");
    tree.Fill(setup);
    Select(tree.FNodeLocalMachine);
    EXPECT_TRUE(Listed().empty());
    Select(tree.FNodeRegistry);
    EXPECT_EQ(tv.currentItem(), tree.FNodeCurrentUser);
    EXPECT_EQ(Listed(), std::vector<std::string>{"AtUserRoot"});

    // By keyboard: up from HKEY_CLASSES_ROOT reaches "Device Registry".
    Select(tree.FNodeClassesRoot);
    PressKey(&tv, Qt::Key_Up);
    EXPECT_EQ(tv.currentItem(), tree.FNodeCurrentUser);
    EXPECT_EQ(Listed(), std::vector<std::string>{"AtUserRoot"});

    // By mouse, on a shown tree.
    tv.resize(300, 300);
    tv.show();
    Select(tree.FNodeLocalMachine);
    ClickItem(tv, tree.FNodeRegistry);
    EXPECT_EQ(tv.currentItem(), tree.FNodeCurrentUser);
    EXPECT_TRUE(tree.FNodeCurrentUser->isSelected());
    EXPECT_FALSE(tree.FNodeRegistry->isSelected());
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

    tv.collapseItem(tree.FNodeRegistry);
    EXPECT_TRUE(tree.FNodeRegistry->isExpanded());
    Select(tree.FNodeRegistry);
    PressKey(&tv, Qt::Key_Left);
    EXPECT_TRUE(tree.FNodeRegistry->isExpanded());

    tv.expandItem(tree.FNodeLocalMachine);
    ASSERT_TRUE(tree.FNodeLocalMachine->isExpanded());
    tv.collapseItem(tree.FNodeLocalMachine);
    EXPECT_FALSE(tree.FNodeLocalMachine->isExpanded());
}

TEST_F(RegistryTreeTest, UnnamedValueShowsDefaultAndValuesKeepModelOrder) {
    AddValue(setup, kRootCurrentUser, "Key", "zeta");
    AddValue(setup, kRootCurrentUser, "Other", "elsewhere");
    AddValue(setup, kRootCurrentUser, "key", "");
    AddValue(setup, kRootCurrentUser, "KEY", "alpha");
    tree.Fill(setup);
    Select(tree.FindRegistryNode("HKEY_CURRENT_USER\\Key\\"));
    EXPECT_EQ(Listed(), (std::vector<std::string>{"zeta", "(Default)", "alpha"}));
    EXPECT_EQ(lv.topLevelItem(1)->data(0, TRegistryTree::kValueIndexRole).toInt(), 2);
}

TEST_F(RegistryTreeTest, TypesGiveTheirTextImageAndTheDataAsHeld) {
    AddValue(setup, kRootLocalMachine, "T", "s", "text", kTypeString);
    AddValue(setup, kRootLocalMachine, "T", "d", "4294967295", kTypeInteger);
    AddValue(setup, kRootLocalMachine, "T", "b", "01 FF", kTypeBinary);
    AddValue(setup, kRootLocalMachine, "T", "m", "one,two", kTypeMultiString);
    AddValue(setup, kRootLocalMachine, "T", "u", "?", 9);
    tree.Fill(setup);
    Select(tree.FindRegistryNode("HKEY_LOCAL_MACHINE\\T\\"));
    ASSERT_EQ(lv.topLevelItemCount(), 5);
    const std::string types[] = {"REG_SZ", "REG_DWORD", "REG_BINARY", "REG_MULTI_SZ", "9"};
    const int images[] = {11, 12, 12, 11, 12};
    const std::string data[] = {"text", "4294967295", "01 FF", "one,two", "?"};
    for (int i = 0; i < 5; ++i) {
        const QTreeWidgetItem* row = lv.topLevelItem(i);
        EXPECT_EQ(Text(row, 1), types[i]) << i;
        EXPECT_EQ(row->data(0, TRegistryTree::kImageRole).toInt(), images[i]) << i;
        EXPECT_EQ(Text(row, 2), data[i]) << i;
        EXPECT_EQ(row->textAlignment(1), Qt::AlignCenter) << i;
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
    QTreeWidgetItem* minusOne = tree.FNodeRegistry->child(3);
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
    ASSERT_EQ(tv.topLevelItemCount(), 1);
    EXPECT_EQ(tree.FNodeLocalMachine->childCount(), 1);

    tree.Clear();
    EXPECT_EQ(tv.topLevelItemCount(), 0);
    EXPECT_EQ(lv.topLevelItemCount(), 0);
    EXPECT_EQ(tree.FNodeCurrentUser, nullptr);
    EXPECT_EQ(tree.FindRegistryNode("HKEY_LOCAL_MACHINE\\Software\\"), nullptr);
}

TEST_F(RegistryTreeTest, ControlsClearedOrPrunedByOthersAreNoticed) {
    AddValue(setup, kRootLocalMachine, "Software\\Foo", "v");
    tree.Fill(setup);
    delete tree.FindRegistryNode("HKEY_LOCAL_MACHINE\\Software\\");
    EXPECT_EQ(tree.FindRegistryNode("HKEY_LOCAL_MACHINE\\Software\\Foo\\"), nullptr);
    EXPECT_EQ(tree.FindRegistryNode("HKEY_LOCAL_MACHINE\\"), tree.FNodeLocalMachine);

    // A duplicate path added behind our back: the first node in tree order still answers.
    auto* duplicate = new QTreeWidgetItem(QStringList("hkey_local_machine"));
    tv.addTopLevelItem(duplicate);
    delete tree.FNodeClassesRoot;
    EXPECT_EQ(tree.FindRegistryNode("HKEY_LOCAL_MACHINE\\"), tree.FNodeLocalMachine);
    EXPECT_EQ(tree.FindRegistryNode("HKEY_CLASSES_ROOT\\"), nullptr);
    EXPECT_EQ(tree.FNodeClassesRoot, nullptr);

    tv.clear();
    EXPECT_EQ(tree.FNodeRegistry, nullptr);
    EXPECT_EQ(tree.FindRegistryNode("HKEY_LOCAL_MACHINE\\"), nullptr);
    tree.Fill(setup);
    EXPECT_NE(tree.FindRegistryNode("HKEY_LOCAL_MACHINE\\Software\\Foo\\"), nullptr);
}

TEST_F(RegistryTreeTest, ValuesStayListedAfterTheSetupIsFreed) {
    auto owned = std::make_unique<TCESetupBase>();
    AddValue(*owned, kRootLocalMachine, "Software", "kept", "data");
    tree.Fill(*owned);
    owned.reset();
    Select(tree.FindRegistryNode("HKEY_LOCAL_MACHINE\\Software\\"));
    EXPECT_EQ(Listed(), std::vector<std::string>{"kept"});
    EXPECT_EQ(Text(lv.topLevelItem(0), 2), "data");
}

TEST_F(RegistryTreeTest, EightBitNamesSurviveTheRoundTripAndFoldOnlyAsciiCase) {
    const std::string key = "Soft\xE9ware";
    AddValue(setup, kRootLocalMachine, key, "n\xE4me");
    AddValue(setup, kRootLocalMachine, "SOFT\xC9WARE", "other");
    tree.Fill(setup);
    EXPECT_EQ(tree.FNodeLocalMachine->childCount(), 2);
    QTreeWidgetItem* node = tree.FindRegistryNode("HKEY_LOCAL_MACHINE\\" + key + "\\");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(tree.RegistryNodePath(node), "HKEY_LOCAL_MACHINE\\" + key + "\\");
    Select(node);
    ASSERT_EQ(lv.topLevelItemCount(), 1);
    EXPECT_EQ(lv.topLevelItem(0)->text(0).toLatin1().toStdString(), "n\xE4me");
}

} // namespace
