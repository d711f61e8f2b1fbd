// Parse and load of generated "_setup.xml" descriptors at 1 MB and 20 MB: time per byte must stay
// flat (linear cost). Compare the two rows' bytes_per_second in one run.
#include "bench/DescriptorGenerator.h"
#include "cab/Streams.h"
#include "setup/SetupXML.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

void BM_ParseAndLoadDescriptor(benchmark::State& state) {
    size_t files = 0;
    const std::vector<uint8_t> bytes =
        GenerateDescriptor(static_cast<size_t>(state.range(0)) << 20, files);
    TSetupXML handler;
    for (auto _ : state) {
        TMemoryStream stream(bytes);
        const bool loaded = handler.ParseDescriptor(std::string(), &stream);
        benchmark::DoNotOptimize(loaded);
        if (handler.Files.size() != files) state.SkipWithError("wrong file count");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(bytes.size()));
    state.counters["files"] = static_cast<double>(files);
    state.counters["ns_per_byte"] = benchmark::Counter(
        static_cast<double>(bytes.size()) * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The same walk when the bulk of the document is unrecognised markup: it all lands in
// MarkupBefore, which is then put through MacroizePath as one text.
void BM_ParseAndLoadMarkupHeavy(benchmark::State& state) {
    const size_t target = static_cast<size_t>(state.range(0)) << 20;
    std::string text = "<wap-provisioningdoc>\n<characteristic type=\"Install\">"
                       "<parm name=\"InstallDir\" value=\"%CE1%\\Bench\"/></characteristic>\n";
    for (size_t n = 0; text.size() < target; ++n)
        text += "<characteristic type=\"CM_Net" + std::to_string(n) +
                "\"><characteristic type=\"Entry\"><parm name=\"Path\" value=\"%CE2%\\n\"/>"
                "<parm name=\"Flag\" value=\"1\"/></characteristic></characteristic>\n";
    text += "</wap-provisioningdoc>\n";
    const std::vector<uint8_t> bytes(text.begin(), text.end());
    TSetupXML handler;
    for (auto _ : state) {
        TMemoryStream stream(bytes);
        const bool loaded = handler.ParseDescriptor(std::string(), &stream);
        benchmark::DoNotOptimize(loaded);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(bytes.size()));
    state.counters["ns_per_byte"] = benchmark::Counter(
        static_cast<double>(bytes.size()) * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(BM_ParseAndLoadDescriptor)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseAndLoadMarkupHeavy)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
