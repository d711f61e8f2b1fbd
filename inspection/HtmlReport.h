#pragma once
// --html FILE: the audit or the comparison as one self-contained HTML page to hand over: inline
// CSS, no script, nothing fetched, every text escaped.
#include "audit/Audit.h"
#include "audit/Baseline.h"
#include "programs/Programs.h"

#include <string>
#include <string_view>
#include <vector>

class TCESetup;
class TCABFile;
class TCabinetLook;
struct TCabinetSignature;
struct TComparison;
namespace device {
struct TDeviceDecision;
}
namespace provisioning {
struct TProvisioningTree;
}

// A window's answer to Save Report while the programs are still being read: a page without them
// and half the findings would pass for the whole audit.
inline constexpr const char* kReportWhileReading =
    "The programs are still being read: save the report once the findings are shown.";

// Text of a cabinet as HTML text: control characters made visible as \xNN, well-formed UTF-8
// kept and other texts taken byte by byte, then & < > " ' as references.
[[nodiscard]] std::string HtmlText(std::string_view text);

// The install decision first when there is one (decision not null), then the audit (the findings'
// headline and table, each finding linking to its row), then every page: properties with the
// signature, files, shortcuts, registry values, provisioning, the signature with its certificates
// and checks, the programs, and the rules found.
// document: the setup's "_setup.xml" as the caller read it for the rest of the audit, or null.
[[nodiscard]] std::string
AuditHtml(TCESetup& setup, TCABFile& cabinet, const provisioning::TProvisioningTree* document,
          const TCabinetSignature& signature, const std::vector<TProgramRow>& programs,
          const std::vector<TFinding>& findings, const TCabinetIdentity& identity,
          const device::TDeviceDecision* decision = nullptr);

// The comparison: its summary, then each page with differences, added, removed and changed rows
// marked, old and new values side by side.
[[nodiscard]] std::string DiffHtml(const TComparison& comparison, const std::string& older,
                                   const std::string& newer);
