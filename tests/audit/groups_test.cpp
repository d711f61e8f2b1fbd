// Repeated findings of one rule on one page are listed once, with their count and places; what
// counts against a setup is still each place.
#include "audit/Audit.h"
#include "audit/FindingsPage.h"

#include <gtest/gtest.h>

namespace {

TFinding Place(const char* rule, TSeverity severity, std::string where, std::string why = "why",
               TFindingPage page = TFindingPage::Files, size_t row = 0) {
    TFinding f;
    f.Rule = rule;
    f.Severity = severity;
    f.Title = std::string("title of ") + rule;
    f.Where = std::move(where);
    f.Why = std::move(why);
    f.Page = page;
    f.Row = row;
    return f;
}

std::vector<size_t> Sizes(const std::vector<TFindingGroup>& groups) {
    std::vector<size_t> sizes;
    for (const TFindingGroup& g : groups)
        sizes.push_back(g.Places.size());
    return sizes;
}

} // namespace

// One rule on one page with one title is one group; another page, another title, an accepted
// place or another statement makes another.
TEST(FindingGroups, PlacesOfOneRuleOnOnePageWithOneAcceptanceGoTogether) {
    std::vector<TFinding> f = {
        Place("windows-folder", TSeverity::Notice, "a", "why", TFindingPage::Files, 0),
        Place("windows-folder", TSeverity::Notice, "b", "why", TFindingPage::Files, 1),
        Place("self-registering", TSeverity::Warning, "c", "why", TFindingPage::Provisioning, 3),
        Place("windows-folder", TSeverity::Notice, "d", "why", TFindingPage::Files, 2),
        Place("self-registering", TSeverity::Warning, "e", "why", TFindingPage::Files, 4),
        Place("windows-folder", TSeverity::Notice, "f", "why", TFindingPage::Files, 5),
        Place("windows-folder", TSeverity::Notice, "g", "why", TFindingPage::Files, 6),
        Place("windows-folder", TSeverity::Notice, "h", "why", TFindingPage::Files, 7),
    };
    f[5].Accepted = f[6].Accepted = f[7].Accepted = true;
    f[5].Statement = f[6].Statement = "its runtime";
    f[7].Statement = "another reason";
    const std::vector<TFindingGroup> groups = GroupFindings(f);
    EXPECT_EQ(Sizes(groups), (std::vector<size_t>{3, 1, 1, 2, 1}));
    EXPECT_EQ(groups[0].Places, (std::vector<size_t>{0, 1, 3}));
    EXPECT_EQ(groups[3].Places, (std::vector<size_t>{5, 6}));

    // The headline counts findings as listed; a threshold still looks at every place.
    const TFindingCounts counts = CountFindings(f);
    EXPECT_EQ(counts.Warnings, 2u);
    EXPECT_EQ(counts.Notices, 1u);
    EXPECT_EQ(counts.Accepted, 2u);
    EXPECT_EQ(FindingsHeadline(counts), "Findings: 2 warnings, 1 notice, 0 info, 2 accepted");
    EXPECT_TRUE(AnyUnacceptedAtLeast(f, TSeverity::Warning));
    for (TFinding& place : f)
        place.Accepted = place.Rule != std::string("windows-folder") || place.Where != "b";
    EXPECT_FALSE(AnyUnacceptedAtLeast(f, TSeverity::Warning));
    EXPECT_TRUE(AnyUnacceptedAtLeast(f, TSeverity::Notice)) << "one place of a group counts";
}

// A single finding's row and record are what they always were; a group's row counts its places
// and is followed by one row per place, each with its own record and row to select.
TEST(FindingGroups, PageListsAGroupOnceAndItsPlacesBelowIt) {
    const std::vector<TFinding> f = {
        Place("boot-registry", TSeverity::Warning, "HKLM\\Init: x", "runs at boot",
              TFindingPage::Registry, 4),
        Place("windows-folder", TSeverity::Notice, "%WinDir%\\a.dll", "system folder",
              TFindingPage::Files, 1),
        Place("windows-folder", TSeverity::Notice, "%WinDir%\\b.dll", "system folder",
              TFindingPage::Files, 2),
        Place("windows-folder", TSeverity::Notice, "%WinDir%\\c.dll", "its own reason",
              TFindingPage::Files, 3),
    };
    const TPage page = BuildFindingsPage(f);
    ASSERT_EQ(page.Rows.size(), 5u);

    const TRow& single = page.Rows[0];
    EXPECT_FALSE(IsFindingPlaceRow(single));
    EXPECT_EQ(single.Cells[3].Text, "HKLM\\Init: x");
    std::vector<std::string> keys;
    for (const auto& [key, value] : single.Record)
        keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"severity", "rule", "title", "where", "why", "page",
                                              "row", "accepted", "statement"}));

    const TRow& group = page.Rows[1];
    EXPECT_FALSE(IsFindingPlaceRow(group));
    EXPECT_EQ(group.Source, 1u);
    EXPECT_EQ(group.Cells[0].Text, "Notice");
    EXPECT_EQ(group.Cells[1].Text, "windows-folder");
    EXPECT_EQ(group.Cells[3].Text, "3 places");
    EXPECT_EQ(group.Cells[4].Text, "system folder");
    EXPECT_EQ(*TextOf(*FindField(group.Record, "where")), "%WinDir%\\a.dll") << "the first place";
    EXPECT_EQ(*FindField(group.Record, "row"), TValue(int64_t{1}));
    EXPECT_EQ(*FindField(group.Record, "count"), TValue(int64_t{3}));

    for (size_t i = 2; i < 5; ++i) {
        const TRow& place = page.Rows[i];
        EXPECT_TRUE(IsFindingPlaceRow(place));
        EXPECT_EQ(place.Node, 1u);
        EXPECT_EQ(place.Source, i - 1);
        EXPECT_EQ(place.Cells[3].Text, f[i - 1].Where);
        EXPECT_EQ(*FindField(place.Record, "row"), TValue(static_cast<int64_t>(f[i - 1].Row)));
        EXPECT_EQ(FindField(place.Record, "count"), nullptr);
    }
    EXPECT_EQ(page.Rows[2].Cells[4].Text, "") << "the group's reason is not repeated";
    EXPECT_EQ(page.Rows[4].Cells[4].Text, "its own reason");
}
