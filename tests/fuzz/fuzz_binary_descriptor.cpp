// libFuzzer target: TSetupINF::ParseDescriptor over arbitrary bytes in a memory stream.
#include "cab/Streams.h"
#include "setup/SetupINF.h"
#include "tests/fuzz/FuzzSeeds.h"
#include "tests/support/DescriptorWriter.h"

namespace {

std::vector<std::vector<uint8_t>> Seeds() {
    std::vector<std::vector<uint8_t>> seeds;
    for (const bool ce4Plus : {false, true}) {
        DescriptorBuilder b("Fuzz Demo", "Fuzz Co", "%CE1%\\Fuzz", ce4Plus);
        const uint16_t bin = b.Dir("%CE1%\\Fuzz\\Bin");
        const uint16_t exe = b.File(1, "fuzz.exe", 0x80000000u);
        b.File(bin, "fuzz.dll", 0x10000001);
        b.File(b.Dir("%CE2%"), "help.htm");
        const uint16_t key = b.RegKey(3, "Software\\Fuzz");
        b.RegString(key, "Path", "%CE1%\\Fuzz\\fuzz.exe");
        b.RegNumber(key, "Count", 0xFFFFFFFF);
        b.RegBinary(key, "Blob", {0x0A, 0xFF, 0x00});
        b.RegMultiString(b.RegKey(2, "Fuzz"), "List", {"a", "%CE2%", "b"});
        b.RegString(b.RegKey(1, ".fuzz"), "", "Fuzz.Document");
        b.Shortcut("Fuzz", exe);
        b.Shortcut("Fuzz Bin", exe, bin);
        b.ShortcutInStandardFolder("Fuzz Games", exe, 14);
        b.Plan().UnsupportedDevices = std::vector<std::string>{"HPC", "", "Jupiter"};
        seeds.push_back(WriteDescriptorBytes(b.Plan()));

        DescriptorPlan noList = b.Plan();
        noList.UnsupportedDevices.reset();
        noList.Reserved4 = 1;
        noList.Strings.push_back({3, "duplicate", {}});
        noList.RegValues[0].TypeFlags = 0x00010003;
        seeds.push_back(WriteDescriptorBytes(noList));
    }
    DescriptorPlan empty;
    empty.CE4Plus = true;
    seeds.push_back(WriteDescriptorBytes(empty));
    return seeds;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    WriteSeedsAndExitIfAsked(Seeds());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream stream(std::vector<uint8_t>(data, data + size));
    TSetupINF setup;
    (void)setup.ParseDescriptor({}, &stream);
    return 0;
}
