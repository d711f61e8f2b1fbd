// Building the registry tree: time per value at 5,000 and 50,000 values (ten per key). A
// linear build gives the same time per value at both sizes.
#include "app/RegistryTree.h"
#include "setup/CECAB.h"

#include <QApplication>
#include <QTreeView>
#include <benchmark/benchmark.h>

#include <string>

namespace {

constexpr int kValuesPerKey = 10;

void FillModel(TCESetupBase& setup, int values) {
    setup.RegValues.clear();
    setup.RegValues.reserve(static_cast<size_t>(values));
    for (int i = 0; i < values; ++i) {
        const int key = i / kValuesPerKey;
        TCEINFRegValue value;
        value.Root = key % 3;
        // Three levels, the middle one shared by a hundred keys, the case varying by value.
        value.KeyPath = "Software\\Vendor" + std::to_string(key / 100) + "\\" +
                        (i % 2 ? "Product" : "PRODUCT") + std::to_string(key);
        value.Name = "Value" + std::to_string(i);
        value.Data = std::to_string(i);
        setup.RegValues.push_back(value);
    }
}

void BM_FillRegistryTree(benchmark::State& state) {
    TCESetupBase setup;
    FillModel(setup, static_cast<int>(state.range(0)));
    QTreeView tv;
    QTreeView lv;
    TRegistryTree tree(&tv, &lv);
    for (auto _ : state) {
        tree.Fill(setup);
        benchmark::DoNotOptimize(tree.FNodeCurrentUser);
    }
    state.counters["ns_per_value"] = benchmark::Counter(
        static_cast<double>(state.range(0)),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FillRegistryTree)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
