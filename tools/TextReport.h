#pragma once
#include <ostream>
#include <string>
#include <vector>

class TCESetup;
class TCABFile;

// The property rows, files, shortcuts and registry values as the viewer shows them.
void WriteTextReport(std::ostream& out, TCESetup& setup, TCABFile& cabinet);

// A table under its header, each column as wide as its widest cell, indented by two spaces.
void WriteTable(std::ostream& out, const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows);
// Rows sorted by their first column with the locale's collation, as the viewer's lists are.
void SortByCaption(std::vector<std::vector<std::string>>& rows);
