#include "tools/TextReport.h"

#include "app/DisplayFormat.h"
#include "cab/PlainText.h"
#include "cab/cabfiles.h"
#include "setup/CESetup.h"
#include "setup/SetupFuncs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

using Row = std::vector<std::string>;

// Rows sorted by their first column with the locale's collation, as the viewer's lists are.
void SortByCaption(std::vector<Row>& rows) {
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return std::strcoll(a[0].c_str(), b[0].c_str()) < 0;
    });
}

void WriteTable(std::ostream& out, const Row& header, std::vector<Row> rows) {
    // Texts from the cabinet must not steer the terminal; widths count what is shown.
    for (Row& row : rows)
        for (std::string& cell : row)
            cell = PlainText(cell);
    std::vector<size_t> widths(header.size());
    for (size_t c = 0; c < header.size(); ++c)
        widths[c] = header[c].size();
    for (const Row& row : rows)
        for (size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], row[c].size());
    auto line = [&](const Row& row) {
        std::string text;
        for (size_t c = 0; c < row.size(); ++c) {
            text += row[c];
            if (c + 1 < row.size()) text += std::string(widths[c] - row[c].size() + 2, ' ');
        }
        out << "  " << text << '\n';
    };
    line(header);
    for (const Row& row : rows)
        line(row);
}

std::string Hex8(int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

} // namespace

void WriteTextReport(std::ostream& out, TCESetup& setup, TCABFile& cabinet) {
    const TCEINFProject& p = setup.Project;
    std::vector<Row> props = {{"Software Name", p.SoftwareName},
                              {"Company", p.CompanyName},
                              {"Install Directory", p.InstallDir}};
    if (p.CE4Plus == 1) {
        props.push_back({"Platform Name", p.PlatformName});
        props.push_back({"Platform Min Version", p.PlatformMinVersion});
        props.push_back({"Platform Max Version", p.PlatformMaxVersion});
    } else {
        props.push_back({"Unsupported Devices", p.UnsupportedDevices});
        props.push_back({"Min Version", p.MinVersion});
        props.push_back({"Max Version", p.MaxVersion});
    }
    props.push_back({"Processor", ProcessorName(p.Processor)});
    // One listing serves the setup-DLL row and the sizes of all files.
    cabinet.ListContents();
    props.push_back({"Use Setup DLL", HasSetupDllEntry(cabinet.CABFileContents) ? "Yes" : "No"});
    out << "Windows CE Setup Properties\n";
    WriteTable(out, {"Property", "Value"}, std::move(props));

    std::vector<Row> files;
    const auto entries = setup.FindCabEntries(cabinet.CABFileContents);
    for (int i = 0; i < setup.FileCount(); ++i) {
        TCECAB_File f;
        setup.GetFile(i, f);
        const auto& entry = entries[static_cast<size_t>(i)];
        files.push_back({f.Name, IncludeBackslash(f.Dir),
                         entry ? FormatFileSize(entry->Size) : "0 bytes", Hex8(f.Flags),
                         f.ActiveX ? "Yes" : "No", f.Shared ? "Yes" : "No"});
    }
    SortByCaption(files);
    out << "\nDevice Files (" << setup.FileCount() << ")\n";
    WriteTable(out, {"File Name", "Folder", "File Size", "Flags", "ActiveX", "Shared"},
               std::move(files));

    std::vector<Row> shortcuts;
    for (int i = 0; i < setup.ShortcutCount(); ++i) {
        TCECAB_Shortcut s;
        setup.GetShortcut(i, s);
        shortcuts.push_back({s.Name, s.FileName, IncludeBackslash(s.Folder)});
    }
    SortByCaption(shortcuts);
    out << "\nDevice Shortcuts (" << setup.ShortcutCount() << ")\n";
    WriteTable(out, {"Title", "File Name", "Folder"}, std::move(shortcuts));

    std::vector<Row> values;
    for (const TCEINFRegValue& v : setup.RegValues) {
        std::string key = RegistryRootName(v.Root);
        if (!v.KeyPath.empty()) key += "\\" + ExcludeBackslash(v.KeyPath);
        values.push_back(
            {key, v.Name.empty() ? "(Default)" : v.Name, RegistryTypeName(v.DataType), v.Data});
    }
    out << "\nDevice Registry Entries (" << setup.RegValueCount() << ")\n";
    WriteTable(out, {"Key", "Value Name", "Type", "Value"}, std::move(values));
}
