#pragma once
// Where the cabinet reader sends the system's text of a failed write, close or seek. Reports
// belong to one run or one opened setup, never to the process: whoever runs a command binds its
// own TDiagnostics to the thread it runs on, so that a window and its background readers each
// get their own reports and none is read by another thread or lost. A thread with nothing
// bound reports to standard error.
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct TDiagnostic {
    std::string Caption;
    std::string Text; // the system's text, at most 1025 characters
};

// The reports of one run or one opened setup. Reporting and taking may happen on different
// threads.
class TDiagnostics {
  public:
    using TListener = std::function<void(const TDiagnostic&)>;
    // With a listener, each report is handed to it on the reporting thread instead of being
    // kept.
    explicit TDiagnostics(TListener listener = {}) : FListener(std::move(listener)) {}
    TDiagnostics(const TDiagnostics&) = delete;
    TDiagnostics& operator=(const TDiagnostics&) = delete;

    void Report(const std::string& caption, const std::string& text);
    // The reports kept so far, oldest first; they are kept no longer.
    [[nodiscard]] std::vector<TDiagnostic> Take();
    [[nodiscard]] size_t Count() const;

  private:
    TListener FListener;
    mutable std::mutex FMutex;
    std::vector<TDiagnostic> FKept;
};

// Binds diagnostics to the calling thread while it lives; then what was bound before is bound
// again. Each scope ends on the thread that made it.
class TDiagnosticsScope {
  public:
    explicit TDiagnosticsScope(TDiagnostics& diagnostics);
    ~TDiagnosticsScope();
    TDiagnosticsScope(const TDiagnosticsScope&) = delete;
    TDiagnosticsScope& operator=(const TDiagnosticsScope&) = delete;

  private:
    TDiagnostics* FBound;
};

// Reports to the diagnostics bound to the calling thread, or to standard error.
void ReportError(const std::string& caption, const std::string& text);
