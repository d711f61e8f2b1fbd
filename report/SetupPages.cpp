#include "report/SetupPages.h"

#include "cab/cabfiles.h"
#include "report/DisplayFormat.h"
#include "setup/CESetup.h"
#include "setup/SetupFuncs.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <numeric>

namespace {

const char* YesNo(bool value) {
    return value ? "Yes" : "No";
}

TValue Number(int64_t value) {
    return TValue(value);
}

// Puts the rows in the order of their first cell's text.
void SortByCaption(TPage& page, const TReportOptions& options) {
    std::vector<std::string> captions;
    captions.reserve(page.Rows.size());
    for (const TRow& row : page.Rows)
        captions.push_back(row.Cells.front().Text);
    const std::vector<size_t> order = CaptionOrder(captions, options);
    std::vector<TRow> sorted;
    sorted.reserve(page.Rows.size());
    for (const size_t index : order)
        sorted.push_back(std::move(page.Rows[index]));
    page.Rows = std::move(sorted);
}

// The folder as IncludeBackslash gives it; the short ones nearly all are need no copy on the heap.
void FolderCell(const std::string& dir, const TCellVisitor& cell) {
    if (!dir.empty() && dir.back() == '\\') return cell(dir);
    char shortCopy[64];
    if (dir.size() >= sizeof shortCopy) return cell(IncludeBackslash(dir));
    std::memcpy(shortCopy, dir.data(), dir.size());
    shortCopy[dir.size()] = '\\';
    cell(std::string_view(shortCopy, dir.size() + 1));
}

} // namespace

std::vector<size_t> CollatedOrder(const std::vector<std::string>& captions) {
    std::vector<size_t> order(captions.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return std::strcoll(captions[a].c_str(), captions[b].c_str()) < 0;
    });
    return order;
}

std::vector<size_t> CaptionOrder(const std::vector<std::string>& captions,
                                 const TReportOptions& options) {
    return options.Order ? options.Order(captions) : CollatedOrder(captions);
}

TTreePage BuildProjectTree(const TCESetup& setup) {
    TTreePage tree;
    const size_t root = tree.Add(kNoNode, setup.Project.SoftwareName, TIconKind::Setup);
    tree.Add(root, "Files", TIconKind::Files);
    tree.Add(root, "Shortcuts", TIconKind::Shortcuts);
    tree.Add(root, "Registry Entries", TIconKind::Registry);
    for (TTreeNode& node : tree.Nodes)
        node.Expanded = true;
    return tree;
}

TPage BuildPropertiesPage(const TCESetup& setup, const TCABFileContents& listing) {
    TPage page;
    page.Caption = "Windows CE Setup Properties";
    page.Columns = {{"Property", 120, TAlign::Left, true}, {"Value", 200, TAlign::Left, true}};
    const auto add = [&page](const char* caption, std::string value, const char* field,
                             TValue raw) {
        TRow& row = page.Rows.emplace_back();
        row.Cells = {TextCell(caption), TextCell(std::move(value))};
        row.Record.emplace_back(field, std::move(raw));
        row.Source = page.Rows.size() - 1;
    };
    const TCEINFProject& p = setup.Project;
    add("Software Name", p.SoftwareName, "SoftwareName", p.SoftwareName);
    add("Company", p.CompanyName, "CompanyName", p.CompanyName);
    add("Install Directory", p.InstallDir, "InstallDir", p.InstallDir);
    if (p.CE4Plus == 1) {
        add("Platform Name", p.PlatformName, "PlatformName", p.PlatformName);
        add("Platform Min Version", p.PlatformMinVersion, "PlatformMinVersion",
            p.PlatformMinVersion);
        add("Platform Max Version", p.PlatformMaxVersion, "PlatformMaxVersion",
            p.PlatformMaxVersion);
    } else {
        add("Unsupported Devices", p.UnsupportedDevices, "UnsupportedDevices",
            p.UnsupportedDevices);
        add("Min Version", p.MinVersion, "MinVersion", p.MinVersion);
        add("Max Version", p.MaxVersion, "MaxVersion", p.MaxVersion);
    }
    add("Processor", ProcessorName(p.Processor), "Processor", Number(p.Processor));
    const bool setupDll = HasSetupDllEntry(listing);
    add("Use Setup DLL", YesNo(setupDll), "setupDll", setupDll);
    return page;
}

std::vector<const TCABFileEntry*> FileRowEntries(TCESetup& setup, const TCABFileContents& listing) {
    std::vector<const TCABFileEntry*> result(setup.Files.size(), nullptr);
    if (setup.Format == kFormatNone) return result;
    try {
        const std::vector<int> entries = setup.RowEntries(listing);
        for (size_t i = 0; i < result.size(); ++i)
            if (entries[i] >= 0) result[i] = &listing.Item(entries[i]);
    } catch (...) {
        result.assign(setup.Files.size(), nullptr);
    }
    return result;
}

TRecord FileRecord(const TCEINFFile& file, const TCABFileEntry* entry) {
    TRecord record;
    record.reserve(6);
    VisitFileRecord(file, entry, TRecordFields{record});
    return record;
}

std::vector<size_t> FilesPageOrder(TCESetup& setup, const TReportOptions& options) {
    std::vector<std::string> captions;
    captions.reserve(setup.Files.size());
    for (size_t i = 0; i < setup.Files.size(); ++i)
        captions.push_back(setup.FileName(static_cast<int>(i)));
    return CaptionOrder(captions, options);
}

void VisitFilesPageCells(TCESetup& setup, size_t index, const TCABFileEntry* entry,
                         const std::string& separator, const TCellVisitor& cell) {
    // Read from the row as GetFile gives it, without its copy: a large setup's text visits each
    // row twice.
    const TCEINFFile& row = setup.Files[index];
    cell(setup.FileName(static_cast<int>(index)));
    FolderCell(row.Dir, cell);
    cell(entry ? FormatFileSize(entry->Size, separator) : "0 bytes");
    const TCECAB_FileFlags flags = SplitFileFlags(row.Flags);
    cell(FlagsText(flags.Flags));
    cell(YesNo(flags.ActiveX != 0));
    cell(YesNo(flags.Shared != 0));
}

TPage BuildFilesPage(TCESetup& setup, const TCABFileContents& listing,
                     const TReportOptions& options) {
    TPage page;
    page.Caption = kFilesCaption;
    constexpr int kWidths[] = {120, 150, 80, 75, 55, 55};
    constexpr TAlign kAligns[] = {TAlign::Left,   TAlign::Left,   TAlign::Right,
                                  TAlign::Center, TAlign::Center, TAlign::Center};
    for (size_t c = 0; c < std::size(kFilesColumns); ++c)
        page.Columns.push_back({kFilesColumns[c], kWidths[c], kAligns[c], true});
    const std::vector<const TCABFileEntry*> entries = FileRowEntries(setup, listing);
    // The locale is asked once, not per row.
    const std::string separator =
        options.DecimalSeparator.empty() ? LocaleDecimalSeparator() : options.DecimalSeparator;
    page.Rows.reserve(setup.Files.size());
    for (const size_t i : FilesPageOrder(setup, options)) {
        const TCABFileEntry* entry = entries[i];
        TRow& row = page.Rows.emplace_back();
        row.Source = i;
        row.Cells.reserve(std::size(kFilesColumns));
        VisitFilesPageCells(setup, i, entry, separator, [&](std::string_view text) {
            row.Cells.push_back(TextCell(std::string(text), kAligns[row.Cells.size()]));
        });
        row.Cells.front().Icon = TIconKind::FileRow;
        // The size sorts as the number it is.
        row.Cells[2].SortKey = static_cast<int64_t>(entry ? entry->Size : 0);
        if (options.Records) row.Record = FileRecord(setup.Files[i], entry);
    }
    return page;
}

TPage BuildShortcutsPage(const TCESetup& setup, const TReportOptions& options) {
    TPage page;
    page.Caption = "Device Shortcuts";
    page.Columns = {{"Title", 140, TAlign::Left, true},
                    {"File Name", 105, TAlign::Left, true},
                    {"Folder", 150, TAlign::Left, true}};
    page.Rows.reserve(setup.Shortcuts.size());
    for (size_t i = 0; i < setup.Shortcuts.size(); ++i) {
        const TCEINFShortcut& model = setup.Shortcuts[i];
        TCECAB_Shortcut shortcut;
        setup.GetShortcut(static_cast<int>(i), shortcut);
        TRow& row = page.Rows.emplace_back();
        row.Source = i;
        row.Cells = {TextCell(shortcut.Name), TextCell(shortcut.FileName),
                     TextCell(IncludeBackslash(shortcut.Folder))};
        row.Cells.front().Icon = TIconKind::ShortcutRow;
        row.Record = {{"Id", Number(model.Id)},
                      {"Folder", model.Folder},
                      {"FileName", model.FileName},
                      {"Name", model.Name}};
    }
    SortByCaption(page, options);
    return page;
}
