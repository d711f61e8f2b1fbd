// The audit's rules: each a small function over the input, and one table naming them with
// their severities. The registry places of the code rules are in CodeKeys.cpp with sources;
// the security policies' meanings come from provisioning/SecurityPolicies.cpp.
#include "audit/Audit.h"
#include "audit/CodeKeys.h"

#include "cab/AsciiCase.h"
#include "cab/TextValues.h"
#include "cab/cabfiles.h"
#include "provisioning/Meaning.h"
#include "report/DisplayFormat.h"
#include "setup/CESetup.h"
#include "setup/SetupFuncs.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <string_view>
#include <tuple>
#include <unordered_set>

using provisioning::TNode;
using provisioning::TNodeKind;

namespace {

// Copy flag: the file replaces the device's copy whatever their dates.
constexpr uint32_t kFlagIgnoreDate = 0x40000000;
// More differences between the two descriptors than this are summed up in one finding.
constexpr size_t kMaxDifferences = 20;

void Add(TFindingList& out, std::string title, std::string where, std::string why,
         TFindingPage page = TFindingPage::None, size_t row = 0) {
    TFinding& f = out.emplace_back();
    f.Title = std::move(title);
    f.Where = std::move(where);
    f.Why = std::move(why);
    f.Page = page;
    f.Row = row;
}

std::string Or(const std::string& text, const std::string& otherwise) {
    return text.empty() ? otherwise : text;
}

std::string FilePlace(const std::string& dir, const std::string& name) {
    return IncludeBackslash(dir) + name;
}

// Whether the device folder lies in the named folder or below it, in macro or plain form.
bool InFolder(const std::string& dir, std::initializer_list<std::string_view> folders) {
    for (const std::string_view folder : folders) {
        if (dir.size() < folder.size() || !SameTextAscii(dir.substr(0, folder.size()), folder))
            continue;
        if (dir.size() == folder.size() || dir[folder.size()] == '\\') return true;
    }
    return false;
}

bool InStartUpFolder(const std::string& dir) {
    return InFolder(dir, {"%StartUpDir%", "%CE4%", "\\Windows\\StartUp"});
}

bool InWindowsFolder(const std::string& dir) {
    return InFolder(dir, {"%WinDir%", "%CE2%", "\\Windows"}) && !InStartUpFolder(dir);
}

// ---- Signature

void NotSigned(const TAuditInput& in, TFindingList& out) {
    if (in.Signature && in.Signature->Verdict == TSignatureVerdict::NotSigned)
        Add(out, "", "Cabinet",
            "Nothing shows who made the cabinet or that it is unchanged; a device that requires "
            "signed cabinets refuses it or installs it with fewer rights.",
            TFindingPage::Signature);
}

void SignatureBroken(const TAuditInput& in, TFindingList& out) {
    if (!in.Signature) return;
    const TCabinetSignature& s = *in.Signature;
    if (s.Verdict == TSignatureVerdict::Modified)
        Add(out, "Cabinet was changed after signing", "Cabinet signature",
            "The bytes are no longer the ones signed (" + s.Reason +
                "), so the signature vouches for nothing.",
            TFindingPage::Signature);
    else if (s.Verdict == TSignatureVerdict::Unreadable)
        Add(out, "Signature cannot be read", "Cabinet signature",
            "The signature is damaged (" + s.Reason + "), so nothing vouches for the cabinet.",
            TFindingPage::Signature);
}

void TestCertificate(const TAuditInput& in, TFindingList& out) {
    if (in.Signature && in.Signature->Verdict != TSignatureVerdict::NotSigned &&
        in.Signature->TestCertificate)
        Add(out, "", Or(in.Signature->SignerName(), "Cabinet signature"),
            "Test certificates come with the development kits, keys included, so anyone can "
            "sign with them; they prove nothing about the maker.",
            TFindingPage::Signature);
}

void CertificateDates(const TAuditInput& in, TFindingList& out) {
    if (!in.Signature || in.Signature->Verdict == TSignatureVerdict::NotSigned) return;
    const TCabinetSignature& s = *in.Signature;
    const bool atSigning = !s.SigningTime.empty();
    const std::string at = atSigning ? s.SigningTime : in.Now.empty() ? UtcNowText() : in.Now;
    for (const crypto::TCertificate& c : s.Certificates) {
        // The texts are "YYYY-MM-DD HH:MM:SS", which order as they compare.
        if (c.NotBefore.empty() || c.NotAfter.empty()) continue;
        if (at >= c.NotBefore && at <= c.NotAfter) continue;
        Add(out, "", Or(c.CommonName.empty() ? c.Subject : c.CommonName, "Certificate " + c.Serial),
            (at > c.NotAfter ? "The certificate expired on " + c.NotAfter
                             : "The certificate is valid only from " + c.NotBefore) +
                (atSigning ? ", and the cabinet was signed on " + at : std::string()) +
                "; a device that checks dates does not trust it.",
            TFindingPage::Signature);
    }
}

// ---- Code that runs by itself

void SetupDll(const TAuditInput& in, TFindingList& out) {
    const std::vector<size_t> entries = SetupDllEntries(*in.Listing);
    // Its Programs row is known before the programs are read: the setup DLLs follow the files.
    for (size_t n = 0; n < entries.size(); ++n)
        Add(out, "", in.Listing->Items()[entries[n]].Name,
            "The setup DLL runs on the device with the installer's rights during "
            "installation and removal, before the user sees what it does.",
            TFindingPage::Programs, SetupDllRow(in.Setup->Files.size(), n));
}

void StartUpFolder(const TAuditInput& in, TFindingList& out) {
    const TCESetup& setup = *in.Setup;
    for (size_t i = 0; i < setup.Files.size(); ++i)
        if (InStartUpFolder(setup.Files[i].Dir))
            Add(out, "File placed in the StartUp folder",
                FilePlace(setup.Files[i].Dir, setup.Files[i].Name),
                "Everything in the StartUp folder is started at every boot.", TFindingPage::Files,
                i);
    for (size_t i = 0; i < setup.Shortcuts.size(); ++i)
        if (InStartUpFolder(setup.Shortcuts[i].Folder))
            Add(out, "Shortcut placed in the StartUp folder",
                FilePlace(setup.Shortcuts[i].Folder, setup.Shortcuts[i].Name) + " -> " +
                    setup.Shortcuts[i].FileName,
                "Everything in the StartUp folder is started at every boot.",
                TFindingPage::Shortcuts, i);
}

// Self-registration calls the file's own registration entry point during installation.
constexpr char kSelfRegisterWhy[] =
    "The installer registers this file by running its own registration code on the device, "
    "with the installer's rights, before the user has started anything.";

// "FileOperation\<folder>\<file>\Extract\SelfRegister": the file characteristic two levels up.
const TNode* SelfRegisteredFile(const provisioning::TProvisioningTree& tree, const TNode& parm,
                                const TNode*& folder);

void SelfRegistering(const TAuditInput& in, TFindingList& out) {
    const TCESetup& setup = *in.Setup;
    // The two descriptors name folders differently ("%WinDir%", "%CE2%"): files compare by name.
    std::set<std::string> names;
    for (size_t i = 0; i < setup.Files.size(); ++i) {
        if (!(static_cast<uint32_t>(setup.Files[i].Flags) & kFlagSelfRegister)) continue;
        names.insert(LowerCaseAscii(setup.Files[i].Name));
        Add(out, "", FilePlace(setup.Files[i].Dir, setup.Files[i].Name), kSelfRegisterWhy,
            TFindingPage::Files, i);
    }
    // What "_setup.xml" registers and the binary descriptor does not flag.
    if (!in.Provisioning) return;
    const auto& tree = *in.Provisioning;
    for (size_t i = 0; i < tree.Nodes.size(); ++i) {
        const TNode& node = tree.Nodes[i];
        if (node.Kind != TNodeKind::Parm || !SameTextAscii(node.Name, "SelfRegister")) continue;
        const TNode* folder = nullptr;
        const TNode* file = SelfRegisteredFile(tree, node, folder);
        if (!file) continue;
        if (!names.insert(LowerCaseAscii(file->Name)).second) continue;
        Add(out, "", FilePlace(folder->Name, file->Name), kSelfRegisterWhy,
            TFindingPage::Provisioning, i);
    }
}

std::string ValuePlace(const TCEINFRegValue& v) {
    std::string data = v.Data.size() > 80 ? v.Data.substr(0, 80) + "..." : v.Data;
    // The readers name the default value "", "Default" or "DEFAULT".
    const bool isDefault = v.Name.empty() || SameTextAscii(v.Name, "Default");
    return RegistryRootName(v.Root) + "\\" + v.KeyPath + ": " + (isDefault ? "Default" : v.Name) +
           " = " + data;
}

void CodeValues(const TAuditInput& in, TFindingList& out, bool byItself) {
    const TCESetup& setup = *in.Setup;
    for (size_t i = 0; i < setup.RegValues.size(); ++i) {
        const TCEINFRegValue& v = setup.RegValues[i];
        const TCodeKey* key = FindCodeKey(v.Root, v.KeyPath, v.Name);
        if (key && key->RunsByItself == byItself)
            Add(out, "", ValuePlace(v), key->Why, TFindingPage::Registry, i);
    }
}

void BootRegistry(const TAuditInput& in, TFindingList& out) {
    CodeValues(in, out, true);
}
void ComponentRegistry(const TAuditInput& in, TFindingList& out) {
    CodeValues(in, out, false);
}

// ---- Trust and policy

const TNode* Parent(const provisioning::TProvisioningTree& tree, const TNode& node) {
    return node.Parent >= 0 && static_cast<size_t>(node.Parent) < tree.Nodes.size()
               ? &tree.Nodes[static_cast<size_t>(node.Parent)]
               : nullptr;
}

// "CertificateStore\ROOT\<thumbprint>": the names of the node and the characteristics above it.
std::string NodePath(const provisioning::TProvisioningTree& tree, size_t index) {
    std::vector<const TNode*> chain;
    for (const TNode* n = &tree.Nodes[index]; n && chain.size() < 64; n = Parent(tree, *n))
        if (n->Kind != TNodeKind::Root && n->Kind != TNodeKind::Document) chain.push_back(n);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        path += (path.empty() ? "" : "\\") + (*it)->Name;
    return path;
}

bool IsTrustStore(std::string_view name) {
    for (const std::string_view store : {"Privileged Execution Trust Authorities",
                                         "Unprivileged Execution Trust Authorities", "SPC", "ROOT"})
        if (SameTextAscii(name, store)) return true;
    return false;
}

// The trust store a node lies in (below "CertificateStore"), or null.
const TNode* TrustStoreOf(const provisioning::TProvisioningTree& tree, const TNode& node) {
    const TNode* below = nullptr;
    for (const TNode* n = Parent(tree, node); n; below = n, n = Parent(tree, *n))
        if (n->Kind == TNodeKind::Characteristic && SameTextAscii(n->Name, "CertificateStore"))
            return below && IsTrustStore(below->Name) ? below : nullptr;
    return nullptr;
}

void CertificateStores(const TAuditInput& in, TFindingList& out) {
    if (!in.Provisioning) return;
    const auto& tree = *in.Provisioning;
    for (size_t i = 0; i < tree.Nodes.size(); ++i) {
        const TNode& node = tree.Nodes[i];
        const bool added =
            node.Kind == TNodeKind::Parm && SameTextAscii(node.Name, "EncodedCertificate");
        const bool removed = node.Kind == TNodeKind::NoCharacteristic;
        if (!added && !removed) continue;
        const TNode* store = TrustStoreOf(tree, node);
        if (!store) continue;
        std::string who;
        if (node.Certificate >= 0 &&
            static_cast<size_t>(node.Certificate) < tree.Certificates.size())
            who = tree.Certificates[static_cast<size_t>(node.Certificate)].Subject;
        const std::string caption(provisioning::CertificateStoreCaption(store->Name));
        Add(out,
            std::string(added ? "Certificate added to " : "Certificate removed from ") +
                store->Name,
            NodePath(tree, i),
            std::string(added ? "The device will trust " : "The device will no longer trust ") +
                (who.empty() ? "this certificate" : who) + " as one of its " +
                (caption.empty() ? store->Name : caption) + ".",
            TFindingPage::Provisioning, i);
    }
}

const TNode* SelfRegisteredFile(const provisioning::TProvisioningTree& tree, const TNode& parm,
                                const TNode*& folder) {
    const TNode* extract = Parent(tree, parm);
    if (!extract || !SameTextAscii(extract->Name, "Extract")) return nullptr;
    const TNode* file = Parent(tree, *extract);
    folder = file ? Parent(tree, *file) : nullptr;
    const TNode* operation = folder ? Parent(tree, *folder) : nullptr;
    if (!operation || operation->Kind != TNodeKind::Characteristic ||
        !SameTextAscii(operation->Name, "FileOperation"))
        return nullptr;
    return file;
}

// A certificate of the signature's own chain, or the issuer it names but does not carry.
std::string ChainRole(const TCabinetSignature& s, const provisioning::TCertificateInfo& c) {
    for (const int index : s.Chain.Path)
        if (SameTextAscii(s.Certificates[size_t(index)].Thumbprint, c.Thumbprint))
            return index == s.SignerIndex ? "the certificate that signed this cabinet"
                                          : "an issuer of this cabinet's signing certificate";
    if (s.Chain.End == TChainEnd::IssuerMissing && c.Subject == s.Chain.MissingIssuer)
        return "the issuer this cabinet's signing certificate names (by name)";
    return {};
}

void SelfVouching(const TAuditInput& in, TFindingList& out) {
    if (!in.Signature || !in.Provisioning || in.Signature->Verdict == TSignatureVerdict::NotSigned)
        return;
    const auto& tree = *in.Provisioning;
    for (const provisioning::TCertificateInfo& c : tree.Certificates) {
        if (!c.Decoded || c.Node >= tree.Nodes.size()) continue;
        const TNode* store = TrustStoreOf(tree, tree.Nodes[c.Node]);
        if (!store) continue;
        const std::string role = ChainRole(*in.Signature, c);
        if (role.empty()) continue;
        Add(out, "", NodePath(tree, c.Node),
            "The setup adds " + c.Subject + ", " + role + ", to the device's " + store->Name +
                " store: installing it makes the device trust what that certificate signs, so "
                "the signature vouches only for itself, not for its maker.",
            TFindingPage::Provisioning, c.Node);
    }
}

void TestCertificateAdded(const TAuditInput& in, TFindingList& out) {
    if (!in.Provisioning) return;
    const auto& tree = *in.Provisioning;
    for (const provisioning::TCertificateInfo& c : tree.Certificates) {
        if (!c.Decoded || c.Node >= tree.Nodes.size()) continue;
        if (!NamesTestCertificate(c.Subject) && !NamesTestCertificate(c.Issuer)) continue;
        Add(out, "", NodePath(tree, c.Node),
            "The device will trust " + c.Subject +
                ", a test certificate whose key comes with a "
                "development kit: anyone can sign with it.",
            TFindingPage::Provisioning, c.Node);
    }
}

bool HasRole(uint32_t mask, uint32_t roles) {
    return (mask & roles) != 0;
}

// Whether a policy's value lowers the device's protection below its locked-down setting.
bool LowersProtection(uint32_t id, uint32_t value) {
    constexpr uint32_t kManager = 8, kUserAuth = 16;
    switch (id) {
    case 2: // Auto Run: 0 lets storage cards start programs
        return value == 0;
    case 4097: // RAPI: 1 is full remote access
    case 4102: // Unsigned Applications: 1 lets them run
    case 4122: // Unsigned Prompt: 1 asks nobody
    case 4123: // PrivilegedApps: 1 makes every program privileged
    case 4131: // Password Required: 1 requires none
        return value == 1;
    case 4101: // Unsigned CABS
    case 4103: // Unsigned Themes: installed with the Manager's or an authenticated user's role
        return HasRole(value, kManager | kUserAuth);
    case 4119: // Grant Manager
    case 4120: // Grant User Authenticated: any role granted
        return value != 0;
    default:
        return false;
    }
}

void SecurityPolicies(const TAuditInput& in, TFindingList& out) {
    if (!in.Provisioning) return;
    const auto& tree = *in.Provisioning;
    for (size_t i = 0; i < tree.Nodes.size(); ++i) {
        const TNode& node = tree.Nodes[i];
        if (node.Kind != TNodeKind::Parm) continue;
        const TNode* parent = Parent(tree, node);
        if (!parent || parent->Kind != TNodeKind::Characteristic ||
            !SameTextAscii(parent->Name, "SecurityPolicy"))
            continue;
        const auto id = ParseDecimal32(node.Name);
        const auto value = ParseDecimal32(node.Value);
        if (!id || !value || !LowersProtection(*id, *value)) continue;
        const provisioning::TSecurityPolicy* policy = provisioning::FindSecurityPolicy(*id);
        Add(out, "Security policy lowered: " + std::string(policy ? policy->Name : node.Name),
            NodePath(tree, i) + " = " + node.Value,
            provisioning::SecurityPolicyMeaning(node.Name, node.Value, true) + ".",
            TFindingPage::Provisioning, i);
    }
}

// ---- System changes

void WindowsFolder(const TAuditInput& in, TFindingList& out) {
    const TCESetup& setup = *in.Setup;
    for (size_t i = 0; i < setup.Files.size(); ++i)
        if (InWindowsFolder(setup.Files[i].Dir))
            Add(out, "", FilePlace(setup.Files[i].Dir, setup.Files[i].Name),
                "The Windows folder holds the system's own files; a file written there can "
                "replace one of them or be loaded by other programs.",
                TFindingPage::Files, i);
}

void SharedFiles(const TAuditInput& in, TFindingList& out) {
    const TCESetup& setup = *in.Setup;
    for (size_t i = 0; i < setup.Files.size(); ++i)
        if (static_cast<uint32_t>(setup.Files[i].Flags) & kFlagShared)
            Add(out, "", FilePlace(setup.Files[i].Dir, setup.Files[i].Name),
                "A shared file is counted, not owned: removing this setup leaves it on the "
                "device while another setup counts it.",
                TFindingPage::Files, i);
}

void OverwriteNewer(const TAuditInput& in, TFindingList& out) {
    const TCESetup& setup = *in.Setup;
    for (size_t i = 0; i < setup.Files.size(); ++i)
        if (static_cast<uint32_t>(setup.Files[i].Flags) & kFlagIgnoreDate)
            Add(out, "", FilePlace(setup.Files[i].Dir, setup.Files[i].Name),
                "Its flags say to ignore dates, so it replaces the device's copy even when that "
                "copy is newer.",
                TFindingPage::Files, i);
}

// ---- Consistency

void CpuMismatches(const TAuditInput& in, TFindingList& out) {
    if (!in.Programs) return;
    for (const TProgramRow& row : *in.Programs)
        if (!row.Mismatch.empty())
            Add(out, "", FilePlace(row.Folder, row.Name),
                row.Mismatch + ", but this program is " + MachineName(row.Image().Machine) +
                    ": it cannot run there.",
                TFindingPage::Programs, row.Index);
}

void MissingEntries(const TAuditInput& in, TFindingList& out) {
    const auto entries = in.Setup->FindCabEntries(*in.Listing);
    for (size_t i = 0; i < entries.size() && i < in.Setup->Files.size(); ++i)
        if (!entries[i])
            Add(out, "", FilePlace(in.Setup->Files[i].Dir, in.Setup->Files[i].Name),
                "The descriptor lists this file but the cabinet holds no entry for it: the "
                "installation fails or leaves it out.",
                TFindingPage::Files, i);
}

bool IsDescriptorOrSetupDll(const std::string& name) {
    if (SameTextAscii(DeviceFileNamePart(name), "_setup.xml")) return true;
    if (name.size() < 4 || name[name.size() - 4] != '.') return false;
    const std::string_view ext = std::string_view(name).substr(name.size() - 3);
    return ext == "000" || ext == "999";
}

void UnusedEntries(const TAuditInput& in, TFindingList& out) {
    const auto& items = in.Listing->Items();
    std::vector<bool> used(items.size(), false);
    for (const int index : in.Setup->RowEntries(*in.Listing))
        if (index >= 0 && static_cast<size_t>(index) < used.size())
            used[static_cast<size_t>(index)] = true;
    // The names rows resolve to are looked up only for entries no row took by number: in most
    // setups there are none.
    std::vector<size_t> unclaimed;
    for (size_t i = 0; i < items.size(); ++i)
        if (!used[i] && !IsDescriptorOrSetupDll(items[i].Name)) unclaimed.push_back(i);
    if (unclaimed.empty()) return;
    const auto found = in.Setup->FindCabEntries(*in.Listing);
    std::unordered_set<std::string_view> usedNames;
    for (const auto& entry : found)
        if (entry) usedNames.insert(entry->Name);
    for (const size_t i : unclaimed) {
        if (usedNames.count(items[i].Name)) continue;
        Add(out, "", items[i].Name,
            "No file row, descriptor or setup DLL uses this entry: the setup never installs it, "
            "and nothing here shows what it is for.");
    }
}

void CompareCounts(const char* descriptor, const TTableCounts& stated,
                   const TDescriptorTables& tables, TFindingList& out) {
    const std::tuple<const char*, int64_t, size_t> rows[] = {
        {"files", stated.Files, tables.Files.size()},
        {"registry keys", stated.RegKeys, tables.RegPaths.size()},
        {"registry values", stated.RegValues, tables.RegValues.size()},
        {"shortcuts", stated.Shortcuts, tables.Shortcuts.size()},
    };
    for (const auto& [what, count, have] : rows) {
        if (count < 0 || static_cast<size_t>(count) == have) continue;
        Add(out, "", std::string(descriptor) + ": " + what,
            "The descriptor states " + std::to_string(count) + " " + what + " but " +
                std::to_string(have) + " are read from it: it is damaged, or the device's " +
                "installer reads it otherwise than this viewer does.");
    }
}

TDescriptorTables ModelTables(const TCESetup& setup) {
    return {setup.Files, setup.RegPaths, setup.RegValues, setup.Shortcuts};
}

void DescriptorCounts(const TAuditInput& in, TFindingList& out) {
    if (!in.Descriptors) return;
    const TDescriptorFacts& d = *in.Descriptors;
    const TCESetup& setup = *in.Setup;
    if (d.BinaryCounts && setup.Format == kFormatBinary)
        CompareCounts("Binary descriptor", *d.BinaryCounts, ModelTables(setup), out);
    if (d.XmlCounts) {
        if (setup.Format == kFormatXML)
            CompareCounts("_setup.xml", *d.XmlCounts, ModelTables(setup), out);
        else if (d.Xml)
            CompareCounts("_setup.xml", *d.XmlCounts, *d.Xml, out);
    }
}

// Items of one table as keys that compare across the two readers.
template <class Row, class KeyOf>
void CompareTable(const char* what, const std::vector<Row>& binary, const std::vector<Row>& xml,
                  KeyOf keyOf, TFindingList& out, size_t& reported) {
    // Device paths and keys compare without letter case, as the device compares them.
    const auto key = [&](const Row& row) { return LowerCaseAscii(keyOf(row)); };
    std::multiset<std::string> inXml;
    for (const Row& row : xml)
        inXml.insert(key(row));
    std::multiset<std::string> inBinary;
    for (const Row& row : binary)
        inBinary.insert(key(row));
    auto report = [&](const std::string& key, const char* onlyIn) {
        if (reported++ >= kMaxDifferences) return;
        Add(out, "", std::string(what) + ": " + key,
            std::string("Only the ") + onlyIn +
                " has it: a device installs one descriptor or the other, so what it gets "
                "depends on its version.");
    };
    for (const Row& row : binary)
        if (auto it = inXml.find(key(row)); it != inXml.end())
            inXml.erase(it);
        else
            report(keyOf(row), "binary descriptor");
    for (const Row& row : xml)
        if (auto it = inBinary.find(key(row)); it != inBinary.end())
            inBinary.erase(it);
        else
            report(keyOf(row), "_setup.xml");
}

void DescriptorsDiffer(const TAuditInput& in, TFindingList& out) {
    if (!in.Descriptors || !in.Descriptors->Binary || !in.Descriptors->Xml) return;
    const TDescriptorTables& b = *in.Descriptors->Binary;
    const TDescriptorTables& x = *in.Descriptors->Xml;
    size_t reported = 0;
    CompareTable(
        "File", b.Files, x.Files, [](const TCEINFFile& f) { return FilePlace(f.Dir, f.Name); }, out,
        reported);
    CompareTable(
        "Shortcut", b.Shortcuts, x.Shortcuts,
        [](const TCEINFShortcut& s) { return FilePlace(s.Folder, s.Name) + " -> " + s.FileName; },
        out, reported);
    CompareTable(
        "Registry value", b.RegValues, x.RegValues,
        [](const TCEINFRegValue& v) {
            // Binary data is written in each reader's own encoding; only the place compares.
            const bool comparable = v.DataType == kTypeString || v.DataType == kTypeInteger;
            return ValuePlace(comparable ? v
                                         : TCEINFRegValue{v.Id, v.Root, v.KeyPath, v.DataType,
                                                          v.Name, "(binary)", 0});
        },
        out, reported);
    if (reported > kMaxDifferences)
        Add(out, "", "Both descriptors",
            std::to_string(reported - kMaxDifferences) + " more differences are not listed.");
}

// clang-format off
constexpr TAuditRule kRules[] = {
    {"not-signed", TSeverity::Notice, "Signature", "Cabinet is not signed", NotSigned,
     "Nothing shows who made the cabinet or that it is the one its maker shipped. A device that requires signed cabinets refuses it or installs it with fewer rights. Check where the cabinet came from and whether its maker publishes a signed one.",
     "rule-not-signed"},
    {"signature-broken", TSeverity::Warning, "Signature", "Cabinet was changed after signing", SignatureBroken,
     "The cabinet carries a signature, but its bytes no longer match what was signed, or the signature cannot be read at all. Someone or something changed the cabinet after signing. Do not install it; get the cabinet again from its maker.",
     "rule-signature-broken"},
    {"test-certificate", TSeverity::Warning, "Signature", "Signed with a test certificate", TestCertificate,
     "The signer's certificate is a development or test certificate (SDK sample roots and the like), which anyone can sign with. Such a signature proves nothing about the maker. Check that the setup is not a developer build that escaped into distribution.",
     "rule-test-certificate"},
    {"certificate-dates", TSeverity::Warning, "Signature", "Certificate outside its validity dates", CertificateDates,
     "A certificate of the signature was not valid at the time of signing (or now, when the signature names no time): expired or not yet valid. A device checking the chain may refuse it. Check the dates on the Signature page and whether the maker signed again.",
     "rule-certificate-dates"},
    {"setup-dll", TSeverity::Warning, "Code that runs by itself", "Setup DLL runs during install and removal", SetupDll,
     "The setup carries a setup DLL, a program that the device runs with the installer's rights before and after installing and removing. What it does is not shown by the descriptor. Check the DLL on the Programs page and whether the maker documents it.",
     "rule-setup-dll"},
    {"startup-folder", TSeverity::Warning, "Code that runs by itself", "Placed in the StartUp folder", StartUpFolder,
     "A file or shortcut in the StartUp folder runs every time the device starts, without the user asking. Check that the program is meant to run at start (a service, a tray helper) and is one of the setup's own.",
     "rule-startup-folder"},
    {"self-registering", TSeverity::Warning, "Code that runs by itself", "File registers itself: its code runs at install", SelfRegistering,
     "The file is marked to register itself: the device loads it and runs its registration code while installing, with the installer's rights, before anyone starts the program. Check what the file is (an ActiveX control or COM server) and that it is the setup's own.",
     "rule-self-registering"},
    {"boot-registry", TSeverity::Warning, "Code that runs by itself", "Registry value starts code at boot or on a device event", BootRegistry,
     "The registry value makes the device start code by itself: at boot, as a driver or service, or on a device event. Such code runs without the user asking. Check the value on the Registry page against what the program is documented to do.",
     "rule-boot-registry"},
    {"component-registry", TSeverity::Notice, "Code that runs by itself", "Registry value registers a component", ComponentRegistry,
     "The registry value registers code that other programs load when they ask for it: a COM server, a shell extension, a Today item, a file-type command. It runs inside other programs. Check that the component is the setup's own and documented.",
     "rule-component-registry"},
    {"certificate-store", TSeverity::Warning, "Trust and policy", "Trusted certificates changed", CertificateStores,
     "The setup adds certificates to the device's trusted stores or removes some from them. A certificate added to a root or privileged store lets whatever it signs in with more trust. Check each certificate on the Provisioning page and who issued it.",
     "rule-certificate-store"},
    {"self-vouching", TSeverity::Warning, "Trust and policy", "The setup vouches for itself", SelfVouching,
     "The setup adds to the device's trusted stores the very certificate that signed it (or one of its chain): once installed, the device trusts whatever that signer signs, on the setup's own word. Check who the signer is by other means before letting the setup decide it.",
     "rule-self-vouching"},
    {"test-certificate-added", TSeverity::Warning, "Trust and policy", "Test certificate added to a store", TestCertificateAdded,
     "The setup adds a development or test certificate (one marked for testing, such as SDK sample roots) to a trusted store. Anyone can sign with such a key, so the device would then trust code from anyone. Such setups belong on development devices only.",
     "rule-test-certificate-added"},
    {"security-policy", TSeverity::Warning, "Trust and policy", "Security policy lowered", SecurityPolicies,
     "A provisioned security policy lowers the device's protection: unsigned cabinets or programs let in, the prompt turned off, remote access opened, roles granted, or the device password dropped. Check the policy on the Provisioning page and whether the device's owner wants it.",
     "rule-security-policy"},
    {"windows-folder", TSeverity::Notice, "System changes", "File written into the Windows folder", WindowsFolder,
     "The file is written into the Windows folder, where system files live; it may replace one of them or be loaded in their place. Check that the file is the setup's own and not a system component of another version.",
     "rule-windows-folder"},
    {"overwrite-newer", TSeverity::Notice, "System changes", "File overwrites newer copies", OverwriteNewer,
     "The file's copy flags replace the device's copy whatever their dates, so an older file can overwrite a newer one that other programs rely on. Check the file's version against what the device carries.",
     "rule-overwrite-newer"},
    {"shared-file", TSeverity::Info, "System changes", "Shared file stays after removal", SharedFiles,
     "The file is marked shared: removing the setup leaves it on the device. Check that leaving it is intended (a runtime other setups use), since it stays after the program is gone.",
     "rule-shared-file"},
    {"cpu-mismatch", TSeverity::Warning, "Consistency", "Program built for another CPU", CpuMismatches,
     "A program of the setup is built for a CPU other than the setup's processor or its other programs. It will not run on the intended device. Check that the cabinet is the build for the device at hand.",
     "rule-cpu-mismatch"},
    {"missing-entry", TSeverity::Warning, "Consistency", "File has no cabinet entry", MissingEntries,
     "The descriptor names a file that the cabinet does not hold. The install fails or leaves the program incomplete. Check that the cabinet is whole and not cut or repacked.",
     "rule-missing-entry"},
    {"unused-entry", TSeverity::Notice, "Consistency", "Cabinet entry nobody uses", UnusedEntries,
     "The cabinet holds an entry that no file of the setup uses: a leftover, or a payload the descriptor does not show. Check what the entry is with the cabinet's entry list.",
     "rule-unused-entry"},
    {"descriptor-counts", TSeverity::Notice, "Consistency", "Descriptor count disagrees with its table", DescriptorCounts,
     "A count that the descriptor states for one of its tables disagrees with the table it gives. Different readers may then see different setups. Check the descriptor's origin; a hand-edited or damaged descriptor shows this.",
     "rule-descriptor-counts"},
    {"descriptors-differ", TSeverity::Notice, "Consistency", "The two descriptors differ", DescriptorsDiffer,
     "The cabinet carries both descriptors, the binary one and \"_setup.xml\", and they say different things. Which one a device reads decides what is installed. Check both lists of differences.",
     "rule-descriptors-differ"},
    // Reported by the baseline, not found in the setup.
    {kBaselineExpiredRule, TSeverity::Notice, "Baseline", "baseline entry expired", nullptr,
     "An entry of the baseline that accepted findings has passed its expiry date, so it no longer accepts them and they count again. Review the findings it named, then renew the entry with a new date and statement or remove it.",
     "rule-baseline-expired"},
};
// clang-format on

} // namespace

std::span<const TAuditRule> AuditRules() {
    return kRules;
}

const TAuditRule* FindAuditRule(std::string_view id) {
    for (const TAuditRule& rule : kRules)
        if (id == rule.Id) return &rule;
    return nullptr;
}

std::vector<TFinding> RunAudit(const TAuditInput& input) {
    std::vector<TFinding> findings;
    if (!input.Setup || !input.Listing) return findings;
    for (const TAuditRule& rule : kRules) {
        if (!rule.Check) continue;
        const size_t first = findings.size();
        try {
            rule.Check(input, findings);
        } catch (...) {
            // A rule that cannot finish (a listing that fails) says nothing rather than part.
            findings.resize(first);
        }
        for (size_t i = first; i < findings.size(); ++i) {
            findings[i].Rule = rule.Id;
            findings[i].Severity = rule.Severity;
            if (findings[i].Title.empty()) findings[i].Title = rule.Title;
        }
    }
    // The pages in the order the project tree lists them; the setup as a whole first.
    const auto pageRank = [](TFindingPage page) {
        switch (page) {
        case TFindingPage::None:
            return 0;
        case TFindingPage::Files:
            return 1;
        case TFindingPage::Shortcuts:
            return 2;
        case TFindingPage::Registry:
            return 3;
        case TFindingPage::Provisioning:
            return 4;
        case TFindingPage::Signature:
            return 5;
        case TFindingPage::Programs:
            return 6;
        }
        return 7;
    };
    std::stable_sort(findings.begin(), findings.end(), [&](const TFinding& a, const TFinding& b) {
        return std::pair(int(a.Severity), pageRank(a.Page)) <
               std::pair(int(b.Severity), pageRank(b.Page));
    });
    return findings;
}
