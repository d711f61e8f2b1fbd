#include "cab/ErrorReporter.h"

#include "cab/PlainText.h"

#include <cstdio>
#include <utility>

namespace {
TErrorReporter& CurrentReporter() {
    static TErrorReporter reporter;
    return reporter;
}
} // namespace

TErrorReporter SetErrorReporter(TErrorReporter reporter) {
    return std::exchange(CurrentReporter(), std::move(reporter));
}

void ReportError(const std::string& caption, const std::string& text) {
    // At most 1025 characters, as the message box of the original took.
    const std::string shown = text.substr(0, 1025);
    if (CurrentReporter()) {
        CurrentReporter()(caption, shown);
        return;
    }
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), PlainText(shown).c_str());
}
