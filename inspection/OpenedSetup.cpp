#include "inspection/OpenedSetup.h"

#include <exception>
#include <new>
#include <utility>

namespace inspection {
namespace {
const char* const kNotASetup = "Invalid Windows CE Setup file, Tessary cannot read this file.";
} // namespace

// A job's callbacks are called only while it is the inspection's current one; Cancel takes
// the same lock, so once it returns no callback of the job runs or will run.
struct TJobGate {
    std::mutex Lock;
    std::shared_ptr<std::atomic<uint64_t>> Generation;
    uint64_t Mine = 0;
    template <typename F, typename... A> void Pass(const F& f, A&&... args) {
        const std::lock_guard<std::mutex> lock(Lock);
        if (f && Generation->load() == Mine) f(std::forward<A>(args)...);
    }
};

TInspection::~TInspection() {
    Cancel();
    Join();
}

TOpenResult TInspection::Open(const std::string& path) {
    Close();
    const TDiagnosticsScope scope(FDiagnostics);
    try {
        auto cabinet = std::make_unique<TCABFile>();
        auto setup = std::make_unique<TCESetup>();
        setup->Cabinet = cabinet.get();
        auto look = std::make_unique<TCabinetLook>(path);
        // A descriptor that fails part way still shows what the model holds.
        const bool complete = setup->LoadSetup(path, "", false, *look);
        if (setup->Format == kFormatNone) return {false, kNotASetup};
        std::shared_ptr<provisioning::TProvisioningTree> tree;
        if (auto read = std::make_shared<provisioning::TProvisioningTree>();
            provisioning::ReadCabinetProvisioning(*cabinet, *read, look.get()))
            tree = std::move(read);
        FDescriptors = ReadDescriptorFacts(*setup, *cabinet, tree.get(), look.get());
        FSignature = VerifyCabinetSignature(path);
        FProvisioning = std::move(tree);
        FListing = std::move(cabinet);
        FLook = std::move(look);
        FSetup = std::move(setup);
        FPath = path;
        return {true, complete ? std::string() : std::string("the descriptor is damaged")};
    } catch (const std::bad_alloc&) {
        Close();
        return {false, "out of memory"};
    } catch (const std::exception& e) {
        Close();
        return {false, e.what()};
    }
}

void TInspection::Close() {
    Cancel();
    FSetup.reset();
    FLook.reset();
    FListing.reset();
    FProvisioning.reset();
    FDescriptors = {};
    FSignature = {};
    FPath.clear();
}

TPage TInspection::FilesPage(const TReportOptions& options) const {
    return BuildFilesPage(*FSetup, Listing(), options);
}

std::vector<TFinding> TInspection::Findings(const std::vector<TProgramRow>* programs,
                                            const std::string& now) const {
    TAuditInput input;
    input.Setup = FSetup.get();
    input.Listing = &Listing();
    input.Signature = &FSignature;
    input.Provisioning = Provisioning();
    input.Programs = programs;
    input.Descriptors = &FDescriptors;
    input.Now = now;
    return RunAudit(input);
}

uint64_t TInspection::StartReading(TBackgroundResults results, const TBackgroundRequest& options) {
    Cancel();
    if (!IsOpen()) return Generation();
    auto gate = std::make_shared<TJobGate>();
    gate->Generation = FGeneration;
    {
        const std::lock_guard<std::mutex> lock(gate->Lock);
        gate->Mine = ++*FGeneration;
    }
    auto stop = std::make_shared<std::atomic<bool>>(false);
    FStop = stop;
    FGate = gate;
    TBackgroundRequest request = options;
    request.Path = FPath;
    // The document read when the setup opened: the job makes its pages, it does not read it.
    request.Provisioning = FProvisioning != nullptr;
    request.Document = FProvisioning;
    TBackgroundResults gated;
    gated.Provisioning = [gate, f = results.Provisioning](provisioning::TProvisioningPages pages,
                                                          std::string headline) {
        gate->Pass(f, std::move(pages), std::move(headline));
    };
    gated.ProvisioningTree = [gate, f = results.ProvisioningTree](
                                 std::shared_ptr<const provisioning::TProvisioningTree> tree) {
        gate->Pass(f, std::move(tree));
    };
    gated.ProgramRows = [gate, f = results.ProgramRows](std::vector<TProgramRow> rows) {
        gate->Pass(f, std::move(rows));
    };
    gated.ProgramsDone = [gate, f = results.ProgramsDone](std::vector<TProgramRow> rows) {
        gate->Pass(f, std::move(rows));
    };
    gated.Failed = [gate, f = results.Failed](std::string why) { gate->Pass(f, std::move(why)); };
    gated.Reported = [gate, f = results.Reported](std::vector<TDiagnostic> reports) {
        gate->Pass(f, std::move(reports));
    };
    FJobs.emplace_back([request, gated, stop] { ReadInBackground(request, gated, *stop); });
    return gate->Mine;
}

void TInspection::Cancel() {
    if (FStop) FStop->store(true);
    if (FGate) {
        const std::lock_guard<std::mutex> lock(FGate->Lock);
        ++*FGeneration;
    }
    FStop.reset();
    FGate.reset();
}

void TInspection::Join() {
    for (std::thread& job : FJobs)
        if (job.joinable()) job.join();
    FJobs.clear();
}

} // namespace inspection
