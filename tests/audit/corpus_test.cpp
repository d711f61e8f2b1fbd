// The audit of the real setups: what each must name.
#include "audit/Audit.h"
#include "cab/cabfiles.h"
#include "setup/CESetup.h"
#include "tests/support/Corpus.h"

#include <gtest/gtest.h>

#include <set>

namespace {

std::vector<TFinding> AuditReal(const std::string& name) {
    TCABFile cabinet;
    TCESetup setup;
    setup.Cabinet = &cabinet;
    EXPECT_TRUE(setup.LoadSetup(RealCabinet(name), "", false));
    cabinet.ListContents();
    const auto programs = AnalysePrograms(setup, cabinet, cabinet.CABFileContents);
    return AuditCabinet(setup, cabinet, &programs, VerifyCabinetSignature(RealCabinet(name)));
}

std::set<std::string> Wheres(const std::vector<TFinding>& findings, const std::string& rule) {
    std::set<std::string> wheres;
    for (const TFinding& f : findings)
        if (rule == f.Rule) wheres.insert(f.Where);
    return wheres;
}

} // namespace

TEST(AuditCorpus, SecurityOffNamesEveryPolicyItLowers) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    const auto findings = AuditReal("SecurityOff.cpf");
    std::set<std::string> titles;
    for (const TFinding& f : findings)
        if (std::string(f.Rule) == "security-policy") titles.insert(f.Title);
    const std::set<std::string> expected = {
        "Security policy lowered: PrivilegedApps Policy",
        "Security policy lowered: Grant Manager Policy",
        "Security policy lowered: Unsigned CABS Policy",
        "Security policy lowered: Unsigned Applications Policy",
        "Security policy lowered: Unsigned Prompt Policy",
        "Security policy lowered: Auto Run Policy",
        "Security policy lowered: Grant User Authenticated Policy",
        "Security policy lowered: RAPI Policy"};
    EXPECT_EQ(titles, expected) << "4103 gives unsigned themes only the unauthenticated role";
    EXPECT_EQ(Wheres(findings, "test-certificate").size(), 1u);
}

TEST(AuditCorpus, WindowsFolderFilesAndComponentRegistrationsAreListed) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    const auto app = AuditReal("App.WM.CAB");
    EXPECT_EQ(Wheres(app, "windows-folder"),
              (std::set<std::string>{"%WinDir%\\nscepicturebox.ocx", "%WinDir%\\vbscript.dll"}));
    const auto appComponents = Wheres(app, "component-registry");
    EXPECT_EQ(appComponents.size(), 5u);
    EXPECT_TRUE(
        appComponents.count("HKEY_CLASSES_ROOT\\CLSID\\{B54F3741-5B07-11CF-A4B0-"
                            "00AA004A55E8}\\InprocServer32: Default = \\Windows\\vbscript.dll"));
    EXPECT_TRUE(Wheres(app, "descriptors-differ").empty()) << "both descriptors agree";
    EXPECT_TRUE(Wheres(app, "unused-entry").empty());

    const auto basic = AuditReal("Basic.WM.CAB");
    EXPECT_EQ(Wheres(basic, "windows-folder").size(), 19u);
    EXPECT_TRUE(Wheres(basic, "windows-folder").count("%WinDir%\\Vbscript.dll"));
    EXPECT_TRUE(Wheres(basic, "component-registry")
                    .count("HKEY_CLASSES_ROOT\\CLSID\\{3F4DACA4-160D-11D2-A8E9-00104B365C9F}"
                           "\\InprocServer32: Default = vbscript.dll"));
    EXPECT_TRUE(Wheres(basic, "missing-entry").empty());
}

// Ushahidi.CAB installs the certificate that signed it into the stores that trust cabinets and
// privileged programs; its "_setup.xml" installs the same 12 files and shortcut as its binary
// descriptor, after the nested document that adds the certificates.
TEST(AuditCorpus, UshahidiVouchesForItselfAndItsDescriptorsAgree) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    const auto findings = AuditReal("Ushahidi.CAB");
    const auto vouching = Wheres(findings, "self-vouching");
    EXPECT_EQ(vouching,
              (std::set<std::string>{"CertificateStore\\Privileged Execution Trust "
                                     "Authorities\\b898cd805484b09b290abf1f3e99cf3de03b614c\\"
                                     "EncodedCertificate",
                                     "CertificateStore\\SPC\\b898cd805484b09b290abf1f3e99cf3de03b6"
                                     "14c\\EncodedCertificate"}));
    for (const TFinding& f : findings)
        if (std::string(f.Rule) == "self-vouching") {
            EXPECT_EQ(f.Severity, TSeverity::Warning);
            EXPECT_NE(f.Why.find("CN=Ushahidi, the certificate that signed this cabinet"),
                      std::string::npos)
                << f.Why;
        }
    EXPECT_TRUE(Wheres(findings, "descriptors-differ").empty());
    EXPECT_TRUE(Wheres(findings, "descriptor-counts").empty());
    EXPECT_TRUE(Wheres(findings, "test-certificate-added").empty());

    // Severity first: no Notice or Info before the last Warning.
    bool pastWarnings = false;
    for (const TFinding& f : findings) {
        if (f.Severity != TSeverity::Warning) pastWarnings = true;
        EXPECT_FALSE(pastWarnings && f.Severity == TSeverity::Warning) << f.Rule;
    }
}

// The SDK's provisioning document adds its "TEST USE ONLY" roots to privileged, unprivileged and
// SPC stores: every one is named, the Visual Studio certificates are not.
TEST(AuditCorpus, SdkCertsTestRootsAreCalledTestKeys) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    const auto findings = AuditReal("SdkCerts.cab");
    const auto test = Wheres(findings, "test-certificate-added");
    EXPECT_EQ(test.size(), 6u); // three roots, each in its own store and in SPC
    for (const std::string& where : test)
        EXPECT_EQ(where.find("884B8CDD"), std::string::npos) << where;
    size_t named = 0;
    for (const TFinding& f : findings)
        if (std::string(f.Rule) == "test-certificate-added")
            named += f.Why.find("CN=TEST USE ONLY") != std::string::npos ? 1 : 0;
    EXPECT_EQ(named, 6u);
    EXPECT_TRUE(Wheres(findings, "self-vouching").empty()) << "it is not signed";
}

// Files flagged ActiveX run their own registration code at install; the binary descriptor's
// flag and "_setup.xml"'s SelfRegister name the same file once.
TEST(AuditCorpus, SelfRegisteringFilesAreNamed) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    const auto basic = Wheres(AuditReal("Basic.WM.CAB"), "self-registering");
    EXPECT_EQ(basic.size(), 12u);
    EXPECT_TRUE(basic.count("%WinDir%\\DialogX.ocx")) << *basic.begin();
    EXPECT_TRUE(basic.count("%WinDir%\\MSCEGrid.dll"));
    EXPECT_EQ(Wheres(AuditReal("App.WM.CAB"), "self-registering"),
              (std::set<std::string>{"%WinDir%\\nscepicturebox.ocx"}));
}
