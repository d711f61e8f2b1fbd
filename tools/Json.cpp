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

ordered_json EntriesToJson(const TCABFile& cabinet) {
    ordered_json entries = ordered_json::array();
    for (const TCABFileEntry& e : cabinet.CABFileContents.Items())
        entries.push_back(
            {{"Name", Latin1ToUtf8(e.Name)}, {"Size", e.Size}, {"Date", FormatDateTime(e.Date)}});
    return entries;
}

namespace {

ordered_json ProjectToJson(const TCEINFProject& p) {
    const auto s = Latin1ToUtf8;
    return {{"CE4Plus", p.CE4Plus},
            {"SoftwareName", s(p.SoftwareName)},
            {"HeaderAppName", s(p.HeaderAppName)},
            {"CompanyName", s(p.CompanyName)},
            {"ProgramGroup", s(p.ProgramGroup)},
            {"UnsupportedDevices", s(p.UnsupportedDevices)},
            {"InstallDir", s(p.InstallDir)},
            {"Processor", p.Processor},
            {"MinVersion", s(p.MinVersion)},
            {"MaxVersion", s(p.MaxVersion)},
            {"PlatformName", s(p.PlatformName)},
            {"PlatformMinVersion", s(p.PlatformMinVersion)},
            {"PlatformMaxVersion", s(p.PlatformMaxVersion)}};
}

} // namespace

ordered_json SetupToJson(TCESetup& setup, TCABFile& cabinet) {
    const auto s = Latin1ToUtf8;
    ordered_json root;
    root["format"] = setup.Format == kFormatXML ? "xml" : "binary";
    root["project"] = ProjectToJson(setup.Project);
    ordered_json& strings = root["strings"] = ordered_json::array();
    for (const TCEINFString& r : setup.Strings)
        strings.push_back({{"Id", r.Id}, {"Text", s(r.Text)}});
    ordered_json& dirs = root["dirs"] = ordered_json::array();
    for (const TCEINFDir& r : setup.Dirs)
        dirs.push_back({{"Id", r.Id}, {"Path", s(r.Path)}});
    ordered_json& regpaths = root["regpaths"] = ordered_json::array();
    for (const TCEINFRegPath& r : setup.RegPaths)
        regpaths.push_back({{"Id", r.Id}, {"Root", r.Root}, {"Path", s(r.Path)}});
    ordered_json& files = root["files"] = ordered_json::array();
    const auto entries = setup.FindCabEntries();
    for (size_t i = 0; i < setup.Files.size(); ++i) {
        const TCEINFFile& r = setup.Files[i];
        ordered_json row = {{"Id", r.Id},       {"Dir", s(r.Dir)},   {"FileNo", r.FileNo},
                            {"Flags", r.Flags}, {"Name", s(r.Name)}, {"Size", nullptr}};
        if (entries[i]) row["Size"] = entries[i]->Size;
        files.push_back(std::move(row));
    }
    ordered_json& values = root["regvalues"] = ordered_json::array();
    for (const TCEINFRegValue& r : setup.RegValues)
        values.push_back({{"Id", r.Id},
                          {"Root", r.Root},
                          {"KeyPath", s(r.KeyPath)},
                          {"DataType", r.DataType},
                          {"Name", s(r.Name)},
                          {"Data", s(r.Data)}});
    ordered_json& shortcuts = root["shortcuts"] = ordered_json::array();
    for (const TCEINFShortcut& r : setup.Shortcuts)
        shortcuts.push_back({{"Id", r.Id},
                             {"Folder", s(r.Folder)},
                             {"FileName", s(r.FileName)},
                             {"Name", s(r.Name)}});
    root["setupDll"] = CabinetHasSetupDll(cabinet);
    root["entries"] = EntriesToJson(cabinet);
    return root;
}
