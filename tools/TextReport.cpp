#include "tools/TextReport.h"

#include "cab/PlainText.h"
#include "cab/cabfiles.h"
#include "report/RegistryPages.h"
#include "report/SetupPages.h"
#include "setup/CESetup.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Every column of the page, the reports' own ones too, each as wide as its widest text.
// Texts from the cabinet must not steer the terminal: cells are shown as plain text, and the
// widths count what is shown.
void WriteTable(std::ostream& out, const TPage& page) {
    std::vector<std::vector<std::string>> cells;
    cells.reserve(page.Rows.size());
    for (const TRow& row : page.Rows) {
        auto& texts = cells.emplace_back();
        texts.reserve(row.Cells.size());
        for (const TCell& cell : row.Cells)
            texts.push_back(PlainText(cell.Text));
    }
    std::vector<size_t> widths;
    for (const TColumn& column : page.Columns)
        widths.push_back(column.Caption.size());
    for (const auto& texts : cells)
        for (size_t c = 0; c < texts.size() && c < widths.size(); ++c)
            widths[c] = std::max(widths[c], texts[c].size());
    const auto line = [&](const auto& texts) {
        std::string text;
        for (size_t c = 0; c < texts.size(); ++c) {
            text += texts[c];
            if (c + 1 < texts.size()) text += std::string(widths[c] - texts[c].size() + 2, ' ');
        }
        out << "  " << text << '\n';
    };
    std::vector<std::string> header;
    for (const TColumn& column : page.Columns)
        header.push_back(column.Caption);
    line(header);
    for (const auto& texts : cells)
        line(texts);
}

void WriteCountedPage(std::ostream& out, const TPage& page) {
    out << '\n' << page.Caption << " (" << page.Rows.size() << ")\n";
    WriteTable(out, page);
}

} // namespace

void WriteTextReport(std::ostream& out, TCESetup& setup, TCABFile& cabinet) {
    // One listing serves the setup-DLL row and the sizes of all files.
    cabinet.ListContents();
    const TPage properties = BuildPropertiesPage(setup, cabinet.CABFileContents);
    out << properties.Caption << '\n';
    WriteTable(out, properties);
    WriteCountedPage(out, BuildFilesPage(setup, cabinet.CABFileContents));
    WriteCountedPage(out, BuildShortcutsPage(setup));
    WriteCountedPage(out, BuildRegistryPages(setup).Values);
}
