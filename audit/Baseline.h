#pragma once
// Findings an auditor has reviewed and accepted, each with the reason: a JSON file
// {"version": 1, "accepted": [{"rule": ..., "where": ..., "cabinetSha256" | "cabinetName": ...,
// "statement": ..., "expires": "YYYY-MM-DD"}, ...]}. Accepted findings stay listed but never
// count against a setup; an entry past its date accepts nothing and is itself reported.
#include "audit/Audit.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct TBaselineEntry {
    std::string Rule;          // a rule id of the table
    std::string Where;         // exact, or a pattern where '*' stands for any run of characters
    bool AnyWhere = true;      // no "where": every place
    std::string CabinetSha256; // lower-case hex; empty: any cabinet
    std::string CabinetName;   // the cabinet's file name without its folder; empty: any
    std::string Statement;     // why it is accepted; never empty
    std::string Expires;       // "YYYY-MM-DD", the last day it accepts; empty: never expires
    size_t Line = 0;           // where the entry starts in the file, from 1
};

struct TBaseline {
    std::vector<TBaselineEntry> Entries;
};

struct TBaselineError {
    size_t Line = 0;  // from 1
    std::string What; // what is wrong there
};

// Reads a baseline's text; false with the line and what is wrong when it is not one. Never
// throws on content.
[[nodiscard]] bool ParseBaseline(std::string_view text, TBaseline& baseline, TBaselineError& error);

// The cabinet a baseline entry may be limited to.
struct TCabinetIdentity {
    std::string Name;   // the file name without its folder
    std::string Sha256; // lower-case hex; empty when it could not be read
};

// The SHA-256 of a file's bytes as lower-case hex; empty when it cannot be read.
[[nodiscard]] std::string FileSha256(const std::string& path);

// The identity of the cabinet at path: its file name and the SHA-256 of its bytes.
[[nodiscard]] TCabinetIdentity CabinetIdentity(const std::string& path);

// Whether a "where" pattern ('*': any run of characters, possibly none) matches the text whole.
[[nodiscard]] bool WherePatternMatches(std::string_view pattern, std::string_view text);

// Marks the findings that an entry in force accepts (the first that matches gives the
// statement) and appends a "baseline entry expired" Notice for each entry of this cabinet whose
// date has passed. today: "YYYY-MM-DD".
void ApplyBaseline(const TBaseline& baseline, const TCabinetIdentity& cabinet,
                   const std::string& today, std::vector<TFinding>& findings);

// Today's date in UTC, "YYYY-MM-DD".
[[nodiscard]] std::string TodayUtc();

// A baseline accepting each finding given: rule, where, the cabinet's name, and the statement
// of an accepted finding (empty for the others: an auditor must say why before it reads). The
// findings of the baseline itself are left out.
struct TBaselineSource {
    const TCabinetIdentity* Cabinet = nullptr;
    const std::vector<TFinding>* Findings = nullptr;
};
[[nodiscard]] std::string WriteBaselineText(const std::vector<TBaselineSource>& sources);

// Takes off the marks of a baseline applied before, with the findings it added, so that
// another (or none) can be applied to the same findings.
void ClearBaselineMarks(std::vector<TFinding>& findings);
