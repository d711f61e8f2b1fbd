// tessary-info in a pipeline: the rule list and the manual page, --fail-on, baselines and
// SARIF, on the real setups.
#include "audit/Audit.h"
#include "tests/support/Corpus.h"
#include "tests/support/TextFiles.h"
#include "tests/tools/ToolRun.h"
#include "tools/RulesReport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <regex>
#include <sstream>

using nlohmann::json;

namespace {

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

const char* const kReal[] = {
    "App.WM.CAB",         "Basic.WM.CAB",         "BenchmarkDotNet_PPC.ARMV4.CAB",
    "Eliminator.ARM.CAB", "Runtime.HPC_2577.CAB", "SdkCerts.cab",
    "SecurityOff.cpf",    "Ushahidi.CAB"};

} // namespace

TEST(TessaryInfoRules, TheListTheJsonAndTheManualPageComeFromTheTable) {
    const ToolRun text = RunTool({"--rules"});
    EXPECT_EQ(text.Exit, 0);
    const ToolRun listed = RunTool({"--rules", "--json"});
    ASSERT_EQ(listed.Exit, 0);
    const json rules = json::parse(listed.Out)["rules"];
    ASSERT_EQ(rules.size(), AuditRules().size());
    for (size_t i = 0; i < rules.size(); ++i) {
        EXPECT_EQ(rules[i]["id"], AuditRules()[i].Id);
        EXPECT_EQ(rules[i]["help"], AuditRules()[i].Help);
        EXPECT_NE(text.Out.find(std::string(AuditRules()[i].Id) + " ("), std::string::npos);
    }
    // The page's list is the table's; regenerate it with tessary-info --rules --man.
    const std::string page = ReadFileText(TESSARY_MAN_PAGE);
    const size_t begin = page.find(".\\\" BEGIN RULES");
    const size_t end = page.find(".\\\" END RULES");
    ASSERT_NE(begin, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    const size_t first = page.find('\n', begin) + 1;
    EXPECT_EQ(page.substr(first, end - first), RulesManText())
        << "docs/man/tessary-info.1.in lists other rules than the table: paste the output of "
           "tessary-info --rules --man between its BEGIN RULES and END RULES lines";
    EXPECT_EQ(RunTool({"--rules", "--man"}).Out, RulesManText());
    EXPECT_EQ(RunTool({"--rules", RealCabinet("Basic.WM.CAB")}).Exit, 2);
}

TEST(TessaryInfoAudit, TheTextReportNamesEachFindingsRule) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    const ToolRun run = RunTool({"--audit", RealCabinet("Ushahidi.CAB")});
    ASSERT_EQ(run.Exit, 0);
    const std::string findings = run.Out.substr(run.Out.find("\nFindings ("));
    EXPECT_NE(findings.find("  Severity  Rule "), std::string::npos) << findings;
    EXPECT_NE(findings.find("Warning   self-vouching      The setup vouches for itself"),
              std::string::npos)
        << findings;
}

TEST(TessaryInfoAudit, FailOnHoldsEachLevelAndLetsAcceptedFindingsPass) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    // Basic.WM.CAB has warnings (its self-registering controls), notices and one info.
    const std::string basic = RealCabinet("Basic.WM.CAB");
    EXPECT_EQ(RunTool({"--audit", "--fail-on", "warning", basic}).Exit, 4);
    EXPECT_EQ(RunTool({"--audit", "--strict", basic}).Exit, 4);
    EXPECT_EQ(RunTool({"--audit", "--fail-on", "error", basic}).Exit, 2);
    EXPECT_EQ(RunTool({"--fail-on", "info", basic}).Exit, 2) << "it belongs to --audit";

    TempDir dir;
    // The warnings accepted: notices and the info remain, each level holds.
    WriteText(dir.File("warnings.json"), R"({"version": 1, "accepted": [
        {"rule": "self-registering", "statement": "the runtime's controls"}]})");
    const std::string warnings = dir.File("warnings.json");
    EXPECT_EQ(RunTool({"--audit", "--baseline", warnings, "--fail-on", "warning", basic}).Exit, 0);
    EXPECT_EQ(RunTool({"--audit", "--baseline", warnings, "--strict", basic}).Exit, 0);
    EXPECT_EQ(RunTool({"--audit", "--baseline", warnings, "--fail-on", "notice", basic}).Exit, 4);
    EXPECT_EQ(
        RunTool({"--audit", "--baseline", warnings, "--fail-on", "info", "--json", basic}).Exit, 4);
    EXPECT_EQ(
        RunTool({"--audit", "--baseline", warnings, "--strict", "--fail-on", "notice", basic}).Exit,
        4)
        << "the lower level holds";

    // Every warning and notice accepted: only the info remains.
    WriteText(dir.File("notices.json"), R"({"version": 1, "accepted": [
        {"rule": "self-registering", "statement": "the runtime's controls"},
        {"rule": "windows-folder", "where": "%WinDir%\\*", "statement": "the runtime's own"},
        {"rule": "component-registry", "cabinetName": "BASIC.WM.CAB", "statement": "its controls"},
        {"rule": "unused-entry", "statement": "leftovers"},
        {"rule": "not-signed", "statement": "an old vendor"}]})");
    const ToolRun notices = RunTool({"--audit", "--baseline", dir.File("notices.json"), "--fail-on",
                                     "notice", "--json", basic});
    EXPECT_EQ(notices.Exit, 0) << notices.Err;
    EXPECT_EQ(
        RunTool({"--audit", "--baseline", dir.File("notices.json"), "--fail-on", "info", basic})
            .Exit,
        4);
    const json doc = json::parse(notices.Out);
    size_t accepted = 0;
    for (const json& f : doc["findings"])
        if (f["accepted"] == true) {
            ++accepted;
            EXPECT_TRUE(f["statement"].is_string());
        } else {
            EXPECT_EQ(f["severity"], "Info") << f.dump();
            EXPECT_TRUE(f["statement"].is_null());
        }
    EXPECT_EQ(accepted, doc["findings"].size() - 1);

    // The text report shows the statement beside each accepted finding.
    const ToolRun text = RunTool({"--audit", "--baseline", dir.File("notices.json"), basic});
    EXPECT_NE(text.Out.find("accepted"), std::string::npos);
    EXPECT_NE(text.Out.find("the runtime's own"), std::string::npos);

    // --write-baseline, statements filled in: everything passes.
    const std::string written = dir.File("written.json");
    EXPECT_EQ(RunTool({"--audit", "--write-baseline", written, "--json", basic}).Exit, 0);
    const ToolRun unfilled = RunTool({"--audit", "--baseline", written, basic});
    EXPECT_EQ(unfilled.Exit, 2) << "a statement must be given";
    EXPECT_NE(unfilled.Err.find("line 8: \"statement\" is empty"), std::string::npos)
        << unfilled.Err;
    WriteText(written, std::regex_replace(ReadFileText(written), std::regex("\"statement\": \"\""),
                                          "\"statement\": \"reviewed\""));
    EXPECT_EQ(RunTool({"--audit", "--baseline", written, "--fail-on", "info", basic}).Exit, 0);
}

TEST(TessaryInfoAudit, ABrokenOrMissingBaselineIsWrongUsageWithItsLine) {
    TempDir dir;
    WriteText(dir.File("broken.json"), "{\"version\": 1,\n\"accepted\": [\n  {\"rule\": 7}\n]}");
    const std::string cabinet = HaveCorpus() ? RealCabinet("Basic.WM.CAB") : dir.File("none.cab");
    const ToolRun broken = RunTool({"--audit", "--baseline", dir.File("broken.json"), cabinet});
    EXPECT_EQ(broken.Exit, 2);
    EXPECT_TRUE(broken.Out.empty()) << "nothing is audited against a baseline that does not read";
    EXPECT_NE(broken.Err.find("broken.json line 3: \"rule\" must be a string"), std::string::npos)
        << broken.Err;
    const ToolRun missing = RunTool({"--audit", "--baseline", dir.File("missing.json"), cabinet});
    EXPECT_EQ(missing.Exit, 2);
    EXPECT_NE(missing.Err.find("cannot read the baseline"), std::string::npos) << missing.Err;
    const ToolRun folder = RunTool({"--audit", "--baseline", dir.Path(), cabinet}, 30);
    EXPECT_EQ(folder.Exit, 2) << folder.Err;
}

TEST(TessaryInfoSarif, EveryRuleAndEveryJsonFindingIsInTheLog) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    TempDir dir;
    WriteText(dir.File("baseline.json"), R"({"version": 1, "accepted": [
        {"rule": "unused-entry", "statement": "leftovers"},
        {"rule": "not-signed", "statement": "old", "expires": "2001-01-01"}]})");
    for (const char* name : kReal) {
        SCOPED_TRACE(name);
        const std::string cabinet = RealCabinet(name);
        const ToolRun plain =
            RunTool({"--audit", "--json", "--baseline", dir.File("baseline.json"), cabinet});
        const ToolRun sarif =
            RunTool({"--audit", "--sarif", "--baseline", dir.File("baseline.json"), cabinet});
        EXPECT_EQ(sarif.Exit, plain.Exit);
        const json findings = json::parse(plain.Out)["findings"];
        const json log = json::parse(sarif.Out);
        EXPECT_EQ(log["version"], "2.1.0");
        ASSERT_EQ(log["runs"].size(), 1u);
        const json& run = log["runs"][0];
        const json& rules = run["tool"]["driver"]["rules"];
        ASSERT_EQ(rules.size(), AuditRules().size());
        for (size_t i = 0; i < rules.size(); ++i) {
            EXPECT_EQ(rules[i]["id"], AuditRules()[i].Id);
            EXPECT_EQ(rules[i]["fullDescription"]["text"], AuditRules()[i].Help);
            EXPECT_FALSE(rules[i]["shortDescription"]["text"].get<std::string>().empty());
        }
        EXPECT_EQ(run["artifacts"][0]["hashes"]["sha-256"].get<std::string>().size(), 64u);
        const json& results = run["results"];
        ASSERT_EQ(results.size(), findings.size());
        size_t grouped = 0; // places beyond a group's first
        for (size_t i = 0; i < results.size(); ++i) {
            const json& f = findings[i];
            const json& r = results[i];
            // Every key of the JSON finding, with its exact value.
            for (const auto& [key, value] : f.items())
                EXPECT_EQ(r["properties"][key], value) << key;
            EXPECT_EQ(r["ruleId"], f["rule"]);
            EXPECT_EQ(rules[r["ruleIndex"].get<size_t>()]["id"], f["rule"]);
            const std::string level = f["severity"] == "Warning"  ? "warning"
                                      : f["severity"] == "Notice" ? "note"
                                                                  : "none";
            EXPECT_EQ(r["level"], level);
            EXPECT_NE(r["message"]["text"].get<std::string>().find(f["why"].get<std::string>()),
                      std::string::npos);
            EXPECT_EQ(r["locations"][0]["logicalLocations"][0]["name"], f["where"]);
            // A group of places is one result with a location per place, the first its own.
            const json single = json::array({f});
            const json& places = f.contains("places") ? f["places"] : single;
            ASSERT_EQ(r["locations"].size(), places.size());
            EXPECT_EQ(f.contains("count"), f.contains("places"));
            if (f.contains("places")) {
                EXPECT_EQ(f["count"], places.size());
                EXPECT_GT(places.size(), 1u);
                json first = f;
                first.erase("count");
                first.erase("places");
                EXPECT_EQ(places[0], first);
            }
            for (size_t p = 0; p < places.size(); ++p) {
                EXPECT_EQ(r["locations"][p]["logicalLocations"][0]["name"], places[p]["where"]);
                EXPECT_EQ(places[p]["rule"], f["rule"]);
                grouped += p > 0 ? 1 : 0;
            }
            EXPECT_EQ(r.contains("suppressions"), f["accepted"] == true);
            if (f["accepted"] == true) {
                EXPECT_EQ(r["suppressions"][0]["justification"], f["statement"]);
            }
        }
        // Basic.WM.CAB's self-registering controls, among others, are grouped.
        if (std::string(name) == "Basic.WM.CAB") {
            EXPECT_GT(grouped, 5u);
        }
    }
}

TEST(TessaryInfoSarif, SeveralCabinetsAreOneLogWithARunEach) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    TempDir dir;
    WriteText(dir.File("not.cab"), "not a cabinet");
    const ToolRun run =
        RunTool({"--audit", "--sarif", "--fail-on", "warning", RealCabinet("Basic.WM.CAB"),
                 dir.File("not.cab"), RealCabinet("SdkCerts.cab")});
    EXPECT_EQ(run.Exit, 4) << "the highest of the files' statuses";
    const json log = json::parse(run.Out);
    ASSERT_EQ(log["runs"].size(), 3u);
    EXPECT_EQ(log["runs"][0]["invocations"][0]["executionSuccessful"], true);
    const json& failed = log["runs"][1]["invocations"][0];
    EXPECT_EQ(failed["executionSuccessful"], false);
    EXPECT_NE(failed["toolExecutionNotifications"][0]["message"]["text"].get<std::string>().find(
                  "Invalid Windows CE Setup file"),
              std::string::npos);
    EXPECT_TRUE(log["runs"][1]["results"].empty());
    EXPECT_FALSE(log["runs"][2]["results"].empty());
    EXPECT_NE(run.Err.find("Invalid Windows CE Setup file"), std::string::npos);
    EXPECT_EQ(RunTool({"--audit", "--sarif", "--json", RealCabinet("Basic.WM.CAB")}).Exit, 2);
}
