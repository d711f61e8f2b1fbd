#pragma once
// The provisioning page as rows: one per node below the root, in document order, with the
// columns item, name, value and meaning, led by a row for the document as a whole when the root
// has a note. Every front end shows these rows.
#include "provisioning/Provisioning.h"

#include <cstdint>
#include <string>
#include <vector>

class TCABFile;
class TCESetup;
class TCabinetLook;

namespace provisioning {

struct TProvisioningRow {
    uint32_t Depth = 0; // 0 for the outermost nodes
    size_t Node = 0;    // index into the tree's nodes
    std::string Item;
    std::string Name;
    std::string Value;
    std::string Meaning; // ends with the node's note, when it has one
};

[[nodiscard]] std::vector<TProvisioningRow> ProvisioningRows(const TProvisioningTree& tree);

// "Provisioning document: 9 security policies, 0 certificates".
[[nodiscard]] std::string ProvisioningHeadline(const TProvisioningSummary& summary);

// A setup read from "_setup.xml" that installs nothing itself: no name, files, shortcuts or
// registry values. Its Project page is about what the provisioning document changes.
[[nodiscard]] bool IsProvisioningOnly(const TCESetup& setup);

// The cabinet's "_setup.xml" read as a provisioning tree with its certificates decoded; false
// when the cabinet has no such entry or it cannot be extracted. Listing errors pass on. With a
// look at the cabinet, its listing and any "_setup.xml" bytes it holds are reused.
[[nodiscard]] bool ReadCabinetProvisioning(TCABFile& cabinet, TProvisioningTree& tree,
                                           TCabinetLook* look = nullptr);

} // namespace provisioning
