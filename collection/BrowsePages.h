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

// At most this many "Which setups contain..." rows are listed: a word in every setup of a large
// index would otherwise list millions.
constexpr size_t kContainsRowLimit = 10'000;
// "5 found in 2 setups", saying so when the hits reached the limit and more may exist.
[[nodiscard]] std::string ContainsStatusText(const std::vector<TContainsHit>& hits, size_t limit);
// The words of a search box: its text cut at spaces and tabs, none empty.
[[nodiscard]] std::vector<std::string> SearchWords(const std::string& text);

} // namespace collection
