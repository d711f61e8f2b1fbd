// Analysing every file of a setup as a program, against decompressing all its files into
// memory, on Basic.WM.CAB, on a generated 20,000-file setup (every twentieth a program) and on
// one of 20,000 programs. Compare each pair's times in one run: the analysis should cost at most
// 1.3 times the decompression.
#include "bench/GeneratedSetup.h"
#include "cab/cabfiles.h"
#include "programs/Programs.h"
#include "setup/CESetup.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/Corpus.h"
#include "tests/support/DescriptorWriter.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <unordered_set>

namespace {

// The reader takes every entry in one run over the cabinet, so 20,000 entries are measurable.
constexpr bool kReaderTakesAllInOneRun = true;

struct TLoaded {
    TCABFile Cabinet;
    TCESetup Setup;
};

std::unique_ptr<TLoaded> Load(benchmark::State& state) {
    std::string path;
    if (state.range(0) == 0) {
        if (!HaveCorpus()) return nullptr;
        path = RealCabinet("Basic.WM.CAB");
    } else {
        if (!kReaderTakesAllInOneRun) return nullptr;
        path = GeneratedSetup(state.range(0) == 2);
    }
    auto loaded = std::make_unique<TLoaded>();
    loaded->Setup.Cabinet = &loaded->Cabinet;
    if (!loaded->Setup.LoadSetup(path, "", false)) return nullptr;
    state.SetLabel(state.range(0) == 0   ? "Basic.WM.CAB"
                   : state.range(0) == 1 ? "generated 20,000 files"
                                         : "generated 20,000 programs");
    return loaded;
}

// Baseline: the entry of every file row decompressed into memory, from a fresh listing, in one
// run over the cabinet into memory sinks.
void BM_DecompressAllFiles(benchmark::State& state) {
    const auto l = Load(state);
    if (!l) return state.SkipWithError("setup missing or not measurable yet");
    for (auto _ : state) {
        l->Cabinet.ListContents();
        const auto entries = l->Setup.FindCabEntries(l->Cabinet.CABFileContents);
        std::unordered_set<std::string> names;
        for (const auto& e : entries)
            if (e) names.insert(e->Name);
        const auto& items = l->Cabinet.CABFileContents.Items();
        std::vector<bool> wanted(items.size());
        for (size_t i = 0; i < items.size(); ++i)
            wanted[i] = names.erase(items[i].Name) > 0;
        int64_t total = 0;
        std::unique_ptr<TMemorySink> sink;
        const TOpenEntrySink open = [&](size_t index, const TCABFileEntry&) -> TEntrySink* {
            if (sink) total += static_cast<int64_t>(sink->Data.size());
            sink.reset(); // finished: the next entry opens only after the last one closed
            if (index >= wanted.size() || !wanted[index]) return nullptr;
            sink = std::make_unique<TMemorySink>(static_cast<size_t>(kProgramReadCap));
            return sink.get();
        };
        if (!l->Cabinet.ExtractEntries(open)) return state.SkipWithError("extraction failed");
        if (sink) total += static_cast<int64_t>(sink->Data.size());
        benchmark::DoNotOptimize(total);
    }
}

// The analysis the audit runs: a fresh listing, every file read once, read as an image.
void BM_AnalyseAllFiles(benchmark::State& state) {
    const auto l = Load(state);
    if (!l) return state.SkipWithError("setup missing or not measurable yet");
    size_t images = 0;
    for (auto _ : state) {
        l->Cabinet.ListContents();
        const auto rows = AnalysePrograms(l->Setup, l->Cabinet, l->Cabinet.CABFileContents);
        images = 0;
        for (const TProgramRow& row : rows)
            images += row.Status == TProgramStatus::Image;
        benchmark::DoNotOptimize(images);
    }
    state.counters["images"] = static_cast<double>(images);
}

} // namespace

BENCHMARK(BM_DecompressAllFiles)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_AnalyseAllFiles)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
