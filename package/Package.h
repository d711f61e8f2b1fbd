#pragma once
// What users receive around setup cabinets, opened to find the setups inside: the desktop
// application manager's .ini beside its cabinets, a .zip, a self-extracting program that stores
// cabinets as they are, and a cabinet that holds other cabinets. Everything unpacked goes to
// the package's private folder, which goes with the package. Containers are hostile too:
// depth, count, unpacked size and time are bounded by a TPackageBudget.
#include "package/PrivateFolder.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum class TContainerKind { None, AppManagerIni, Zip, Msi, Program, Cabinet, Installer };

// "ini", "zip", "msi", "exe", "cab", "installer": the kind as scripts see it.
[[nodiscard]] const char* ContainerKindName(TContainerKind kind);

struct TContainedSetup {
    TContainerKind Kind = TContainerKind::None; // the package it came out of
    std::string PathInside;  // the .ini's or the archive's name for it; outer/inner when nested;
                             // "cabinet at offset N" for one carved out of a program
    int64_t Offset = -1;     // where it starts in the opened file, when stored as it is there
    std::string Component;   // the .ini component that names it, if one does
    std::string CabinetPath; // where it can be read: beside the .ini or in the private folder
    std::string Problem;     // why it cannot be read (a cabinet the .ini names that is missing)
};

struct TPackageBudget {
    unsigned MaxDepth = 3;                     // a cabinet in a cabinet in a package
    size_t MaxCabinets = 256;                  // taken in all
    uint64_t MaxUnpacked = 256ull << 20;       // bytes unpacked in all, kept or not
    std::chrono::milliseconds MaxTime{60'000}; // for the whole opening
};

class TPackage {
  public:
    TContainerKind Kind = TContainerKind::None; // None: not a container this layer knows
    std::vector<TContainedSetup> Setups;
    // Why opening stopped, found nothing or could not read all of it (a budget, a damaged
    // archive, a payload in a format that cannot be read); the setups found before it stay.
    std::string Error;
    [[nodiscard]] bool IsContainer() const { return Kind != TContainerKind::None; }
    TPrivateFolder Folder;
};

// Opens path as a container. A setup cabinet, or a file that is no container, gives Kind None
// and no setups. Never throws but for memory.
[[nodiscard]] std::unique_ptr<TPackage> OpenPackage(const std::string& path,
                                                    const TPackageBudget& budget = {});
