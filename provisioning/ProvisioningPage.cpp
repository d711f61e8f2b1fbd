#include "provisioning/ProvisioningPage.h"

#include "provisioning/Rows.h"

#include <iterator>

namespace provisioning {

TPage CertificatesPageColumns() {
    TPage page;
    page.Caption = "Provisioning Certificates";
    for (const char* caption :
         {"Store", "Filed Under", "Subject", "Issuer", "Serial", "Valid From", "Valid To",
          "Thumbprint (SHA-1)", "Thumbprint Is Name", "Public Key", "Self-signed", "Note"})
        page.Columns.push_back({caption, 120});
    return page;
}

TRow CertificateRow(const TCertificateInfo& c) {
    TRow row;
    row.Source = c.Node;
    row.Record = {{"store", c.Store}, {"storedUnder", c.StoredUnder}, {"decoded", c.Decoded}};
    const std::string key =
        c.Decoded ? c.KeyType + " " + std::to_string(c.KeyBits) + " bits" : std::string();
    if (c.Decoded) {
        row.Record.insert(row.Record.end(), {{"subject", c.Subject},
                                             {"issuer", c.Issuer},
                                             {"serial", c.Serial},
                                             {"notBefore", c.NotBefore},
                                             {"notAfter", c.NotAfter},
                                             {"thumbprint", c.Thumbprint},
                                             {"thumbprintMatchesName", c.ThumbprintMatches},
                                             {"keyType", c.KeyType},
                                             {"keyBits", int64_t{c.KeyBits}},
                                             {"selfSigned", c.SelfSigned}});
        // What was not checked of a decoded certificate, so that "selfSigned" false is not read
        // as a failed check.
        if (!c.Note.empty()) row.Record.push_back({"note", c.Note});
    } else {
        row.Record.push_back({"note", c.Note});
    }
    const auto yesNo = [&](bool flag) { return c.Decoded ? (flag ? "Yes" : "No") : ""; };
    for (std::string text : {c.Store, c.StoredUnder, c.Subject, c.Issuer, c.Serial, c.NotBefore,
                             c.NotAfter, c.Thumbprint, std::string(yesNo(c.ThumbprintMatches)), key,
                             std::string(yesNo(c.SelfSigned)), c.Note})
        row.Cells.push_back(TextCell(std::move(text)));
    return row;
}

TProvisioningPages BuildProvisioningPages(const TProvisioningTree& tree) {
    TProvisioningPages pages;
    pages.Added = StoreAdditions(tree);
    pages.Tree.Caption = kProvisioningCaption;
    pages.Rows.Caption = kProvisioningCaption;
    // Narrow enough that the meaning shows in a window of the usual size; a cut text has its
    // whole in the tool tip and the details pane.
    const int widths[] = {150, 130, 100, 100, 300};
    for (size_t c = 0; c < std::size(widths); ++c)
        pages.Rows.Columns.push_back({std::string(kProvisioningColumns[c]), widths[c]});
    std::vector<TProvisioningRow> rows = ProvisioningRows(tree);
    // The page node of each provisioning node. The root has none: its nodes are the top level
    // (the root's own row, shown when it has a note, stands beside them).
    std::vector<size_t> pageNode(tree.Nodes.size(), kNoNode);
    pages.Rows.Rows.reserve(rows.size());
    pages.Tree.Nodes.reserve(rows.size());
    for (TProvisioningRow& r : rows) {
        const TNode& node = tree.Nodes[r.Node];
        const size_t parent = node.Parent < 0 ? kNoNode : pageNode[size_t(node.Parent)];
        std::string caption = r.Item;
        if (!r.Name.empty()) caption += " " + r.Name;
        const size_t index = pages.Tree.Add(parent, std::move(caption), TIconKind::None);
        pages.Tree.Nodes[index].Expanded = r.Depth < 3;
        if (r.Node != 0) pageNode[r.Node] = index;
        TRow row;
        row.Source = r.Node;
        row.Node = index;
        row.Record = {{"depth", int64_t{r.Depth}},
                      {"item", r.Item},
                      {"name", r.Name},
                      {"value", r.Value},
                      {"meaning", r.Meaning}};
        // The record's value stays exact; JSON writes the attributes from the tree's node.
        row.Cells = {TextCell(std::move(r.Item)), TextCell(std::move(r.Name)),
                     TextCell(std::move(r.Value)), TextCell(std::move(r.Attributes)),
                     TextCell(std::move(r.Meaning))};
        pages.Tree.Nodes[index].Rows.push_back(pages.Rows.Rows.size());
        pages.Rows.Rows.push_back(std::move(row));
    }
    pages.Certificates = CertificatesPageColumns();
    pages.Certificates.Rows.reserve(tree.Certificates.size());
    for (const TCertificateInfo& certificate : tree.Certificates)
        pages.Certificates.Rows.push_back(CertificateRow(certificate));
    return pages;
}

} // namespace provisioning
