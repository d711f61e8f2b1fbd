// What the install decision adds to --audit: the audit as tessary-info runs it (one load through
// a look, the report, every file read as a program, the findings, all written to a discarding
// stream) against the same with --device smartphone (the decision, its block and the Programs
// column), on Basic.WM.CAB and on a generated 20,000-file setup. Compare each pair's times in
// one run: the decision should add at most 5%.
#include "bench/GeneratedSetup.h"
#include "cab/cabfiles.h"
#include "device/Decision.h"
#include "provisioning/Rows.h"
#include "setup/CESetup.h"
#include "signature/Signature.h"
#include "tests/support/Corpus.h"
#include "tools/AuditReport.h"
#include "tools/DeviceReport.h"
#include "tools/ProgramsReport.h"
#include "tools/SetupDocument.h"
#include "tools/TextReport.h"

#include <benchmark/benchmark.h>
#include <cstdlib>

#include <ostream>
#include <streambuf>

namespace {

// Counts what is written and keeps nothing, so the text is made but the disk is not measured.
class TCountingBuffer : public std::streambuf {
  public:
    size_t Count = 0;

  protected:
    std::streamsize xsputn(const char*, std::streamsize n) override {
        Count += static_cast<size_t>(n);
        return n;
    }
    int overflow(int c) override {
        ++Count;
        return c;
    }
};

std::string PathOf(benchmark::State& state) {
    if (state.range(0) == 0) {
        state.SetLabel("Basic.WM.CAB");
        return HaveCorpus() ? RealCabinet("Basic.WM.CAB") : std::string();
    }
    state.SetLabel("generated 20,000 files");
    return GeneratedSetup();
}

// One --audit run as tools/main.cpp makes it; with a profile, the decision leads the report.
size_t Audit(const std::string& path, const device::TDeviceProfile* profile) {
    TCountingBuffer buffer;
    std::ostream out(&buffer);
    TCABFile cab;
    TCESetup setup;
    setup.Cabinet = &cab;
    TCabinetLook look(path);
    // The benchmark's setup loads whole; anything else measures the wrong thing.
    if (!setup.LoadSetup(path, std::string(), false, look)) std::abort();
    const TCabinetSignature signature = VerifyCabinetSignature(cab.CABFile);
    const std::vector<TProgramRow> programs = AnalysePrograms(setup, cab, cab.CABFileContents);
    std::optional<device::TDeviceDecision> decision;
    TSetupDocument document(cab, look);
    if (profile) {
        device::TDecisionInput input;
        input.Signature = &signature;
        input.Provisioning = document.Get();
        input.Programs = &programs;
        decision = device::DecideForDevice(*profile, input);
        WriteDeviceReport(out, *decision);
    }
    WriteTextReport(out, setup, cab, signature, document);
    WriteProgramsReport(out, programs, decision ? &*decision : nullptr);
    // The document read once serves the decision, the report and the audit.
    WriteFindingsReport(out, AuditCabinet(setup, cab, &programs, signature, document.Get(), &look));
    return buffer.Count;
}

void BM_Audit(benchmark::State& state) {
    const std::string path = PathOf(state);
    if (path.empty()) return state.SkipWithError("corpus missing");
    for (auto _ : state)
        benchmark::DoNotOptimize(Audit(path, nullptr));
}

void BM_AuditWithDevice(benchmark::State& state) {
    const std::string path = PathOf(state);
    if (path.empty()) return state.SkipWithError("corpus missing");
    const device::TDeviceProfile profile = device::BuildProfile({"smartphone"});
    for (auto _ : state)
        benchmark::DoNotOptimize(Audit(path, &profile));
}

} // namespace

BENCHMARK(BM_Audit)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AuditWithDevice)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
