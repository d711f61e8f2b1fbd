// What the pipeline outputs cost beside --audit --json: the audit as tessary-info runs it (one
// load through a look, every file read as a program, the findings) written as JSON, as a SARIF
// log, and as the HTML page, on Basic.WM.CAB and on a generated 20,000-file setup. Compare each
// output's time with the JSON's in one run: SARIF and HTML should cost at most 1.5x.
#include "audit/Baseline.h"
#include "bench/GeneratedSetup.h"
#include "cab/cabfiles.h"
#include "inspection/HtmlReport.h"
#include "setup/CESetup.h"
#include "signature/Signature.h"
#include "tests/support/Corpus.h"
#include "tools/AuditReport.h"
#include "tools/Json.h"
#include "tools/JsonWriter.h"
#include "tools/ProgramsReport.h"
#include "tools/Sarif.h"
#include "tools/SetupDocument.h"

#include <benchmark/benchmark.h>
#include <cstdlib>

#include <future>

namespace {

std::string PathOf(benchmark::State& state) {
    if (state.range(0) == 0) {
        state.SetLabel("Basic.WM.CAB");
        return HaveCorpus() ? RealCabinet("Basic.WM.CAB") : std::string();
    }
    state.SetLabel("generated 20,000 files");
    return GeneratedSetup();
}

enum class TOutput { Json, Sarif, Html };

// One --audit run as tools/main.cpp makes it, in the output asked for; the size written.
size_t Audit(const std::string& path, TOutput output) {
    TCABFile cab;
    TCESetup setup;
    setup.Cabinet = &cab;
    TCabinetLook look(path);
    // The benchmark's setup loads whole; anything else measures the wrong thing.
    if (!setup.LoadSetup(path, std::string(), false, look)) std::abort();
    // As the tool does: the cabinet's hash is read beside the audit.
    std::future<TCabinetIdentity> identity;
    if (output != TOutput::Json)
        identity = std::async(std::launch::async, CabinetIdentity, cab.CABFile);
    const TCabinetSignature signature = VerifyCabinetSignature(cab.CABFile);
    const std::vector<TProgramRow> programs = AnalysePrograms(setup, cab, cab.CABFileContents);
    if (output == TOutput::Json) {
        TJsonWriter out;
        TSetupDocument document(cab, look);
        WriteSetupJson(out, setup, cab, signature, document);
        out.Key("binaries");
        WriteProgramsJson(out, programs);
        out.Key("findings");
        WriteFindingsJson(out,
                          AuditCabinet(setup, cab, &programs, signature, document.Get(), &look));
        return out.Text().size();
    }
    const std::vector<TFinding> findings = AuditCabinet(setup, cab, &programs, signature, &look);
    if (output == TOutput::Html) {
        // The tool reads the document once for the audit and the page alike.
        TSetupDocument document(cab, look);
        return AuditHtml(setup, cab, document.Get(), signature, programs, findings, identity.get())
            .size();
    }
    TSarifRun run;
    run.Path = path;
    run.Cabinet = identity.get();
    run.Audited = true;
    run.Findings = findings;
    return SarifLog({run})
        .dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
        .size();
}

void BM_AuditJson(benchmark::State& state) {
    const std::string path = PathOf(state);
    if (path.empty()) return state.SkipWithError("corpus missing");
    for (auto _ : state)
        benchmark::DoNotOptimize(Audit(path, TOutput::Json));
}

void BM_AuditSarif(benchmark::State& state) {
    const std::string path = PathOf(state);
    if (path.empty()) return state.SkipWithError("corpus missing");
    for (auto _ : state)
        benchmark::DoNotOptimize(Audit(path, TOutput::Sarif));
}

void BM_AuditHtml(benchmark::State& state) {
    const std::string path = PathOf(state);
    if (path.empty()) return state.SkipWithError("corpus missing");
    for (auto _ : state)
        benchmark::DoNotOptimize(Audit(path, TOutput::Html));
}

} // namespace

BENCHMARK(BM_AuditJson)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AuditSarif)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AuditHtml)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
