// Writes a generated setup cabinet for the benchmarks: a binary descriptor and N files.
#include "tests/support/DescriptorWriter.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_setup_cabinet FILES OUTPUT.cab\n");
        return 2;
    }
    const int count = std::atoi(argv[1]);
    if (count < 1 || count > 65000) {
        std::fprintf(stderr, "FILES must be between 1 and 65000\n");
        return 2;
    }
    DescriptorBuilder b("Generated", "Bench", "%CE1%\\Generated");
    const uint16_t folders[4] = {1, b.Dir("%CE1%\\Generated\\Data"), b.Dir("%CE2%"),
                                 b.Dir("%CE1%\\Generated\\Help")};
    SetupCabinetContents contents;
    for (int i = 0; i < count; ++i) {
        const std::string name = "file" + std::to_string(i) + ".dat";
        const uint16_t id = b.File(folders[i % 4], name);
        contents.FileData[id] = Bytes(name + " generated contents for the benchmark\n");
        if (i % 100 == 0)
            b.RegString(b.RegKey(3, "Software\\Bench\\K" + std::to_string(i)), "V", name);
    }
    try {
        WriteSetupCabinet(argv[2], b.Plan(), contents, FixtureCompression::MSZIP);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
