#pragma once
// What a Windows PE image says about itself, read from bytes in memory. Every offset, count and
// length is checked against the bytes; what cannot be read is left empty and named in Notes.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Machine numbers of the image file header.
enum : uint16_t {
    kMachineUnknown = 0x0000,
    kMachineI386 = 0x014c,
    kMachineR3000 = 0x0162,
    kMachineR4000 = 0x0166,
    kMachineR10000 = 0x0168,
    kMachineWceMipsV2 = 0x0169,
    kMachineAlpha = 0x0184,
    kMachineSH3 = 0x01a2,
    kMachineSH3DSP = 0x01a3,
    kMachineSH3E = 0x01a4,
    kMachineSH4 = 0x01a6,
    kMachineSH5 = 0x01a8,
    kMachineARM = 0x01c0,
    kMachineThumb = 0x01c2,
    kMachineARMNT = 0x01c4,
    kMachineAM33 = 0x01d3,
    kMachinePowerPC = 0x01f0,
    kMachinePowerPCFP = 0x01f1,
    kMachineIA64 = 0x0200,
    kMachineMIPS16 = 0x0266,
    kMachineAlpha64 = 0x0284,
    kMachineMIPSFPU = 0x0366,
    kMachineMIPSFPU16 = 0x0466,
    kMachineTriCore = 0x0520,
    kMachineCEF = 0x0cef,
    kMachineEBC = 0x0ebc,
    kMachineRISCV32 = 0x5032,
    kMachineRISCV64 = 0x5064,
    kMachineRISCV128 = 0x5128,
    kMachineLoongArch32 = 0x6232,
    kMachineLoongArch64 = 0x6264,
    kMachineAMD64 = 0x8664,
    kMachineM32R = 0x9041,
    kMachineARM64EC = 0xa641,
    kMachineARM64X = 0xa64e,
    kMachineARM64 = 0xaa64,
    kMachineCEE = 0xc0ee,
};

enum : uint16_t { kSubsystemWindowsCEGUI = 9 };

// COR20 header flag of an assembly without native code.
enum : uint32_t { kClrILOnly = 0x1 };

struct TPEVersionInfo {
    bool Present = false;       // a fixed part with its signature was found
    std::string FileVersion;    // "a.b.c.d" from the fixed part
    std::string ProductVersion; // the same
    // From the first string table; UTF-16 code units above 0xFF become "?".
    std::string CompanyName;
    std::string FileDescription;
    std::string ProductName;
    std::string OriginalFilename;
};

struct TPEImage {
    bool IsImage = false; // "MZ", a "PE\0\0" signature and a whole file header
    uint16_t Machine = kMachineUnknown;
    uint16_t Characteristics = 0;
    bool IsDll = false;
    bool IsPE32Plus = false;
    uint16_t Subsystem = 0;
    uint16_t SubsystemMajor = 0;
    uint16_t SubsystemMinor = 0;
    std::vector<std::string> Imports; // DLL names in table order
    bool IsDotNet = false;            // a CLR header is present
    uint32_t ClrFlags = 0;
    std::string RuntimeVersion; // from the metadata root, e.g. "v2.0.50727"
    bool HasSignature = false;  // a certificate table lies inside the file
    TPEVersionInfo Version;
    std::vector<std::string> Notes; // what was damaged or cut short, in reading order
};

// Time and memory linear in the size of the bytes; never throws on bad input.
[[nodiscard]] TPEImage ReadPEImage(std::span<const uint8_t> bytes);

// "ARM", "MIPS R4000", "SH3", "x86", ...; unknown numbers as "Unknown (0x1234)".
[[nodiscard]] std::string MachineName(uint16_t machine);
// The processor family an image of that machine needs ("ARM", "MIPS", "SH3", "SH4", "x86",
// ...); empty for an unknown machine.
[[nodiscard]] std::string MachineFamily(uint16_t machine);
// "Windows CE GUI", "Windows GUI", "Windows console", ...; unknown numbers as their number.
[[nodiscard]] std::string SubsystemName(uint16_t subsystem);
// "DLL" or "Program".
[[nodiscard]] std::string ImageKind(const TPEImage& image);
// An assembly of pure IL whose header says x86 runs on any CPU the runtime runs on.
[[nodiscard]] bool RunsOnAnyCpu(const TPEImage& image);
