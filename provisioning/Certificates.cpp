// EncodedCertificate parms: base64 DER, decoded through the cryptography seam of signature/.
#include "cab/AsciiCase.h"
#include "cab/TextValues.h"
#include "provisioning/Provisioning.h"

#ifdef TESSARY_HAVE_CRYPTO
#include "signature/Crypto.h"
#endif

namespace provisioning {

namespace {

// Real stores are two levels deep; a deeper path is cut, so that many certificates deep down
// in a hostile document cost no more than their own text.
constexpr size_t kMaxStoreLevels = 8;
constexpr size_t kMaxStoreName = 256;

std::string StoreName(const std::string& name) {
    return name.size() <= kMaxStoreName ? name : name.substr(0, kMaxStoreName) + "...";
}

// The characteristics above node up to a document or another tag, outermost first; more
// reports that the path goes on above them.
std::vector<const TNode*> EnclosingCharacteristics(const TProvisioningTree& tree, const TNode& node,
                                                   bool& more) {
    std::vector<const TNode*> path;
    more = false;
    for (int32_t p = node.Parent; p >= 0; p = tree.Nodes[static_cast<size_t>(p)].Parent) {
        const TNode& up = tree.Nodes[static_cast<size_t>(p)];
        if (up.Kind != TNodeKind::Characteristic) break;
        if (path.size() == kMaxStoreLevels) {
            more = true;
            break;
        }
        path.push_back(&up);
    }
    return {path.rbegin(), path.rend()};
}

void Decode(const std::string& value, TCertificateInfo& info) {
    std::string why;
    const std::optional<std::vector<uint8_t>> der = DecodeBase64(value, why);
    if (!der) {
        info.Note = "not base64: " + why;
        return;
    }
#ifdef TESSARY_HAVE_CRYPTO
    const std::optional<crypto::TCertificate> c = crypto::DecodeCertificate(*der, why);
    if (!c) {
        info.Note = "not an X.509 certificate: " + why;
        return;
    }
    info.Decoded = true;
    info.Subject = c->Subject;
    info.Issuer = c->Issuer;
    info.Serial = c->Serial;
    info.NotBefore = c->NotBefore;
    info.NotAfter = c->NotAfter;
    info.Thumbprint = c->Thumbprint;
    info.KeyType = c->KeyType;
    info.KeyBits = c->KeyBits;
    info.SelfSigned = c->SelfSigned;
    info.Note = c->Unchecked;
    info.ThumbprintMatches =
        !info.StoredUnder.empty() && SameTextAscii(info.Thumbprint, info.StoredUnder);
#else
    info.Note = "certificates are not decoded in this build (" + std::to_string(der->size()) +
                " bytes of DER)";
#endif
}

} // namespace

void DecodeCertificates(TProvisioningTree& tree, const std::function<bool()>& stopped) {
    tree.Certificates.clear();
    bool stop = false;
    for (size_t i = 0; i < tree.Nodes.size(); ++i) {
        TNode& node = tree.Nodes[i];
        if (node.Kind != TNodeKind::Parm || !SameTextAscii(node.Name, "EncodedCertificate"))
            continue;
        TCertificateInfo info;
        info.Node = i;
        bool more = false;
        const std::vector<const TNode*> path = EnclosingCharacteristics(tree, node, more);
        if (more) info.Store = "...";
        if (!path.empty()) {
            info.StoredUnder = StoreName(path.back()->Name);
            for (size_t k = 0; k + 1 < path.size(); ++k) {
                if (!info.Store.empty()) info.Store += " / ";
                info.Store += StoreName(path[k]->Name);
            }
        }
        // Each check of a hostile key can take a while: a reader told to stop stops here, and
        // what it leaves says so.
        if (!stop && stopped && stopped()) stop = true;
        if (stop)
            info.Note = "not decoded: the reading was stopped";
        else
            Decode(node.Value, info);
        node.Certificate = static_cast<int32_t>(tree.Certificates.size());
        tree.Certificates.push_back(std::move(info));
    }
}

std::vector<TStoreAddition> StoreAdditions(const TProvisioningTree& tree) {
    std::vector<TStoreAddition> added;
    constexpr std::string_view kStores = "CertificateStore / ";
    for (const TCertificateInfo& c : tree.Certificates) {
        if (!c.Decoded || c.Store.size() <= kStores.size() ||
            !SameTextAscii(std::string_view(c.Store).substr(0, kStores.size()), kStores))
            continue;
        const size_t last = c.Store.rfind(" / ");
        added.push_back({c.Store.substr(last + 3), c.Thumbprint});
    }
    return added;
}

} // namespace provisioning
