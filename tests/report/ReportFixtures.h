#pragma once
// A setup loaded the way the front ends load one, with its cabinet listed once.
#include "cab/cabfiles.h"
#include "setup/CESetup.h"

#include <string>

struct LoadedSetup {
    explicit LoadedSetup(const std::string& path) {
        Setup.Cabinet = &Cabinet;
        (void)Setup.LoadSetup(path, std::string(), false);
        Cabinet.ListContents();
    }
    TCABFile Cabinet;
    TCESetup Setup;
    [[nodiscard]] const TCABFileContents& Listing() const { return Cabinet.CABFileContents; }
};

// The texts of one column, top to bottom.
template <class Page> std::vector<std::string> Column(const Page& page, size_t column) {
    std::vector<std::string> texts;
    for (const auto& row : page.Rows)
        texts.push_back(row.Cells.at(column).Text);
    return texts;
}
