#pragma once
// The provisioning page as rows: one per node below the root, in document order, with the
// columns item, name, value, attributes and meaning, led by a row for the document as a whole when
// the root has a note. Every front end shows these rows.
#include "provisioning/Provisioning.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TCABFile;
class TCABFileContents;
class TCESetup;
class TCabinetLook;

namespace provisioning {

struct TProvisioningRow {
    uint32_t Depth = 0; // 0 for the outermost nodes
    size_t Node = 0;    // index into the tree's nodes
    std::string Item;
    std::string Name;
    std::string Value;      // as the document means it: entities decoded, nothing added
    std::string Attributes; // the node's other attributes: name="value", a space between
    std::string Meaning;    // ends with the node's note, when it has one
};

[[nodiscard]] std::vector<TProvisioningRow> ProvisioningRows(const TProvisioningTree& tree);

// The same rows one at a time, for writers that keep none: a node's value can be tens of
// megabytes, and a table of copies would hold it several times over. The texts are lent for
// the call; a row's attributes are AttributesText of its node.
struct TProvisioningRowView {
    uint32_t Depth = 0;
    size_t Node = 0;
    std::string_view Item;
    std::string_view Name;
    std::string_view Value;
    std::string Meaning;
};
void VisitProvisioningRows(const TProvisioningTree& tree,
                           const std::function<void(const TProvisioningRowView&)>& visit);
// How many rows the page has, and row r of them, for writers that ask for a row more than once.
[[nodiscard]] size_t ProvisioningRowCount(const TProvisioningTree& tree);
[[nodiscard]] TProvisioningRowView ProvisioningRowAt(const TProvisioningTree& tree, size_t row);
// A node's attributes as the page shows them: name="value", a space between.
[[nodiscard]] std::string AttributesText(const TNode& node);

// "Provisioning document: 9 security policies, 0 certificates".
[[nodiscard]] std::string ProvisioningHeadline(const TProvisioningSummary& summary);

// A setup read from "_setup.xml" that installs nothing itself: no name, files, shortcuts or
// registry values. Its Project page is about what the provisioning document changes.
[[nodiscard]] bool IsProvisioningOnly(const TCESetup& setup);

// The cabinet's "_setup.xml" read as a provisioning tree with its certificates decoded; false
// when the cabinet has no such entry or it cannot be extracted. Listing errors pass on. With a
// look at the cabinet, its listing and any "_setup.xml" bytes it holds are reused.
// The listing holds a provisioning document, wherever in the cabinet it is filed.
[[nodiscard]] bool HasProvisioningDocument(const TCABFileContents& listing);

[[nodiscard]] bool ReadCabinetProvisioning(TCABFile& cabinet, TProvisioningTree& tree,
                                           TCabinetLook* look = nullptr);
// Its two steps apart, for a reader that takes the bytes now and decodes them elsewhere: the
// "_setup.xml" bytes as they are (false as above; errors pass on), and bytes read as a tree with
// its certificates decoded, or as a root whose note says why not (no memory for it). A reader
// that may be told to stop passes stopped (see DecodeCertificates).
[[nodiscard]] bool ReadCabinetDocument(TCABFile& cabinet, std::vector<uint8_t>& bytes,
                                       TCabinetLook* look = nullptr);
[[nodiscard]] TProvisioningTree ReadDocumentBytes(std::string_view bytes,
                                                  const std::function<bool()>& stopped = {});
[[nodiscard]] TProvisioningTree ReadDocumentBytes(std::vector<uint8_t> bytes,
                                                  const std::function<bool()>& stopped = {});

// What the cabinet's "_setup.xml" adds to the device's certificate stores, for the signature's
// trust statement (Now left empty: the clock's). Empty when there is no document or it cannot
// be read. Never throws.
[[nodiscard]] TTrustContext CabinetTrustContext(TCABFile& cabinet, TCabinetLook* look = nullptr);

} // namespace provisioning
