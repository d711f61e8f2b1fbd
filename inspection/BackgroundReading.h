#pragma once
// What the window reads of an open setup without waiting for it: the cabinet's provisioning
// document and what each file of the setup is as a program. It runs on a thread of its own with
// its own cabinet object and its own load of the setup, so it shares nothing with the window;
// the window hands it a path and receives results through the callbacks, which run on the
// worker's thread and must only pass the results on.
#include "cab/Diagnostics.h"
#include "programs/Programs.h"
#include "provisioning/ProvisioningPage.h"
#include "report/SetupPages.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct TBackgroundRequest {
    std::string Path;          // the cabinet, as the core opens it
    bool Provisioning = false; // read its "_setup.xml" as a provisioning document
    // The document as the caller read it already: its pages are made from it, not from the
    // cabinet again.
    std::shared_ptr<const provisioning::TProvisioningTree> Document;
    // Or its bytes as the caller took them from the cabinet, unread: the job decodes them (before
    // it loads the setup again), not the cabinet's "_setup.xml" again.
    std::shared_ptr<const std::vector<uint8_t>> DocumentBytes;
    // Rows read are handed on in batches at most this often, so that tens of thousands of files
    // do not flood the window with one message each.
    std::chrono::milliseconds BatchInterval{50};
    // Nothing is read before this much time has passed: a setup left at once (a user going
    // through several, one after the other) costs no second load competing with the next.
    std::chrono::milliseconds Settle{200};
};

struct TBackgroundResults {
    // The provisioning pages and the headline of what the document changes.
    std::function<void(provisioning::TProvisioningPages pages, std::string headline)> Provisioning;
    // The document itself, called before Provisioning, for the readers that need it after (the
    // audit, the device decision): read once, here.
    std::function<void(std::shared_ptr<const provisioning::TProvisioningTree> tree)>
        ProvisioningTree;
    // The Programs page's rows read since the last batch (images, and files that could not be
    // read to tell), before the mismatch marks.
    std::function<void(std::vector<TProgramRow> rows)> ProgramRows;
    // Every file row, marked; the last call of a run that was not stopped.
    std::function<void(std::vector<TProgramRow> rows)> ProgramsDone;
    // Why the setup could not be read; the run ends.
    std::function<void(std::string why)> Failed;
    // What the cabinet reader reported on the way (a failed read or seek), once, as the run
    // ends; not called when there was nothing.
    std::function<void(std::vector<TDiagnostic> reports)> Reported;
};

// The order of the page's rows as the reader hands them over (the cabinet's): for a window that
// lists the batches as they arrive.
[[nodiscard]] TReportOptions ArrivalOrder();

// Reads until done or until stop is set; never throws.
void ReadInBackground(const TBackgroundRequest& request, const TBackgroundResults& results,
                      const std::atomic<bool>& stop);
