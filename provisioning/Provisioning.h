#pragma once
// A provisioning document ("_setup.xml") as a tree: every characteristic, parm, query and
// removal in document order, each with every attribute it was written with. Read with the
// project's forgiving markup parser, so a damaged document still shows everything around the
// damage; what went wrong is a note on the node it concerns.
#include "signature/Trust.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace provisioning {

enum class TNodeKind : uint8_t {
    Root,                // the document as a whole; always node 0
    Document,            // a wap-provisioningdoc element, the outer one or one nested inside
    Characteristic,      // type = Name
    CharacteristicQuery, // characteristic-query, type = Name
    NoCharacteristic,    // nocharacteristic: removes the characteristic named Name
    Parm,                // Name and Value
    ParmQuery,           // parm-query, name = Name
    NoParm,              // noparm: removes the parm named Name
    Element,             // any other tag, named by Tag
};

struct TAttribute {
    std::string Name;
    std::string Value;
};

struct TNode {
    TNodeKind Kind = TNodeKind::Root;
    uint32_t Depth = 0;  // 0 for the root
    int32_t Parent = -1; // index of the enclosing node; -1 for the root
    uint32_t End = 0;    // one past the last node below this one
    std::string Tag;     // the tag's name as written
    std::string Name;    // a characteristic's type, a parm's name
    std::string Value;   // a parm's value
    // Every attribute besides the one shown as Name ("type" or "name") and, for parms, "value",
    // in the order written; a repeated name is kept here too.
    std::vector<TAttribute> Attributes;
    std::string Note;         // what was wrong with this node, empty when nothing
    int32_t Certificate = -1; // an EncodedCertificate parm: index into Certificates
};

// An EncodedCertificate parm, decoded.
struct TCertificateInfo {
    size_t Node = 0;         // the parm
    std::string Store;       // the enclosing characteristics above StoredUnder, " / " between
    std::string StoredUnder; // the characteristic the certificate is filed under
    bool Decoded = false;
    std::string Note; // why it did not decode
    std::string Subject;
    std::string Issuer;
    std::string Serial;
    std::string NotBefore; // "YYYY-MM-DD HH:MM:SS" UTC
    std::string NotAfter;
    std::string Thumbprint; // SHA-1 of the DER, upper-case hex
    std::string KeyType;
    int KeyBits = 0;
    bool SelfSigned = false;
    // The thumbprint equals StoredUnder, ignoring letter case: the name the device files it
    // under is the certificate it really is.
    bool ThumbprintMatches = false;
};

struct TProvisioningTree {
    std::vector<TNode> Nodes; // document order; Nodes[0] is the root
    std::vector<TCertificateInfo> Certificates;
};

// A provisioning document nested inside a parm's value is read at most this many levels deep.
constexpr int kMaxNestedDocuments = 8;
// A document is read to this many elements, nested documents included; the root's note says
// when there were more. Real documents hold hundreds; each element read costs about a kilobyte
// across the tree, the rows and the pages.
constexpr size_t kMaxNodes = 100'000;

// Any bytes give a tree; time and memory are linear in the document's size.
[[nodiscard]] TProvisioningTree ReadProvisioning(std::string_view document);
// The same, reading the bytes given instead of a copy of them.
[[nodiscard]] TProvisioningTree ReadProvisioning(std::vector<uint8_t> document);

// Decodes every EncodedCertificate parm of the tree. Separate from reading so that the reader
// alone has no cryptography. Once stopped returns true, the certificates not yet decoded are
// listed with a note saying so.
void DecodeCertificates(TProvisioningTree& tree, const std::function<bool()>& stopped = {});

// The decoded certificates the document adds below CertificateStore, by the store's name ("SPC",
// "ROOT", ...) and thumbprint, in document order.
[[nodiscard]] std::vector<TStoreAddition> StoreAdditions(const TProvisioningTree& tree);

// Counts of what the document changes on a device.
struct TProvisioningSummary {
    int SecurityPolicies = 0; // parms set under SecurityPolicy
    int Certificates = 0;     // EncodedCertificate parms
    int Characteristics = 0;
    int Parms = 0;
    int Queries = 0;
    int Removals = 0;
    int Notes = 0;
};
[[nodiscard]] TProvisioningSummary Summarize(const TProvisioningTree& tree);

} // namespace provisioning
