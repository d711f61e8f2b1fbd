// libFuzzer target: arbitrary bytes as a baseline. Reading never throws; a baseline that reads
// has a statement and a known rule in every entry, and applying it to findings and writing
// them back as a baseline never fails.
#include "audit/Baseline.h"
#include "tests/fuzz/FuzzSeeds.h"

#include <cstdlib>
#include <string>
#include <string_view>

namespace {

std::vector<uint8_t> Seed(std::string_view text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    WriteSeedsAndExitIfAsked(
        {Seed(R"({"version": 1, "accepted": [
  {"rule": "windows-folder", "where": "%WinDir%\\*.dll", "cabinetName": "Basic.WM.CAB",
   "statement": "The runtime's DLLs belong there.", "expires": "2027-06-30"},
  {"rule": "not-signed", "cabinetSha256": "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", "statement": "s"}
]})"),
         Seed(R"({"version": 1, "accepted": []})"),
         Seed(
             R"({"version": 1, "accepted": [{"rule": "shared-file", "where": "a*b*c", "statement": "\u00e9", "expires": "2000-02-29"}]})")});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TBaseline baseline;
    TBaselineError error;
    if (!ParseBaseline(text, baseline, error)) {
        if (error.Line == 0 || error.What.empty()) std::abort();
        return 0;
    }
    std::vector<TFinding> findings;
    for (const TBaselineEntry& entry : baseline.Entries) {
        if (entry.Statement.empty() || !FindAuditRule(entry.Rule)) std::abort();
        TFinding& f = findings.emplace_back();
        f.Rule = FindAuditRule(entry.Rule)->Id;
        f.Where = entry.Where;
    }
    const TCabinetIdentity cabinet{"Basic.WM.CAB", std::string(64, 'a')};
    ApplyBaseline(baseline, cabinet, "2026-12-09", findings);
    (void)WriteBaselineText({{&cabinet, &findings}});
    return 0;
}
