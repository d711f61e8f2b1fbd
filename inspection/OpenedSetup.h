#pragma once
// One opened setup: the cabinet's listing, the model, the signature, the provisioning tree and
// the descriptors' facts, all read when it opens and kept, so that nothing below the front end
// lists or reads the cabinet file again unless asked to extract. A cabinet replaced on disk
// afterwards changes nothing shown. The provisioning document's bytes are taken when it opens,
// but decoded (a crafted one holds thousands of slow certificates or 100,000 nested nodes) by
// the first background job, whose tree the front end hands back with TakeDocument. The slow
// readers (the document, the programs) run as background jobs:
// each start counts a generation, Cancel and Close stop the running one, and a result of an
// earlier generation is never handed on. Results reach plain callbacks on the job's thread;
// each window marshals them to its own.
//
// Failure: Open answers a TOpenResult with the reason and leaves the inspection closed; the
// reports of the cabinet reader made while opening are in Diagnostics(). Nothing here throws
// on a cabinet's content.
#include "audit/Audit.h"
#include "cab/Diagnostics.h"
#include "cab/cabfiles.h"
#include "inspection/BackgroundReading.h"
#include "provisioning/Rows.h"
#include "report/Page.h"
#include "report/SetupPages.h"
#include "setup/CESetup.h"
#include "signature/Signature.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace inspection {

struct [[nodiscard]] TOpenResult {
    bool Ok = false;
    std::string Message; // why it did not open; empty when it did
    explicit operator bool() const { return Ok; }
};

class TInspection {
  public:
    TInspection() = default;
    // Stops any job and waits for it.
    ~TInspection();
    TInspection(const TInspection&) = delete;
    TInspection& operator=(const TInspection&) = delete;

    // Closes what was open, then reads path once: listing, model, signature, and the provisioning
    // document's bytes; the descriptors' facts too when there is no document to wait for.
    TOpenResult Open(const std::string& path);
    // Stops the running job (it is not waited for) and forgets the setup.
    void Close();
    // Closes, and waits for every job started to end: after it nothing reads the cabinet, so
    // the folder that holds it can go.
    void CloseAndWait();
    [[nodiscard]] bool IsOpen() const { return FSetup != nullptr; }
    [[nodiscard]] const std::string& Path() const { return FPath; }

    // Valid while open.
    [[nodiscard]] TCESetup& Setup() const { return *FSetup; }
    [[nodiscard]] const TCABFileContents& Listing() const { return FListing->CABFileContents; }
    [[nodiscard]] const TCabinetSignature& Signature() const { return FSignature; }
    // Null when the cabinet holds no "_setup.xml", it cannot be read or it is still pending.
    [[nodiscard]] const provisioning::TProvisioningTree* Provisioning() const {
        return FProvisioning.get();
    }
    // Whether the document waits to be decoded by a job and handed back.
    [[nodiscard]] bool DocumentPending() const { return FDocumentBytes != nullptr; }
    // The tree a job decoded (its ProvisioningTree result), handed back on the front end's
    // thread; null when the job failed. The descriptors' facts that need it are read now, from
    // what was kept. Once taken, the document is no longer pending.
    void TakeDocument(std::shared_ptr<const provisioning::TProvisioningTree> tree);

    // The pages made from the kept listing: sizes stay those of the cabinet that was opened.
    [[nodiscard]] TPage FilesPage(const TReportOptions& options = {}) const;
    // Every audit rule over what was kept; programs null while they are not read, the document's
    // rules silent while it is pending.
    [[nodiscard]] std::vector<TFinding> Findings(const std::vector<TProgramRow>* programs,
                                                 const std::string& now = {}) const;

    // Starts reading the programs (and the provisioning pages) in the background, stopping a
    // job still running; answers the new job's generation. Callbacks of a stopped or earlier
    // job are not called once it is stopped.
    uint64_t StartReading(TBackgroundResults results, const TBackgroundRequest& options = {});
    // Stops the running job; its callbacks are called no more.
    void Cancel();
    [[nodiscard]] uint64_t Generation() const { return FGeneration->load(); }

    // What the cabinet reader reported while this inspection opened its setup.
    [[nodiscard]] TDiagnostics& Diagnostics() { return FDiagnostics; }

  private:
    void Join();

    std::string FPath;
    std::unique_ptr<TCABFile> FListing; // holds the listing; extracts when asked
    std::unique_ptr<TCabinetLook> FLook;
    std::unique_ptr<TCESetup> FSetup;
    TCabinetSignature FSignature;
    // Shared with the background job, which makes the document's pages from it.
    std::shared_ptr<const provisioning::TProvisioningTree> FProvisioning;
    std::shared_ptr<const std::vector<uint8_t>> FDocumentBytes; // until a job decodes them
    TDescriptorFacts FDescriptors;
    TDiagnostics FDiagnostics;
    std::shared_ptr<std::atomic<uint64_t>> FGeneration = std::make_shared<std::atomic<uint64_t>>(0);
    std::shared_ptr<std::atomic<bool>> FStop;
    std::shared_ptr<struct TJobGate> FGate;
    std::vector<std::thread> FJobs; // stopped ones too, until joined
};

} // namespace inspection
