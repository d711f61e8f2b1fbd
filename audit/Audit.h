#pragma once
// What a setup will do to a device that deserves a second look: findings gathered from the
// loaded setup, its cabinet listing, the provisioning document, the signature and the program
// analysis, by the rules of Rules.cpp.
#include "programs/Programs.h"
#include "provisioning/Provisioning.h"
#include "setup/CABData.h"
#include "signature/Signature.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class TCESetup;
class TCABFile;
class TCABFileContents;
class TCabinetLook;

enum class TSeverity { Warning, Notice, Info };

// "Warning", "Notice", "Info".
[[nodiscard]] const char* SeverityText(TSeverity severity);

// The page a finding's row lies on, so that a front end can select it.
enum class TFindingPage {
    None,         // the setup or the cabinet as a whole
    Files,        // Row: index in the setup's Files
    Shortcuts,    // Row: index in the setup's Shortcuts
    Registry,     // Row: index in the setup's RegValues
    Provisioning, // Row: node of the provisioning tree
    Programs,     // Row: the program row's Index (its file row, or a setup DLL's row)
    Signature,    // the signature's page
};

[[nodiscard]] const char* FindingPageName(TFindingPage page);

struct TFinding {
    TSeverity Severity = TSeverity::Info;
    const char* Rule = ""; // the rule's id in the table
    std::string Title;
    std::string Where; // file row, registry key and value, provisioning path, cabinet entry
    std::string Why;   // one sentence
    TFindingPage Page = TFindingPage::None;
    size_t Row = 0;
    // Accepted by a baseline entry: still listed, never counted against the setup.
    bool Accepted = false;
    std::string Statement; // the entry's reason, when accepted
};

// Counts a descriptor states for its own tables.
struct TTableCounts {
    int64_t Files = 0;
    int64_t RegKeys = 0;
    int64_t RegValues = 0;
    int64_t Shortcuts = 0;
};

// The tables a descriptor gave.
struct TDescriptorTables {
    std::vector<TCEINFFile> Files;
    std::vector<TCEINFRegPath> RegPaths;
    std::vector<TCEINFRegValue> RegValues;
    std::vector<TCEINFShortcut> Shortcuts;
};

// What the descriptors say beside the loaded model: the counts they state and, when a cabinet
// carries both, the tables of each.
struct TDescriptorFacts {
    std::optional<TTableCounts> BinaryCounts; // the ".000" header's
    std::optional<TTableCounts> XmlCounts;    // the Install characteristic's Num* parms
    std::optional<TDescriptorTables> Binary;  // only when the cabinet holds both descriptors
    // The "_setup.xml" tables as a device reads them (nested documents' content included), read
    // when it is there.
    std::optional<TDescriptorTables> Xml;
};

// Reads both descriptors of the cabinet again, beside the loaded model, or takes them from the
// load's look when the command has one. Never throws; what cannot be read stays empty.
[[nodiscard]] TDescriptorFacts ReadDescriptorFacts(TCESetup& setup, TCABFile& cabinet,
                                                   const provisioning::TProvisioningTree* tree,
                                                   TCabinetLook* look = nullptr);

struct TAuditInput {
    TCESetup* Setup = nullptr;                    // required
    const TCABFileContents* Listing = nullptr;    // required: the cabinet's current listing
    const TCabinetSignature* Signature = nullptr; // null: not checked, its rules are silent
    const provisioning::TProvisioningTree* Provisioning = nullptr; // null: no "_setup.xml"
    const std::vector<TProgramRow>* Programs = nullptr;            // null: not analysed (yet)
    const TDescriptorFacts* Descriptors = nullptr;                 // null: not read
    // "YYYY-MM-DD HH:MM:SS" UTC; certificates are judged at the signing time when the signature
    // names one, else at this time (empty: now).
    std::string Now;
};

using TFindingList = std::vector<TFinding>;

struct TAuditRule {
    const char* Id; // kebab-case and stable: scripts and baselines name rules by it
    TSeverity Severity;
    const char* Group; // "Signature", "Code that runs by itself", "Trust and policy", ...
    const char* Title;
    // Appends findings; the caller stamps the rule's id and severity on each. Null for a rule
    // whose findings come from elsewhere (the baseline's).
    void (*Check)(const TAuditInput& input, TFindingList& out);
    // Why it matters and what to check, one paragraph: the rule's documentation everywhere
    // (--rules, the manual page, SARIF, the HTML report).
    const char* Help = nullptr;
    // The name of the rule's documentation section in the HTML report and the manual page.
    const char* Anchor = nullptr;
};

// The rules in the order their findings are listed.
[[nodiscard]] std::span<const TAuditRule> AuditRules();

// The rule with this id, or null.
[[nodiscard]] const TAuditRule* FindAuditRule(std::string_view id);

// The rule of a baseline entry that no longer accepts (audit/Baseline.h).
inline constexpr const char* kBaselineExpiredRule = "baseline-expired";

// Every rule over the input; findings by severity (Warning, Notice, Info), then by page in the
// order the project tree lists them, then by rule and model order. Never throws on content.
[[nodiscard]] std::vector<TFinding> RunAudit(const TAuditInput& input);

// Every rule over a loaded setup and its cabinet, given the cabinet's signature: reads
// "_setup.xml" and both descriptors through the load's look (or afresh when look is null, which
// lists the cabinet again; a listing that fails passes on its exception). programs may be null
// when they are not analysed.
[[nodiscard]] std::vector<TFinding> AuditCabinet(TCESetup& setup, TCABFile& cabinet,
                                                 const std::vector<TProgramRow>* programs,
                                                 const TCabinetSignature& signature,
                                                 TCabinetLook* look = nullptr);

// The same with "_setup.xml" already read by the caller (tree null: the cabinet has none), so
// that a command that needs the tree itself reads it once.
[[nodiscard]] std::vector<TFinding> AuditCabinet(TCESetup& setup, TCABFile& cabinet,
                                                 const std::vector<TProgramRow>* programs,
                                                 const TCabinetSignature& signature,
                                                 const provisioning::TProvisioningTree* tree,
                                                 TCabinetLook* look);

// Repeated findings listed as one: the places of one rule on one page with one title and the
// same acceptance (an accepted place and one that is not stay apart, as do two statements).
struct TFindingGroup {
    std::vector<size_t> Places; // indexes into the findings, in their order; never empty
};

// The groups in the order of their first places. Never throws.
[[nodiscard]] std::vector<TFindingGroup> GroupFindings(const std::vector<TFinding>& findings);

// Findings as listed: a group of places counts once, by its severity or as accepted.
struct TFindingCounts {
    size_t Warnings = 0;
    size_t Notices = 0;
    size_t Infos = 0;
    size_t Accepted = 0; // of any severity; not in the three counts above
};
[[nodiscard]] TFindingCounts CountFindings(const std::vector<TFinding>& findings);

// Whether a finding that is not accepted has this severity or a graver one (--fail-on).
[[nodiscard]] bool AnyUnacceptedAtLeast(const std::vector<TFinding>& findings, TSeverity threshold);

// "Findings: 2 warnings, 1 notice, 3 info" (and ", 4 accepted" when a baseline accepts some).
[[nodiscard]] std::string FindingsHeadline(const TFindingCounts& counts);
// The worst severity counted, for the Findings node's icon; nullopt when there is none.
[[nodiscard]] std::optional<TSeverity> WorstSeverity(const TFindingCounts& counts);
