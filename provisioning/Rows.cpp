#include "provisioning/Rows.h"

#include "cab/AsciiCase.h"
#include "cab/Streams.h"
#include "provisioning/Meaning.h"
#include "setup/CESetup.h"
#include "setup/SetupFuncs.h"
#include "setup/SetupXML.h"

#include <exception>

namespace provisioning {

size_t ProvisioningRowCount(const TProvisioningTree& tree) {
    if (tree.Nodes.empty()) return 0;
    return tree.Nodes.size() - 1 + (tree.Nodes[0].Note.empty() ? 0 : 1);
}

TProvisioningRowView ProvisioningRowAt(const TProvisioningTree& tree, size_t row) {
    TProvisioningRowView view;
    // The document as a whole shows only when something is wrong with it.
    const bool documentRow = !tree.Nodes[0].Note.empty();
    if (documentRow && row == 0) {
        view.Item = ItemCaption(TNodeKind::Root);
        view.Meaning = "note: " + tree.Nodes[0].Note;
        return view;
    }
    const size_t i = documentRow ? row : row + 1;
    const TNode& node = tree.Nodes[i];
    view.Depth = node.Depth - 1;
    view.Node = i;
    view.Item = ItemCaption(node.Kind);
    view.Name = node.Kind == TNodeKind::Element || node.Kind == TNodeKind::Document
                    ? std::string_view(node.Tag)
                    : std::string_view(node.Name);
    view.Value = node.Value;
    view.Meaning = NodeMeaning(tree, i);
    if (!node.Note.empty()) {
        if (!view.Meaning.empty()) view.Meaning += "; ";
        view.Meaning += "note: " + node.Note;
    }
    return view;
}

void VisitProvisioningRows(const TProvisioningTree& tree,
                           const std::function<void(const TProvisioningRowView&)>& visit) {
    const size_t rows = ProvisioningRowCount(tree);
    for (size_t r = 0; r < rows; ++r)
        visit(ProvisioningRowAt(tree, r));
}

std::string AttributesText(const TNode& node) {
    std::string text;
    for (const TAttribute& a : node.Attributes) {
        if (!text.empty()) text += ' ';
        text.append(a.Name).append("=\"").append(a.Value).append("\"");
    }
    return text;
}

std::vector<TProvisioningRow> ProvisioningRows(const TProvisioningTree& tree) {
    std::vector<TProvisioningRow> rows;
    rows.reserve(tree.Nodes.size());
    VisitProvisioningRows(tree, [&](const TProvisioningRowView& view) {
        TProvisioningRow& row = rows.emplace_back();
        row.Depth = view.Depth;
        row.Node = view.Node;
        row.Item = view.Item;
        row.Name = view.Name;
        row.Value = view.Value;
        if (view.Node != 0) row.Attributes = AttributesText(tree.Nodes[view.Node]);
        row.Meaning = view.Meaning;
    });
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
    bytes = stream.TakeData();
    return true;
}

TProvisioningTree ReadDocumentBytes(std::string_view bytes, const std::function<bool()>& stopped) {
    return ReadDocumentBytes(std::vector<uint8_t>(bytes.begin(), bytes.end()), stopped);
}

TProvisioningTree ReadDocumentBytes(std::vector<uint8_t> bytes,
                                    const std::function<bool()>& stopped) {
    TProvisioningTree tree;
    try {
        tree = ReadProvisioning(std::move(bytes));
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
    tree = ReadDocumentBytes(std::move(bytes));
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
