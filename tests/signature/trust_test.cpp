// What a signature lets a device conclude beside its integrity: the chain's end, test keys,
// dates at signing and today, times and digest, and whether the setup installs its own signer.
#include "cab/TextValues.h"
#include "cab/cabfiles.h"
#include "provisioning/Rows.h"
#include "report/SignaturePage.h"
#include "signature/Signature.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/Corpus.h"

#include <gtest/gtest.h>

namespace {

constexpr char kSdkPrivilegedRoot[] =
    "CN=TEST USE ONLY - Sample Privileged Root for Windows Mobile SDK";

TTrustContext CabinetContext(const std::string& path) {
    TCABFile cab;
    cab.CABFile = path;
    cab.ListContents();
    return provisioning::CabinetTrustContext(cab);
}

// The certificate the provisioning document of SdkCerts.cab adds with this subject.
std::optional<crypto::TCertificate> SdkCertificate(const std::string& subject) {
    TCABFile cab;
    cab.CABFile = RealCabinet("SdkCerts.cab");
    cab.ListContents();
    provisioning::TProvisioningTree tree;
    if (!provisioning::ReadCabinetProvisioning(cab, tree)) return std::nullopt;
    for (const provisioning::TCertificateInfo& info : tree.Certificates) {
        if (info.Subject != subject) continue;
        std::string why;
        const auto der = DecodeBase64(tree.Nodes[info.Node].Value, why);
        if (der) return crypto::DecodeCertificate(*der, why);
    }
    return std::nullopt;
}

TEST(SignatureTrust, UshahidiIsSelfSignedAndInstallsItsOwnSigner) {
    if (!HaveCorpus()) GTEST_SKIP() << "no shared corpus";
    const std::string path = RealCabinet("Ushahidi.CAB");
    const TCabinetSignature signature = VerifyCabinetSignature(path);
    EXPECT_EQ(signature.Chain.End, TChainEnd::SelfSigned);
    EXPECT_EQ(signature.Chain.Path, std::vector<int>{signature.SignerIndex});
    EXPECT_FALSE(signature.Chain.Test);
    ASSERT_NE(signature.ChainEnd(), nullptr);
    EXPECT_EQ(signature.ChainEnd()->Thumbprint, "A20F2863C68353672368360252125D05FB1C013D");

    const TTrustContext context = CabinetContext(path);
    ASSERT_EQ(context.Added.size(), 2u);
    const TTrustStatement s = BuildTrustStatement(signature, context);
    EXPECT_EQ(s.Chain, "chain complete to CN=Ushahidi, self-signed; trusted only by devices that "
                       "have it");
    EXPECT_EQ(s.SelfAdded, "the setup itself adds CN=Ushahidi to the device's Privileged "
                           "Execution Trust Authorities and SPC stores: it vouches for itself");
    EXPECT_TRUE(s.Test.empty());
    // Valid from 2009 to 2099, computed against today's clock.
    EXPECT_TRUE(s.ValidToday);
    EXPECT_EQ(s.Validity, "validity when signed not known (no signing time); valid today");
    EXPECT_EQ(s.Times, "no signing time; no countersignature");
    EXPECT_TRUE(s.WeakDigest);
    EXPECT_EQ(s.Line.rfind("Trust: chain complete to CN=Ushahidi, self-signed", 0), 0u) << s.Line;

    // The page: the chain check says where the chain ends instead of "Passed".
    const TSignaturePages pages = BuildSignaturePages(signature, context);
    ASSERT_EQ(pages.Checks.Rows.size(), 4u);
    EXPECT_EQ(pages.Checks.Rows[3].Cells[1].Text, s.Chain);
    EXPECT_EQ(*FindField(pages.Trust, "chainEnd"), TValue(std::string("self-signed")));
    EXPECT_EQ(*FindField(pages.Trust, "chainEndThumbprint"),
              TValue(std::string("A20F2863C68353672368360252125D05FB1C013D")));
    EXPECT_EQ(*FindField(pages.Trust, "weakDigest"), TValue(true));
    EXPECT_EQ(pages.TrustFacts.Rows.back().Cells[0].Text, "Installed by the setup");

    // Without what the setup adds, the statement does not claim it.
    EXPECT_TRUE(BuildTrustStatement(signature).SelfAdded.empty());
}

TEST(SignatureTrust, SecurityOffTestCertificateExpiredBeforeToday) {
    if (!HaveCorpus()) GTEST_SKIP() << "no shared corpus";
    const TCabinetSignature signature = VerifyCabinetSignature(RealCabinet("SecurityOff.cpf"));
    EXPECT_EQ(signature.Chain.End, TChainEnd::IssuerMissing);
    EXPECT_EQ(signature.Chain.MissingIssuer, kSdkPrivilegedRoot);
    EXPECT_TRUE(signature.Chain.Test);

    const TTrustStatement today = BuildTrustStatement(signature, {UtcNowText(), {}});
    EXPECT_FALSE(today.ValidToday);
    EXPECT_EQ(today.Validity,
              "validity when signed not known (no signing time); not valid today: CN=TEST USE "
              "ONLY - Sample Privileged Developer - Windows Mobile SDK expired on 2009-12-31 "
              "08:00:00");
    EXPECT_EQ(today.Chain, std::string("chain ends at CN=TEST USE ONLY - Sample Privileged "
                                       "Developer - Windows Mobile SDK, whose issuer ") +
                               kSdkPrivilegedRoot +
                               " is not carried; trusted only by devices that have that issuer");
    EXPECT_NE(today.Test.find("is a test certificate"), std::string::npos) << today.Test;

    // On a day within its dates the same certificate is valid: the clock is the caller's.
    const TTrustStatement then = BuildTrustStatement(signature, {"2008-06-01 00:00:00", {}});
    EXPECT_TRUE(then.ValidToday);
    const TSignaturePages pages = BuildSignaturePages(signature, {UtcNowText(), {}});
    EXPECT_EQ(*FindField(pages.Trust, "validToday"), TValue(false));
    EXPECT_EQ(*FindField(pages.Trust, "test"), TValue(true));
    EXPECT_EQ(*FindField(pages.Trust, "validAtSigning"), TValue());
}

TEST(SignatureTrust, ChainFollowsTheIssuersCarriedToARoot) {
    if (!HaveCorpus()) GTEST_SKIP() << "no shared corpus";
    TCabinetSignature signature = VerifyCabinetSignature(RealCabinet("SecurityOff.cpf"));
    const auto root = SdkCertificate(kSdkPrivilegedRoot);
    ASSERT_TRUE(root);
    ASSERT_TRUE(root->SelfSigned);
    // The SDK's root issued SecurityOff's signer: carried together, the chain is complete.
    signature.Certificates.insert(signature.Certificates.begin(), *root);
    signature.SignerIndex = 1;
    const TSignatureChain chain = FollowChain(signature.Certificates, 1);
    EXPECT_EQ(chain.End, TChainEnd::CarriedRoot);
    EXPECT_EQ(chain.Path, (std::vector<int>{1, 0}));
    signature.Chain = chain;
    EXPECT_EQ(signature.ChainEnd()->Thumbprint, "D4FB8924CFBA6C9C67360E7D6512FFDE99D2D283");
    EXPECT_EQ(BuildTrustStatement(signature).Chain,
              std::string("chain complete to ") + kSdkPrivilegedRoot +
                  ", a self-signed root carried in the signature; trusted only by devices "
                  "that have it");

    // An issuer of the right name whose key does not verify the certificate breaks the chain.
    const auto other =
        SdkCertificate("CN=TEST USE ONLY - Sample Unprivileged Root for Windows Mobile SDK");
    ASSERT_TRUE(other);
    crypto::TCertificate impostor = *other;
    impostor.SubjectDer = root->SubjectDer;
    EXPECT_EQ(FollowChain({impostor, signature.Certificates[1]}, 1).End, TChainEnd::Broken);
    EXPECT_EQ(FollowChain(signature.Certificates, -1).End, TChainEnd::None);
}

TEST(SignatureTrust, UnsignedModifiedAndUnreadableSayNoTrust) {
    if (!HaveCorpus()) GTEST_SKIP() << "no shared corpus";
    EXPECT_EQ(BuildTrustStatement(TCabinetSignature{}).Line,
              "Trust: none, the cabinet is not signed");
    EXPECT_TRUE(BuildSignaturePages(TCabinetSignature{}).Trust.empty());

    std::vector<uint8_t> bytes = ReadFileBytes(RealCabinet("Ushahidi.CAB"));
    bytes[600] ^= 0x01;
    const TCabinetSignature modified = VerifyCabinetSignature(bytes);
    ASSERT_EQ(modified.Verdict, TSignatureVerdict::Modified);
    EXPECT_EQ(BuildTrustStatement(modified).Line.rfind(
                  "Trust: none, the cabinet's bytes are not the ones signed; chain complete", 0),
              0u);

    TCabinetSignature unreadable;
    unreadable.Verdict = TSignatureVerdict::Unreadable;
    EXPECT_EQ(BuildTrustStatement(unreadable).Line, "Trust: none, the signature cannot be read");
}

} // namespace
