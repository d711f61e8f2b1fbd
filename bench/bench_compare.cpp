// Comparing two generated 20,000-file setups that differ in 1% of their files, against one
// `tessary-info --json` of one of them and against hashing the file bodies of both, in one run.
// The comparison should cost at most 2.5 times the JSON load plus the hashing:
// (BM_CompareSetups - BM_HashFileBodies) / BM_JsonLoad <= 2.5, in real time; the processor
// time of both reading threads is reported beside it.
#include "cab/cabfiles.h"
#include "compare/Comparison.h"
#include "setup/CESetup.h"
#include "signature/Crypto.h"
#include "signature/Signature.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/support/PEBuilder.h"
#include "tools/Json.h"
#include "tools/SetupDocument.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kFiles = 20000;
constexpr int kChangedEvery = 100; // 1% of the files

struct TPair {
    TempDir Dir;
    std::string Older, Newer;
    std::vector<std::vector<uint8_t>> Bodies; // every file body of both, for the hashing alone
};

// Every twentieth file a program with a version resource, the rest small data; the newer setup
// has other bytes in every hundredth file.
const TPair& Pair() {
    static TPair pair;
    if (!pair.Older.empty()) return pair;
    PEPlan plan;
    plan.Dll = true;
    plan.Imports = {"COREDLL.dll"};
    plan.Version = PEVersionPlan{};
    const std::vector<uint8_t> image = BuildPEImage(plan);
    for (const bool newer : {false, true}) {
        DescriptorBuilder b("Generated", "Bench", "%CE1%\\Generated", false);
        const uint16_t folders[4] = {1, b.Dir("%CE1%\\Generated\\Data"), b.Dir("%CE2%"),
                                     b.Dir("%CE1%\\Generated\\Help")};
        SetupCabinetContents contents;
        for (int i = 0; i < kFiles; ++i) {
            const bool program = i % 20 == 0;
            const std::string name = "file" + std::to_string(i) + (program ? ".dll" : ".dat");
            const uint16_t id = b.File(folders[i % 4], name);
            std::vector<uint8_t> body =
                program ? image : Bytes(name + " generated contents for the benchmark\n");
            if (newer && i % kChangedEvery == 7) body.back() ^= 0x5A;
            contents.FileData[id] = body;
            pair.Bodies.push_back(std::move(body));
        }
        std::string& path = newer ? pair.Newer : pair.Older;
        path = pair.Dir.File(newer ? "newer.cab" : "older.cab");
        WriteSetupCabinet(path, b.Plan(), contents, FixtureCompression::MSZIP);
    }
    return pair;
}

// Baseline: what `tessary-info --json` does for one cabinet: load, build the JSON, write it out.
void BM_JsonLoad(benchmark::State& state) {
    const TPair& pair = Pair();
    for (auto _ : state) {
        TCABFile cabinet;
        TCESetup setup;
        setup.Cabinet = &cabinet;
        TCabinetLook look(pair.Older);
        if (!setup.LoadSetup(pair.Older, "", false, look))
            return state.SkipWithError("load failed");
        TJsonWriter out;
        out.BeginObject();
        TSetupDocument document(cabinet, look);
        WriteSetupJson(out, setup, cabinet, VerifyCabinetSignature(pair.Older), document);
        out.EndObject();
        benchmark::DoNotOptimize(out.Text().data());
    }
}

// The hashing alone: SHA-256 of every file body of both setups, from memory, one digest each.
void BM_HashFileBodies(benchmark::State& state) {
    const TPair& pair = Pair();
    for (auto _ : state) {
        for (const std::vector<uint8_t>& body : pair.Bodies) {
            auto digest = crypto::TDigest::Create(crypto::TDigestAlgorithm::SHA256);
            digest->Update(body);
            const auto bytes = digest->Final();
            benchmark::DoNotOptimize(bytes.data());
        }
    }
}

// Both cabinets read (every body hashed once) and compared.
void BM_CompareSetups(benchmark::State& state) {
    const TPair& pair = Pair();
    size_t changed = 0;
    for (auto _ : state) {
        TSetupFacts facts[2];
        if (ReadBothSetupFacts(pair.Older, pair.Newer, facts).Status != TFactsStatus::Read)
            return state.SkipWithError("reading failed");
        const TComparison comparison = CompareSetups(facts[0], facts[1]);
        changed = comparison.Changed;
        benchmark::DoNotOptimize(changed);
    }
    state.counters["changed"] = static_cast<double>(changed);
}

} // namespace

BENCHMARK(BM_JsonLoad)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HashFileBodies)->Unit(benchmark::kMillisecond)->UseRealTime();
// The two cabinets are read on two threads: the CPU column is the whole process's.
BENCHMARK(BM_CompareSetups)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

BENCHMARK_MAIN();
