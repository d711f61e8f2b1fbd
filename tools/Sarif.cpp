#include "tools/Sarif.h"

#include "audit/FindingsPage.h"
#include "tessary/Version.h"
#include "tools/AuditReport.h"
#include "tools/JsonWriter.h"
#include "tools/RulesReport.h"

using nlohmann::ordered_json;

namespace {

// "not-signed" becomes "NotSigned": SARIF's rule names are identifiers.
std::string RuleName(const std::string& id) {
    std::string name;
    bool upper = true;
    for (const char c : id) {
        if (c == '-') {
            upper = true;
            continue;
        }
        name += upper && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        upper = false;
    }
    return name;
}

const char* Level(TSeverity severity) {
    switch (severity) {
    case TSeverity::Warning:
        return "warning";
    case TSeverity::Notice:
        return "note";
    case TSeverity::Info:
        return "none";
    }
    return "none";
}

// A path as a URI reference: absolute paths as file URIs, others relative; every byte outside
// the unreserved characters and "/" percent-encoded.
std::string PathUri(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = !path.empty() && path[0] == '/' ? "file://" : "";
    for (const char c : path) {
        const auto b = static_cast<unsigned char>(c);
        const bool plain = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
                           (b >= '0' && b <= '9') || b == '-' || b == '.' || b == '_' || b == '~' ||
                           b == '/';
        if (plain) {
            uri += c;
        } else {
            uri += '%';
            uri += kHex[b >> 4];
            uri += kHex[b & 0xF];
        }
    }
    return uri;
}

// What a finding's place is, in SARIF's words.
const char* LocationKind(TFindingPage page) {
    switch (page) {
    case TFindingPage::Files:
    case TFindingPage::Programs:
    case TFindingPage::Shortcuts:
        return "resource";
    case TFindingPage::Registry:
        return "value";
    case TFindingPage::Provisioning:
        return "element";
    case TFindingPage::Signature:
    case TFindingPage::None:
        return "object";
    }
    return "object";
}

ordered_json Driver() {
    ordered_json driver;
    driver["name"] = "tessary-info";
    driver["version"] = kTessaryVersion;
    driver["rules"] = ordered_json::array();
    const ordered_json rules = RulesToJson();
    for (const ordered_json& rule : rules["rules"]) {
        const std::string id = rule["id"];
        const auto* known = FindAuditRule(id);
        ordered_json r;
        r["id"] = id;
        r["name"] = RuleName(id);
        r["shortDescription"] = {{"text", rule["title"]}};
        r["fullDescription"] = {{"text", rule["help"]}};
        r["help"] = {{"text", rule["help"]}};
        r["defaultConfiguration"] = {{"level", Level(known->Severity)}};
        r["properties"] = {
            {"severity", rule["severity"]}, {"group", rule["group"]}, {"anchor", rule["anchor"]}};
        driver["rules"].push_back(std::move(r));
    }
    return driver;
}

ordered_json Run(const TSarifRun& run, const ordered_json& driver) {
    ordered_json out;
    out["tool"] = {{"driver", driver}};
    ordered_json invocation;
    invocation["executionSuccessful"] = run.Failure.empty();
    if (!run.Failure.empty())
        invocation["toolExecutionNotifications"] =
            ordered_json::array({{{"level", "error"}, {"message", {{"text", run.Failure}}}}});
    out["invocations"] = ordered_json::array({invocation});
    ordered_json artifact;
    artifact["location"] = {{"uri", PathUri(run.Path)}};
    artifact["roles"] = ordered_json::array({"analysisTarget"});
    if (!run.Cabinet.Sha256.empty()) artifact["hashes"] = {{"sha-256", run.Cabinet.Sha256}};
    out["artifacts"] = ordered_json::array({artifact});
    out["results"] = ordered_json::array();
    // The JSON output's own records: SARIF carries exactly the texts --json gives, a group of
    // places as one result with a location each.
    TJsonWriter written;
    WriteFindingsJson(written, run.Findings);
    const ordered_json records = ordered_json::parse(written.Text());
    std::vector<size_t> firstPlaces;
    for (const TRow& row : BuildFindingsPage(run.Findings).Rows)
        if (!IsFindingPlaceRow(row)) firstPlaces.push_back(row.Source);
    const auto rules = AuditRules();
    for (size_t i = 0; i < firstPlaces.size() && i < records.size(); ++i) {
        const TFinding& f = run.Findings[firstPlaces[i]];
        const ordered_json& record = records[i];
        ordered_json result;
        result["ruleId"] = f.Rule;
        for (size_t r = 0; r < rules.size(); ++r)
            if (std::string_view(rules[r].Id) == f.Rule) result["ruleIndex"] = r;
        if (f.Severity == TSeverity::Info) result["kind"] = "informational";
        result["level"] = Level(f.Severity);
        result["message"] = {
            {"text", record["title"].get<std::string>() + ": " + record["why"].get<std::string>()}};
        const std::string page = FindingPageName(f.Page);
        result["locations"] = ordered_json::array();
        const ordered_json single = ordered_json::array({record});
        for (const ordered_json& place : record.contains("places") ? record["places"] : single) {
            ordered_json logical;
            logical["name"] = place["where"];
            logical["fullyQualifiedName"] = (page.empty() ? std::string("Setup") : page) + "/" +
                                            place["where"].get<std::string>();
            logical["kind"] = LocationKind(f.Page);
            ordered_json location;
            location["physicalLocation"] = {
                {"artifactLocation", {{"uri", PathUri(run.Path)}, {"index", 0}}}};
            location["logicalLocations"] = ordered_json::array({logical});
            result["locations"].push_back(std::move(location));
        }
        if (f.Accepted)
            result["suppressions"] =
                ordered_json::array({{{"kind", "external"},
                                      {"status", "accepted"},
                                      {"justification", record["statement"]}}});
        result["properties"] = record;
        out["results"].push_back(std::move(result));
    }
    if (!run.Properties.empty()) out["properties"] = run.Properties;
    return out;
}

} // namespace

ordered_json SarifLog(const std::vector<TSarifRun>& runs) {
    ordered_json log;
    log["$schema"] = "https://json.schemastore.org/sarif-2.1.0.json";
    log["version"] = "2.1.0";
    log["runs"] = ordered_json::array();
    const ordered_json driver = Driver();
    for (const TSarifRun& run : runs)
        log["runs"].push_back(Run(run, driver));
    return log;
}
