#include "report/Records.h"

#include "cab/cabfiles.h"
#include "setup/CECAB.h"

namespace {

TValue Number(int64_t value) {
    return TValue(value);
}

template <class Table, class Fill> std::vector<TRecord> Records(const Table& table, Fill fill) {
    std::vector<TRecord> records;
    records.reserve(table.size());
    for (const auto& row : table)
        records.push_back(fill(row));
    return records;
}

} // namespace

TRecord ProjectRecord(const TCESetupBase& setup) {
    const TCEINFProject& p = setup.Project;
    return {{"CE4Plus", Number(p.CE4Plus)},
            {"SoftwareName", p.SoftwareName},
            {"HeaderAppName", p.HeaderAppName},
            {"CompanyName", p.CompanyName},
            {"ProgramGroup", p.ProgramGroup},
            {"UnsupportedDevices", p.UnsupportedDevices},
            {"InstallDir", p.InstallDir},
            {"Processor", Number(p.Processor)},
            {"MinVersion", p.MinVersion},
            {"MaxVersion", p.MaxVersion},
            {"PlatformName", p.PlatformName},
            {"PlatformMinVersion", p.PlatformMinVersion},
            {"PlatformMaxVersion", p.PlatformMaxVersion}};
}

std::vector<TRecord> StringRecords(const TCESetupBase& setup) {
    return Records(setup.Strings, [](const TCEINFString& r) {
        return TRecord{{"Id", Number(r.Id)}, {"Text", r.Text}};
    });
}

std::vector<TRecord> DirRecords(const TCESetupBase& setup) {
    return Records(setup.Dirs, [](const TCEINFDir& r) {
        return TRecord{{"Id", Number(r.Id)}, {"Path", r.Path}};
    });
}

std::vector<TRecord> RegPathRecords(const TCESetupBase& setup) {
    return Records(setup.RegPaths, [](const TCEINFRegPath& r) {
        return TRecord{{"Id", Number(r.Id)}, {"Root", Number(r.Root)}, {"Path", r.Path}};
    });
}

TRecord EntryRecord(const TCABFileEntry& e) {
    TRecord record;
    record.reserve(3);
    VisitEntryRecord(e, TRecordFields{record});
    return record;
}

std::vector<TRecord> EntryRecords(const TCABFileContents& listing) {
    return Records(listing.Items(), EntryRecord);
}
