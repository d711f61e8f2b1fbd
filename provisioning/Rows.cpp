#include "provisioning/Rows.h"

#include "cab/Streams.h"
#include "provisioning/Meaning.h"
#include "setup/CESetup.h"
#include "setup/SetupXML.h"

namespace provisioning {

std::vector<TProvisioningRow> ProvisioningRows(const TProvisioningTree& tree) {
    std::vector<TProvisioningRow> rows;
    rows.reserve(tree.Nodes.size());
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
            if (!row.Value.empty()) row.Value += ' ';
            row.Value += a.Name + "=\"" + a.Value + "\"";
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

bool ReadCabinetProvisioning(TCABFile& cabinet, TProvisioningTree& tree) {
    TMemoryStream stream;
    TSetupXML handler;
    if (!handler.FindDescriptor(cabinet, stream)) return false;
    const std::vector<uint8_t>& bytes = stream.Data();
    tree = ReadProvisioning(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    DecodeCertificates(tree);
    return true;
}

} // namespace provisioning
