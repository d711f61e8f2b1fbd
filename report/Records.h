#pragma once
// The parts of a loaded setup that no page shows but machine-readable outputs carry: the
// header record, the string, folder and registry path tables, and the cabinet's entries.
#include "cab/DateTime.h"
#include "cab/cabfiles.h"
#include "report/Page.h"

#include <vector>

class TCESetupBase;

// CE4Plus, SoftwareName, HeaderAppName, CompanyName, ProgramGroup, UnsupportedDevices,
// InstallDir, Processor, MinVersion, MaxVersion, PlatformName, PlatformMinVersion,
// PlatformMaxVersion.
[[nodiscard]] TRecord ProjectRecord(const TCESetupBase& setup);
// Id, Text.
[[nodiscard]] std::vector<TRecord> StringRecords(const TCESetupBase& setup);
// Id, Path.
[[nodiscard]] std::vector<TRecord> DirRecords(const TCESetupBase& setup);
// Id, Root, Path.
[[nodiscard]] std::vector<TRecord> RegPathRecords(const TCESetupBase& setup);
// Name, Size, Date ("YYYY-MM-DD hh:mm:ss"), in cabinet order.
[[nodiscard]] std::vector<TRecord> EntryRecords(const TCABFileContents& listing);
// The same record of one entry, for outputs that write one at a time.
[[nodiscard]] TRecord EntryRecord(const TCABFileEntry& entry);
// The same record visited, field by field (see TRecordFields), for writers that make none.
template <class TField> void VisitEntryRecord(const TCABFileEntry& entry, TField&& field) {
    field("Name", entry.Name);
    field("Size", static_cast<int64_t>(entry.Size));
    field("Date", TDateText(entry.Date).View());
}
