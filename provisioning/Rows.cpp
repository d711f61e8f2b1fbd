#include "provisioning/Rows.h"

#include "cab/AsciiCase.h"
#include "cab/Streams.h"
#include "provisioning/Meaning.h"
#include "setup/CESetup.h"
#include "setup/SetupFuncs.h"
#include "setup/SetupXML.h"

#include <exception>

namespace provisioning {

std::vector<TProvisioningRow> ProvisioningRows(const TProvisioningTree& tree) {
    std::vector<TProvisioningRow> rows;
    rows.reserve(tree.Nodes.size());
    // The document as a whole shows only when something is wrong with it.
    if (!tree.Nodes.empty() && !tree.Nodes[0].Note.empty()) {
        TProvisioningRow row;
        row.Item = ItemCaption(TNodeKind::Root);
        row.Meaning = "note: " + tree.Nodes[0].Note;
        rows.push_back(std::move(row));
    }
    for (size_t i = 1; i < tree.Nodes.size(); ++i) {
        const TNode& node = tree.Nodes[i];
        TProvisioningRow row;
        row.Depth = node.Depth - 1;
        row.Node = i;
        row.Item = ItemCaption(node.Kind);
        row.Name = node.Kind == TNodeKind::Element || node.Kind == TNodeKind::Document ? node.Tag
                                                                                       : node.Name;
        row.Value = node.Value;
        for (const TAttribute& a : node.Attributes) {
            if (!row.Attributes.empty()) row.Attributes += ' ';
            row.Attributes += a.Name + "=\"" + a.Value + "\"";
        }
        row.Meaning = NodeMeaning(tree, i);
        if (!node.Note.empty()) {
            if (!row.Meaning.empty()) row.Meaning += "; ";
            row.Meaning += "note: " + node.Note;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string ProvisioningHeadline(const TProvisioningSummary& s) {
    auto count = [](int n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    return "Provisioning document: " +
           count(s.SecurityPolicies, "security policy", "security policies") + ", " +
           count(s.Certificates, "certificate", "certificates");
}

bool IsProvisioningOnly(const TCESetup& setup) {
    return setup.Format == kFormatXML && setup.Files.empty() && setup.Shortcuts.empty() &&
           setup.RegValues.empty() && setup.Project.SoftwareName.empty();
}

bool HasProvisioningDocument(const TCABFileContents& listing) {
    for (const TCABFileEntry& entry : listing.Items())
        if (SameTextAscii(DeviceFileNamePart(entry.Name), "_setup.xml")) return true;
    return false;
}

bool ReadCabinetDocument(TCABFile& cabinet, std::vector<uint8_t>& bytes, TCabinetLook* look) {
    TMemoryStream stream;
    TSetupXML handler;
    handler.Look = look;
    if (!handler.FindDescriptor(cabinet, stream)) return false;
    bytes = stream.Data();
    return true;
}

TProvisioningTree ReadDocumentBytes(std::string_view bytes, const std::function<bool()>& stopped) {
    TProvisioningTree tree;
    try {
        tree = ReadProvisioning(bytes);
        DecodeCertificates(tree, stopped);
    } catch (const std::exception& e) {
        // No memory for the tree of a huge document: the setup itself is still shown.
        tree = TProvisioningTree();
        tree.Nodes.emplace_back();
        tree.Nodes[0].End = 1;
        tree.Nodes[0].Note = std::string("the provisioning document cannot be read: ") + e.what();
    }
    return tree;
}

bool ReadCabinetProvisioning(TCABFile& cabinet, TProvisioningTree& tree, TCabinetLook* look) {
    std::vector<uint8_t> bytes;
    if (!ReadCabinetDocument(cabinet, bytes, look)) return false;
    tree = ReadDocumentBytes(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return true;
}

TTrustContext CabinetTrustContext(TCABFile& cabinet, TCabinetLook* look) {
    TTrustContext context;
    try {
        TProvisioningTree tree;
        if (HasProvisioningDocument(cabinet.CABFileContents) &&
            ReadCabinetProvisioning(cabinet, tree, look))
            context.Added = StoreAdditions(tree);
    } catch (const std::exception&) {
        // A listing that fails leaves the statement without what the setup adds.
        context.Added.clear();
    }
    return context;
}

} // namespace provisioning
