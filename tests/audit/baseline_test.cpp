// The rule table and the baseline: what a baseline accepts, when it stops, and how a broken
// one is reported.
#include "audit/Audit.h"
#include "audit/Baseline.h"
#include "audit/FindingsPage.h"
#include "cab/cabfiles.h"
#include "setup/CESetup.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/Corpus.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace {

TFinding Found(const char* rule, std::string where, TSeverity severity = TSeverity::Notice) {
    TFinding f;
    f.Rule = rule;
    f.Severity = severity;
    f.Title = "title";
    f.Where = std::move(where);
    return f;
}

TBaseline Parsed(const std::string& text) {
    TBaseline baseline;
    TBaselineError error;
    EXPECT_TRUE(ParseBaseline(text, baseline, error)) << error.Line << ": " << error.What;
    return baseline;
}

const TCabinetIdentity kCabinet{"Basic.WM.CAB", std::string(64, 'a')};

} // namespace

TEST(RuleTable, EveryRuleHasAStableIdAndItsDocumentation) {
    const std::regex kebab("[a-z0-9]+(-[a-z0-9]+)*");
    std::set<std::string> ids, anchors;
    for (const TAuditRule& rule : AuditRules()) {
        SCOPED_TRACE(rule.Id);
        EXPECT_TRUE(std::regex_match(rule.Id, kebab));
        EXPECT_TRUE(ids.insert(rule.Id).second) << "ids are unique";
        ASSERT_NE(rule.Help, nullptr) << "every rule says why it matters and what to check";
        EXPECT_GT(std::string(rule.Help).size(), 80u);
        ASSERT_NE(rule.Anchor, nullptr);
        EXPECT_TRUE(anchors.insert(rule.Anchor).second) << "anchors are unique";
        EXPECT_EQ(FindAuditRule(rule.Id), &rule);
    }
    EXPECT_EQ(FindAuditRule("no-such-rule"), nullptr);
    ASSERT_NE(FindAuditRule(kBaselineExpiredRule), nullptr);
    EXPECT_EQ(BuildRulesPage().Rows.size(), AuditRules().size());
}

TEST(RuleTable, EveryFindingOfTheRealSetupsNamesARuleOfTheTable) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    size_t findings = 0;
    for (const char* name :
         {"App.WM.CAB", "Basic.WM.CAB", "BenchmarkDotNet_PPC.ARMV4.CAB", "Eliminator.ARM.CAB",
          "Runtime.HPC_2577.CAB", "SdkCerts.cab", "SecurityOff.cpf", "Ushahidi.CAB"}) {
        TCABFile cabinet;
        TCESetup setup;
        setup.Cabinet = &cabinet;
        (void)setup.LoadSetup(RealCabinet(name), "", false);
        cabinet.ListContents();
        const auto programs = AnalysePrograms(setup, cabinet, cabinet.CABFileContents);
        for (const TFinding& f :
             AuditCabinet(setup, cabinet, &programs, VerifyCabinetSignature(RealCabinet(name)))) {
            const TAuditRule* rule = FindAuditRule(f.Rule);
            ASSERT_NE(rule, nullptr) << name << ": " << f.Rule;
            EXPECT_EQ(rule->Severity, f.Severity) << f.Rule;
            ++findings;
        }
    }
    EXPECT_GT(findings, 50u);
}

TEST(Baseline, AcceptsByRuleExactPlacePatternAndCabinet) {
    const std::string sha = kCabinet.Sha256;
    const TBaseline baseline = Parsed(R"({"version": 1, "accepted": [
        {"rule": "windows-folder", "where": "%WinDir%\\a.dll", "statement": "exact"},
        {"rule": "windows-folder", "where": "%WinDir%\\*.ocx", "statement": "pattern"},
        {"rule": "shared-file", "cabinetSha256": ")" +
                                      std::string(64, 'A') + R"(", "statement": "this cabinet"},
        {"rule": "unused-entry", "cabinetSha256": ")" +
                                      std::string(64, 'b') + R"(", "statement": "another cabinet"},
        {"rule": "not-signed", "cabinetName": "basic.wm.cab", "statement": "by name"}
    ]})");
    ASSERT_EQ(baseline.Entries.size(), 5u);
    EXPECT_EQ(baseline.Entries[2].CabinetSha256, sha) << "hexadecimal is kept in lower case";
    std::vector<TFinding> findings = {Found("windows-folder", "%WinDir%\\a.dll"),
                                      Found("windows-folder", "%WinDir%\\b.dll"),
                                      Found("windows-folder", "%WinDir%\\x.ocx"),
                                      Found("windows-folder", "%WinDir%\\x.ocxx"),
                                      Found("shared-file", "%InstallDir%\\s.dll"),
                                      Found("unused-entry", "e.001"),
                                      Found("not-signed", "Cabinet"),
                                      Found("startup-folder", "%WinDir%\\a.dll")};
    ApplyBaseline(baseline, kCabinet, "2026-12-09", findings);
    std::vector<std::string> statements;
    for (const TFinding& f : findings)
        statements.push_back(f.Accepted ? f.Statement : "-");
    EXPECT_EQ(statements, (std::vector<std::string>{"exact", "-", "pattern", "-", "this cabinet",
                                                    "-", "by name", "-"}));
    EXPECT_EQ(findings.size(), 8u) << "no entry expired";
    const TFindingCounts counts = CountFindings(findings);
    // Counted as listed: a.dll and x.ocx, accepted with two statements, stay two findings;
    // b.dll and x.ocxx, not accepted, are one.
    EXPECT_EQ(counts.Accepted, 4u);
    EXPECT_EQ(counts.Notices, 3u);
    EXPECT_TRUE(AnyUnacceptedAtLeast(findings, TSeverity::Notice));
    EXPECT_FALSE(AnyUnacceptedAtLeast(findings, TSeverity::Warning));
}

TEST(Baseline, AnExpiredEntryAcceptsNothingAndIsReportedOnce) {
    const TBaseline baseline = Parsed(R"({"version": 1, "accepted": [
        {"rule": "windows-folder", "statement": "until the end of the year", "expires": "2026-12-31"},
        {"rule": "shared-file", "statement": "expired", "expires": "2026-12-08"},
        {"rule": "unused-entry", "cabinetName": "other.cab", "statement": "elsewhere", "expires": "2020-01-01"}
    ]})");
    std::vector<TFinding> findings = {Found("windows-folder", "a"), Found("shared-file", "b"),
                                      Found("shared-file", "c"), Found("unused-entry", "d")};
    ApplyBaseline(baseline, kCabinet, "2026-12-31", findings);
    ASSERT_EQ(findings.size(), 5u) << "one Notice for the expired entry of this cabinet only";
    EXPECT_TRUE(findings[0].Accepted) << "the last day still accepts";
    EXPECT_FALSE(findings[1].Accepted);
    EXPECT_FALSE(findings[2].Accepted);
    const TFinding& expired = findings[4];
    EXPECT_EQ(std::string(expired.Rule), kBaselineExpiredRule);
    EXPECT_EQ(expired.Severity, TSeverity::Notice);
    EXPECT_EQ(expired.Title, "baseline entry expired");
    EXPECT_NE(expired.Where.find("line 3"), std::string::npos) << expired.Where;
    EXPECT_NE(expired.Why.find("2026-12-08"), std::string::npos) << expired.Why;

    findings = {Found("windows-folder", "a")};
    ApplyBaseline(baseline, kCabinet, "2027-01-01", findings);
    EXPECT_FALSE(findings[0].Accepted) << "a day later it has expired too";
    EXPECT_EQ(findings.size(), 3u);
}

TEST(Baseline, PatternsMatchTheWholePlace) {
    EXPECT_TRUE(WherePatternMatches("*", ""));
    EXPECT_TRUE(WherePatternMatches("a*c", "abbbc"));
    EXPECT_TRUE(WherePatternMatches("a*b*c", "aXbYbZc"));
    EXPECT_TRUE(WherePatternMatches("%WinDir%\\*", "%WinDir%\\x.dll"));
    EXPECT_FALSE(WherePatternMatches("a*c", "abcd"));
    EXPECT_FALSE(WherePatternMatches("abc", "ab"));
    EXPECT_FALSE(WherePatternMatches("A", "a")) << "exact means exact";
    // A long text against many stars finishes at once.
    EXPECT_FALSE(WherePatternMatches(std::string(50, '*') + "b", std::string(100000, 'a')));
}

TEST(Baseline, AMalformedBaselineNamesItsLineAndWhatIsWrong) {
    struct Case {
        std::string Text;
        size_t Line;
        std::string What;
    };
    const Case cases[] = {
        {"", 1, "not JSON"},
        {"{\"version\": 1,\n \"accepted\": [\n  {\"rule\": \"not-signed\",}\n]}", 3, "not JSON"},
        {"[]", 1, "a baseline is an object"},
        {"{\"accepted\": []}", 1, "no \"version\""},
        {"{\n\"version\": 2, \"accepted\": []}", 2, "\"version\" must be 1"},
        {"{\"version\": 1}", 1, "no \"accepted\""},
        {"{\"version\": 1,\n\"accepted\": {}}", 2, "must be a list"},
        {"{\"version\": 1, \"accepted\": [],\n\"extra\": 1}", 2, "unknown key \"extra\""},
        {"{\"version\": 1, \"accepted\": [\n{\"statement\": \"s\"}]}", 2, "no \"rule\""},
        {"{\"version\": 1, \"accepted\": [{\"rule\": \"not-signed\",\n\n\"statement\": \"s\"},\n"
         "{\"rule\": \"no-such\", \"statement\": \"s\"}]}",
         4, "unknown rule \"no-such\""},
        {"{\"version\": 1, \"accepted\": [\n{\"rule\": \"not-signed\"}]}", 2, "no \"statement\""},
        {"{\"version\": 1, \"accepted\": [{\"rule\": \"not-signed\",\n\"statement\": \" \"}]}", 2,
         "\"statement\" is empty"},
        {"{\"version\": 1, \"accepted\": [{\"rule\": \"not-signed\", \"statement\": \"s\",\n"
         "\"expires\": \"2026-02-30\"}]}",
         2, "YYYY-MM-DD"},
        {"{\"version\": 1, \"accepted\": [{\"rule\": \"not-signed\", \"statement\": \"s\",\n"
         "\"cabinetSha256\": \"abc\"}]}",
         2, "64 hexadecimal digits"},
        {"{\"version\": 1, \"accepted\": [{\"rule\": \"not-signed\", \"statement\": \"s\",\n"
         "\"cabinetName\": \"a\", \"cabinetSha256\": \"" +
             std::string(64, '0') + "\"}]}",
         2, "not both"},
        {"{\"version\": 1, \"accepted\": [{\"rule\": \"not-signed\", \"statement\": 5}]}", 1,
         "must be a string"},
        {"{\"version\": 1, \"accepted\": [\n\n7]}", 3, "each accepted finding is an object"},
        {"{\"version\": 1, \"accepted\": [{\"rule\": \"not-signed\", \"statement\": \"\xff\"}]}", 1,
         "not JSON"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        TBaseline baseline;
        TBaselineError error;
        EXPECT_FALSE(ParseBaseline(c.Text, baseline, error));
        EXPECT_EQ(error.Line, c.Line) << error.What;
        EXPECT_NE(error.What.find(c.What), std::string::npos) << error.What;
    }
}

TEST(Baseline, EveryCutOfAValidBaselineFailsCleanly) {
    const std::string text = R"({"version": 1, "accepted": [
  {"rule": "windows-folder", "where": "%WinDir%\\*.dll", "cabinetName": "a.cab",
   "statement": "the runtime's own", "expires": "2027-06-30"},
  {"rule": "not-signed", "cabinetSha256": ")" +
                             std::string(64, 'c') + R"(", "statement": "s"}
]})";
    ASSERT_EQ(Parsed(text).Entries.size(), 2u);
    for (size_t cut = 0; cut < text.size(); ++cut) {
        TBaseline baseline;
        TBaselineError error;
        EXPECT_FALSE(ParseBaseline(text.substr(0, cut), baseline, error)) << cut;
        EXPECT_GE(error.Line, 1u);
        EXPECT_FALSE(error.What.empty());
    }
}

TEST(Baseline, AWrittenBaselineReadsOnceItsStatementsAreFilledIn) {
    const std::vector<TFinding> findings = {Found("windows-folder", "%WinDir%\\\xe9t\xe9.dll"),
                                            Found("not-signed", "Cabinet")};
    std::vector<TFinding> withExpired = findings;
    withExpired.push_back(Found(kBaselineExpiredRule, "Baseline line 2"));
    const std::string written = WriteBaselineText({{&kCabinet, &withExpired}});
    TBaseline baseline;
    TBaselineError error;
    EXPECT_FALSE(ParseBaseline(written, baseline, error)) << "the statements are still empty";
    EXPECT_NE(error.What.find("statement"), std::string::npos);
    const std::string filled =
        std::regex_replace(written, std::regex("\"statement\": \"\""), "\"statement\": \"ok\"");
    baseline = Parsed(filled);
    ASSERT_EQ(baseline.Entries.size(), 2u) << "the baseline's own findings are left out";
    EXPECT_EQ(baseline.Entries[0].Where, "%WinDir%\\\xc3\xa9t\xc3\xa9.dll") << "as UTF-8";
    std::vector<TFinding> again = findings;
    ApplyBaseline(baseline, kCabinet, "2026-12-09", again);
    EXPECT_TRUE(again[0].Accepted) << "an 8-bit place matches its UTF-8 form";
    EXPECT_TRUE(again[1].Accepted);
}

TEST(Baseline, TheCabinetIsKnownByNameAndDigest) {
    TempDir dir;
    const std::string path = dir.File("Some.cab");
    WriteFileBytes(path, {'a', 'b', 'c'});
    const TCabinetIdentity identity = CabinetIdentity(path);
    EXPECT_EQ(identity.Name, "Some.cab");
    EXPECT_EQ(identity.Sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(CabinetIdentity(dir.File("missing.cab")).Sha256, "");
}
