#include "tools/ProgramsReport.h"

#include "tools/Json.h"
#include "tools/TextReport.h"

#include <cstdio>

using nlohmann::ordered_json;

namespace {

std::string Hex4(uint16_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
    return text;
}

std::string Join(const std::vector<std::string>& items, const char* separator) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : separator) + item;
    return text;
}

bool IsImage(const TProgramRow& row) {
    return row.Status == TProgramStatus::Image;
}

std::string KindText(const TProgramRow& row) {
    return IsImage(row) ? ImageKind(row.Image) : ProgramStatusText(row.Status);
}

// The details of one program as caption and text, in the order the report shows them.
std::vector<std::vector<std::string>> Details(const TProgramRow& row) {
    const TPEImage& i = row.Image;
    const TPEVersionInfo& v = i.Version;
    std::vector<std::vector<std::string>> d = {{"Entry", row.Entry},
                                               {"Status", ProgramStatusText(row.Status)}};
    if (!IsImage(row)) return d;
    d.push_back({"CPU", MachineName(i.Machine) + " (" + Hex4(i.Machine) + ")"});
    d.push_back({"Kind", ImageKind(i)});
    d.push_back({"Subsystem", SubsystemName(i.Subsystem) + " " + SubsystemVersionText(i)});
    d.push_back({".NET", i.IsDotNet ? "Yes" : "No"});
    if (i.IsDotNet) {
        d.push_back({"Runtime Version", i.RuntimeVersion});
        d.push_back({"Any CPU", RunsOnAnyCpu(i) ? "Yes" : "No"});
    }
    d.push_back({"Signed", i.HasSignature ? "Yes" : "No"});
    d.push_back({"File Version", v.FileVersion});
    d.push_back({"Product Version", v.ProductVersion});
    d.push_back({"Company", v.CompanyName});
    d.push_back({"Description", v.FileDescription});
    d.push_back({"Product", v.ProductName});
    d.push_back({"Original File Name", v.OriginalFilename});
    d.push_back({"Imports", Join(i.Imports, ", ")});
    if (!row.Mismatch.empty()) d.push_back({"Mismatch", row.Mismatch});
    for (const std::string& note : i.Notes)
        d.push_back({"Note", note});
    return d;
}

template <class T> ordered_json ImageValue(const TProgramRow& row, T value) {
    return IsImage(row) ? ordered_json(std::move(value)) : ordered_json(nullptr);
}

ordered_json Texts(const std::vector<std::string>& items) {
    ordered_json array = ordered_json::array();
    for (const std::string& item : items)
        array.push_back(Latin1ToUtf8(item));
    return array;
}

} // namespace

std::string ProgramCpuText(const TProgramRow& row) {
    if (!IsImage(row)) return "";
    return RunsOnAnyCpu(row.Image) ? "Any CPU (.NET)" : MachineName(row.Image.Machine);
}

std::string SubsystemVersionText(const TPEImage& image) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%02u", static_cast<unsigned>(image.SubsystemMajor),
                  static_cast<unsigned>(image.SubsystemMinor));
    return text;
}

void WriteProgramsReport(std::ostream& out, const std::vector<TProgramRow>& rows) {
    std::vector<const TProgramRow*> programs;
    for (const TProgramRow& row : rows)
        if (IsProgramsRow(row)) programs.push_back(&row);
    std::vector<std::vector<std::string>> list;
    for (const TProgramRow* row : programs)
        list.push_back({row->Name, row->Folder, ProgramCpuText(*row), KindText(*row),
                        row->Image.Version.FileVersion, row->Image.Version.CompanyName,
                        row->Mismatch.empty() ? "" : "Mismatch"});
    SortByCaption(list);
    out << "\nPrograms (" << programs.size() << ")\n";
    WriteTable(out, {"File Name", "Folder", "CPU", "Kind", "Version", "Company", "Mismatch"}, list);
    for (const TProgramRow* row : programs) {
        out << '\n' << row->Folder << row->Name << '\n';
        WriteTable(out, {"Field", "Value"}, Details(*row));
    }
}

ordered_json ProgramsToJson(const std::vector<TProgramRow>& rows) {
    ordered_json array = ordered_json::array();
    for (const TProgramRow& row : rows) {
        if (!IsProgramsRow(row)) continue;
        const TPEImage& i = row.Image;
        const TPEVersionInfo& v = i.Version;
        ordered_json o = ordered_json::object();
        o["Name"] = Latin1ToUtf8(row.Name);
        o["Folder"] = Latin1ToUtf8(row.Folder);
        o["Entry"] = Latin1ToUtf8(row.Entry);
        o["Size"] = row.Size;
        o["Status"] = ProgramStatusText(row.Status);
        o["Machine"] = ImageValue(row, i.Machine);
        o["CPU"] = ImageValue(row, MachineName(i.Machine));
        o["Kind"] = ImageValue(row, ImageKind(i));
        o["Subsystem"] = ImageValue(row, i.Subsystem);
        o["SubsystemName"] = ImageValue(row, SubsystemName(i.Subsystem));
        o["SubsystemVersion"] = ImageValue(row, SubsystemVersionText(i));
        o["Imports"] = ImageValue(row, Texts(i.Imports));
        o["DotNet"] = ImageValue(row, i.IsDotNet);
        o["RuntimeVersion"] = i.IsDotNet ? ordered_json(Latin1ToUtf8(i.RuntimeVersion)) : nullptr;
        o["AnyCpu"] = ImageValue(row, RunsOnAnyCpu(i));
        o["Signed"] = ImageValue(row, i.HasSignature);
        o["FileVersion"] = v.Present ? ordered_json(v.FileVersion) : nullptr;
        o["ProductVersion"] = v.Present ? ordered_json(v.ProductVersion) : nullptr;
        o["CompanyName"] = ImageValue(row, Latin1ToUtf8(v.CompanyName));
        o["FileDescription"] = ImageValue(row, Latin1ToUtf8(v.FileDescription));
        o["ProductName"] = ImageValue(row, Latin1ToUtf8(v.ProductName));
        o["OriginalFilename"] = ImageValue(row, Latin1ToUtf8(v.OriginalFilename));
        o["Mismatch"] = row.Mismatch.empty() ? ordered_json(nullptr) : ordered_json(row.Mismatch);
        o["Notes"] = Texts(i.Notes);
        array.push_back(std::move(o));
    }
    return array;
}
