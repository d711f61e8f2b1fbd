// Building the registry pages: time per key level for one key 1,000 and 16,000 levels deep, and
// time per value at 5,000 and 50,000 values (ten per key). A linear build gives the same time
// per level and per value at both sizes.
#include "report/RegistryPages.h"
#include "setup/CECAB.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void BM_DeepKey(benchmark::State& state) {
    TCESetupBase setup;
    TCEINFRegValue value;
    value.Root = kRootLocalMachine;
    for (int64_t i = 0; i < state.range(0); ++i)
        value.KeyPath += "Level" + std::to_string(i % 10) + "\\";
    setup.RegValues = {value, value};
    for (auto _ : state)
        benchmark::DoNotOptimize(BuildRegistryPages(setup).Keys.Nodes.size());
    state.counters["ns_per_level"] = benchmark::Counter(
        static_cast<double>(state.range(0)),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DeepKey)->Arg(1000)->Arg(16000)->Unit(benchmark::kMillisecond);

void BM_ManyValues(benchmark::State& state) {
    TCESetupBase setup;
    for (int64_t i = 0; i < state.range(0); ++i) {
        const int64_t key = i / 10;
        TCEINFRegValue value;
        value.Root = static_cast<int32_t>(key % 3);
        value.KeyPath = "Software\\Vendor" + std::to_string(key / 100) + "\\" +
                        (i % 2 ? "Product" : "PRODUCT") + std::to_string(key);
        value.Name = "Value" + std::to_string(i);
        value.Data = std::to_string(i);
        setup.RegValues.push_back(value);
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(BuildRegistryPages(setup).Values.Rows.size());
    state.counters["ns_per_value"] = benchmark::Counter(
        static_cast<double>(state.range(0)),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ManyValues)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
