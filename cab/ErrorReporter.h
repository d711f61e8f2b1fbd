#pragma once
#include <functional>
#include <string>

// Where the cabinet reader sends the system's text of a failed file operation. The core has no
// windows; the viewer installs a message box here, everything else gets standard error.
using TErrorReporter = std::function<void(const std::string& caption, const std::string& text)>;

// Installs a reporter; an empty one restores the default. Answers the previous one.
TErrorReporter SetErrorReporter(TErrorReporter reporter);
void ReportError(const std::string& caption, const std::string& text);
