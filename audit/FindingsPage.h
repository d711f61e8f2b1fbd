#pragma once
// The "Findings" page every front end shows.
#include "audit/Audit.h"
#include "report/Page.h"

#include <vector>

// Columns Severity (with its icon), Rule (the rule's id), Title, Where, Why and Accepted (the
// baseline's statement, empty unless accepted); accepted rows are dimmed. Rows in the
// audit's order, Source the finding's index. Records: severity, rule, title, where, why, page
// (the page name, null for none), row (null without a page), accepted and statement (null
// unless accepted).
[[nodiscard]] TPage BuildFindingsPage(const std::vector<TFinding>& findings);

// The "Rules" page: every rule of the table in its order. Columns Rule, Severity, Group,
// Title, Help; records: id, severity, group, title, help, anchor.
[[nodiscard]] TPage BuildRulesPage();
