#pragma once
// A device profile: the security policy values a device holds and the certificates in its trust
// stores, which together decide whether it installs a setup and runs its programs. Built-in
// profiles are the platform's documented defaults; users add what they already apply to their
// devices (provisioning documents, cabinets holding one, certificate files).
#include "provisioning/Provisioning.h"
#include "signature/Crypto.h"

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace device {

// The stores that decide installs and runs.
enum class TStore { SPC, Privileged, Unprivileged, Root };

// "SPC", "Privileged Execution Trust Authorities", "Unprivileged Execution Trust Authorities",
// "Root".
[[nodiscard]] const char* StoreName(TStore store);
// The store of that name, ignoring letter case; nullopt for any other name.
[[nodiscard]] std::optional<TStore> StoreFromName(std::string_view name);

// Security roles the decisions read (provisioning/SecurityPolicies.cpp names them all).
constexpr uint32_t kRoleManager = 8;
constexpr uint32_t kRoleUserAuth = 16;

// Policy ids the decisions read.
constexpr uint32_t kPolicyUnsignedCabs = 4101;
constexpr uint32_t kPolicyUnsignedApps = 4102;
constexpr uint32_t kPolicyUnsignedPrompt = 4122;
constexpr uint32_t kPolicyPrivilegedApps = 4123;

struct TStoreCertificate {
    TStore Store = TStore::SPC;
    crypto::TCertificate Certificate;
    std::optional<uint32_t> Role; // an SPC entry's "Role" parm
    std::string Source;           // the profile or file it came from
};

struct TPolicySetting {
    uint32_t Value = 0;
    std::string Source;
};

struct TDeviceProfile {
    std::string Name; // the names it was built from, " + " between
    std::map<uint32_t, TPolicySetting> Policies;
    std::vector<TStoreCertificate> Certificates;
    // What could not be taken, each naming the file and what is wrong.
    std::vector<std::string> Problems;

    [[nodiscard]] const TPolicySetting* Policy(uint32_t id) const;
};

struct TBuiltinProfile {
    std::string_view Id;      // what --device names: "pocketpc"
    std::string_view Caption; // "Pocket PC / Professional, one-tier prompt"
    std::span<const std::pair<uint32_t, uint32_t>> Policies;
};

[[nodiscard]] std::span<const TBuiltinProfile> BuiltinProfiles();
[[nodiscard]] const TBuiltinProfile* FindBuiltinProfile(std::string_view id);

// Adds a built-in profile's policies.
void AddBuiltin(TDeviceProfile& profile, const TBuiltinProfile& builtin);

// Applies a provisioning document's security policies and certificate store changes (additions
// and removals) to the profile, in document order. Contradictions within the document (a policy
// set twice to different values, a certificate added and removed) and stores that do not exist
// become problems naming source.
void ApplyProvisioning(TDeviceProfile& profile, const provisioning::TProvisioningTree& tree,
                       const std::string& source);

// One profile source in memory: a provisioning document, or a certificate (DER or PEM) for the
// store named by storeName (empty for a document). False, with a problem naming source, when
// the bytes are none of those. Never throws.
[[nodiscard]] bool AddProfileBytes(TDeviceProfile& profile, std::span<const uint8_t> bytes,
                                   const std::string& source, std::string_view storeName);

// One --device argument: a built-in profile's id, a file (.cpf, .cab, _setup.xml or another
// provisioning document), or STORE=FILE for a certificate file. Later sources override earlier
// policies and add to the stores. False with a problem when nothing could be taken. Never
// throws.
[[nodiscard]] bool AddProfileSource(TDeviceProfile& profile, const std::string& source);

// A profile from several sources, in order; a source that gives nothing is one of its Problems,
// and the others still count.
[[nodiscard]] TDeviceProfile BuildProfile(const std::vector<std::string>& sources);

} // namespace device
