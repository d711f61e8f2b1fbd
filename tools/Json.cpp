#include "tools/Json.h"

#include "cab/cabfiles.h"
#include "setup/CESetup.h"

using nlohmann::ordered_json;

std::string Latin1ToUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

namespace {

// Rows are built in place: initializer lists would copy every value once more, which shows on
// setups of many thousand files.
class Row {
  public:
    // Reserved: the ordered map's keys are const, so growing it copies every member.
    Row() : FValue(ordered_json::object()) {
        FValue.get_ref<ordered_json::object_t&>().reserve(16);
    }
    template <class T> Row& Add(const char* key, T&& value) {
        FValue.get_ref<ordered_json::object_t&>().emplace(key, std::forward<T>(value));
        return *this;
    }
    Row& Text(const char* key, const std::string& value) { return Add(key, Latin1ToUtf8(value)); }
    ordered_json Take() { return std::move(FValue); }

  private:
    ordered_json FValue;
};

template <class Table, class Fill> ordered_json Rows(const Table& table, Fill fill) {
    ordered_json rows = ordered_json::array();
    auto& array = rows.get_ref<ordered_json::array_t&>();
    array.reserve(table.size());
    for (size_t i = 0; i < table.size(); ++i) {
        Row row;
        fill(row, table[i], i);
        array.push_back(row.Take());
    }
    return rows;
}

ordered_json ProjectToJson(const TCEINFProject& p) {
    Row row;
    row.Add("CE4Plus", p.CE4Plus)
        .Text("SoftwareName", p.SoftwareName)
        .Text("HeaderAppName", p.HeaderAppName)
        .Text("CompanyName", p.CompanyName)
        .Text("ProgramGroup", p.ProgramGroup)
        .Text("UnsupportedDevices", p.UnsupportedDevices)
        .Text("InstallDir", p.InstallDir)
        .Add("Processor", p.Processor)
        .Text("MinVersion", p.MinVersion)
        .Text("MaxVersion", p.MaxVersion)
        .Text("PlatformName", p.PlatformName)
        .Text("PlatformMinVersion", p.PlatformMinVersion)
        .Text("PlatformMaxVersion", p.PlatformMaxVersion);
    return row.Take();
}

} // namespace

ordered_json EntriesToJson(const TCABFile& cabinet) {
    return Rows(cabinet.CABFileContents.Items(), [](Row& row, const TCABFileEntry& e, size_t) {
        row.Text("Name", e.Name).Add("Size", e.Size);
        // An entry whose stored date is invalid has none.
        if (e.Date.Year != 0)
            row.Add("Date", FormatDateTime(e.Date));
        else
            row.Add("Date", nullptr);
    });
}

ordered_json SetupToJson(TCESetup& setup, TCABFile& cabinet) {
    Row root;
    root.Add("format", setup.Format == kFormatXML ? "xml" : "binary");
    root.Add("project", ProjectToJson(setup.Project));
    root.Add("strings", Rows(setup.Strings, [](Row& row, const TCEINFString& r, size_t) {
                 row.Add("Id", r.Id).Text("Text", r.Text);
             }));
    root.Add("dirs", Rows(setup.Dirs, [](Row& row, const TCEINFDir& r, size_t) {
                 row.Add("Id", r.Id).Text("Path", r.Path);
             }));
    root.Add("regpaths", Rows(setup.RegPaths, [](Row& row, const TCEINFRegPath& r, size_t) {
                 row.Add("Id", r.Id).Add("Root", r.Root).Text("Path", r.Path);
             }));
    // One listing serves the sizes, the setup DLL test and the entries.
    cabinet.ListContents();
    const auto entries = setup.FindCabEntries(cabinet.CABFileContents);
    root.Add(
        "files", Rows(setup.Files, [&](Row& row, const TCEINFFile& r, size_t i) {
            row.Add("Id", r.Id).Text("Dir", r.Dir).Add("FileNo", r.FileNo).Add("Flags", r.Flags);
            row.Text("Name", r.Name);
            if (entries[i])
                row.Add("Size", entries[i]->Size);
            else
                row.Add("Size", nullptr);
        }));
    root.Add("regvalues", Rows(setup.RegValues, [](Row& row, const TCEINFRegValue& r, size_t) {
                 row.Add("Id", r.Id).Add("Root", r.Root).Text("KeyPath", r.KeyPath);
                 row.Add("DataType", r.DataType).Text("Name", r.Name).Text("Data", r.Data);
             }));
    root.Add("shortcuts", Rows(setup.Shortcuts, [](Row& row, const TCEINFShortcut& r, size_t) {
                 row.Add("Id", r.Id).Text("Folder", r.Folder).Text("FileName", r.FileName);
                 row.Text("Name", r.Name);
             }));
    root.Add("setupDll", HasSetupDllEntry(cabinet.CABFileContents));
    root.Add("entries", EntriesToJson(cabinet));
    return root.Take();
}
