#include "tools/CommandLine.h"

#include "tessary/Version.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

// The synopsis, shared by the short usage and the help.
#define TESSARY_SYNOPSIS                                                                           \
    "usage: tessary-info [--json | --jsonl] FILE.cab...\n"                                         \
    "       tessary-info --audit [--strict | --fail-on LEVEL] [--device PROFILE]...\n"             \
    "                    [--baseline FILE] [--write-baseline FILE] [--html FILE]\n"                \
    "                    [--json | --jsonl | --sarif] FILE.cab...\n"                               \
    "       tessary-info --entries [--json | --jsonl] FILE.cab...\n"                               \
    "       tessary-info --extract NAME --folder FOLDER --output PATH FILE.cab\n"                  \
    "       tessary-info --extract-all DIR FILE.cab\n"                                             \
    "       tessary-info --extract-cabinets DIR PACKAGE\n"                                         \
    "       tessary-info --verify FILE.cab...\n"                                                   \
    "       tessary-info --diff [--json] [--html FILE] OLD.cab NEW.cab\n"                          \
    "       tessary-info --rules [--json]\n"                                                       \
    "       tessary-info --manifest FILE.cab | --sbom FILE.cab\n"                                  \
    "       tessary-info --manifest --into DIR DB | --sbom --into DIR DB\n"                        \
    "       tessary-info --index DB [--all-files] [--rehash] [-j N] PATH...\n"                     \
    "       tessary-info --query DB [--json | --jsonl] WORD...\n"                                  \
    "       tessary-info --sql DB [--json] \"SELECT ...\"\n"                                       \
    "       tessary-info --merge DB OTHER.db...\n"

const char kUsage[] = TESSARY_SYNOPSIS "       tessary-info --help | --version\n";

const char kHelp[] = TESSARY_SYNOPSIS
    "\n"
    "Shows what a Windows CE setup cabinet installs: its properties, files, shortcuts and\n"
    "registry values, as the Tessary viewer shows them.\n"
    "\n"
    "  --json             the loaded setup as JSON\n"
    "  --jsonl            JSON Lines led by \"file\", even for a single file\n"
    "  --audit            the same plus the setup's programs: CPU, DLL or program, subsystem,\n"
    "                     .NET runtime, imports, signature, version resource, CPU mismatches\n"
    "                     (reads every file of the setup; JSON: \"binaries\" after the rest),\n"
    "                     then the findings: what deserves a second look, as Warning, Notice\n"
    "                     or Info (JSON: \"findings\" after \"binaries\")\n"
    "  --strict           with --audit: exit 4 when any finding is a Warning, or, with\n"
    "                     --device, when the install decision is \"blocked\" or \"asks the user\"\n"
    "  --fail-on LEVEL    with --audit: exit 4 when a finding that no baseline accepts is\n"
    "                     of LEVEL or graver: warning, notice or info (--strict: warning)\n"
    "  --device PROFILE   lead with the install decision for a device of this profile, and\n"
    "                     with --audit each program's run decision, with their reasons\n"
    "                     (JSON: \"device\"). PROFILE is a built-in profile (pocketpc,\n"
    "                     smartphone, locked), a provisioning document, .cpf or .cab whose\n"
    "                     policies and certificates the device has, or STORE=FILE for a DER\n"
    "                     or PEM certificate in the store SPC, \"Privileged Execution Trust\n"
    "                     Authorities\", \"Unprivileged Execution Trust Authorities\" or Root;\n"
    "                     repeat it to combine them, later ones overriding\n"
    "  --baseline FILE    with --audit: findings that FILE accepts (JSON, see the manual)\n"
    "                     stay listed, marked accepted with their statement, and never\n"
    "                     count for --strict or --fail-on; an expired entry is a Notice\n"
    "  --write-baseline FILE  with --audit: write every finding as a baseline to edit\n"
    "  --sarif            with --audit: the findings as SARIF 2.1.0, one run per cabinet\n"
    "  --html FILE        with --audit (one cabinet) or --diff: also write the report as one\n"
    "                     self-contained HTML page\n"
    "  --rules            the audit's rules: id, severity, group, title, why it matters\n"
    "  --entries          the cabinet's entries: name, size, stored date\n"
    "  --extract NAME     write one file of the setup, named as the files view names it,\n"
    "  --folder FOLDER      from this device folder (e.g. %InstallDir%\\Data; \"\" for the\n"
    "                       setup DLL, named by its entry as the Programs page names it)\n"
    "  --output PATH        to this path\n"
    "  --extract-all DIR  write every file below DIR in its device folder\n"
    "  --extract-cabinets DIR\n"
    "                     write the cabinets a package holds below DIR\n"
    "  --verify           the cabinet's signature: \"Intact: signed by ...\", \"Not signed\",\n"
    "                     \"Modified: ...\" or \"Signature unreadable: ...\"; when signed,\n"
    "                     a second line \"Trust: ...\": where the chain ends, test keys,\n"
    "                     dates, times, digest\n"
    "  --diff             what differs from OLD.cab to NEW.cab: properties, files added,\n"
    "                     removed or changed (size, content by SHA-256, version, CPU),\n"
    "                     shortcuts, registry values, signature and provisioning; names,\n"
    "                     folders and keys are matched ignoring case\n"
    "  --manifest         the setup's files as a hashdeep manifest (size, MD5, SHA-256,\n"
    "                     device folder and name)\n"
    "  --sbom             the setup as a CycloneDX 1.5 JSON inventory: the setup, each file\n"
    "                     and program with its hashes, version, CPU and supplier\n"
    "  --into DIR         with --manifest or --sbom of an index DB: the document of every\n"
    "                     setup DB holds, each read again from its recorded path, written to\n"
    "                     DIR as SHA256.hashdeep or SHA256.cdx.json (the cabinet's SHA-256);\n"
    "                     a line \"FILE<tab>CABINET\" for each one written. A cabinet moved,\n"
    "                     changed or damaged since it was indexed is said and not written\n"
    "  --index DB         keep the cabinets below each PATH (.cab and .cpf, any case;\n"
    "                     folders walked recursively; the setups inside .exe, .zip and .msi\n"
    "                     files and cabinets of cabinets as \"FILE : NAME\") in the index\n"
    "                     file DB, a SQLite database made when missing: properties, files\n"
    "                     with SHA-256, shortcuts, registry values, provisioning,\n"
    "                     certificates, the signature, programs and findings. A cabinet\n"
    "                     whose path, size and time are unchanged is skipped, one with the\n"
    "                     content of another is recorded as its copy; a damaged one is\n"
    "                     recorded with its error\n"
    "  --all-files        with --index: every file whose bytes begin as a cabinet's, and\n"
    "                     the setups inside any file\n"
    "  --rehash           with --index: hash even the cabinets that look unchanged\n"
    "  -j N               with --index: N readers at once (default: the number of cores)\n"
    "  --query DB         the setups in DB holding every WORD: a file or registry name, a\n"
    "                     value, company, signer, thumbprint or rule id (full-text search)\n"
    "  --sql DB           run one read-only SELECT on DB: a header line, then\n"
    "                     tab-separated rows (--json: one object per row)\n"
    "  --merge DB         take into DB the setups of the other indexes it lacks, by the\n"
    "                     cabinet's SHA-256\n"
    "  --help             show this help and exit\n"
    "  --version          show the version and exit\n"
    "  --                 end of options: every later argument is a file\n"
    "\n"
    "With several files, --json prints one JSON object per line (JSON Lines), each with the\n"
    "key \"file\" first; a file that fails has \"error\" and \"exit\" instead of the setup.\n"
    "The text form gives each file a heading \"==> FILE <==\".\n"
    "\n"
    "A package is reported setup by setup: the application manager's .ini with the\n"
    "cabinets beside it, a .zip, an .msi, a self-extracting program storing cabinets, a\n"
    "cabinet of cabinets. Each setup has the heading \"==> FILE : CABINET <==\"; in JSON\n"
    "each is one line with \"file\" and a \"container\" object (kind, path, offset,\n"
    "component).\n"
    "\n"
    "Exit status: 0 done, 1 not a setup cabinet (not a cabinet for --entries), 2 wrong usage,\n"
    "3 any other failure. --verify: 0 intact, 4 not signed, 5 modified or unreadable.\n"
    "--audit --strict or --fail-on: 4 when a finding not accepted is that grave, or with\n"
    "--device the install decision is \"blocked\" or \"asks the user\";\n"
    "2 for a baseline that cannot be read, with its line and what is wrong.\n"
    "--diff: 0 the same, 4 different; 1 and 3 name the cabinet that failed.\n"
    "--index: 0 every cabinet read, 3 some damaged, missing or the run interrupted (run it\n"
    "again to go on); --index, --query, --sql, --merge: 2 for a file that is no Tessary\n"
    "index or a --sql statement refused (a write, ATTACH, more than one statement).\n"
    "With several files, the highest of the files' statuses.\n";

bool TakesValue(const std::string& a) {
    return a == "--extract" || a == "--folder" || a == "--output" || a == "--extract-all" ||
           a == "--fail-on" || a == "--baseline" || a == "--write-baseline" || a == "--html" ||
           a == "--extract-cabinets" || a == "--index" || a == "--query" || a == "--sql" ||
           a == "--merge" || a == "--into";
}

const char* const kCollectionCommands[] = {"--index", "--query", "--sql", "--merge"};

// A count of readers: digits only, 1 to 1024.
bool ParseReaders(const std::string& text, unsigned& readers) {
    if (text.empty() || text.size() > 4) return false;
    unsigned n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    if (n < 1 || n > 1024) return false;
    readers = n;
    return true;
}

// The options that only switch something on.
constexpr std::pair<const char*, bool Options::*> kFlags[] = {
    {"--entries", &Options::Entries},   {"--audit", &Options::Audit},
    {"--strict", &Options::Strict},     {"--json", &Options::Json},
    {"--verify", &Options::Verify},     {"--diff", &Options::Diff},
    {"--manifest", &Options::Manifest}, {"--sbom", &Options::Sbom},
    {"--rules", &Options::Rules},       {"--man", &Options::Man},
    {"--sarif", &Options::Sarif},       {"--all-files", &Options::AllFiles},
    {"--rehash", &Options::Rehash}};

// The modes, extraction and the commands of a collection, given together or with what does not
// belong to them.
TParseResult CheckModes(const Options& o) {
    const auto given = [&](const char* option) { return o.Values.count(option) > 0; };
    const bool extract = given("--extract");
    const bool extractAll = o.Values.count("--extract-all") > 0;
    const bool extractCabinets = o.Values.count("--extract-cabinets") > 0;
    if (extract != (o.Values.count("--folder") > 0) || extract != (o.Values.count("--output") > 0))
        return TParseResult::Usage;
    int collections = 0;
    for (const char* command : kCollectionCommands)
        collections += static_cast<int>(o.Values.count(command));
    const int modes = (o.Entries ? 1 : 0) + (o.Audit ? 1 : 0) + (extract ? 1 : 0) +
                      (extractAll ? 1 : 0) + (extractCabinets ? 1 : 0) + (o.Verify ? 1 : 0) +
                      (o.Diff ? 1 : 0) + (o.Manifest ? 1 : 0) + (o.Sbom ? 1 : 0) + collections;
    if (modes > 1) return TParseResult::Usage;
    // One document of one setup, in its own form.
    if ((o.Manifest || o.Sbom) && (o.Files.size() != 1 || o.Json || o.Strict ||
                                   !o.Devices.empty() || o.AllFiles || o.Rehash || o.Readers))
        return TParseResult::Usage;
    if (given("--into") && (!(o.Manifest || o.Sbom) || o.Values.at("--into").empty()))
        return TParseResult::Usage;
    const char* collection = CollectionCommand(o);
    const std::string command = collection ? collection : "";
    // Walking options belong to the index alone; JSON to the answers of a search or a query.
    if ((o.AllFiles || o.Rehash || o.Readers) && command != "--index") return TParseResult::Usage;
    if (collection) {
        if (o.Values.at(command).empty() || !o.Devices.empty() || o.Strict)
            return TParseResult::Usage;
        if (o.Json && command != "--query" && command != "--sql") return TParseResult::Usage;
        if (command == "--sql" && o.Files.size() != 1) return TParseResult::Usage;
        return TParseResult::Run;
    }
    if (o.Verify && o.Json) return TParseResult::Usage;
    // The decision is part of the report: not of a listing, a check, an extraction or a diff.
    if (!o.Devices.empty() && (o.Entries || o.Verify || o.Diff || extract || extractAll))
        return TParseResult::Usage;
    if (o.Diff && (o.Files.size() != 2 || o.Labelled)) return TParseResult::Usage;
    // An empty folder would silently mean the working folder.
    if (extractAll && o.Values.at("--extract-all").empty()) return TParseResult::Usage;
    if (extractCabinets && o.Values.at("--extract-cabinets").empty()) return TParseResult::Usage;
    if ((extract || extractAll || extractCabinets) && (o.Json || o.Files.size() > 1))
        return TParseResult::Usage;
    return TParseResult::Run;
}

// The options given together, as far as they fit: Run, or Usage when they do not.
TParseResult CheckOptions(const Options& o) {
    const auto given = [&](const char* option) { return o.Values.count(option) > 0; };
    if (o.Rules) {
        const bool alone = o.Files.empty() && o.Values.empty() && o.Devices.empty() && !o.Audit &&
                           !o.Strict && !o.Diff && !o.Entries && !o.Verify && !o.Labelled &&
                           !o.Sarif;
        return alone && !(o.Man && o.Json) ? TParseResult::Run : TParseResult::Usage;
    }
    if (o.Man) return TParseResult::Usage;
    if (o.Files.empty()) return TParseResult::Usage;
    if (given("--fail-on")) {
        const std::string& level = o.Values.at("--fail-on");
        if (level != "warning" && level != "notice" && level != "info") return TParseResult::Usage;
    }
    const bool auditOnly = o.Strict || o.Sarif || given("--fail-on") || given("--baseline") ||
                           given("--write-baseline");
    if (auditOnly && !o.Audit) return TParseResult::Usage;
    if (o.Sarif && o.Json) return TParseResult::Usage;
    // One page per file named: several cabinets would overwrite each other's.
    if (given("--html") && (!(o.Audit || o.Diff) || (o.Audit && o.Files.size() != 1)))
        return TParseResult::Usage;
    for (const char* option : {"--baseline", "--write-baseline", "--html"})
        if (given(option) && o.Values.at(option).empty()) return TParseResult::Usage;
    return CheckModes(o);
}

} // namespace

TParseResult ParseArguments(const std::vector<std::string>& args, Options& o) {
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto flag = std::find_if(std::begin(kFlags), std::end(kFlags),
                                       [&](const auto& f) { return a == f.first; });
        if (optionsEnded || a.empty() || a[0] != '-')
            o.Files.push_back(a);
        else if (a == "--")
            optionsEnded = true;
        else if (a == "--help")
            return TParseResult::Help;
        else if (a == "--version")
            return TParseResult::Version;
        else if (flag != std::end(kFlags))
            o.*(flag->second) = true;
        else if (a == "--jsonl")
            o.Json = o.Labelled = true;
        else if (a == "-j") {
            if (i + 1 >= args.size() || o.Readers || !ParseReaders(args[++i], o.Readers))
                return TParseResult::Usage;
        } else if (a == "--device") {
            if (i + 1 >= args.size()) return TParseResult::Usage;
            o.Devices.push_back(args[++i]);
        } else if (TakesValue(a)) {
            if (i + 1 >= args.size() || o.Values.count(a)) return TParseResult::Usage;
            o.Values[a] = args[++i];
        } else
            return TParseResult::Usage;
    }
    return CheckOptions(o);
}

const char* CollectionCommand(const Options& o) {
    for (const char* command : kCollectionCommands)
        if (o.Values.count(command)) return command;
    return nullptr;
}

const char* UsageText() {
    return kUsage;
}
const char* HelpText() {
    return kHelp;
}
std::string VersionText() {
    return std::string("tessary-info ") + kTessaryVersion;
}
