// libFuzzer target: VerifyCabinetSignature over a whole cabinet in memory, so that both the
// reserve's fields and the signature's DER are mutated.
#include "signature/Signature.h"
#include "tests/fuzz/FuzzSeeds.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/CabinetSigner.h"
#include "tests/support/Corpus.h"

namespace {

// Small cabinets signed here with SHA-1 and SHA-256, and the shared signed ones when present.
std::vector<std::vector<uint8_t>> Seeds() {
    std::vector<std::vector<uint8_t>> seeds;
    if (HaveOsslsigncode()) {
        TempDir dir;
        const SigningKey key = MakeSigningKey(dir.Path(), "Fuzz Publisher");
        WriteCabinet(dir.File("plain.cab"), {{"fuzz.001", Bytes("fuzz data")}},
                     FixtureCompression::None);
        for (const char* digest : {"sha1", "sha256"}) {
            std::string log;
            const std::string out = dir.File(std::string("signed-") + digest + ".cab");
            if (SignCabinet(key, dir.File("plain.cab"), out, digest, 1700000000, log))
                seeds.push_back(ReadFileBytes(out));
        }
    }
    if (HaveCorpus())
        for (const char* name : {"SecurityOff.cpf"})
            seeds.push_back(ReadFileBytes(RealCabinet(name)));
    return seeds;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    WriteSeedsAndExitIfAsked(Seeds());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    (void)VerifyCabinetSignature(std::span<const uint8_t>(data, size));
    return 0;
}
