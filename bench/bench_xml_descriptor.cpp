// Parse and load of generated "_setup.xml" descriptors at 1 MB and 20 MB: time per byte must stay
// flat (linear cost). Compare the two rows' bytes_per_second in one run.
#include "cab/Streams.h"
#include "setup/SetupXML.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

// A writer-shaped descriptor of about targetBytes: install header, directories of 50 files each
// (two Source parms per Extract, so 200,000 files fill 20 MB), a shortcut per directory, some
// registry values, and a little unrecognised markup before and after the sections.
std::vector<uint8_t> GenerateDescriptor(size_t targetBytes, size_t& files) {
    std::string text =
        "<?xml version=\"1.0\"?>\n<wap-provisioningdoc>\n"
        "<characteristic type=\"Install\">\n"
        "<parm name=\"AppName\" value=\"Bench &quot;App&quot;\" />\n"
        "<parm name=\"InstallDir\" value=\"%CE1%\\Bench\" translation=\"install\" />\n"
        "</characteristic>\n"
        "<characteristic type=\"Custom\"><parm name=\"Path\" value=\"%CE2%\\x\"/>"
        "</characteristic>\n"
        "<characteristic type=\"FileOperation\">\n";
    text.reserve(targetBytes + 4096);
    files = 0;
    size_t dir = 0;
    const size_t registryReserve = targetBytes / 50;
    while (text.size() + registryReserve < targetBytes) {
        const std::string d = std::to_string(dir++);
        text += "<characteristic type=\"%CE1%\\Bench\\d" + d +
                "\" translation=\"install\">\n<characteristic type=\"MakeDir\" />\n";
        for (int f = 0; f < 25; ++f) {
            const std::string n = std::to_string(files % 998 + 1);
            text += "<characteristic type=\"f" + std::to_string(files) +
                    ".dll\" translation=\"install\"><characteristic type=\"Extract\">"
                    "<parm name=\"Source\" value=\"f." +
                    n + "\"/><parm name=\"Source\" value=\"g." + n +
                    "\"/></characteristic></characteristic>\n";
            files += 2;
        }
        text += "<characteristic type=\"App " + d +
                ".lnk\" translation=\"install\"><characteristic type=\"Shortcut\">"
                "<parm name=\"Source\" value=\"%CE1%\\Bench\\app.exe\"/></characteristic>"
                "</characteristic>\n</characteristic>\n";
    }
    text += "</characteristic>\n<characteristic type=\"Registry\">\n";
    size_t key = 0;
    while (text.size() < targetBytes) {
        text += "<characteristic type=\"HKLM\\Software\\Bench\\K" + std::to_string(key++) +
                "\" translation=\"install\">\n"
                "<parm name=\"Path\" value=\"%CE1%\\Bench\" datatype=\"string\" />\n"
                "<parm name=\"List\" value=\"a\xEF\x80\x80"
                "b\xEF\x80\x80\" datatype=\"multiplestring\" />\n</characteristic>\n";
    }
    text += "</characteristic>\n<characteristic type=\"Tail\" />\n</wap-provisioningdoc>\n";
    return {text.begin(), text.end()};
}

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
