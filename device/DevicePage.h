#pragma once
// The device decision as report rows, built once for every front end: the "Device" page, the
// Project page's row and the Programs page's extra column.
#include "device/Decision.h"
#include "report/Page.h"

#include <string>

namespace device {

// "Device": columns Item, Decision, Reason. The profile, the install decision and each of its
// reasons, the problems met, then each program with its run decision and reasons; a decision's
// further reasons are rows of their own with the Item and Decision left empty. Records: Item,
// Decision, Reason.
[[nodiscard]] TPage BuildDevicePage(const TDeviceDecision& decision);

// The Project page's row beyond the design: caption and value.
inline constexpr const char* kInstallDecisionCaption = "Install decision";
// What a window says when the profile chosen could not be kept for the next run.
inline constexpr const char* kProfileNotRemembered =
    "The device profile is used now, but it could not be remembered for the next run.";
// "asks the user (Pocket PC / Professional, one-tier prompt)".
[[nodiscard]] std::string InstallDecisionValue(const TDeviceDecision& decision);

// Appends the column "On Device" to a Programs page: each row's run decision, found by the
// row's source (its file row). The page's own columns stay as they are.
void AddRunColumn(TPage& programs, const TDeviceDecision& decision);
inline constexpr const char* kRunColumn = "On Device";

} // namespace device
