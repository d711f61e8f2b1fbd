#include "programs/PEImage.h"

#include <cstdio>

namespace {

struct TMachine {
    uint16_t Number;
    const char* Name;
    const char* Family;
};

// Every machine Windows CE ran on, and the others a Windows image can name.
constexpr TMachine kMachines[] = {
    {kMachineI386, "x86", "x86"},
    {kMachineR3000, "MIPS R3000", "MIPS"},
    {kMachineR4000, "MIPS R4000", "MIPS"},
    {kMachineR10000, "MIPS R10000", "MIPS"},
    {kMachineWceMipsV2, "MIPS WCE v2", "MIPS"},
    {kMachineMIPS16, "MIPS16", "MIPS"},
    {kMachineMIPSFPU, "MIPS with FPU", "MIPS"},
    {kMachineMIPSFPU16, "MIPS16 with FPU", "MIPS"},
    {kMachineAlpha, "Alpha", "Alpha"},
    {kMachineAlpha64, "Alpha64", "Alpha64"},
    {kMachineSH3, "SH3", "SH3"},
    {kMachineSH3DSP, "SH3-DSP", "SH3"},
    {kMachineSH3E, "SH3E", "SH3"},
    {kMachineSH4, "SH4", "SH4"},
    {kMachineSH5, "SH5", "SH5"},
    {kMachineARM, "ARM", "ARM"},
    {kMachineThumb, "ARM Thumb", "ARM"},
    {kMachineARMNT, "ARMv7 Thumb-2", "ARM"},
    {kMachineAM33, "AM33", "AM33"},
    {kMachinePowerPC, "PowerPC", "PowerPC"},
    {kMachinePowerPCFP, "PowerPC with FPU", "PowerPC"},
    {kMachineIA64, "Itanium", "Itanium"},
    {kMachineTriCore, "TriCore", "TriCore"},
    {kMachineCEF, "CEF", "CEF"},
    {kMachineEBC, "EFI byte code", "EFI byte code"},
    {kMachineRISCV32, "RISC-V 32", "RISC-V 32"},
    {kMachineRISCV64, "RISC-V 64", "RISC-V 64"},
    {kMachineRISCV128, "RISC-V 128", "RISC-V 128"},
    {kMachineLoongArch32, "LoongArch32", "LoongArch32"},
    {kMachineLoongArch64, "LoongArch64", "LoongArch64"},
    {kMachineAMD64, "x64", "x64"},
    {kMachineM32R, "M32R", "M32R"},
    {kMachineARM64EC, "ARM64EC", "ARM64"},
    {kMachineARM64X, "ARM64X", "ARM64"},
    {kMachineARM64, "ARM64", "ARM64"},
    {kMachineCEE, "CEE", "CEE"},
};

const TMachine* FindMachine(uint16_t machine) {
    for (const TMachine& m : kMachines)
        if (m.Number == machine) return &m;
    return nullptr;
}

} // namespace

std::string MachineName(uint16_t machine) {
    if (const TMachine* m = FindMachine(machine)) return m->Name;
    char text[32];
    std::snprintf(text, sizeof text, "Unknown (0x%04X)", static_cast<unsigned>(machine));
    return text;
}

std::string MachineFamily(uint16_t machine) {
    const TMachine* m = FindMachine(machine);
    return m ? m->Family : "";
}

std::string SubsystemName(uint16_t subsystem) {
    switch (subsystem) {
    case 1:
        return "Native";
    case 2:
        return "Windows GUI";
    case 3:
        return "Windows console";
    case 5:
        return "OS/2 console";
    case 7:
        return "POSIX console";
    case 8:
        return "Native Win9x driver";
    case kSubsystemWindowsCEGUI:
        return "Windows CE GUI";
    case 10:
        return "EFI application";
    case 11:
        return "EFI boot service driver";
    case 12:
        return "EFI runtime driver";
    case 13:
        return "EFI ROM";
    case 14:
        return "Xbox";
    case 16:
        return "Windows boot application";
    default:
        return std::to_string(subsystem);
    }
}

std::string ImageKind(const TPEImage& image) {
    return image.IsDll ? "DLL" : "Program";
}

bool RunsOnAnyCpu(const TPEImage& image) {
    return image.IsDotNet && image.Machine == kMachineI386 && (image.ClrFlags & kClrILOnly) != 0;
}
