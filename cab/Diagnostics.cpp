#include "cab/Diagnostics.h"

#include "cab/PlainText.h"

#include <cstdio>
#include <utility>

namespace {
// The diagnostics bound to this thread, the latest last. A scope that ends out of order (two
// windows closed in the order they opened) takes out only its own.
thread_local std::vector<TDiagnostics*> gBound;
} // namespace

void TDiagnostics::Report(const std::string& caption, const std::string& text) {
    // At most 1025 characters, as the message box of the original took.
    TDiagnostic report{caption, text.substr(0, 1025)};
    if (FListener) {
        FListener(report);
        return;
    }
    const std::lock_guard<std::mutex> lock(FMutex);
    FKept.push_back(std::move(report));
}

std::vector<TDiagnostic> TDiagnostics::Take() {
    const std::lock_guard<std::mutex> lock(FMutex);
    return std::exchange(FKept, {});
}

size_t TDiagnostics::Count() const {
    const std::lock_guard<std::mutex> lock(FMutex);
    return FKept.size();
}

TDiagnosticsScope::TDiagnosticsScope(TDiagnostics& diagnostics) : FBound(&diagnostics) {
    gBound.push_back(FBound);
}

TDiagnosticsScope::~TDiagnosticsScope() {
    for (auto at = gBound.end(); at != gBound.begin();)
        if (*--at == FBound) {
            gBound.erase(at);
            break;
        }
}

void ReportError(const std::string& caption, const std::string& text) {
    if (!gBound.empty()) {
        gBound.back()->Report(caption, text);
        return;
    }
    const std::string shown = text.substr(0, 1025);
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), PlainText(shown).c_str());
}
