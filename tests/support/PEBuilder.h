#pragma once
// Small Windows PE images for tests: one section holding imports, a CLR header, resources
// with a version resource, and an optional certificate table, with knobs for damaged forms.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct PEVersionPlan {
    uint16_t File[4] = {1, 2, 3, 4};
    uint16_t Product[4] = {1, 2, 0, 0};
    // Strings of the first string table, in order.
    std::vector<std::pair<std::string, std::string>> Strings;
    // Added to the stated length of the outermost block, so that it claims bytes it has not.
    uint16_t RootLengthLie = 0;
};

struct PEPlan {
    uint16_t Machine = 0x01c0;
    bool Dll = false;
    bool PE32Plus = false;
    uint16_t Subsystem = 9;
    uint16_t SubsystemMajor = 4;
    uint16_t SubsystemMinor = 20;
    std::vector<std::string> Imports;
    // The import descriptors come last in the file and no empty one ends them.
    bool ImportsWithoutEnd = false;
    std::optional<std::string> ClrRuntimeVersion; // a CLR header and metadata root
    uint32_t ClrFlags = 1;
    std::optional<PEVersionPlan> Version;
    // The language level of the resource directory points back at the name level.
    bool ResourceLoop = false;
    bool Signature = false; // a certificate table of type 2 after the section
    // What the headers state instead of the real counts, when set.
    std::optional<uint16_t> SectionCountField;
    std::optional<uint32_t> DirectoryCountField;
};

[[nodiscard]] std::vector<uint8_t> BuildPEImage(const PEPlan& plan);
