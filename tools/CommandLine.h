#pragma once
// The arguments of tessary-info: options, their checks, and the usage and help texts.
#include <map>
#include <string>
#include <vector>

struct Options {
    bool Audit = false;  // the report plus the setup's programs and the audit's findings
    bool Strict = false; // --audit --strict: as --fail-on warning
    bool Diff = false;   // two setups compared: Files holds the older, then the newer
    bool Entries = false;
    bool Json = false;
    // --jsonl: JSON Lines led by "file" even for a single file, for scripts that feed files in
    // batches of any size.
    bool Labelled = false;
    bool Verify = false;   // --verify: the signature's verdict alone
    bool Rules = false;    // --rules: the audit's rules and their documentation
    bool Man = false;      // --rules --man: the manual page's list (for keeping the page current)
    bool Sarif = false;    // --audit --sarif: the findings as SARIF 2.1.0
    bool Manifest = false; // --manifest: a hashdeep manifest of the setup's files
    bool Sbom = false;     // --sbom: the setup as a CycloneDX 1.5 document
    // --device: the profile's sources in order (built-in ids, files, STORE=FILE); the report
    // then leads with the install decision for a device of that profile.
    std::vector<std::string> Devices;
    // --index, --query, --sql, --merge: the index file; Files are then the paths to walk, the
    // words, the one statement, or the other indexes.
    bool AllFiles = false; // --index --all-files: cabinets recognised by their bytes
    bool Rehash = false;   // --index --rehash
    unsigned Readers = 0;  // --index -j N; 0: the number of cores
    // --extract, --folder, --output, --extract-all, --extract-cabinets; --fail-on (warning,
    // notice or info; --strict gives warning), --baseline, --write-baseline, --html; --index,
    // --query, --sql, --merge.
    std::map<std::string, std::string> Values;
    std::vector<std::string> Files;
};

enum class TParseResult { Run, Help, Version, Usage };

// --help and --version win over everything before them; "--" ends the options. Several files
// are allowed for the report and the entry listing, not for extraction.
[[nodiscard]] TParseResult ParseArguments(const std::vector<std::string>& args, Options& o);

// Which collection command the options ask for: "--index", "--query", "--sql", "--merge", or
// null.
[[nodiscard]] const char* CollectionCommand(const Options& o);

// The short form, for wrong usage on standard error.
[[nodiscard]] const char* UsageText();
// The full help, for --help on standard output.
[[nodiscard]] const char* HelpText();
// "tessary-info " and the project version
[[nodiscard]] std::string VersionText();
