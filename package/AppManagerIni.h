#pragma once
// The desktop application manager's .ini: the "[CEAppManager]" section names the components
// ("Component = Name", several separated by commas), and each component's own section lists
// its cabinets ("CabFiles = App.ARM.CAB,App.SH3.CAB"). Section and key names are compared
// ignoring ASCII case; ";" starts a comment line; values lose surrounding blanks and quotes.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct TAppManagerComponent {
    std::string Name;
    std::string Description;
    std::vector<std::string> CabFiles; // as written, in order
};

struct TAppManagerIni {
    bool Valid = false; // a "[CEAppManager]" section was found
    std::string Error;  // why not, when it was not
    std::vector<TAppManagerComponent> Components;
};

// What an .ini may hold before it is refused as not one: these files are a few hundred bytes.
constexpr size_t kMaxIniSize = 1 << 20;
constexpr size_t kMaxIniComponents = 256;
constexpr size_t kMaxIniCabinets = 256; // per component

// Never throws but for memory; a text over kMaxIniSize, without the section or naming no
// component is not Valid, with the reason in Error. A component without its own section, or
// beyond the limits, is left out.
[[nodiscard]] TAppManagerIni ParseAppManagerIni(std::string_view text);

// Quick test on the first bytes of a file: a "[CEAppManager]" section header appears in them.
[[nodiscard]] bool LooksLikeAppManagerIni(std::string_view head);
