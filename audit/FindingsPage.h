#pragma once
// The "Findings" page every front end shows.
#include "audit/Audit.h"
#include "report/Page.h"

#include <string_view>
#include <vector>

// Columns Severity (with its icon), Rule (the rule's id), Title, Where, Why and Accepted (the
// baseline's statement, empty unless accepted); accepted rows are dimmed. One row per group of
// GroupFindings in the audit's order, Source its first finding's index. Records: severity,
// rule, title, where, why, page (the page name, null for none), row (null without a page),
// accepted and statement (null unless accepted), each the first place's.
// A group of several places shows "N places" as Where, adds "count" to its record, and is
// followed by one row per place (IsFindingPlaceRow: Node is the group's row, Source the
// finding's index, the record a single finding's), showing the place's Where, and its Why
// when that differs from the group's.
// Without records: the rows only, for a writer of the text that shows none.
[[nodiscard]] TPage BuildFindingsPage(const std::vector<TFinding>& findings, bool records = true);
inline constexpr const char* kFindingsCaption = "Findings";
inline constexpr std::string_view kFindingsColumns[] = {"Severity", "Rule", "Title",
                                                        "Where",    "Why",  "Accepted"};

// One finding's record as the page's rows hold it, for writers that build no page: a setup can
// give a hundred thousand places.
[[nodiscard]] TRecord FindingRecord(const TFinding& finding);

// Whether a row of the Findings page is a place of the group above it.
[[nodiscard]] bool IsFindingPlaceRow(const TRow& row);

// The Findings page as a tree for a window: a node per row, a group's places below its row (a
// group opens into its places). Each row's Node becomes its own node.
[[nodiscard]] TTreePage FindingsTree(TPage& page);

// The "Rules" page: every rule of the table in its order. Columns Rule, Severity, Group,
// Title, Help; records: id, severity, group, title, help, anchor.
[[nodiscard]] TPage BuildRulesPage();
