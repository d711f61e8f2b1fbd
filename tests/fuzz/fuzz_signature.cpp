// libFuzzer target: VerifyCabinetSignature over a whole cabinet in memory, so that both the
// reserve's fields and the signature's DER are mutated.
#include "signature/Signature.h"
#include "tests/fuzz/FuzzSeeds.h"
#include "tests/fuzz/SignatureSeeds.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    WriteSeedsAndExitIfAsked(SignedCabinetSeeds());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    (void)VerifyCabinetSignature(std::span<const uint8_t>(data, size));
    return 0;
}
