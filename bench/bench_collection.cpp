// Indexing a generated collection of varied setups against `tessary-info --audit --jsonl` over
// the same files (output to /dev/null), both one process reading one cabinet at a time; then
// re-indexing the unchanged collection, and a full-text query on the index.
// Aims: BM_IndexCollection / BM_AuditJsonl <= 2; BM_ReindexUnchanged / BM_IndexCollection
// <= 0.05; BM_Query median under 50 ms; and at least 20 cabinets per second per core (the
// "cabinets/s" counter of BM_IndexCollection, one reader).
// The collection has TESSARY_BENCH_SETUPS setups (default 500: the 2,000 take too long
// to build on a shared two-core machine; set 2000 to measure at full size).
#include "collection/Collection.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/CabinetSigner.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/support/PEBuilder.h"
#include "tests/support/Process.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

namespace {

struct TCollection {
    TempDir Dir;
    std::string Root;
    std::vector<std::string> Files;
    std::string Index; // built once for the re-index and the query
};

int SetupCount() {
    const char* text = std::getenv("TESSARY_BENCH_SETUPS");
    const int n = text ? std::atoi(text) : 0;
    return n > 0 ? n : 500;
}

// Setups of 3 to 300 files, every fifth with programs of two CPUs, every tenth with a
// provisioning document, every hundredth signed, every fiftieth damaged (cut short).
const TCollection& Collection() {
    static TCollection c;
    if (!c.Root.empty()) return c;
    // TESSARY_BENCH_DIR keeps the collection there, to look into afterwards.
    const char* keep = std::getenv("TESSARY_BENCH_DIR");
    c.Root = keep && *keep ? std::string(keep) : c.Dir.File("collection");
    std::filesystem::create_directories(c.Root);
    PEPlan arm;
    arm.Imports = {"coredll.dll", "mscoree.dll"};
    PEVersionPlan version;
    version.Strings = {{"CompanyName", "Bench Software"}};
    arm.Version = version;
    PEPlan x86 = arm;
    x86.Machine = 0x014c;
    const std::vector<uint8_t> images[2] = {BuildPEImage(arm), BuildPEImage(x86)};
    const bool canSign = HaveOsslsigncode();
    const SigningKey key = MakeSigningKey(c.Dir.Path(), "Bench Publisher");
    const int setups = SetupCount();
    for (int s = 0; s < setups; ++s) {
        const std::string name = "Setup" + std::to_string(s);
        DescriptorBuilder b(name, "Company " + std::to_string(s % 37), "%CE1%\\" + name);
        const uint16_t dirs[3] = {1, b.Dir("%CE1%\\" + name + "\\Data"), b.Dir("%CE2%")};
        SetupCabinetContents contents;
        const int files = 3 + (s * 7919) % 298;
        for (int i = 0; i < files; ++i) {
            const bool program = s % 5 == 0 && i % 10 == 0;
            const std::string file = name + "_" + std::to_string(i) + (program ? ".dll" : ".dat");
            const uint16_t id = b.File(dirs[i % 3], file);
            contents.FileData[id] =
                program ? images[i % 20 == 0 ? 1 : 0] : Bytes(file + " contents\n");
        }
        b.RegString(b.RegKey(3, "Software\\" + name), "Version", std::to_string(s));
        if (s % 10 == 3)
            contents.Extra.push_back(
                {"_setup.xml", Bytes("<wap-provisioningdoc><characteristic type=\"SecurityPolicy\">"
                                     "<parm name=\"4102\" value=\"1\"/></characteristic>"
                                     "</wap-provisioningdoc>")});
        const std::string path = c.Root + "/" + name + ".cab";
        std::vector<uint8_t> bytes = BuildSetupCabinet(b.Plan(), contents);
        if (s % 50 == 49) bytes.resize(bytes.size() * 2 / 3);
        WriteFileBytes(path, bytes);
        std::string log;
        if (canSign && s % 100 == 11 && SignCabinet(key, path, path + ".signed", "sha256", 0, log))
            std::filesystem::rename(path + ".signed", path);
        c.Files.push_back(path);
    }
    return c;
}

// Runs the tool with its output to /dev/null; its exit status.
int RunTool(const std::vector<std::string>& args) {
    std::vector<std::string> all{TESSARY_INFO_EXE};
    all.insert(all.end(), args.begin(), args.end());
    return RunQuietly(std::move(all));
}

void BM_AuditJsonl(benchmark::State& state) {
    const TCollection& c = Collection();
    std::vector<std::string> args{"--audit", "--jsonl"};
    args.insert(args.end(), c.Files.begin(), c.Files.end());
    for (auto _ : state)
        benchmark::DoNotOptimize(RunTool(args));
    state.counters["cabinets/s"] = benchmark::Counter(
        static_cast<double>(c.Files.size()) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AuditJsonl)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_IndexCollection(benchmark::State& state) {
    const TCollection& c = Collection();
    const std::string db = c.Dir.File("first.db");
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(db);
        state.ResumeTiming();
        benchmark::DoNotOptimize(RunTool({"-j", "1", "--index", db, c.Root}));
    }
    state.counters["cabinets/s"] = benchmark::Counter(
        static_cast<double>(c.Files.size()) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_IndexCollection)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

const std::string& BuiltIndex() {
    static std::string db;
    if (db.empty()) {
        const TCollection& c = Collection();
        db = c.Dir.File("index.db");
        // The status tells of the collection's damaged cabinets; the index is what is measured.
        if (RunTool({"--index", db, c.Root}) < 0 || !std::filesystem::exists(db)) std::abort();
    }
    return db;
}

void BM_ReindexUnchanged(benchmark::State& state) {
    const std::string& db = BuiltIndex();
    for (auto _ : state)
        benchmark::DoNotOptimize(RunTool({"-j", "1", "--index", db, Collection().Root}));
}
BENCHMARK(BM_ReindexUnchanged)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_Query(benchmark::State& state) {
    const std::string& db = BuiltIndex();
    size_t hits = 0;
    for (auto _ : state)
        hits = collection::QueryCollection(db, {"Setup17_4.dat"}).size();
    state.counters["hits"] = static_cast<double>(hits);
}
BENCHMARK(BM_Query)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
