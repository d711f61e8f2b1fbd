#include "inspection/OpenedSetup.h"

#include <exception>
#include <new>
#include <utility>

namespace inspection {
namespace {
const char* const kNotASetup = "Invalid Windows CE Setup file, Tessary cannot read this file.";

// A document that cannot be extracted (too large, a broken cabinet) is one that cannot be read;
// the setup still opens.
bool ReadDocument(TCABFile& cabinet, std::vector<uint8_t>& bytes, TCabinetLook* look) {
    try {
        return provisioning::ReadCabinetDocument(cabinet, bytes, look);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception&) {
        return false;
    }
}
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
        // Only the bytes now: the look keeps them for the descriptors' facts read later.
        auto document = std::make_shared<std::vector<uint8_t>>();
        if (!provisioning::HasProvisioningDocument(cabinet->CABFileContents) ||
            !ReadDocument(*cabinet, *document, look.get()))
            document.reset();
        if (!document) FDescriptors = ReadDescriptorFacts(*setup, *cabinet, nullptr, look.get());
        FSignature = VerifyCabinetSignature(path);
        FDocumentBytes = std::move(document);
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
    FDocumentBytes.reset();
    FDescriptors = {};
    FSignature = {};
    FPath.clear();
}

void TInspection::CloseAndWait() {
    Close();
    Join();
}

void TInspection::TakeDocument(std::shared_ptr<const provisioning::TProvisioningTree> tree) {
    if (!IsOpen() || !DocumentPending()) return;
    FDocumentBytes.reset();
    FProvisioning = std::move(tree);
    FDescriptors = ReadDescriptorFacts(*FSetup, *FListing, FProvisioning.get(), FLook.get());
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
    // The document taken when the setup opened: the job decodes it (or makes the pages of the one
    // decoded before), it does not read the cabinet's again.
    request.Provisioning = FProvisioning != nullptr || FDocumentBytes != nullptr;
    request.Document = FProvisioning;
    request.DocumentBytes = FDocumentBytes;
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
