// Finding the cabinets in a 200 MB self-extracting program (OpenPackage: the carving pass, the
// copy of what it finds, the setup's identification) against reading the file once: cat of it
// to /dev/null, and the same read in 4 MB blocks inside this process, which is the stricter of
// the two. All read a file the page cache holds after the first run.
// And the setups in a zip of sixteen 4 MB cabinets against unzip -p of the whole zip to
// /dev/null, when unzip is installed; the same cabinets installed by a Windows Installer package
// (built by wixl, one embedded cabinet) against msiextract of it, when both are installed.
#include "cab/Streams.h"
#include "package/Carve.h"
#include "package/HelperProgram.h"
#include "package/Package.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/support/PackageBuilder.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr size_t kProgramSize = 200u << 20;

// Random bytes with a false "MSCF" every 10 MB, then a setup cabinet at the end.
const std::string& Program() {
    static TempDir dir;
    static const std::string path = [] {
        std::vector<uint8_t> program = SelfExtractingProgram({}, false);
        uint64_t x = 0x9E3779B97F4A7C15ull;
        const size_t start = program.size();
        program.resize(kProgramSize);
        for (size_t i = start; i < program.size(); ++i) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            program[i] = static_cast<uint8_t>(x);
            if (i % (10u << 20) == 0 && i + 40 < program.size())
                std::copy_n("MSCF\0\0\0\0", 8, program.begin() + static_cast<long>(i));
        }
        const std::vector<uint8_t> cabinet = SmallSetupCabinet("Payload");
        program.insert(program.end(), cabinet.begin(), cabinet.end());
        const std::string file = dir.File("Setup.exe");
        WriteFileBytes(file, program);
        return file;
    }();
    return path;
}

void BM_ReadOnce(benchmark::State& state) {
    std::vector<uint8_t> block(4 << 20);
    const std::string& path = Program(); // made once, outside the timing
    for (auto _ : state) {
        TFileStream in(path);
        int64_t total = 0;
        for (int64_t n; (n = in.Read(block.data(), static_cast<int64_t>(block.size()))) > 0;)
            total += n;
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kProgramSize);
}

// cat started for each run, its output to /dev/null.
void BM_Cat(benchmark::State& state) {
    const std::string cat = FindHelperProgram("cat");
    if (cat.empty()) return state.SkipWithError("cat is not installed");
    const std::string& path = Program();
    for (auto _ : state) {
        const THelperRun run = RunHelperProgram(
            {cat, path}, std::chrono::steady_clock::now() + std::chrono::minutes(1),
            [] { return true; });
        if (!run.Started || run.ExitCode != 0) state.SkipWithError("cat failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kProgramSize);
}

void BM_FindCabinets(benchmark::State& state) {
    const std::string& path = Program();
    for (auto _ : state) {
        const std::unique_ptr<TPackage> package = OpenPackage(path);
        if (package->Setups.size() != 1) state.SkipWithError("the cabinet was not found");
        benchmark::DoNotOptimize(package->Setups.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kProgramSize);
}

// The carving pass alone, without copying or opening what it finds.
void BM_CarvePass(benchmark::State& state) {
    const std::string& path = Program();
    for (auto _ : state) {
        TFileStream in(path);
        const TCarveResult carved =
            FindStoredCabinets(in, 100, std::chrono::steady_clock::now() + std::chrono::minutes(1));
        if (carved.Cabinets.size() != 1) state.SkipWithError("the cabinet was not found");
        benchmark::DoNotOptimize(carved.Cabinets.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kProgramSize);
}

constexpr int kZipSetups = 16;

// Sixteen setups, each with one 4 MB file of words (so that deflate has work to do).
const ZipEntries& SetupCabinets() {
    static const ZipEntries entries = [] {
        ZipEntries entries;
        uint64_t x = 0x2545F4914F6CDD1Dull;
        for (int i = 0; i < kZipSetups; ++i) {
            const std::string name = "App" + std::to_string(i);
            DescriptorBuilder b(name, "Acme", "%CE1%\\" + name, false);
            b.File(1, name + ".dat");
            std::vector<uint8_t> data;
            data.reserve(4u << 20);
            while (data.size() < (4u << 20)) {
                x ^= x << 13;
                x ^= x >> 7;
                x ^= x << 17;
                const std::string word = "w" + std::to_string(x % 5000) + " ";
                data.insert(data.end(), word.begin(), word.end());
            }
            SetupCabinetContents contents;
            contents.FileData[1] = std::move(data);
            entries.push_back(
                {name + ".CAB", BuildSetupCabinet(b.Plan(), contents, FixtureCompression::None)});
        }
        return entries;
    }();
    return entries;
}

// The setups zipped, each in a folder of its own.
const std::string& SetupsZip() {
    static TempDir dir;
    static const std::string path = [] {
        ZipEntries entries = SetupCabinets();
        for (auto& [name, data] : entries)
            name = name.substr(0, name.size() - 4) + "/" + name;
        const std::string file = dir.File("Setups.zip");
        WriteFileBytes(file, BuildZip(entries));
        return file;
    }();
    return path;
}

// The setups as the files a desktop installer copies, from its one embedded cabinet; empty
// when wixl is not installed.
const std::string& SetupsMsi() {
    static TempDir dir;
    static const std::string path = [] {
        const std::string file = dir.File("Setups.msi");
        return BuildMsiWithWixl(dir.Path(), file, SetupCabinets(), {}) ? file : std::string();
    }();
    return path;
}

void BM_ZipFindSetups(benchmark::State& state) {
    const std::string& path = SetupsZip();
    for (auto _ : state) {
        const std::unique_ptr<TPackage> package = OpenPackage(path);
        if (package->Setups.size() != kZipSetups) state.SkipWithError("the setups were not found");
        benchmark::DoNotOptimize(package->Setups.data());
    }
}

void BM_Unzip(benchmark::State& state) {
    const std::string unzip = FindHelperProgram("unzip");
    if (unzip.empty()) return state.SkipWithError("unzip is not installed");
    const std::string& path = SetupsZip();
    for (auto _ : state) {
        const THelperRun run = RunHelperProgram(
            {unzip, "-p", path}, std::chrono::steady_clock::now() + std::chrono::minutes(5),
            [] { return true; });
        if (!run.Started || run.ExitCode != 0) state.SkipWithError("unzip failed");
    }
}

void BM_MsiFindSetups(benchmark::State& state) {
    const std::string& path = SetupsMsi();
    if (path.empty()) return state.SkipWithError("wixl is not installed");
    for (auto _ : state) {
        const std::unique_ptr<TPackage> package = OpenPackage(path);
        if (package->Setups.size() != kZipSetups) state.SkipWithError("the setups were not found");
        benchmark::DoNotOptimize(package->Setups.data());
    }
}

// msiextract writes every installed file out, into a folder made afresh for each run.
void BM_Msiextract(benchmark::State& state) {
    const std::string msiextract = FindHelperProgram("msiextract");
    if (msiextract.empty()) return state.SkipWithError("msiextract is not installed");
    const std::string& path = SetupsMsi();
    if (path.empty()) return state.SkipWithError("wixl is not installed");
    for (auto _ : state) {
        TempDir out;
        const THelperRun run = RunHelperProgram(
            {msiextract, "-C", out.Path(), path},
            std::chrono::steady_clock::now() + std::chrono::minutes(5), [] { return true; });
        if (!run.Started || run.ExitCode != 0) state.SkipWithError("msiextract failed");
    }
}

} // namespace

BENCHMARK(BM_Cat)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadOnce)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FindCabinets)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CarvePass)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Unzip)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ZipFindSetups)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Msiextract)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MsiFindSetups)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
