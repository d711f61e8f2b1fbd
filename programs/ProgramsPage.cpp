#include "programs/ProgramsPage.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

namespace {

// "0x01C0". By hand: the details of every program of a large setup format it.
void AppendHex4(std::string& text, uint16_t value) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    text += "0x";
    for (int shift = 12; shift >= 0; shift -= 4)
        text += kDigits[(value >> shift) & 0xF];
}

// "4.20": the minor number with two digits, as linkers write it. By hand, as AppendHex4.
void AppendSubsystemVersion(std::string& text, const TPEImage& image) {
    const auto number = [&](unsigned value, bool twoDigits) {
        char digits[8];
        char* end = digits + sizeof digits;
        char* at = end;
        do {
            *--at = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value > 0);
        if (twoDigits && end - at < 2) *--at = '0';
        text.append(at, end);
    };
    number(image.SubsystemMajor, false);
    text += '.';
    number(image.SubsystemMinor, true);
}

bool IsImage(const TProgramRow& row) {
    return row.Status == TProgramStatus::Image;
}

// The Kind column names the setup DLL as such: that it runs at install matters more than what
// kind of image it is, which its fields still say.
constexpr char kSetupDllKind[] = "Setup DLL";

std::string KindText(const TProgramRow& row) {
    if (row.SetupDll) return kSetupDllKind;
    return IsImage(row) ? ImageKind(row.Image()) : ProgramStatusText(row.Status);
}

// A value only an image has; null for a file that was not read as one.
TFieldView ImageValue(const TProgramRow& row, TFieldView value) {
    return IsImage(row) ? value : TFieldView();
}

// A joined text of the row's facts, shared with every other row of the same image.
std::string_view SharedText(const TProgramRow& row,
                            std::shared_ptr<const std::string> TProgramFacts::*text) {
    return row.Facts ? std::string_view(*(row.Facts.get()->*text)) : std::string_view();
}

TRecord Record(const TProgramRow& row) {
    TRecord r;
    r.reserve(25);
    VisitProgramRecord(row, [&](const char* name, const TFieldView& value) {
        TValue& kept = r.emplace_back(name, std::monostate()).second;
        if (const auto* text = std::get_if<std::string_view>(&value))
            kept.emplace<std::string>(*text);
        else if (const auto* number = std::get_if<int64_t>(&value))
            kept.emplace<int64_t>(*number);
        else if (const auto* flag = std::get_if<bool>(&value))
            kept.emplace<bool>(*flag);
    });
    // The joined texts stay shared with every row of the same image.
    if (row.Facts)
        for (auto& [name, value] : r) {
            if (std::strcmp(name, "Imports") == 0 && IsImage(row))
                value = TValue(row.Facts->ImportsText);
            else if (std::strcmp(name, "Notes") == 0)
                value = TValue(row.Facts->NotesText);
        }
    return r;
}

} // namespace

void VisitProgramRecord(const TProgramRow& row, const TProgramRecordVisitor& field) {
    const TPEImage& i = row.Image();
    const TPEVersionInfo& v = i.Version;
    const auto text = [](const std::string& t) { return TFieldView(std::string_view(t)); };
    field("Name", text(row.Name));
    field("Folder", text(row.Folder));
    field("Entry", text(row.Entry));
    field("Size", TFieldView(static_cast<int64_t>(row.Size)));
    field("Status", text(ProgramStatusText(row.Status)));
    field("Machine", ImageValue(row, int64_t{i.Machine}));
    field("CPU", ImageValue(row, text(MachineName(i.Machine))));
    field("Kind", ImageValue(row, text(ImageKind(i))));
    field("Subsystem", ImageValue(row, int64_t{i.Subsystem}));
    field("SubsystemName", ImageValue(row, text(SubsystemName(i.Subsystem))));
    field("SubsystemVersion", ImageValue(row, text(SubsystemVersionText(i))));
    field("Imports", ImageValue(row, SharedText(row, &TProgramFacts::ImportsText)));
    field("DotNet", ImageValue(row, i.IsDotNet));
    field("RuntimeVersion", i.IsDotNet ? text(i.RuntimeVersion) : TFieldView());
    field("AnyCpu", ImageValue(row, RunsOnAnyCpu(i)));
    field("Signed", ImageValue(row, i.HasSignature));
    field("FileVersion", v.Present ? text(v.FileVersion) : TFieldView());
    field("ProductVersion", v.Present ? text(v.ProductVersion) : TFieldView());
    field("CompanyName", ImageValue(row, text(v.CompanyName)));
    field("FileDescription", ImageValue(row, text(v.FileDescription)));
    field("ProductName", ImageValue(row, text(v.ProductName)));
    field("OriginalFilename", ImageValue(row, text(v.OriginalFilename)));
    field("Mismatch", row.Mismatch.empty() ? TFieldView() : text(row.Mismatch));
    field("Notes", SharedText(row, &TProgramFacts::NotesText));
    field("SetupDll", TFieldView(row.SetupDll));
}

std::string ProgramCpuText(const TProgramRow& row) {
    if (!IsImage(row)) return "";
    return RunsOnAnyCpu(row.Image()) ? "Any CPU (.NET)" : MachineName(row.Image().Machine);
}

std::string SubsystemVersionText(const TPEImage& image) {
    std::string text;
    AppendSubsystemVersion(text, image);
    return text;
}

std::vector<size_t> ProgramsPageOrder(const std::vector<TProgramRow>& rows,
                                      const TReportOptions& options) {
    std::vector<size_t> listed;
    std::vector<std::string> captions;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (!IsProgramsRow(rows[i])) continue;
        listed.push_back(i);
        captions.push_back(rows[i].Name);
    }
    const std::vector<size_t> order = CaptionOrder(captions, options);
    std::vector<size_t> result;
    result.reserve(order.size());
    for (const size_t index : order)
        result.push_back(listed[index]);
    return result;
}

void VisitProgramsPageCells(const TProgramRow& program, const TCellVisitor& cell) {
    cell(program.Name);
    cell(program.Folder);
    cell(ProgramCpuText(program));
    cell(KindText(program));
    cell(program.Image().Version.FileVersion);
    cell(program.Image().Version.CompanyName);
    cell(program.Mismatch.empty() ? "" : "Mismatch");
}

TPage BuildProgramsPage(const std::vector<TProgramRow>& rows, const TReportOptions& options) {
    TPage page;
    page.Caption = kProgramsCaption;
    constexpr int kWidths[] = {120, 150, 90, 70, 90, 140, 70};
    for (size_t c = 0; c < std::size(kProgramsColumns); ++c)
        page.Columns.push_back({kProgramsColumns[c], kWidths[c], TAlign::Left, true});
    page.Columns.back().Align = TAlign::Center;
    const std::vector<size_t> order = ProgramsPageOrder(rows, options);
    page.Rows.reserve(order.size());
    for (const size_t i : order) {
        const TProgramRow& program = rows[i];
        TRow& row = page.Rows.emplace_back();
        row.Source = i;
        row.Cells.reserve(page.Columns.size());
        VisitProgramsPageCells(program, [&](std::string_view text) {
            row.Cells.push_back(TextCell(std::string(text)));
        });
        row.Cells.front().Icon = TIconKind::FileRow;
        row.Cells.back().Align = TAlign::Center;
        if (options.Records) row.Record = Record(program);
    }
    return page;
}

void VisitProgramDetailFields(const TProgramRow& program, const TDetailFieldVisitor& add) {
    const TPEImage& i = program.Image();
    const TPEVersionInfo& v = i.Version;
    add("Entry", program.Entry);
    if (program.SetupDll)
        add("Role", std::string(kSetupDllKind) + ": the installer runs it at install and removal");
    add("Status", ProgramStatusText(program.Status));
    if (!IsImage(program)) return;
    // One buffer for the values made here: each lives only for its call.
    std::string text = MachineName(i.Machine);
    text += " (";
    AppendHex4(text, i.Machine);
    add("CPU", text += ')');
    add("Kind", ImageKind(i));
    text = SubsystemName(i.Subsystem);
    text += ' ';
    AppendSubsystemVersion(text, i);
    add("Subsystem", text);
    add(".NET", i.IsDotNet ? "Yes" : "No");
    if (i.IsDotNet) {
        add("Runtime Version", i.RuntimeVersion);
        add("Any CPU", RunsOnAnyCpu(i) ? "Yes" : "No");
    }
    add("Signed", i.HasSignature ? "Yes" : "No");
    add("File Version", v.FileVersion);
    add("Product Version", v.ProductVersion);
    add("Company", v.CompanyName);
    add("Description", v.FileDescription);
    add("Product", v.ProductName);
    add("Original File Name", v.OriginalFilename);
    add("Imports", *program.Facts->ImportsText);
    if (!program.Mismatch.empty()) add("Mismatch", program.Mismatch);
    for (const std::string& note : i.Notes)
        add("Note", note);
}

TDetailFields ProgramDetailFields(const TProgramRow& program) {
    TDetailFields fields;
    fields.reserve(20);
    VisitProgramDetailFields(program, [&](const char* field, std::string_view value) {
        fields.emplace_back(field, std::string(value));
    });
    return fields;
}

TPage BuildProgramDetailsPage(const TProgramRow& program) {
    TPage page;
    page.Caption = program.Folder + program.Name;
    page.Columns = {{kProgramDetailColumns[0], 130, TAlign::Left, true},
                    {kProgramDetailColumns[1], 300, TAlign::Left, true}};
    TDetailFields fields = ProgramDetailFields(program);
    page.Rows.reserve(fields.size());
    for (auto& [field, value] : fields) {
        TRow& row = page.Rows.emplace_back();
        row.Cells.reserve(2);
        row.Cells.push_back(TextCell(field));
        row.Cells.push_back(TextCell(std::move(value)));
        row.Source = page.Rows.size() - 1;
    }
    return page;
}

std::string ProgramsStatusText(const std::vector<TProgramRow>& rows, size_t listed) {
    const auto mismatches = std::count_if(rows.begin(), rows.end(),
                                          [](const TProgramRow& r) { return !r.Mismatch.empty(); });
    std::string text = "Total of programs: " + std::to_string(listed);
    if (mismatches > 0) text += ", " + std::to_string(mismatches) + " built for another CPU";
    return text;
}
