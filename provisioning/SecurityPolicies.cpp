// Security policies and roles as the platform documents them.
//
// Source: Microsoft, Windows Mobile documentation, "Security Policy Settings" (policy ids,
// names and values; learn.microsoft.com/en-us/previous-versions/bb416355(v=msdn.10), the
// Windows Mobile 5.0 edition aa455966), its "SecurityPolicy Configuration Service Provider"
// pages for the ids 4141-4143, and "Security Role Settings" (aa457993) for the role values.
// One row per policy id; the value texts are ours, shortened from the table's descriptions.
#include "provisioning/Meaning.h"

#include "cab/TextValues.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace provisioning {

namespace {

using K = TPolicyValue;

// Sorted by id. For role masks, Values is the lead-in to the roles.
constexpr std::array kPolicies = {
    TSecurityPolicy{2, "Auto Run Policy", K::Choice,
                    "0=applications on a storage card may start automatically when it is "
                    "inserted|1=applications on a storage card may not start automatically"},
    TSecurityPolicy{4097, "RAPI Policy", K::Choice,
                    "0=ActiveSync service shut down, remote (RAPI) calls rejected"
                    "|1=full remote access: RAPI calls run without restriction"
                    "|2=restricted: RAPI calls are checked against the User Authenticated role"},
    TSecurityPolicy{4101, "Unsigned CABS Policy", K::RoleMask,
                    "unsigned cabinets are installed with the role "},
    TSecurityPolicy{4102, "Unsigned Applications Policy", K::Choice,
                    "0=unsigned applications may not run|1=unsigned applications may run"},
    TSecurityPolicy{4103, "Unsigned Themes Policy", K::RoleMask,
                    "unsigned themes are installed with the role "},
    TSecurityPolicy{4104, "TPS Policy", K::Choice,
                    "0=no Trusted Provisioning Server role for mobile operators"
                    "|1=mobile operators may be given the Trusted Provisioning Server role"},
    TSecurityPolicy{4105, "Message Authentication Retry Number Policy", K::Number,
                    "tries allowed to authenticate a PIN-signed WAP message: "},
    TSecurityPolicy{4107, "WAP Signed Message Policy", K::RoleMask,
                    "signed WAP messages are accepted from the roles "},
    TSecurityPolicy{4108, "Service Loading Policy", K::RoleMask,
                    "Service Loading messages are accepted from the roles "},
    TSecurityPolicy{4109, "Service Indication Policy", K::RoleMask,
                    "Service Indication messages are accepted from the roles "},
    TSecurityPolicy{4110, "Unauthenticated Messages Policy", K::RoleMask,
                    "unauthenticated messages are given the role "},
    TSecurityPolicy{4111, "OTA Provisioning Policy", K::RoleMask,
                    "PIN-signed provisioning messages are processed for the roles "},
    TSecurityPolicy{4112, "WDP Push Policy", K::Number, ""},
    TSecurityPolicy{4113, "WSP Push Policy", K::Choice,
                    "0=WSP notifications from the network are not accepted"
                    "|1=WSP notifications from the network are accepted"},
    TSecurityPolicy{4119, "Grant Manager Policy", K::RoleMask,
                    "the Manager's rights are also granted to the roles "},
    TSecurityPolicy{4120, "Grant User Authenticated Policy", K::RoleMask,
                    "User Authenticated rights are also granted to the roles "},
    TSecurityPolicy{4121, "Trusted WAP Proxy Policy", K::Number, ""},
    TSecurityPolicy{4122, "Unsigned Prompt Policy", K::Choice,
                    "0=the user is asked before unsigned cabinets, themes and programs are "
                    "accepted|1=the user is not asked"},
    TSecurityPolicy{4123, "PrivilegedApps Policy", K::Choice,
                    "0=two-tier device: only programs signed with a privileged certificate run "
                    "privileged|1=one-tier device: every program allowed to run is privileged"},
    TSecurityPolicy{4129, "DRM Security Policy", K::RoleMask,
                    "DRM rights messages are accepted from the roles "},
    TSecurityPolicy{4131, "Password Required Policy", K::Choice,
                    "0=a device password is required|1=no device password is required"},
    TSecurityPolicy{4141, "OMA CP NETWPIN Policy", K::RoleMask,
                    "network-PIN signed provisioning messages are given the roles "},
    TSecurityPolicy{4142, "OMA CP USERPIN Policy", K::RoleMask,
                    "user-PIN signed provisioning messages are given the roles "},
    TSecurityPolicy{4143, "OMA CP USERNETWPIN Policy", K::RoleMask,
                    "user-and-network-PIN signed provisioning messages are given the roles "},
};

struct TRole {
    uint32_t Bit;
    std::string_view Name;
};

constexpr std::array kRoles = {
    TRole{2, "SECROLE_OEM"},          TRole{4, "SECROLE_OPERATOR"},
    TRole{8, "SECROLE_MANAGER"},      TRole{16, "SECROLE_USER_AUTH"},
    TRole{64, "SECROLE_USER_UNAUTH"}, TRole{128, "SECROLE_OPERATOR_TPS"},
    TRole{256, "SECROLE_KNOWN_PPG"},
};

std::string_view ChoiceText(std::string_view values, std::string_view value) {
    while (!values.empty()) {
        const size_t bar = values.find('|');
        const std::string_view pair = values.substr(0, bar);
        const size_t eq = pair.find('=');
        if (eq != std::string_view::npos && pair.substr(0, eq) == value) return pair.substr(eq + 1);
        if (bar == std::string_view::npos) break;
        values.remove_prefix(bar + 1);
    }
    return {};
}

} // namespace

const TSecurityPolicy* FindSecurityPolicy(uint32_t id) {
    const auto it = std::lower_bound(kPolicies.begin(), kPolicies.end(), id,
                                     [](const TSecurityPolicy& p, uint32_t v) { return p.Id < v; });
    return (it != kPolicies.end() && it->Id == id) ? &*it : nullptr;
}

std::string RoleMaskText(uint32_t mask) {
    if (mask == 0) return "SECROLE_NONE";
    std::string text;
    for (const TRole& role : kRoles) {
        if (!(mask & role.Bit)) continue;
        if (!text.empty()) text += " | ";
        text += role.Name;
        mask &= ~role.Bit;
    }
    if (mask != 0) {
        char rest[16];
        std::snprintf(rest, sizeof rest, "0x%X", mask);
        if (!text.empty()) text += " | ";
        text += rest;
    }
    return text;
}

std::string SecurityPolicyMeaning(std::string_view id, std::string_view value, bool withValue) {
    const std::optional<uint32_t> number = ParseDecimal32(id);
    if (!number) return "not a policy number";
    const TSecurityPolicy* policy = FindSecurityPolicy(*number);
    if (!policy) return "policy " + std::to_string(*number) + " (not in the documented table)";
    std::string text = std::string(policy->Name) + " (" + std::to_string(policy->Id) + ")";
    if (!withValue) return text;
    text += ": ";
    const std::optional<uint32_t> v = ParseDecimal32(value);
    switch (policy->Kind) {
    case TPolicyValue::Choice: {
        const std::string_view meaning = ChoiceText(policy->Values, value);
        if (meaning.empty())
            text += std::string(value) + " (not a documented value)";
        else
            text += std::string(value) + " = " + std::string(meaning);
        break;
    }
    case TPolicyValue::RoleMask:
        if (v)
            text += std::string(policy->Values) + RoleMaskText(*v);
        else
            text += std::string(value) + " (not a role mask)";
        break;
    case TPolicyValue::Number:
        text += std::string(policy->Values) + std::string(value);
        break;
    }
    return text;
}

} // namespace provisioning
