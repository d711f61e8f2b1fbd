#include "tools/DeviceReport.h"

#include "device/DevicePage.h"
#include "tools/TextReport.h"

void WriteDeviceReport(std::ostream& out, const device::TDeviceDecision& decision) {
    out << device::kInstallDecisionCaption << '\n';
    WriteTable(out, device::BuildDevicePage(decision));
    out << '\n';
}

nlohmann::ordered_json DeviceToJson(const device::TDeviceDecision& decision) {
    nlohmann::ordered_json json;
    json["profile"] = decision.Profile;
    json["install"] = device::InstallDecisionText(decision.Install.Decision);
    json["reasons"] = decision.Install.Reasons;
    json["dependsOnSetup"] = decision.Install.DependsOnSetup;
    json["problems"] = decision.Problems;
    if (!decision.ProgramsRead) {
        json["programs"] = nullptr;
        return json;
    }
    json["programs"] = nlohmann::ordered_json::array();
    for (const device::TProgramDecision& p : decision.Programs) {
        nlohmann::ordered_json program;
        program["file"] = p.File;
        program["folder"] = p.Folder;
        program["run"] = device::RunDecisionText(p.Outcome.Decision);
        program["reasons"] = p.Outcome.Reasons;
        program["dependsOnSetup"] = p.Outcome.DependsOnSetup;
        json["programs"].push_back(std::move(program));
    }
    return json;
}

bool DecisionFailsStrict(const device::TDeviceDecision& decision) {
    return decision.Install.Decision == device::TInstallDecision::Blocked ||
           decision.Install.Decision == device::TInstallDecision::AsksUser;
}
