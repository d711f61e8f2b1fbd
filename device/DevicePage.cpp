#include "device/DevicePage.h"

#include <map>

namespace device {

namespace {

void AddRow(TPage& page, std::string item, std::string decision, std::string reason) {
    TRow row;
    row.Source = page.Rows.size();
    row.Record = {{"Item", item}, {"Decision", decision}, {"Reason", reason}};
    row.Cells = {TextCell(std::move(item)), TextCell(std::move(decision)),
                 TextCell(std::move(reason))};
    page.Rows.push_back(std::move(row));
}

void AddDecision(TPage& page, const std::string& item, const char* decision,
                 const std::vector<std::string>& reasons) {
    AddRow(page, item, decision, reasons.empty() ? std::string() : reasons.front());
    for (size_t i = 1; i < reasons.size(); ++i)
        AddRow(page, {}, {}, reasons[i]);
}

} // namespace

TPage BuildDevicePage(const TDeviceDecision& decision) {
    TPage page;
    page.Caption = "Device";
    page.Columns = {{"Item", 160}, {"Decision", 130}, {"Reason", 600}};
    AddRow(page, "Profile", decision.Profile.empty() ? "(empty)" : decision.Profile, {});
    AddDecision(page, "Install", InstallDecisionText(decision.Install.Decision),
                decision.Install.Reasons);
    for (const std::string& problem : decision.Problems)
        AddRow(page, "Problem", {}, problem);
    if (!decision.ProgramsRead)
        AddRow(page, "Programs", {}, "The setup's programs are not read yet.");
    for (const TProgramDecision& p : decision.Programs)
        AddDecision(page, p.Folder + p.File, RunDecisionText(p.Outcome.Decision),
                    p.Outcome.Reasons);
    return page;
}

std::string InstallDecisionValue(const TDeviceDecision& decision) {
    std::string text = InstallDecisionText(decision.Install.Decision);
    if (!decision.Profile.empty()) text += " (" + decision.Profile + ")";
    return text;
}

void AddRunColumn(TPage& programs, const TDeviceDecision& decision) {
    std::map<size_t, const TProgramDecision*> byRow;
    for (const TProgramDecision& p : decision.Programs)
        byRow[p.Row] = &p;
    programs.Columns.push_back({kRunColumn, 110});
    for (TRow& row : programs.Rows) {
        const auto it = byRow.find(row.Source);
        const std::string text =
            it == byRow.end() ? std::string() : RunDecisionText(it->second->Outcome.Decision);
        row.Cells.push_back(TextCell(text));
        row.Record.emplace_back("OnDevice", text);
    }
}

} // namespace device
