// Each audit rule on a pair of builder-made setups: one that triggers it and one that does not.
#include "audit/Audit.h"
#include "audit/CodeKeys.h"
#include "cab/cabfiles.h"
#include "provisioning/Provisioning.h"
#include "setup/CESetup.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/support/PEBuilder.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// What one fixture is made of; each knob turns one thing the rules look at.
struct Fixture {
    DescriptorBuilder Builder{"Demo", "Acme", "%CE1%\\Demo"};
    SetupCabinetContents Contents;
    std::vector<std::string> Dropped; // entry names left out of the cabinet
    TCabinetSignature Signature;
    std::string Provisioning; // "_setup.xml" text for the provisioning rules
    uint16_t App = 0;

    Fixture() {
        Builder.Plan().Processor = 2577;
        PEPlan arm;
        App = Builder.File(1, "app.exe");
        Contents.FileData[App] = BuildPEImage(arm);
        Builder.Shortcut("Demo", App, Builder.Dir("%CE11%"));
        Builder.RegString(Builder.RegKey(3, "Software\\Acme\\Demo"), "Path", "\\Program Files");
        Signature.Verdict = TSignatureVerdict::Intact;
    }
};

struct Audited {
    TCABFile Cabinet;
    TCESetup Setup;
    std::vector<TProgramRow> Programs;
    provisioning::TProvisioningTree Tree;
    TDescriptorFacts Facts;
    std::vector<TFinding> Findings;
};

std::unique_ptr<Audited> Audit(Fixture& f) {
    TempDir dir;
    const std::string path = dir.File("setup.cab");
    auto entries = SetupCabinetEntries(f.Builder.Plan(), f.Contents);
    std::erase_if(entries, [&](const FixtureEntry& e) {
        return std::find(f.Dropped.begin(), f.Dropped.end(), e.Name) != f.Dropped.end();
    });
    WriteCabinet(path, entries, FixtureCompression::MSZIP);
    auto a = std::make_unique<Audited>();
    a->Setup.Cabinet = &a->Cabinet;
    EXPECT_TRUE(a->Setup.LoadSetup(path, "", false));
    a->Cabinet.ListContents();
    a->Programs = AnalysePrograms(a->Setup, a->Cabinet, a->Cabinet.CABFileContents);
    if (!f.Provisioning.empty()) a->Tree = provisioning::ReadProvisioning(f.Provisioning);
    a->Facts =
        ReadDescriptorFacts(a->Setup, a->Cabinet, f.Provisioning.empty() ? nullptr : &a->Tree);
    a->Cabinet.ListContents();
    TAuditInput input;
    input.Setup = &a->Setup;
    input.Listing = &a->Cabinet.CABFileContents;
    input.Signature = &f.Signature;
    input.Provisioning = f.Provisioning.empty() ? nullptr : &a->Tree;
    input.Programs = &a->Programs;
    input.Descriptors = &a->Facts;
    input.Now = "2024-06-01 12:00:00";
    a->Findings = RunAudit(input);
    return a;
}

std::vector<const TFinding*> Of(const Audited& a, const std::string& rule) {
    std::vector<const TFinding*> found;
    for (const TFinding& f : a.Findings)
        if (rule == f.Rule) found.push_back(&f);
    return found;
}

std::string Policy(const std::string& id, const std::string& value) {
    return "<wap-provisioningdoc><characteristic type=\"SecurityPolicy\"><parm name=\"" + id +
           "\" value=\"" + value + "\"/></characteristic></wap-provisioningdoc>";
}

std::string Store(const std::string& store, const std::string& inner) {
    return "<wap-provisioningdoc><characteristic type=\"CertificateStore\"><characteristic "
           "type=\"" +
           store + "\">" + inner + "</characteristic></characteristic></wap-provisioningdoc>";
}

const char kCertificate[] = "<characteristic type=\"0123456789ABCDEF0123456789ABCDEF01234567\">"
                            "<parm name=\"EncodedCertificate\" value=\"MIIB\"/></characteristic>";

// The base fixture's shortcut and registry value, as the markup descriptor writes them.
const char kXmlRest[] =
    "<characteristic type=\"FileOperation\"><characteristic type=\"%CE11%\" "
    "translation=\"install\"><characteristic type=\"Demo.lnk\" translation=\"install\">"
    "<characteristic type=\"Shortcut\"><parm name=\"Source\" value=\"%CE1%\\Demo\\app.exe\" "
    "translation=\"install\"/></characteristic></characteristic></characteristic>"
    "</characteristic><characteristic type=\"Registry\"><characteristic "
    "type=\"HKLM\\Software\\Acme\\Demo\"><parm name=\"Path\" value=\"\\Program Files\" "
    "datatype=\"string\"/></characteristic></characteristic>";

std::string SetupXml(const std::string& files, const std::string& rest = "") {
    return "<wap-provisioningdoc><characteristic type=\"Install\">"
           "<parm name=\"AppName\" value=\"Acme Demo\"/>"
           "<parm name=\"InstallDir\" value=\"%CE1%\\Demo\" translation=\"install\"/>"
           "<parm name=\"NumFiles\" value=\"1\"/></characteristic>"
           "<characteristic type=\"FileOperation\"><characteristic type=\"%CE1%\\Demo\" "
           "translation=\"install\">" +
           files + "</characteristic></characteristic>" + rest + "</wap-provisioningdoc>";
}

std::string XmlFile(const std::string& name, const std::string& source) {
    return "<characteristic type=\"" + name +
           "\" translation=\"install\"><characteristic type=\"Extract\"><parm name=\"Source\" "
           "value=\"" +
           source + "\"/></characteristic></characteristic>";
}

using Knob = std::function<void(Fixture&)>;

struct RuleCase {
    const char* Rule;
    Knob Triggers;
    Knob Clean; // the nearest setup that must not trigger it
    TFindingPage Page = TFindingPage::None;
};

void Nothing(Fixture&) {}

} // namespace

TEST(AuditRules, EachRuleFiresOnItsFixtureAndNotOnTheNearestCleanOne) {
    PEPlan mips;
    mips.Machine = 0x0166;
    const std::vector<RuleCase> cases = {
        {"not-signed", [](Fixture& f) { f.Signature.Verdict = TSignatureVerdict::NotSigned; },
         Nothing, TFindingPage::Signature},
        {"signature-broken",
         [](Fixture& f) {
             f.Signature.Verdict = TSignatureVerdict::Modified;
             f.Signature.Reason = "the cabinet's digest differs";
         },
         Nothing, TFindingPage::Signature},
        {"test-certificate", [](Fixture& f) { f.Signature.TestCertificate = true; }, Nothing,
         TFindingPage::Signature},
        {"certificate-dates",
         [](Fixture& f) {
             f.Signature.Certificates.push_back({});
             f.Signature.Certificates.back().NotBefore = "2004-01-01 00:00:00";
             f.Signature.Certificates.back().NotAfter = "2009-12-31 00:00:00";
         },
         [](Fixture& f) {
             f.Signature.Certificates.push_back({});
             f.Signature.Certificates.back().NotBefore = "2004-01-01 00:00:00";
             f.Signature.Certificates.back().NotAfter = "2049-12-31 00:00:00";
         },
         TFindingPage::Signature},
        {"setup-dll", [](Fixture& f) { f.Contents.SetupDll = BuildPEImage(PEPlan{}); }, Nothing,
         TFindingPage::Programs},
        {"startup-folder", [](Fixture& f) { f.Builder.File(f.Builder.Dir("%CE4%"), "agent.exe"); },
         [](Fixture& f) { f.Builder.File(f.Builder.Dir("%CE1%\\Demo\\StartUp"), "agent.exe"); },
         TFindingPage::Files},
        {"startup-folder",
         [](Fixture& f) { f.Builder.ShortcutInStandardFolder("Agent", f.App, 4); },
         [](Fixture& f) { f.Builder.ShortcutInStandardFolder("Agent", f.App, 11); },
         TFindingPage::Shortcuts},
        {"boot-registry",
         [](Fixture& f) {
             f.Builder.RegString(f.Builder.RegKey(3, "Init"), "Launch90", "app.exe");
         },
         [](Fixture& f) {
             f.Builder.RegString(f.Builder.RegKey(3, "Software\\Init"), "Launch90", "app.exe");
         },
         TFindingPage::Registry},
        {"boot-registry",
         [](Fixture& f) {
             f.Builder.RegString(f.Builder.RegKey(3, "Drivers\\BuiltIn\\Demo"), "Dll", "d.dll");
         },
         [](Fixture& f) {
             f.Builder.RegString(f.Builder.RegKey(3, "Drivers\\BuiltIn\\Demo"), "Prefix", "DEM");
         },
         TFindingPage::Registry},
        {"component-registry",
         [](Fixture& f) {
             f.Builder.RegString(f.Builder.RegKey(1, "CLSID\\{1}\\InprocServer32"), "", "a.dll");
         },
         [](Fixture& f) {
             f.Builder.RegString(f.Builder.RegKey(1, "CLSID\\{1}\\InprocServer32"),
                                 "ThreadingModel", "Both");
         },
         TFindingPage::Registry},
        {"certificate-store", [](Fixture& f) { f.Provisioning = Store("ROOT", kCertificate); },
         [](Fixture& f) { f.Provisioning = Store("MY", kCertificate); },
         TFindingPage::Provisioning},
        {"certificate-store",
         [](Fixture& f) {
             f.Provisioning = Store("SPC", "<nocharacteristic type=\"0123456789ABCDEF\"/>");
         },
         [](Fixture& f) {
             f.Provisioning = Store("CA", "<nocharacteristic type=\"0123456789ABCDEF\"/>");
         },
         TFindingPage::Provisioning},
        {"security-policy", [](Fixture& f) { f.Provisioning = Policy("4102", "1"); },
         [](Fixture& f) { f.Provisioning = Policy("4102", "0"); }, TFindingPage::Provisioning},
        {"security-policy", [](Fixture& f) { f.Provisioning = Policy("4119", "16"); },
         [](Fixture& f) { f.Provisioning = Policy("4119", "0"); }, TFindingPage::Provisioning},
        {"windows-folder", [](Fixture& f) { f.Builder.File(f.Builder.Dir("%CE2%"), "x.dll"); },
         [](Fixture& f) { f.Builder.File(f.Builder.Dir("%CE1%\\Windows"), "x.dll"); },
         TFindingPage::Files},
        {"overwrite-newer", [](Fixture& f) { f.Builder.File(1, "x.dll", 0x40000000); },
         [](Fixture& f) { f.Builder.File(1, "x.dll", 0x20000000); }, TFindingPage::Files},
        {"shared-file", [](Fixture& f) { f.Builder.File(1, "x.dll", 0x80000000); },
         [](Fixture& f) { f.Builder.File(1, "x.dll", 0x10000000); }, TFindingPage::Files},
        {"cpu-mismatch",
         [&](Fixture& f) { f.Contents.FileData[f.Builder.File(1, "x.dll")] = BuildPEImage(mips); },
         [](Fixture& f) { f.Contents.FileData[f.Builder.File(1, "x.dll")] = BuildPEImage({}); },
         TFindingPage::Programs},
        {"missing-entry",
         [](Fixture& f) {
             f.Dropped.push_back(SetupEntryName("x.dll", f.Builder.File(1, "x.dll")));
         },
         [](Fixture& f) { f.Builder.File(1, "x.dll"); }, TFindingPage::Files},
        {"unused-entry",
         [](Fixture& f) {
             f.Contents.Extra.push_back({"PAYLOAD.BIN", Bytes("hidden")});
         },
         [](Fixture& f) {
             f.Contents.Extra.push_back({"_setup.xml", Bytes(SetupXml(""))});
         }},
        {"descriptor-counts", [](Fixture& f) { f.Builder.Plan().Files.front().Id = 9; }, Nothing},
        {"descriptor-counts",
         [](Fixture& f) {
             f.Provisioning = SetupXml("");
             f.Contents.Extra.push_back({"_setup.xml", Bytes(f.Provisioning)});
         },
         [](Fixture& f) {
             f.Provisioning = SetupXml(XmlFile("app.exe", SetupEntryName("app.exe", f.App)));
             f.Contents.Extra.push_back({"_setup.xml", Bytes(f.Provisioning)});
         }},
        {"descriptors-differ",
         [](Fixture& f) {
             f.Contents.Extra.push_back(
                 {"_setup.xml",
                  Bytes(SetupXml(XmlFile("other.exe", "OTHER.001") +
                                 XmlFile("app.exe", SetupEntryName("app.exe", f.App))))});
         },
         [](Fixture& f) {
             f.Contents.Extra.push_back(
                 {"_setup.xml",
                  Bytes(SetupXml(XmlFile("APP.EXE", SetupEntryName("app.exe", f.App)), kXmlRest))});
         }},
    };
    for (const RuleCase& c : cases) {
        SCOPED_TRACE(c.Rule);
        Fixture triggering;
        c.Triggers(triggering);
        const auto hit = Audit(triggering);
        const auto found = Of(*hit, c.Rule);
        ASSERT_FALSE(found.empty());
        EXPECT_EQ(found.front()->Page, c.Page);
        EXPECT_FALSE(found.front()->Where.empty());
        EXPECT_FALSE(found.front()->Why.empty());
        Fixture clean;
        c.Clean(clean);
        const auto miss = Audit(clean);
        for (const TFinding* f : Of(*miss, c.Rule))
            ADD_FAILURE() << "clean fixture: " << f->Title << " | " << f->Where;
    }
}

// The rows the findings point at are the rows of their pages, and the table is whole.
TEST(AuditRules, FindingsPointAtTheirRowsAndTakeTheTablesSeverity) {
    Fixture f;
    const uint16_t win = f.Builder.Dir("%CE2%");
    f.Builder.File(win, "a.dll");
    f.Builder.File(win, "b.dll", 0x80000000);
    f.Builder.RegString(f.Builder.RegKey(3, "Init"), "Launch80", "b.exe");
    f.Provisioning = Policy("4097", "1");
    const auto a = Audit(f);
    const auto windows = Of(*a, "windows-folder");
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0]->Where, "%WinDir%\\a.dll");
    EXPECT_EQ(a->Setup.Files[windows[1]->Row].Name, "b.dll");
    EXPECT_EQ(windows[0]->Severity, TSeverity::Notice);
    const auto boot = Of(*a, "boot-registry");
    ASSERT_EQ(boot.size(), 1u);
    EXPECT_EQ(a->Setup.RegValues[boot[0]->Row].Name, "Launch80");
    EXPECT_EQ(boot[0]->Where, "HKEY_LOCAL_MACHINE\\Init: Launch80 = b.exe");
    const auto policy = Of(*a, "security-policy");
    ASSERT_EQ(policy.size(), 1u);
    EXPECT_EQ(a->Tree.Nodes[policy[0]->Row].Name, "4097");
    EXPECT_EQ(policy[0]->Title, "Security policy lowered: RAPI Policy");
    // The two files in the Windows folder are one finding of the headline.
    const TFindingCounts counts = CountFindings(a->Findings);
    EXPECT_EQ(FindingsHeadline(counts), "Findings: 2 warnings, 1 notice, 1 info");
    for (const TAuditRule& rule : AuditRules())
        for (const TFinding* finding : Of(*a, rule.Id))
            EXPECT_EQ(finding->Severity, rule.Severity) << rule.Id;
    EXPECT_EQ(FindingsHeadline({1, 1, 0}), "Findings: 1 warning, 1 notice, 0 info");
    EXPECT_EQ(WorstSeverity({0, 0, 2}), TSeverity::Info);
    EXPECT_EQ(WorstSeverity({0, 3, 2}), TSeverity::Notice);
    EXPECT_EQ(WorstSeverity({}), std::nullopt);
}

TEST(AuditCodeKeys, KeysMatchByComponentIgnoringCase) {
    EXPECT_NE(FindCodeKey(kRootLocalMachine, "init", "LAUNCH50"), nullptr);
    EXPECT_EQ(FindCodeKey(kRootLocalMachine, "Init\\Sub", "Launch50"), nullptr);
    EXPECT_EQ(FindCodeKey(kRootCurrentUser, "Init", "Launch50"), nullptr) << "another root";
    EXPECT_NE(FindCodeKey(kRootLocalMachine, "Services\\Telnetd", "Dll"), nullptr);
    EXPECT_EQ(FindCodeKey(kRootLocalMachine, "Services", "Dll"), nullptr);
    EXPECT_NE(FindCodeKey(kRootLocalMachine, "Drivers\\USB\\ClientDrivers\\X", "DLL"), nullptr);
    EXPECT_NE(FindCodeKey(kRootLocalMachine, "Software\\Microsoft\\Today\\Items\\Mine", "DLL"),
              nullptr);
    EXPECT_NE(FindCodeKey(kRootClassesRoot, "txtfile\\Shell\\Open\\Command", "Default"), nullptr);
    EXPECT_NE(FindCodeKey(kRootClassesRoot, "docfile\\shellex\\ContextMenuHandlers\\{X}", "Any"),
              nullptr);
}
