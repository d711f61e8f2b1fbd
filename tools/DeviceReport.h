#pragma once
// The install decision of --device: the "Install decision" block that leads the text report,
// and the JSON "device" object, from device/'s decision and its Device page.
#include "device/Decision.h"

#include <nlohmann/json.hpp>

#include <ostream>

// "Install decision", then the Device page's table.
void WriteDeviceReport(std::ostream& out, const device::TDeviceDecision& decision);

// {"profile", "install", "reasons", "problems", "programs": [{"file", "folder", "run",
// "reasons"}]}; "programs" is null when the programs were not read.
[[nodiscard]] nlohmann::ordered_json DeviceToJson(const device::TDeviceDecision& decision);

// Whether --strict refuses the decision: blocked, or an install that waits for the user.
[[nodiscard]] bool DecisionFailsStrict(const device::TDeviceDecision& decision);
