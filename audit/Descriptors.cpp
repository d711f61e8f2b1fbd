#include "audit/Audit.h"

#include "cab/AsciiCase.h"
#include "cab/Streams.h"
#include "cab/TextValues.h"
#include "cab/cabfiles.h"
#include "provisioning/Meaning.h"
#include "provisioning/Rows.h"
#include "setup/CESetup.h"
#include "setup/SetupFuncs.h"
#include "setup/SetupINF.h"
#include "setup/SetupXML.h"

#include <algorithm>
#include <string_view>

namespace {

// The six u16 table counts of a binary descriptor's header begin here: strings, folders,
// files, registry keys, registry values, shortcuts.
constexpr size_t kCountsAt = 48;

uint16_t U16(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::optional<TTableCounts> BinaryCounts(TCABFile& cabinet, TCabinetLook* look) {
    TSetupINF handler;
    handler.Look = look;
    TMemoryStream stream;
    if (!handler.FindDescriptor(cabinet, stream)) return std::nullopt;
    const std::vector<uint8_t>& bytes = stream.Data();
    if (bytes.size() < kCountsAt + 12) return std::nullopt;
    TTableCounts counts;
    counts.Files = U16(bytes, kCountsAt + 4);
    counts.RegKeys = U16(bytes, kCountsAt + 6);
    counts.RegValues = U16(bytes, kCountsAt + 8);
    counts.Shortcuts = U16(bytes, kCountsAt + 10);
    return counts;
}

// The Num* parms of the document's Install characteristic; -1 for one it does not state. Its
// registry keys are not compared: the markup reader keeps no table of keys.
std::optional<TTableCounts> XmlCounts(const provisioning::TProvisioningTree& tree) {
    using provisioning::TNodeKind;
    for (size_t i = 0; i < tree.Nodes.size(); ++i) {
        const provisioning::TNode& install = tree.Nodes[i];
        if (install.Kind != TNodeKind::Characteristic || !SameTextAscii(install.Name, "Install"))
            continue;
        TTableCounts counts{-1, -1, -1, -1};
        bool any = false;
        for (size_t k = i + 1; k < install.End && k < tree.Nodes.size(); ++k) {
            const provisioning::TNode& parm = tree.Nodes[k];
            if (parm.Kind != TNodeKind::Parm || parm.Parent != static_cast<int32_t>(i)) continue;
            const auto value = ParseDecimal32(parm.Value);
            if (!value) continue;
            int64_t* field = SameTextAscii(parm.Name, "NumFiles")       ? &counts.Files
                             : SameTextAscii(parm.Name, "NumRegVals")   ? &counts.RegValues
                             : SameTextAscii(parm.Name, "NumShortcuts") ? &counts.Shortcuts
                                                                        : nullptr;
            if (!field) continue;
            *field = *value;
            any = true;
        }
        return any ? std::optional<TTableCounts>(counts) : std::nullopt;
    }
    return std::nullopt;
}

// A device reads every characteristic of "_setup.xml", those of a provisioning document nested
// in it and those after that document alike; the section reader stops at the first document's
// end. Dropping the nested documents' own tags, their content kept in place, gives the section
// reader what a device reads. Documents nested inside a parm's value stay there.
std::vector<uint8_t> UnwrapNestedDocuments(const std::vector<uint8_t>& bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const std::string lower = LowerCaseAscii(std::string(text));
    constexpr std::string_view kOpen = "<wap-provisioningdoc", kClose = "</wap-provisioningdoc";
    const size_t first = lower.find(kOpen);
    const size_t last = lower.rfind(kClose);
    if (first == std::string::npos || last == std::string::npos || last < first) return bytes;
    std::string out(text.substr(0, first + kOpen.size()));
    size_t at = first + kOpen.size();
    while (true) {
        const size_t next = std::min(lower.find(kOpen, at), lower.find(kClose, at));
        if (next == std::string::npos || next >= last) break;
        const size_t end = lower.find('>', next);
        if (end == std::string::npos || end >= last) break;
        out.append(text.substr(at, next - at));
        at = end + 1;
    }
    out.append(text.substr(at));
    return {out.begin(), out.end()};
}

TDescriptorTables Tables(const TCESetupBase& setup) {
    return {setup.Files, setup.RegPaths, setup.RegValues, setup.Shortcuts};
}

} // namespace

TDescriptorFacts ReadDescriptorFacts(TCESetup& setup, TCABFile& cabinet,
                                     const provisioning::TProvisioningTree* tree,
                                     TCabinetLook* look) {
    TDescriptorFacts facts;
    try {
        if (tree) facts.XmlCounts = XmlCounts(*tree);
        if (setup.Format != kFormatBinary) return facts;
        // Looked up in the listing at hand first: without a look, the reads below list the
        // cabinet again.
        bool haveXml = false;
        for (const TCABFileEntry& entry : cabinet.CABFileContents.Items())
            haveXml = haveXml || SameTextAscii(DeviceFileNamePart(entry.Name), "_setup.xml");
        facts.BinaryCounts = BinaryCounts(cabinet, look);
        if (!haveXml) return facts;
        // A cabinet with both descriptors: the facade read the binary one; read the other.
        auto xml = std::make_unique<TSetupXML>();
        xml->Cabinet = &cabinet;
        xml->Look = look;
        bool loaded = false;
        try {
            TMemoryStream document;
            if (xml->FindDescriptor(cabinet, document)) {
                TMemoryStream unwrapped(UnwrapNestedDocuments(document.Data()));
                loaded = xml->ParseDescriptor(std::string(), &unwrapped);
            }
        } catch (...) {
            loaded = false;
        }
        if (!loaded) return facts;
        facts.Binary = Tables(setup);
        facts.Xml = Tables(*xml);
    } catch (...) {
        // A cabinet that cannot be read again gives what was gathered so far.
    }
    return facts;
}

std::vector<TFinding> AuditCabinet(TCESetup& setup, TCABFile& cabinet,
                                   const std::vector<TProgramRow>* programs,
                                   const TCabinetSignature& signature, TCabinetLook* look) {
    provisioning::TProvisioningTree tree;
    const bool haveTree = provisioning::ReadCabinetProvisioning(cabinet, tree, look);
    return AuditCabinet(setup, cabinet, programs, signature, haveTree ? &tree : nullptr, look);
}

std::vector<TFinding> AuditCabinet(TCESetup& setup, TCABFile& cabinet,
                                   const std::vector<TProgramRow>* programs,
                                   const TCabinetSignature& signature,
                                   const provisioning::TProvisioningTree* tree,
                                   TCabinetLook* look) {
    const TDescriptorFacts facts = ReadDescriptorFacts(setup, cabinet, tree, look);
    // Without a look the reads above list the cabinet again; the listing they leave is the
    // current one.
    TAuditInput input;
    input.Setup = &setup;
    input.Listing = &cabinet.CABFileContents;
    input.Signature = &signature;
    input.Provisioning = tree;
    input.Programs = programs;
    input.Descriptors = &facts;
    return RunAudit(input);
}
