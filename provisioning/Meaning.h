#pragma once
// What the nodes of a provisioning tree mean on a device: captions for the configuration
// service providers a characteristic addresses, the certificate stores, security policies by
// number and security role masks.
#include "provisioning/Provisioning.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace provisioning {

// How a security policy's value reads.
enum class TPolicyValue : uint8_t {
    Choice,   // one of the listed values
    RoleMask, // a mask of security roles
    Number,   // a count or another plain number
};

struct TSecurityPolicy {
    uint32_t Id;
    std::string_view Name;
    TPolicyValue Kind;
    // For Choice: "value=meaning" pairs separated by "|", e.g. "0=allowed|1=not allowed".
    std::string_view Values;
};

// The documented policy with this id, or nullptr.
[[nodiscard]] const TSecurityPolicy* FindSecurityPolicy(uint32_t id);

// "Manager | User Authenticated"; bits without a documented role are shown in hex.
[[nodiscard]] std::string RoleMaskText(uint32_t mask);

// "Unsigned Applications Policy (4102): 1 = unsigned applications are allowed to run".
// An id without a documented policy shows its number.
[[nodiscard]] std::string SecurityPolicyMeaning(std::string_view id, std::string_view value,
                                                bool withValue);

// Caption of a characteristic type at the top of a document, empty when unknown.
[[nodiscard]] std::string_view CharacteristicCaption(std::string_view type);
// Caption of a certificate store name below CertificateStore, empty when unknown.
[[nodiscard]] std::string_view CertificateStoreCaption(std::string_view store);

// The meaning column of one node: a caption, a policy, a certificate's summary, a note.
[[nodiscard]] std::string NodeMeaning(const TProvisioningTree& tree, size_t index);

// The item column: "characteristic", "parm query", "remove parm", ...
[[nodiscard]] std::string_view ItemCaption(TNodeKind kind);

} // namespace provisioning
