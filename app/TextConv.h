#pragma once
// The model holds 8-bit texts without a code page; the window shows them as UTF-8 when they are
// valid UTF-8 and byte for byte (Latin-1) otherwise, with control characters shown as escapes
// such as \x1b, so that no text from a cabinet can break a line or hide what follows.
#include "report/SetupPages.h"

#include <QString>
#include <string>

[[nodiscard]] QString ToDisplay(const std::string& text);
// A path of the desktop machine in the form the core opens it.
[[nodiscard]] std::string ToLocalPath(const QString& path);

// Report options for the window: the user's decimal separator, and rows sorted as the user's
// locale compares the texts the window shows.
[[nodiscard]] TReportOptions WindowReportOptions();
