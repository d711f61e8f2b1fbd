// The provisioning tree of a 20 MB document with 200,000 parms against the XML descriptor
// handler loading a 20 MB descriptor, in one run: the tree may take at most twice as long.
// Report the ratio of the two rows' times (and of ns_per_byte).
#include "bench/DescriptorGenerator.h"
#include "cab/Streams.h"
#include "provisioning/Provisioning.h"
#include "setup/SetupXML.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

constexpr size_t kTarget = 20u << 20;
constexpr size_t kParms = 200000;

// Registry keys of ten parms each, every parm padded so that 200,000 of them fill the target,
// with a security policy section and a certificate store around them.
std::string GenerateProvisioning() {
    const std::string head =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<wap-provisioningdoc>\n"
        "<characteristic type=\"SecurityPolicy\"><parm name=\"4102\" value=\"1\"/>"
        "<parm name=\"4122\" value=\"1\"/></characteristic>\n"
        "<characteristic type=\"Registry\">\n";
    const std::string tail = "</characteristic>\n<nocharacteristic type=\"Sync\"/>\n"
                             "</wap-provisioningdoc>\n";
    const size_t perParm = kTarget / kParms;
    // "<parm name=\"V123456\" value=\"...\" datatype=\"string\"/>\n" plus a share of the key.
    const size_t fixed = 48 + 60 / 10;
    const std::string padding(perParm > fixed ? perParm - fixed : 1, 'v');
    std::string text = head;
    text.reserve(kTarget + 4096);
    for (size_t i = 0; i < kParms; ++i) {
        if (i % 10 == 0)
            text += "<characteristic type=\"HKLM\\Software\\Bench\\K" + std::to_string(i / 10) +
                    "\">\n";
        text += "<parm name=\"V" + std::to_string(i) + "\" value=\"" + padding +
                "\" datatype=\"string\"/>\n";
        if (i % 10 == 9) text += "</characteristic>\n";
    }
    return text + tail;
}

void SetRates(benchmark::State& state, size_t bytes) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
    state.counters["MB"] = static_cast<double>(bytes) / (1 << 20);
    state.counters["ns_per_byte"] =
        benchmark::Counter(static_cast<double>(bytes) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Baseline: the XML descriptor handler on its own 20 MB descriptor.
void BM_DescriptorHandler20MB(benchmark::State& state) {
    size_t files = 0;
    const std::vector<uint8_t> bytes = GenerateDescriptor(kTarget, files);
    TSetupXML handler;
    for (auto _ : state) {
        TMemoryStream stream(bytes);
        const bool loaded = handler.ParseDescriptor(std::string(), &stream);
        benchmark::DoNotOptimize(loaded);
    }
    SetRates(state, bytes.size());
}

void BM_ProvisioningTree20MB(benchmark::State& state) {
    const std::string text = GenerateProvisioning();
    size_t parms = 0;
    for (auto _ : state) {
        provisioning::TProvisioningTree tree = provisioning::ReadProvisioning(text);
        provisioning::DecodeCertificates(tree);
        parms = 0;
        for (const provisioning::TNode& node : tree.Nodes)
            parms += node.Kind == provisioning::TNodeKind::Parm;
        benchmark::DoNotOptimize(tree.Nodes.data());
    }
    if (parms != kParms + 2) state.SkipWithError("wrong parm count");
    state.counters["parms"] = static_cast<double>(parms);
    SetRates(state, text.size());
}

// The tree of the baseline's own descriptor: the same bytes both ways.
void BM_ProvisioningTreeOfDescriptor20MB(benchmark::State& state) {
    size_t files = 0;
    const std::vector<uint8_t> bytes = GenerateDescriptor(kTarget, files);
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    for (auto _ : state) {
        provisioning::TProvisioningTree tree = provisioning::ReadProvisioning(text);
        benchmark::DoNotOptimize(tree.Nodes.data());
    }
    SetRates(state, bytes.size());
}

} // namespace

BENCHMARK(BM_DescriptorHandler20MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProvisioningTree20MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProvisioningTreeOfDescriptor20MB)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
