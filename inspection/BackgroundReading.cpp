#include "inspection/BackgroundReading.h"

#include "cab/cabfiles.h"
#include "provisioning/Rows.h"
#include "setup/CESetup.h"

#include <exception>
#include <new>
#include <numeric>
#include <thread>

namespace {

// The document the request gives, as a tree or as bytes, or the cabinet's; null when there is
// none (or the cabinet's cannot be extracted).
std::shared_ptr<const provisioning::TProvisioningTree>
Document(const TBackgroundRequest& request, TCABFile* cabinet, TCabinetLook* look,
         const std::function<bool()>& stopped) {
    if (request.Document) return request.Document;
    if (request.DocumentBytes) {
        const std::vector<uint8_t>& bytes = *request.DocumentBytes;
        return std::make_shared<const provisioning::TProvisioningTree>(
            provisioning::ReadDocumentBytes(
                std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                stopped));
    }
    auto read = std::make_shared<provisioning::TProvisioningTree>();
    if (cabinet && provisioning::ReadCabinetProvisioning(*cabinet, *read, look)) return read;
    return nullptr;
}

void HandOver(const std::shared_ptr<const provisioning::TProvisioningTree>& tree,
              const TBackgroundResults& results) {
    if (!tree) return;
    if (results.ProvisioningTree) results.ProvisioningTree(tree);
    if (results.Provisioning)
        results.Provisioning(provisioning::BuildProvisioningPages(*tree),
                             provisioning::ProvisioningHeadline(provisioning::Summarize(*tree)));
}

void Run(const TBackgroundRequest& request, const TBackgroundResults& results,
         const std::atomic<bool>& stop) {
    const auto stopped = [&stop] { return stop.load(std::memory_order_relaxed); };
    const auto settled = std::chrono::steady_clock::now() + request.Settle;
    while (std::chrono::steady_clock::now() < settled) {
        if (stopped()) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    bool document = request.Provisioning && (results.Provisioning || results.ProvisioningTree);
    // A document at hand is handed over before the setup is loaded again for the programs.
    if (document && (request.Document || request.DocumentBytes)) {
        const auto tree = Document(request, nullptr, nullptr, stopped);
        if (stopped()) return;
        HandOver(tree, results);
        document = false;
    }
    TCABFile cabinet;
    TCESetup setup;
    setup.Cabinet = &cabinet;
    // One look serves the load, the listing the analyses read and "_setup.xml".
    TCabinetLook look(request.Path);
    // A descriptor damaged part way was said when the setup was opened; the programs of what it
    // holds are read all the same.
    const bool loaded = setup.LoadSetup(request.Path, "", false, look);
    if (stopped()) return;
    if (!loaded && setup.Format == kFormatNone) {
        if (results.Failed) results.Failed("the cabinet is no longer a setup");
        return;
    }
    if (document) {
        const auto tree = Document(request, &cabinet, &look, stopped);
        if (stopped()) return;
        HandOver(tree, results);
    }

    using TClock = std::chrono::steady_clock;
    std::vector<TProgramRow> batch;
    TClock::time_point last = TClock::now();
    const auto flush = [&] {
        if (!batch.empty() && results.ProgramRows) results.ProgramRows(std::move(batch));
        batch.clear();
        last = TClock::now();
    };
    TProgramsProgress progress;
    progress.Stopped = stopped;
    progress.RowDone = [&](const TProgramRow& row) {
        if (stopped() || !IsProgramsRow(row)) return;
        batch.push_back(row);
        if (TClock::now() - last >= request.BatchInterval) flush();
    };
    std::vector<TProgramRow> rows =
        AnalysePrograms(setup, cabinet, cabinet.CABFileContents, kProgramReadCap, progress);
    if (stopped()) return;
    flush();
    if (results.ProgramsDone) results.ProgramsDone(std::move(rows));
}

} // namespace

TReportOptions ArrivalOrder() {
    TReportOptions options;
    options.Order = [](const std::vector<std::string>& captions) {
        std::vector<size_t> order(captions.size());
        std::iota(order.begin(), order.end(), size_t{0});
        return order;
    };
    return options;
}

void ReadInBackground(const TBackgroundRequest& request, const TBackgroundResults& results,
                      const std::atomic<bool>& stop) {
    // Nothing may leave the thread: what went wrong is a result like any other.
    const auto fail = [&](const std::string& why) {
        try {
            if (results.Failed && !stop) results.Failed(why);
        } catch (...) {
        }
    };
    // The run's own reports: the window's are boxes on its thread, and none may be lost.
    TDiagnostics diagnostics;
    const TDiagnosticsScope scope(diagnostics);
    const auto handOver = [&] {
        try {
            if (results.Reported && diagnostics.Count() > 0 && !stop)
                results.Reported(diagnostics.Take());
        } catch (...) {
        }
    };
    try {
        Run(request, results, stop);
    } catch (const std::bad_alloc&) {
        fail("out of memory");
    } catch (const std::exception& e) {
        fail(e.what());
    } catch (...) {
        fail("unknown error");
    }
    handOver();
}
