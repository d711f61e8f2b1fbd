// The built-in device profiles, as data.
//
// Sources (Microsoft, Windows Mobile documentation):
// - "Default Security Policy Settings for Windows Mobile-Based Devices"
//   (learn.microsoft.com/en-us/previous-versions/ms889564(v=msdn.10)): the Pocket PC defaults,
//   Unsigned CABS 4101 = 0x10 (SECROLE_USER_AUTH), Unsigned Applications 4102 = 1.
// - "Security Policy Settings" (bb416355(v=msdn.10), the Windows Mobile 6 edition): Unsigned
//   Prompt 4122 defaults to 0 (the user is asked), PrivilegedApps 4123 is 1 on Professional
//   (one-tier) and 0 on Standard (two-tier); on Standard a signed cabinet without a matching
//   root in the SPC store is unsigned.
// - "Selecting Security Configuration" / "Security Configurations" (aa458010, the Windows Mobile
//   security model): one-tier prompt, two-tier prompt and locked (only signed code, nobody
//   asked) are the configurations a device maker or operator chooses from.
// The stores start empty: real devices carry their maker's and operator's roots, which no
// document publishes; add them with certificate files or the cabinet that installs them.
#include "device/Profile.h"

#include "cab/AsciiCase.h"

#include <array>
#include <utility>

namespace device {

namespace {

using TPolicy = std::pair<uint32_t, uint32_t>;

constexpr std::array<TPolicy, 4> kPocketPC = {{
    {kPolicyUnsignedCabs, kRoleUserAuth},
    {kPolicyUnsignedApps, 1},
    {kPolicyUnsignedPrompt, 0},
    {kPolicyPrivilegedApps, 1},
}};

constexpr std::array<TPolicy, 4> kSmartphone = {{
    {kPolicyUnsignedCabs, kRoleUserAuth},
    {kPolicyUnsignedApps, 1},
    {kPolicyUnsignedPrompt, 0},
    {kPolicyPrivilegedApps, 0},
}};

// Locked: unsigned cabinets and programs refused, nobody asked, two tiers.
constexpr std::array<TPolicy, 4> kLocked = {{
    {kPolicyUnsignedCabs, 0},
    {kPolicyUnsignedApps, 0},
    {kPolicyUnsignedPrompt, 1},
    {kPolicyPrivilegedApps, 0},
}};

constexpr std::array kBuiltins = {
    TBuiltinProfile{"pocketpc", "Pocket PC / Professional, one-tier prompt", kPocketPC},
    TBuiltinProfile{"smartphone", "Smartphone / Standard, two-tier prompt", kSmartphone},
    TBuiltinProfile{"locked", "Locked, two-tier", kLocked},
};

} // namespace

std::span<const TBuiltinProfile> BuiltinProfiles() {
    return kBuiltins;
}

const TBuiltinProfile* FindBuiltinProfile(std::string_view id) {
    for (const TBuiltinProfile& b : kBuiltins)
        if (SameTextAscii(b.Id, id)) return &b;
    return nullptr;
}

void AddBuiltin(TDeviceProfile& profile, const TBuiltinProfile& builtin) {
    for (const auto& [id, value] : builtin.Policies)
        profile.Policies[id] = TPolicySetting{value, std::string(builtin.Caption)};
}

} // namespace device
