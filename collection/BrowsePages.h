#pragma once
// The collection window's lists as pages: the setups of an index, and what "Which setups
// contain..." found. Built here once; the window only shows them.
#include "collection/Collection.h"
#include "report/Page.h"

namespace collection {

// Columns: Cabinet, Name, Version, CPU, Signer, Trust, Warnings; a row's Source indexes rows.
[[nodiscard]] TPage BuildSetupsPage(const std::vector<TSetupRow>& rows);
// Columns: Cabinet, Kind, What; a row's Source indexes hits.
[[nodiscard]] TPage BuildContainsPage(const std::vector<TContainsHit>& hits);
// "Setups: 12", or under a search "Setups: 3 of 12".
[[nodiscard]] std::string SetupsStatusText(size_t shown, size_t total, bool searched);

} // namespace collection
