// Device profiles built from the sources users already have: built-in defaults, provisioning
// documents (alone or in a cabinet) and certificate files.
#include "device/Profile.h"

#include "cab/AsciiCase.h"
#include "cab/FileSystem.h"
#include "cab/Streams.h"
#include "cab/TextValues.h"
#include "cab/cabfiles.h"
#include "provisioning/Rows.h"

#include <array>
#include <exception>
#include <set>

namespace device {

namespace {

using provisioning::TNode;
using provisioning::TNodeKind;
using provisioning::TProvisioningTree;

constexpr std::array kStoreNames = {"SPC", "Privileged Execution Trust Authorities",
                                    "Unprivileged Execution Trust Authorities", "Root"};

// Stores a device has that no decision here reads.
constexpr std::array kOtherStores = {"CA", "MY"};

// A profile file is a document or a certificate: anything larger is not one.
constexpr int64_t kMaxProfileFile = int64_t{16} * 1024 * 1024;
constexpr size_t kMaxFileCertificates = 64;

const TNode* ParentOf(const TProvisioningTree& tree, const TNode& node) {
    return node.Parent < 0 ? nullptr : &tree.Nodes[static_cast<size_t>(node.Parent)];
}

bool IsCharacteristic(const TNode* node, std::string_view type) {
    return node && node->Kind == TNodeKind::Characteristic && SameTextAscii(node->Name, type);
}

std::string StoreList() {
    std::string text;
    for (const char* name : kStoreNames)
        text += (text.empty() ? "" : ", ") + std::string(name);
    return text;
}

bool IsOtherStore(std::string_view name) {
    for (const char* other : kOtherStores)
        if (SameTextAscii(name, other)) return true;
    return false;
}

// The store characteristic directly below "CertificateStore" above node, or null.
const TNode* StoreNodeOf(const TProvisioningTree& tree, const TNode& node) {
    const TNode* below = nullptr;
    for (const TNode* n = ParentOf(tree, node); n && n->Kind == TNodeKind::Characteristic;
         below = n, n = ParentOf(tree, *n))
        if (SameTextAscii(n->Name, "CertificateStore")) return below;
    return nullptr;
}

// The "Role" parm beside a certificate, in the characteristic it is filed under.
std::optional<uint32_t> RoleBeside(const TProvisioningTree& tree, const TNode& certificate,
                                   std::string& raw) {
    if (certificate.Parent < 0) return std::nullopt;
    const size_t parent = static_cast<size_t>(certificate.Parent);
    for (size_t i = parent + 1; i < tree.Nodes[parent].End && i < tree.Nodes.size(); ++i) {
        const TNode& n = tree.Nodes[i];
        if (n.Parent == certificate.Parent && n.Kind == TNodeKind::Parm &&
            SameTextAscii(n.Name, "Role")) {
            raw = n.Value;
            return ParseDecimal32(n.Value);
        }
    }
    return std::nullopt;
}

struct TDocumentState {
    TDeviceProfile& Profile;
    const std::string& Source;
    std::map<uint32_t, std::string> PoliciesSet; // in this document: id -> value
    std::set<std::pair<int, std::string>> Added; // store, upper-case thumbprint
    std::set<std::string> UnknownStores;

    void Problem(const std::string& what) { Profile.Problems.push_back(Source + ": " + what); }
};

void ApplyPolicy(TDocumentState& state, const TNode& node) {
    const std::optional<uint32_t> id = ParseDecimal32(node.Name);
    const std::optional<uint32_t> value = ParseDecimal32(node.Value);
    if (!id) {
        state.Problem("security policy \"" + node.Name + "\" is not a policy number");
        return;
    }
    if (!value) {
        state.Problem("security policy " + node.Name + " has the value \"" + node.Value +
                      "\", not a number; it is not taken");
        return;
    }
    const auto [it, first] = state.PoliciesSet.emplace(*id, node.Value);
    if (!first && it->second != node.Value)
        state.Problem("the document contradicts itself: security policy " + node.Name +
                      " is set to " + it->second + " and then to " + node.Value +
                      "; the later value is taken");
    it->second = node.Value;
    state.Profile.Policies[*id] = TPolicySetting{*value, state.Source};
}

void RemovePolicy(TDocumentState& state, const TNode& node) {
    if (const std::optional<uint32_t> id = ParseDecimal32(node.Name))
        state.Profile.Policies.erase(*id);
}

std::optional<TStore> KnownStore(TDocumentState& state, const TNode& store) {
    const std::optional<TStore> known = StoreFromName(store.Name);
    if (!known && !IsOtherStore(store.Name) && state.UnknownStores.insert(store.Name).second)
        state.Problem("names the certificate store \"" + store.Name +
                      "\", which does not exist on a device (the stores are " + StoreList() +
                      ", CA and MY); its certificates are not taken");
    return known;
}

void AddCertificate(TDocumentState& state, const TProvisioningTree& tree, const TNode& node) {
    const TNode* storeNode = StoreNodeOf(tree, node);
    if (!storeNode) return;
    const std::optional<TStore> store = KnownStore(state, *storeNode);
    if (!store) return;
    const TNode* filed = ParentOf(tree, node);
    const std::string where = std::string(StoreName(*store)) + " (" +
                              (filed && filed != storeNode ? filed->Name : "no name") + ")";
    std::string why;
    const std::optional<std::vector<uint8_t>> der = DecodeBase64(node.Value, why);
    std::optional<crypto::TCertificate> certificate;
    if (der) certificate = crypto::DecodeCertificate(*der, why);
    if (!certificate) {
        state.Problem("the certificate for " + where + " does not decode (" + why +
                      "); it is not taken");
        return;
    }
    TStoreCertificate entry;
    entry.Store = *store;
    entry.Source = state.Source;
    std::string raw;
    entry.Role = RoleBeside(tree, node, raw);
    if (!entry.Role && !raw.empty())
        state.Problem("the role \"" + raw + "\" of " + where + " is not a number");
    state.Added.emplace(static_cast<int>(*store), certificate->Thumbprint);
    entry.Certificate = std::move(*certificate);
    // A certificate added again replaces the earlier entry, with its role.
    auto& list = state.Profile.Certificates;
    std::erase_if(list, [&](const TStoreCertificate& c) {
        return c.Store == entry.Store && c.Certificate.Thumbprint == entry.Certificate.Thumbprint;
    });
    list.push_back(std::move(entry));
}

void RemoveCertificate(TDocumentState& state, const TProvisioningTree& tree, const TNode& node) {
    const TNode* storeNode = ParentOf(tree, node);
    if (!storeNode || !IsCharacteristic(ParentOf(tree, *storeNode), "CertificateStore")) return;
    const std::optional<TStore> store = KnownStore(state, *storeNode);
    if (!store) return;
    const std::string thumbprint = UpperCaseAscii(node.Name);
    if (state.Added.count({static_cast<int>(*store), thumbprint}))
        state.Problem("the document contradicts itself: it adds the certificate " + node.Name +
                      " to " + StoreName(*store) + " and removes it again");
    std::erase_if(state.Profile.Certificates, [&](const TStoreCertificate& c) {
        return c.Store == *store && c.Certificate.Thumbprint == thumbprint;
    });
}

bool StartsWithMarkup(std::span<const uint8_t> bytes) {
    size_t i = 0;
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) i = 3;
    while (i < bytes.size() &&
           (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
        ++i;
    return i < bytes.size() && bytes[i] == '<';
}

bool HasDocument(const TProvisioningTree& tree) {
    for (const TNode& n : tree.Nodes)
        if (n.Kind == TNodeKind::Document) return true;
    return false;
}

std::string BuiltinIds() {
    std::string ids;
    for (const TBuiltinProfile& b : BuiltinProfiles())
        ids += (ids.empty() ? "" : ", ") + std::string(b.Id);
    return ids;
}

void AddName(TDeviceProfile& profile, const std::string& name) {
    profile.Name += (profile.Name.empty() ? "" : " + ") + name;
}

bool AddCertificateFile(TDeviceProfile& profile, std::span<const uint8_t> bytes,
                        const std::string& source, TStore store) {
    std::string why;
    std::vector<crypto::TCertificate> certificates =
        crypto::DecodeCertificateFile(bytes, kMaxFileCertificates, why);
    if (certificates.empty()) {
        profile.Problems.push_back(source + ": not a certificate file: " + why);
        return false;
    }
    for (crypto::TCertificate& c : certificates) {
        TStoreCertificate entry;
        entry.Store = store;
        entry.Source = source;
        entry.Certificate = std::move(c);
        profile.Certificates.push_back(std::move(entry));
    }
    return true;
}

std::optional<std::vector<uint8_t>> ReadProfileFile(TDeviceProfile& profile,
                                                    const std::string& path) {
    if (const std::string problem = RegularFileProblem(path); !problem.empty()) {
        profile.Problems.push_back(path + ": cannot open: " + problem);
        return std::nullopt;
    }
    TFileStream stream(path);
    if (stream.Size() > kMaxProfileFile) {
        profile.Problems.push_back(path + ": larger than a profile file can be (16 MiB)");
        return std::nullopt;
    }
    return ReadWholeStream(stream);
}

bool IsCabinetBytes(std::span<const uint8_t> bytes) {
    return bytes.size() >= 4 && bytes[0] == 'M' && bytes[1] == 'S' && bytes[2] == 'C' &&
           bytes[3] == 'F';
}

bool AddCabinet(TDeviceProfile& profile, const std::string& path) {
    TCABFile cabinet;
    cabinet.CABFile = path;
    provisioning::TProvisioningTree tree;
    if (!cabinet.IsCabinet(path) || !provisioning::ReadCabinetProvisioning(cabinet, tree)) {
        profile.Problems.push_back(path + ": the cabinet holds no provisioning document");
        return false;
    }
    ApplyProvisioning(profile, tree, path);
    return true;
}

} // namespace

const char* StoreName(TStore store) {
    return kStoreNames[static_cast<size_t>(store)];
}

std::optional<TStore> StoreFromName(std::string_view name) {
    for (size_t i = 0; i < kStoreNames.size(); ++i)
        if (SameTextAscii(name, kStoreNames[i])) return static_cast<TStore>(i);
    return std::nullopt;
}

const TPolicySetting* TDeviceProfile::Policy(uint32_t id) const {
    const auto it = Policies.find(id);
    return it == Policies.end() ? nullptr : &it->second;
}

void ApplyProvisioning(TDeviceProfile& profile, const TProvisioningTree& tree,
                       const std::string& source) {
    TDocumentState state{profile, source, {}, {}, {}};
    size_t damaged = 0;
    std::string firstNote;
    for (const TNode& node : tree.Nodes) {
        if (!node.Note.empty() && damaged++ == 0) firstNote = node.Note;
        const TNode* parent = ParentOf(tree, node);
        switch (node.Kind) {
        case TNodeKind::Parm:
            if (IsCharacteristic(parent, "SecurityPolicy"))
                ApplyPolicy(state, node);
            else if (SameTextAscii(node.Name, "EncodedCertificate"))
                AddCertificate(state, tree, node);
            break;
        case TNodeKind::NoParm:
            if (IsCharacteristic(parent, "SecurityPolicy")) RemovePolicy(state, node);
            break;
        case TNodeKind::NoCharacteristic:
            RemoveCertificate(state, tree, node);
            break;
        case TNodeKind::Characteristic:
            if (IsCharacteristic(parent, "CertificateStore")) KnownStore(state, node);
            break;
        default:
            break;
        }
    }
    if (damaged > 0)
        state.Problem("the document is damaged (" + firstNote + ")" +
                      (damaged > 1 ? " and in " + std::to_string(damaged - 1) + " more places"
                                   : std::string()) +
                      "; what could be read is taken");
}

bool AddProfileBytes(TDeviceProfile& profile, std::span<const uint8_t> bytes,
                     const std::string& source, std::string_view storeName) {
    if (!storeName.empty()) {
        const std::optional<TStore> store = StoreFromName(storeName);
        if (!store) {
            profile.Problems.push_back(source + ": there is no certificate store \"" +
                                       std::string(storeName) + "\" (the stores are " +
                                       StoreList() + ")");
            return false;
        }
        return AddCertificateFile(profile, bytes, source, *store);
    }
    if (!StartsWithMarkup(bytes)) {
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if ((!bytes.empty() && bytes[0] == 0x30) || text.find("-----BEGIN") != text.npos)
            profile.Problems.push_back(source +
                                       ": a certificate needs the store it goes into: "
                                       "give it as STORE=FILE (the stores are " +
                                       StoreList() + ")");
        else
            profile.Problems.push_back(
                source + ": not a device profile: neither a provisioning document, a cabinet "
                         "nor a certificate");
        return false;
    }
    provisioning::TProvisioningTree tree = provisioning::ReadProvisioning(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (!HasDocument(tree)) {
        profile.Problems.push_back(source +
                                   ": not a provisioning document (no wap-provisioningdoc)");
        return false;
    }
    ApplyProvisioning(profile, tree, source);
    return true;
}

bool AddProfileSource(TDeviceProfile& profile, const std::string& source) {
    try {
        if (const TBuiltinProfile* builtin = FindBuiltinProfile(source)) {
            AddBuiltin(profile, *builtin);
            AddName(profile, std::string(builtin->Caption));
            return true;
        }
        std::string path = source;
        std::string store;
        if (const size_t eq = source.find('='); eq != std::string::npos && !FileExists(source)) {
            store = source.substr(0, eq);
            path = source.substr(eq + 1);
        }
        const size_t problems = profile.Problems.size();
        const std::optional<std::vector<uint8_t>> bytes = ReadProfileFile(profile, path);
        if (!bytes) {
            if (source.find_first_of("/\\.=") == std::string::npos)
                profile.Problems.back() +=
                    " (and it is not a built-in profile: " + BuiltinIds() + ")";
            return false;
        }
        const bool taken = store.empty() && IsCabinetBytes(*bytes)
                               ? AddCabinet(profile, path)
                               : AddProfileBytes(profile, *bytes, path, store);
        if (taken) AddName(profile, FileNamePart(path));
        return taken && profile.Problems.size() == problems;
    } catch (const std::exception& e) {
        profile.Problems.push_back(source + ": cannot be read: " + e.what());
        return false;
    }
}

TDeviceProfile BuildProfile(const std::vector<std::string>& sources) {
    TDeviceProfile profile;
    for (const std::string& source : sources)
        if (!AddProfileSource(profile, source)) {
            // Said among the profile's problems; the next source is taken all the same.
        }
    return profile;
}

} // namespace device
