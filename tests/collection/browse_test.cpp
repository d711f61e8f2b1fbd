// What the collection windows read: a search box's words, and "Which setups contain..." cut at
// its limit with a status that says so.
#include "tests/collection/CollectionFixtures.h"

#include "collection/BrowsePages.h"

#include <gtest/gtest.h>

TEST(CollectionBrowse, ContainsHitsStopAtTheLimitAndTheStatusSaysSo) {
    TempDir dir;
    const std::string root = dir.File("setups");
    std::filesystem::create_directories(root);
    WriteVariedSetup(root + "/Alpha.cab", "Alpha", 3);
    const std::string db = dir.File("index.db");
    (void)Index(db, {root});

    // Three texts, the program and the registry value's key all hold "Alpha".
    const auto all = collection::WhichSetupsContain(db, "alpha", 100);
    ASSERT_GT(all.size(), 3u);
    EXPECT_EQ(collection::ContainsStatusText(all, 100),
              std::to_string(all.size()) + " found in 1 setups");
    const auto cut = collection::WhichSetupsContain(db, "alpha", 2);
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_EQ(collection::ContainsStatusText(cut, 2),
              "2 found in 1 setups (only the first 2 are listed)");
    EXPECT_EQ(collection::ContainsStatusText({}, 2), "0 found in 0 setups");

    // Spaces and tabs part the words; a box of blanks searches for nothing and lists every setup.
    EXPECT_EQ(collection::SearchWords(" Alpha1.txt\tFixture  "),
              (std::vector<std::string>{"Alpha1.txt", "Fixture"}));
    EXPECT_TRUE(collection::SearchWords(" \t ").empty());
    EXPECT_EQ(collection::ListSetups(db, collection::SearchWords("Alpha1.txt\tFixture")).size(),
              1u);
    EXPECT_EQ(collection::ListSetups(db, collection::SearchWords("Alpha1.txt\tnowhere")).size(),
              0u);
}
