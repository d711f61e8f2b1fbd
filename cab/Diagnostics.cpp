#include "cab/Diagnostics.h"

#include "cab/PlainText.h"

#include <cstdio>
#include <memory>
#include <type_traits>
#include <utility>

namespace {
// The diagnostics bound to this thread, the latest last; none while no scope lives. Made with
// the thread's first scope and freed with its last: mingw-w64 frees a thread_local's storage
// before it runs its destructor when a thread ends, so a thread_local that owned the list would
// corrupt the heap as each background reader's thread exits.
thread_local std::vector<TDiagnostics*>* gBound = nullptr;
static_assert(std::is_trivially_destructible_v<decltype(gBound)>);
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
    if (gBound) {
        gBound->push_back(FBound);
        return;
    }
    gBound = std::make_unique<std::vector<TDiagnostics*>>(1, FBound).release();
}

TDiagnosticsScope::~TDiagnosticsScope() {
    if (!gBound) return;
    // A scope that ends out of order (two windows closed in the order they opened) takes out
    // only its own.
    for (auto at = gBound->end(); at != gBound->begin();)
        if (*--at == FBound) {
            gBound->erase(at);
            break;
        }
    if (gBound->empty()) {
        delete gBound;
        gBound = nullptr;
    }
}

void ReportError(const std::string& caption, const std::string& text) {
    if (gBound && !gBound->empty()) {
        gBound->back()->Report(caption, text);
        return;
    }
    const std::string shown = text.substr(0, 1025);
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), PlainText(shown).c_str());
}
