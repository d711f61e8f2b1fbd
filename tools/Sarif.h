#pragma once
// --audit --sarif: the findings as a SARIF 2.1.0 log, one run per cabinet, for code-scanning
// dashboards.
#include "audit/Audit.h"
#include "audit/Baseline.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

struct TSarifRun {
    std::string Path;         // the cabinet as named on the command line
    TCabinetIdentity Cabinet; // its name and SHA-256
    bool Audited = false;     // false: there are no findings
    std::string Failure;      // why the cabinet failed, wholly or in part; empty: it did not
    std::vector<TFinding> Findings;
    // Facts about the whole setup that belong to the run rather than to one finding; an empty
    // object leaves the run without properties.
    nlohmann::ordered_json Properties = nlohmann::ordered_json::object();
};

// The log: tool.driver with every rule of the table, then each cabinet's run with the cabinet
// as its artifact, one result per finding (accepted ones suppressed with their statement).
[[nodiscard]] nlohmann::ordered_json SarifLog(const std::vector<TSarifRun>& runs);
