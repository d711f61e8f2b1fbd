// Verifying a signed cabinet against hashing the same file with SHA-1 in one pass: the real
// signed Ushahidi.CAB (0.8 MB) and a 48 MB cabinet signed here with SHA-1. The verification
// reads the file once for the cabinet's digest; compare each Verify row with its Sha1 row.
#include "signature/Crypto.h"
#include "signature/Signature.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/CabinetSigner.h"
#include "tests/support/Corpus.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>

namespace {

// The baseline: the whole file through SHA-1, read in the verifier's piece size.
std::vector<uint8_t> Sha1OfFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    auto digest = crypto::TDigest::Create(crypto::TDigestAlgorithm::SHA1);
    std::vector<uint8_t> buffer(1 << 18);
    while (in.read(reinterpret_cast<char*>(buffer.data()), std::streamsize(buffer.size())) ||
           in.gcount() > 0)
        digest->Update(crypto::TByteView(buffer.data(), size_t(in.gcount())));
    return digest->Final();
}

// A large stored cabinet signed once per run; its folder stays for the benchmarks.
const std::string& LargeSignedCabinet() {
    static std::unique_ptr<TempDir> dir;
    static std::string path;
    if (!path.empty() || !HaveOsslsigncode()) return path;
    dir = std::make_unique<TempDir>();
    std::vector<FixtureEntry> entries;
    for (int i = 0; i < 48; ++i) {
        std::vector<uint8_t> data(1 << 20);
        for (size_t j = 0; j < data.size(); ++j)
            data[j] = uint8_t(j * 31 + i);
        entries.push_back({"file" + std::to_string(i) + "." + std::to_string(i + 1), data});
    }
    WriteCabinet(dir->File("plain.cab"), entries, FixtureCompression::None);
    const SigningKey key = MakeSigningKey(dir->Path(), "Bench Publisher");
    std::string log;
    if (SignCabinet(key, dir->File("plain.cab"), dir->File("signed.cab"), "sha1", 0, log))
        path = dir->File("signed.cab");
    return path;
}

std::string Cabinet(int which) {
    return which == 0 ? (HaveCorpus() ? RealCabinet("Ushahidi.CAB") : std::string())
                      : LargeSignedCabinet();
}

void BM_Verify(benchmark::State& state) {
    const std::string path = Cabinet(int(state.range(0)));
    if (path.empty()) return state.SkipWithError("no signed cabinet");
    for (auto _ : state) {
        const TCabinetSignature s = VerifyCabinetSignature(path);
        if (s.Verdict != TSignatureVerdict::Intact) return state.SkipWithError("not intact");
        benchmark::DoNotOptimize(s);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(ReadFileBytes(path).size()));
}

void BM_Sha1(benchmark::State& state) {
    const std::string path = Cabinet(int(state.range(0)));
    if (path.empty()) return state.SkipWithError("no signed cabinet");
    for (auto _ : state)
        benchmark::DoNotOptimize(Sha1OfFile(path));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(ReadFileBytes(path).size()));
}

// 0: Ushahidi.CAB, 1: the large cabinet.
BENCHMARK(BM_Verify)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sha1)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
