// Writes a generated setup cabinet for the benchmarks: a binary descriptor and N files, and
// optionally a registry-heavy one: VALUES string values spread over KEYS keys; or, with
// --programs, the benchmarks' setup of 20,000 programs.
#include "bench/GeneratedSetup.h"
#include "tests/support/DescriptorWriter.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3 && argc != 5) {
        std::fprintf(stderr, "usage: make_setup_cabinet FILES OUTPUT.cab [VALUES KEYS]\n"
                             "       make_setup_cabinet --programs OUTPUT.cab\n");
        return 2;
    }
    if (std::string(argv[1]) == "--programs") {
        try {
            WriteGeneratedSetup(argv[2], true);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
        return 0;
    }
    const int count = std::atoi(argv[1]);
    const int values = argc == 5 ? std::atoi(argv[3]) : 0;
    const int keys = argc == 5 ? std::atoi(argv[4]) : 1;
    if (count < 1 || count > 65000 || values < 0 || values > 65000 || keys < 1 || keys > 65000) {
        std::fprintf(stderr, "FILES, VALUES and KEYS must be between 1 and 65000\n");
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
        // A few values beside the files, in the files-only shapes (a value's id has 16 bits).
        if (values == 0 && i % 100 == 0)
            b.RegString(b.RegKey(3, "Software\\Bench\\K" + std::to_string(i)), "V", name);
    }
    // Values named and valued as real setups write them: paths into the install folder.
    std::vector<uint16_t> keyIds;
    for (int k = 0; k < (values > 0 ? keys : 0); ++k)
        keyIds.push_back(b.RegKey(3, "Software\\Generated\\Bench\\Component" + std::to_string(k)));
    for (int v = 0; v < values; ++v)
        b.RegString(keyIds[static_cast<size_t>(v % keys)], "Value" + std::to_string(v),
                    "%CE1%\\Generated\\Data\\file" + std::to_string(v) + ".dat");
    try {
        WriteSetupCabinet(argv[2], b.Plan(), contents, FixtureCompression::MSZIP);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
