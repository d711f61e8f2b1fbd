#pragma once
// The provisioning page as every front end shows it: a tree page with one node per row, a page
// of rows with the columns item, name, value and meaning, each listed under its node, and a
// page of the decoded certificates. Built from Rows.h, so window and reports cannot drift.
#include "provisioning/Provisioning.h"
#include "report/Page.h"

#include <string_view>

namespace provisioning {

inline constexpr const char* kProvisioningCaption = "Provisioning";
inline constexpr std::string_view kProvisioningColumns[] = {"Item", "Name", "Value", "Attributes",
                                                            "Meaning"};

struct TProvisioningPages {
    TTreePage Tree;     // the document's nodes, parents first
    TPage Rows;         // "Provisioning": one row per tree node, in document order
    TPage Certificates; // "Provisioning Certificates": one row per EncodedCertificate parm
    std::vector<TStoreAddition> Added; // what it adds to the device's stores, for the signature
};

[[nodiscard]] TProvisioningPages BuildProvisioningPages(const TProvisioningTree& tree);

// The certificates page without rows, and one certificate's row, for writers that keep no page:
// a document may hold a hundred thousand of them.
[[nodiscard]] TPage CertificatesPageColumns();
[[nodiscard]] TRow CertificateRow(const TCertificateInfo& certificate);

} // namespace provisioning
