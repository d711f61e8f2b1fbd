// libFuzzer target: ReadPEImage over arbitrary bytes, and the names of what it read.
#include "programs/PEImage.h"
#include "tests/fuzz/FuzzSeeds.h"
#include "tests/support/PEBuilder.h"

namespace {

std::vector<std::vector<uint8_t>> Seeds() {
    std::vector<std::vector<uint8_t>> seeds;
    PEPlan full;
    full.Dll = true;
    full.Imports = {"COREDLL.dll", "AYGSHELL.dll"};
    full.ClrRuntimeVersion = "v2.0.50727";
    full.Version = PEVersionPlan{};
    full.Version->Strings = {{"CompanyName", "Fuzz Co"},
                             {"FileDescription", "Fuzz"},
                             {"ProductName", "Fuzz"},
                             {"OriginalFilename", "fuzz.dll"}};
    full.Signature = true;
    seeds.push_back(BuildPEImage(full));
    full.PE32Plus = true;
    full.Machine = 0xaa64;
    seeds.push_back(BuildPEImage(full));
    PEPlan loop = full;
    loop.ResourceLoop = true;
    seeds.push_back(BuildPEImage(loop));
    PEPlan endless;
    endless.Machine = 0x0166;
    endless.Imports = {"a.dll", "b.dll"};
    endless.ImportsWithoutEnd = true;
    seeds.push_back(BuildPEImage(endless));
    PEPlan counts;
    counts.Machine = 0x01a6;
    counts.SectionCountField = 65535;
    counts.DirectoryCountField = 65535;
    counts.Version = PEVersionPlan{};
    counts.Version->RootLengthLie = 0x100;
    seeds.push_back(BuildPEImage(counts));
    return seeds;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    WriteSeedsAndExitIfAsked(Seeds());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const TPEImage image = ReadPEImage(std::span(data, size));
    (void)MachineName(image.Machine);
    (void)SubsystemName(image.Subsystem);
    (void)RunsOnAnyCpu(image);
    return 0;
}
