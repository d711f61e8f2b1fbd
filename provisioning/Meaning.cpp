// Captions of the configuration service providers that a top-level characteristic addresses,
// after the platform's "Configuration Service Provider Reference for Windows Mobile Devices".
#include "provisioning/Meaning.h"
#include "cab/AsciiCase.h"
#include "cab/TextValues.h"

#include <array>
#include <utility>

namespace provisioning {

namespace {

using TCaption = std::pair<std::string_view, std::string_view>;

constexpr std::array kCharacteristics = {
    TCaption{"ACCESS", "access rights to configuration settings (OMA)"},
    TCaption{"APPLICATION", "application settings (OMA)"},
    TCaption{"Bluetooth", "Bluetooth settings"},
    TCaption{"BOOTSTRAP", "bootstrap settings (OMA)"},
    TCaption{"BrowserFavorite", "browser favorites"},
    TCaption{"CertificateStore", "certificates added to or removed from the device's stores"},
    TCaption{"Clock", "clock and alarms"},
    TCaption{"CM_GPRSEntries", "Connection Manager: GPRS connections"},
    TCaption{"CM_Mappings", "Connection Manager: URL mappings"},
    TCaption{"CM_NetEntries", "Connection Manager: network card connections"},
    TCaption{"CM_Networks", "Connection Manager: networks"},
    TCaption{"CM_Planner", "Connection Manager: planner"},
    TCaption{"CM_PPPEntries", "Connection Manager: dial-up connections"},
    TCaption{"CM_ProxyEntries", "Connection Manager: proxies"},
    TCaption{"CM_VPNEntries", "Connection Manager: VPN connections"},
    TCaption{"EMAIL2", "e-mail accounts"},
    TCaption{"FileOperation", "files and folders created on the device"},
    TCaption{"Home", "Today/Home screen"},
    TCaption{"Install", "cabinet installation: name, folder, limits"},
    TCaption{"Locale", "regional settings"},
    TCaption{"Metabase", "configuration metabase: who may change which setting"},
    TCaption{"NAPDEF", "network access point (OMA)"},
    TCaption{"PXLOGICAL", "proxy (OMA)"},
    TCaption{"Registry", "registry keys and values"},
    TCaption{"SecurityPolicy", "security policies"},
    TCaption{"Sounds", "sounds"},
    TCaption{"Sync", "ActiveSync settings"},
    TCaption{"UnInstall", "applications removed from the device"},
    TCaption{"Wi-Fi", "Wi-Fi networks"},
};

constexpr std::array kStores = {
    TCaption{"Privileged Execution Trust Authorities",
             "roots trusted for programs that run privileged"},
    TCaption{"Unprivileged Execution Trust Authorities",
             "roots trusted for programs that run unprivileged"},
    TCaption{"SPC", "roots trusted for signed cabinets (Software Publisher Certificates)"},
    TCaption{"ROOT", "trusted root authorities"},
    TCaption{"CA", "intermediate certificate authorities"},
    TCaption{"MY", "personal certificates"},
};

template <size_t N>
std::string_view Lookup(const std::array<TCaption, N>& table, std::string_view key) {
    for (const TCaption& row : table)
        if (SameTextAscii(row.first, key)) return row.second;
    return {};
}

const TNode* ParentOf(const TProvisioningTree& tree, const TNode& node) {
    return node.Parent < 0 ? nullptr : &tree.Nodes[static_cast<size_t>(node.Parent)];
}

bool IsCharacteristicNamed(const TNode* node, std::string_view type) {
    return node && node->Kind == TNodeKind::Characteristic && SameTextAscii(node->Name, type);
}

// What a characteristic-like node stands for, from its place in the tree.
std::string CharacteristicMeaning(const TProvisioningTree& tree, const TNode& node) {
    const TNode* parent = ParentOf(tree, node);
    if (!parent || parent->Kind == TNodeKind::Document || parent->Kind == TNodeKind::Root)
        return std::string(CharacteristicCaption(node.Name));
    if (IsCharacteristicNamed(parent, "CertificateStore"))
        return std::string(CertificateStoreCaption(node.Name));
    if (IsCharacteristicNamed(ParentOf(tree, *parent), "CertificateStore"))
        return "certificate filed under this name";
    if (IsCharacteristicNamed(parent, "Registry")) return "registry key";
    return {};
}

std::string CertificateMeaning(const TProvisioningTree& tree, const TNode& node) {
    if (node.Certificate < 0) return "certificate (not decoded)";
    const TCertificateInfo& c = tree.Certificates[static_cast<size_t>(node.Certificate)];
    if (!c.Decoded) return "certificate that does not decode";
    std::string text = c.Subject + "; thumbprint " + c.Thumbprint;
    if (!c.StoredUnder.empty())
        text += c.ThumbprintMatches ? ", the name it is filed under"
                                    : ", NOT the name it is filed under";
    return text;
}

} // namespace

std::string_view CharacteristicCaption(std::string_view type) {
    return Lookup(kCharacteristics, type);
}

std::string_view CertificateStoreCaption(std::string_view store) {
    return Lookup(kStores, store);
}

std::string_view ItemCaption(TNodeKind kind) {
    switch (kind) {
    case TNodeKind::Root:
        return "document";
    case TNodeKind::Document:
        return "provisioning document";
    case TNodeKind::Characteristic:
        return "characteristic";
    case TNodeKind::CharacteristicQuery:
        return "characteristic query";
    case TNodeKind::NoCharacteristic:
        return "remove characteristic";
    case TNodeKind::Parm:
        return "parm";
    case TNodeKind::ParmQuery:
        return "parm query";
    case TNodeKind::NoParm:
        return "remove parm";
    case TNodeKind::Element:
        return "other tag";
    }
    return {};
}

std::string NodeMeaning(const TProvisioningTree& tree, size_t index) {
    const TNode& node = tree.Nodes[index];
    const TNode* parent = ParentOf(tree, node);
    const bool policy = IsCharacteristicNamed(parent, "SecurityPolicy");
    switch (node.Kind) {
    case TNodeKind::Document:
        return parent && parent->Kind != TNodeKind::Root ? "nested provisioning document" : "";
    case TNodeKind::Characteristic:
    case TNodeKind::CharacteristicQuery:
        return CharacteristicMeaning(tree, node);
    case TNodeKind::NoCharacteristic: {
        const std::string what = CharacteristicMeaning(tree, node);
        return "removes " + (what.empty() ? node.Name : what);
    }
    case TNodeKind::Parm:
        if (policy) return SecurityPolicyMeaning(node.Name, node.Value, true);
        if (SameTextAscii(node.Name, "EncodedCertificate")) return CertificateMeaning(tree, node);
        if (SameTextAscii(node.Name, "Role")) {
            if (const auto mask = ParseDecimal32(node.Value)) return "roles " + RoleMaskText(*mask);
        }
        return {};
    case TNodeKind::ParmQuery:
        return policy ? SecurityPolicyMeaning(node.Name, {}, false) : std::string();
    case TNodeKind::NoParm:
        return "removes " + (policy ? SecurityPolicyMeaning(node.Name, {}, false) : node.Name);
    default:
        return {};
    }
}

} // namespace provisioning
