// The real provisioning cabinets, shown as an auditor needs them: which policies change to what,
// which certificates go into which store, and whether each is filed under its own thumbprint.
#include "tests/provisioning/ProvisioningSupport.h"

#include "cab/cabfiles.h"
#include "provisioning/Rows.h"
#include "tests/support/Corpus.h"

#include <gtest/gtest.h>

#include <map>

using namespace provisioning;

namespace {

TProvisioningTree Cabinet(const std::string& name) {
    TCABFile cab;
    cab.CABFile = RealCabinet(name);
    TProvisioningTree tree;
    if (!ReadCabinetProvisioning(cab, tree)) ADD_FAILURE() << name << " has no _setup.xml";
    return tree;
}

// Meaning of every parm under SecurityPolicy, by policy id.
std::map<std::string, std::string> Policies(const TProvisioningTree& tree) {
    std::map<std::string, std::string> policies;
    for (const TProvisioningRow& row : ProvisioningRows(tree))
        if (row.Item == "parm" &&
            tree.Nodes[static_cast<size_t>(tree.Nodes[row.Node].Parent)].Name == "SecurityPolicy")
            policies[row.Name] = row.Meaning;
    return policies;
}

} // namespace

TEST(RealProvisioning, SecurityOffTurnsOffSecurity) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    const TProvisioningTree tree = Cabinet("SecurityOff.cpf");
    EXPECT_TRUE(WellFormed(tree));
    EXPECT_EQ(ProvisioningHeadline(Summarize(tree)),
              "Provisioning document: 9 security policies, 0 certificates");
    const std::map<std::string, std::string> expected = {
        {"2", "Auto Run Policy (2): 0 = applications on a storage card may start automatically "
              "when it is inserted"},
        {"4097", "RAPI Policy (4097): 1 = full remote access: RAPI calls run without restriction"},
        {"4101", "Unsigned CABS Policy (4101): unsigned cabinets are installed with the role "
                 "SECROLE_USER_AUTH"},
        {"4102", "Unsigned Applications Policy (4102): 1 = unsigned applications may run"},
        {"4103", "Unsigned Themes Policy (4103): unsigned themes are installed with the role "
                 "SECROLE_USER_UNAUTH"},
        {"4119", "Grant Manager Policy (4119): the Manager's rights are also granted to the roles "
                 "SECROLE_USER_AUTH | SECROLE_OPERATOR_TPS"},
        {"4120", "Grant User Authenticated Policy (4120): User Authenticated rights are also "
                 "granted to the roles SECROLE_USER_AUTH"},
        {"4122", "Unsigned Prompt Policy (4122): 1 = the user is not asked"},
        {"4123", "PrivilegedApps Policy (4123): 1 = one-tier device: every program allowed to run "
                 "is privileged"},
    };
    EXPECT_EQ(Policies(tree), expected);
}

#ifdef TESSARY_HAVE_CRYPTO
TEST(RealProvisioning, SdkCertsFillsTheTrustStores) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    const TProvisioningTree tree = Cabinet("SdkCerts.cab");
    EXPECT_EQ(ProvisioningHeadline(Summarize(tree)),
              "Provisioning document: 0 security policies, 8 certificates");
    struct Expected {
        std::string Store, Subject;
        bool SelfSigned;
    };
    const std::string priv = "CertificateStore / Privileged Execution Trust Authorities";
    const std::string unpriv = "CertificateStore / Unprivileged Execution Trust Authorities";
    const std::string spc = "CertificateStore / SPC";
    const std::string failsafe = "CN=TEST USE ONLY \xE2\x80\x93"
                                 "Failsafe Configuration Root for Windows Mobile SDK";
    const std::string privRoot = "CN=TEST USE ONLY - Sample Privileged Root for Windows Mobile SDK";
    const std::string unprivRoot =
        "CN=TEST USE ONLY - Sample Unprivileged Root for Windows Mobile SDK";
    const std::string vs = "CN=Microsoft Visual Studio Signing Authority, OU=Visual Studio for "
                           "Devices, O=Microsoft Corporation, L=Redmond, ST=Washington, C=US";
    const std::vector<Expected> expected = {{priv, failsafe, true}, {priv, privRoot, true},
                                            {priv, vs, false},      {unpriv, unprivRoot, true},
                                            {unpriv, vs, false},    {spc, failsafe, true},
                                            {spc, privRoot, true},  {spc, unprivRoot, true}};
    ASSERT_EQ(tree.Certificates.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const TCertificateInfo& c = tree.Certificates[i];
        ASSERT_TRUE(c.Decoded) << i << ": " << c.Note;
        EXPECT_EQ(c.Store, expected[i].Store) << i;
        EXPECT_EQ(c.Subject, expected[i].Subject) << i;
        EXPECT_EQ(c.SelfSigned, expected[i].SelfSigned) << i;
        EXPECT_TRUE(c.ThumbprintMatches) << i << ": " << c.StoredUnder;
        EXPECT_EQ(c.KeyType, "RSA");
    }
    EXPECT_EQ(tree.Certificates[2].Thumbprint, "884B8CDDB6FF1A3D2FF4BC09EC45E2AE2CCB244C");
    EXPECT_EQ(tree.Certificates[2].KeyBits, 1024);
    EXPECT_EQ(tree.Certificates[0].NotAfter, "2009-12-31 08:00:00");
    // The SPC store gives each root its roles.
    const TNode* role = FindNode(tree, TNodeKind::Parm, "Role");
    ASSERT_NE(role, nullptr);
    EXPECT_EQ(NodeMeaning(tree, IndexOf(tree, role)),
              "roles SECROLE_OEM | SECROLE_OPERATOR | SECROLE_MANAGER | SECROLE_USER_AUTH | "
              "SECROLE_USER_UNAUTH | SECROLE_OPERATOR_TPS");
}

// Ushahidi installs a program, and in a provisioning document nested in its own adds a
// self-signed certificate to the privileged store under a name that is not its thumbprint.
TEST(RealProvisioning, UshahidiNestsACertificateUnderAnotherName) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    const TProvisioningTree tree = Cabinet("Ushahidi.CAB");
    EXPECT_TRUE(WellFormed(tree));
    ASSERT_EQ(tree.Certificates.size(), 2u);
    const TCertificateInfo& c = tree.Certificates[0];
    ASSERT_TRUE(c.Decoded) << c.Note;
    EXPECT_EQ(c.Store, "CertificateStore / Privileged Execution Trust Authorities");
    EXPECT_EQ(c.StoredUnder, "b898cd805484b09b290abf1f3e99cf3de03b614c");
    EXPECT_EQ(c.Thumbprint, "A20F2863C68353672368360252125D05FB1C013D");
    EXPECT_FALSE(c.ThumbprintMatches);
    EXPECT_EQ(c.Subject, "CN=Ushahidi");
    EXPECT_TRUE(c.SelfSigned);
    EXPECT_EQ(c.NotAfter, "2099-01-01 03:00:00");
    EXPECT_EQ(c.KeyBits, 1024);
    EXPECT_EQ(tree.Certificates[1].Store, "CertificateStore / SPC");
    // The certificates sit in the nested document, one level below the outer one.
    const TNode& parm = tree.Nodes[c.Node];
    EXPECT_EQ(parm.Depth, 6u);
    size_t documents = 0;
    for (int32_t p = parm.Parent; p >= 0; p = tree.Nodes[static_cast<size_t>(p)].Parent)
        documents += tree.Nodes[static_cast<size_t>(p)].Kind == TNodeKind::Document;
    EXPECT_EQ(documents, 2u);
    EXPECT_NE(FindNode(tree, TNodeKind::Characteristic, "FileOperation"), nullptr);
    const TProvisioningSummary s = Summarize(tree);
    EXPECT_EQ(s.Certificates, 2);
    EXPECT_EQ(s.Notes, 0);
}
#endif
