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

// A registry value of the model; a string "x" unless told.
inline TCEINFRegValue Value(int32_t root, const std::string& key, const std::string& name,
                            int32_t type = kTypeString, const std::string& data = "x") {
    TCEINFRegValue v;
    v.Root = root;
    v.KeyPath = key;
    v.Name = name;
    v.DataType = type;
    v.Data = data;
    return v;
}

// The texts of one column, top to bottom.
template <class Page> std::vector<std::string> Column(const Page& page, size_t column) {
    std::vector<std::string> texts;
    for (const auto& row : page.Rows)
        texts.push_back(row.Cells.at(column).Text);
    return texts;
}
