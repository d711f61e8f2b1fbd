#pragma once
// The pages of a loaded setup: the project tree, the properties, the files and the shortcuts.
// Each builder reads the model and one cabinet listing the caller already holds; none lists
// the cabinet itself.
#include "cab/cabfiles.h"
#include "report/Page.h"
#include "setup/CABData.h"

#include <functional>
#include <string>
#include <vector>

class TCESetup;

// The order of captions: the permutation that sorts them, stable among equal captions.
using TCaptionOrder = std::function<std::vector<size_t>(const std::vector<std::string>& captions)>;

struct TReportOptions {
    // The decimal separator of sizes; empty: the C library's current LC_NUMERIC.
    std::string DecimalSeparator;
    // Sorts the files and shortcuts by caption; empty: strcoll, the C library's LC_COLLATE.
    TCaptionOrder Order;
    // False: pages whose rows carry no records, for a writer that shows only the cells.
    bool Records = true;
};

// For every row of the setup's files, its own entry in the listing (the one Extract writes),
// or null; none without a loaded setup.
[[nodiscard]] std::vector<const TCABFileEntry*> FileRowEntries(TCESetup& setup,
                                                               const TCABFileContents& listing);
// The record of one file row: Id, Dir, FileNo, Flags, Name, and the Size of its entry (null
// without one). Outputs that read only records write them one row at a time.
[[nodiscard]] TRecord FileRecord(const TCEINFFile& file, const TCABFileEntry* entry);
// The same record visited, field by field (see TRecordFields), for writers that make none.
template <class TField>
void VisitFileRecord(const TCEINFFile& file, const TCABFileEntry* entry, TField&& field) {
    field("Id", static_cast<int64_t>(file.Id));
    field("Dir", file.Dir);
    field("FileNo", static_cast<int64_t>(file.FileNo));
    field("Flags", static_cast<int64_t>(file.Flags));
    field("Name", file.Name);
    if (entry)
        field("Size", static_cast<int64_t>(entry->Size));
    else
        field("Size", std::monostate());
}

// Stable sort of the captions with strcoll.
[[nodiscard]] std::vector<size_t> CollatedOrder(const std::vector<std::string>& captions);
// The order the options give the captions (the window's own), or CollatedOrder without one.
[[nodiscard]] std::vector<size_t> CaptionOrder(const std::vector<std::string>& captions,
                                               const TReportOptions& options);

// Node indices of the project tree: the absolute index is the page index.
inline constexpr size_t kProjectNodeSetup = 0;
inline constexpr size_t kProjectNodeFiles = 1;
inline constexpr size_t kProjectNodeShortcuts = 2;
inline constexpr size_t kProjectNodeRegistry = 3;

// The setup's name with "Files", "Shortcuts" and "Registry Entries" below it, all expanded.
[[nodiscard]] TTreePage BuildProjectTree(const TCESetup& setup);

// "Windows CE Setup Properties": "Property" and "Value" rows in the design's order. Each row's
// record holds the model field it shows ("SoftwareName", ..., "Processor") or "setupDll".
[[nodiscard]] TPage BuildPropertiesPage(const TCESetup& setup, const TCABFileContents& listing);

// "Device Files", sorted by caption. Records: Id, Dir, FileNo, Flags (the whole flag word),
// Name, Size (null when no cabinet entry belongs to the row).
[[nodiscard]] TPage BuildFilesPage(TCESetup& setup, const TCABFileContents& listing,
                                   const TReportOptions& options = {});
inline constexpr const char* kFilesCaption = "Device Files";
inline constexpr const char* kFilesColumns[6] = {"File Name", "Folder",  "File Size",
                                                 "Flags",     "ActiveX", "Shared"};
// The same page without building it, for a writer of many files: the file rows in its order,
// and one row's cell texts in column order (entry: the row's own, or null; separator: the
// decimal separator of sizes, LocaleDecimalSeparator() for the C library's), each living only
// for its call.
[[nodiscard]] std::vector<size_t> FilesPageOrder(TCESetup& setup,
                                                 const TReportOptions& options = {});
void VisitFilesPageCells(TCESetup& setup, size_t row, const TCABFileEntry* entry,
                         const std::string& separator, const TCellVisitor& cell);

// "Device Shortcuts", sorted by caption. Records: Id, Folder, FileName, Name.
[[nodiscard]] TPage BuildShortcutsPage(const TCESetup& setup, const TReportOptions& options = {});
