// Decoding cost per table entry at 1,000 and 65,535 entries per table, and ReplaceText cost
// per character as the number of occurrences grows.
#include "cab/Streams.h"
#include "setup/SetupINF.h"
#include "tests/support/DescriptorWriter.h"

#include <benchmark/benchmark.h>

namespace {

std::vector<uint8_t> DescriptorWithEntries(int n) {
    DescriptorPlan plan;
    plan.CE4Plus = true;
    plan.AppName = "Bench";
    plan.Provider = "Bench Co";
    plan.Strings.push_back({1, "%CE1%\\Bench", {}});
    for (int i = 2; i <= n; ++i)
        plan.Strings.push_back({static_cast<uint16_t>(i), "Folder" + std::to_string(i), {}});
    for (int i = 1; i <= n; ++i) {
        const auto id = static_cast<uint16_t>(i);
        const auto other = static_cast<uint16_t>(i == 1 ? 1 : (i % (n - 1)) + 2);
        plan.Dirs.push_back({id, {1, id}, {}});
        plan.Files.push_back({id, other, id, 0, "file" + std::to_string(i) + ".dat", {}});
        plan.RegKeys.push_back({id, 3, {other, id}, {}});
        plan.RegValues.push_back(
            {id, other, 0, kDescTypeString, "v" + std::to_string(i), RegStringData("%CE2%"), {}});
        plan.Shortcuts.push_back({id, other, 0, id, id});
    }
    return WriteDescriptorBytes(plan);
}

void BM_DecodePerEntry(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    TMemoryStream stream(DescriptorWithEntries(n));
    for (auto _ : state) {
        TSetupINF setup;
        if (!setup.ParseDescriptor({}, &stream)) state.SkipWithError("descriptor rejected");
        benchmark::DoNotOptimize(setup.Files.data());
    }
    // Six tables of n entries each.
    state.SetItemsProcessed(state.iterations() * 6 * n);
}
BENCHMARK(BM_DecodePerEntry)->Arg(1000)->Arg(65535)->Unit(benchmark::kMillisecond);

void BM_ReplaceTextPerChar(benchmark::State& state) {
    const int occurrences = static_cast<int>(state.range(0));
    std::string text;
    for (int i = 0; i < occurrences; ++i)
        text += "ab%ce1%cd";
    for (auto _ : state)
        benchmark::DoNotOptimize(TCESetupBase::ReplaceText(text, "%CE1%", "%ProgramFilesDir%"));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ReplaceTextPerChar)->Arg(1000)->Arg(100000)->Arg(1000000);

// Replacements that feed on the previous one's output: the rescanning path.
void BM_ReplaceTextChainPerChar(benchmark::State& state) {
    const std::string text = std::string(static_cast<size_t>(state.range(0)), 'a') + "b";
    for (auto _ : state)
        benchmark::DoNotOptimize(TCESetupBase::ReplaceText(text, "ab", "b"));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ReplaceTextChainPerChar)->Arg(1000)->Arg(1000000);

} // namespace

BENCHMARK_MAIN();
