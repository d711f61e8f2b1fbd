// libFuzzer target: ParseAppManagerIni over arbitrary text; a valid result names components that
// each have a name, within the limits.
#include "package/AppManagerIni.h"
#include "tests/fuzz/FuzzSeeds.h"
#include "tests/support/PackageBuilder.h"

#include <cstdlib>

namespace {

std::vector<uint8_t> Seed(const std::string& text) {
    return {text.begin(), text.end()};
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    WriteSeedsAndExitIfAsked({
        Seed(AppManagerIniText({{"Eliminator", {"Eliminator.ARM.CAB"}}})),
        Seed(AppManagerIniText({{"App", {"App.ARM.CAB", "App.SH3.CAB"}}, {"Extra", {"x.cab"}}})),
        Seed("; comment\n[ceappmanager]\ncomponent=\"A\",B,\n[a]\ncabfiles= \"a.cab\" ,,\n[B\n"),
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const TAppManagerIni ini =
        ParseAppManagerIni(std::string_view(reinterpret_cast<const char*>(data), size));
    if (ini.Valid != ini.Error.empty()) std::abort();
    if (ini.Components.size() > kMaxIniComponents) std::abort();
    for (const TAppManagerComponent& c : ini.Components)
        if (c.Name.empty() || c.CabFiles.size() > kMaxIniCabinets) std::abort();
    return 0;
}
