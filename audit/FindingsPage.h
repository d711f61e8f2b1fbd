#pragma once
// The "Findings" page every front end shows.
#include "audit/Audit.h"
#include "report/Page.h"

#include <vector>

// Columns Severity (with its icon), Title, Where, Why; rows in the audit's order, Source the
// finding's index. Records: severity, rule, title, where, why, page (the page name, null for
// none) and row (null without a page).
[[nodiscard]] TPage BuildFindingsPage(const std::vector<TFinding>& findings);
