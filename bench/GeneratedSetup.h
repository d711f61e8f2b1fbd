#pragma once
// A generated setup of 20,000 files shared by the benchmarks that read every file of a setup:
// every twentieth file a DLL with imports and a version resource, the rest small data, in four
// device folders, MSZIP-compressed (or every file a program). Written once per process.
#include "tests/support/CabinetBuilder.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/support/PEBuilder.h"

#include <string>

inline constexpr int kGeneratedFiles = 20000;
// Writes the generated setup to path: every twentieth file a program with imports and a version
// resource, the rest small data; with allPrograms, every file a program.
inline void WriteGeneratedSetup(const std::string& path, bool allPrograms) {
    DescriptorBuilder b("Generated", "Bench", "%CE1%\\Generated", false);
    const uint16_t folders[4] = {1, b.Dir("%CE1%\\Generated\\Data"), b.Dir("%CE2%"),
                                 b.Dir("%CE1%\\Generated\\Help")};
    PEPlan plan;
    plan.Dll = true;
    plan.Imports = {"COREDLL.dll", "AYGSHELL.dll", "commctrl.dll"};
    plan.Version = PEVersionPlan{};
    plan.Version->Strings = {{"CompanyName", "Bench"}, {"ProductName", "Generated"}};
    const std::vector<uint8_t> image = BuildPEImage(plan);
    SetupCabinetContents contents;
    for (int i = 0; i < kGeneratedFiles; ++i) {
        const bool program = allPrograms || i % 20 == 0;
        const std::string name = "file" + std::to_string(i) + (program ? ".dll" : ".dat");
        const uint16_t id = b.File(folders[i % 4], name);
        contents.FileData[id] =
            program ? image : Bytes(name + " generated contents for the benchmark\n");
    }
    WriteSetupCabinet(path, b.Plan(), contents, FixtureCompression::MSZIP);
}

// The generated setup, written once per process.
inline std::string GeneratedSetup(bool allPrograms = false) {
    static TempDir dir;
    static std::string paths[2];
    std::string& path = paths[allPrograms ? 1 : 0];
    if (!path.empty()) return path;
    path = dir.File(allPrograms ? "programs.cab" : "generated.cab");
    WriteGeneratedSetup(path, allPrograms);
    return path;
}
