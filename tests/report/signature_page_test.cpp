// The signature's rows after the properties page's own, and its certificates and checks pages.
#include "report/SetupPages.h"
#include "report/SignaturePage.h"
#include "signature/Signature.h"
#include "tests/report/ReportFixtures.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/Corpus.h"

#include <gtest/gtest.h>

namespace {

using Texts = std::vector<std::string>;

TEST(SignatureRows, FollowThePropertiesUnchanged) {
    if (!HaveCorpus()) GTEST_SKIP() << "no shared corpus";
    const std::string path = RealCabinet("Ushahidi.CAB");
    const LoadedSetup loaded(path);
    const TPage before = BuildPropertiesPage(loaded.Setup, loaded.Listing());
    TPage page = before;
    AddSignatureRows(page, VerifyCabinetSignature(path));
    ASSERT_EQ(page.Rows.size(), before.Rows.size() + 2);
    for (size_t i = 0; i < before.Rows.size(); ++i)
        EXPECT_EQ(page.Rows[i].Cells[1].Text, before.Rows[i].Cells[1].Text);
    const TRow& verdict = page.Rows[before.Rows.size()];
    const TRow& signer = page.Rows[before.Rows.size() + 1];
    EXPECT_EQ((Texts{verdict.Cells[0].Text, verdict.Cells[1].Text}),
              (Texts{"Signature", "Intact"}));
    EXPECT_EQ((Texts{signer.Cells[0].Text, signer.Cells[1].Text}),
              (Texts{"Signed By", "Ushahidi"}));

    std::vector<uint8_t> bytes = ReadFileBytes(path);
    bytes[600] ^= 0x01;
    TPage modified;
    AddSignatureRows(modified, VerifyCabinetSignature(bytes));
    EXPECT_EQ(
        Column(modified, 1),
        (Texts{"Modified: the cabinet's digest does not match the signed digest", "Ushahidi"}));
    TPage unsigned_;
    AddSignatureRows(unsigned_, VerifyCabinetSignature(RealCabinet("App.WM.CAB")));
    EXPECT_EQ(Column(unsigned_, 1), (Texts{"Not signed", ""}));
    EXPECT_EQ(*FindField(unsigned_.Rows[1].Record, "signedBy"), TValue());
}

TEST(SignaturePages, CertificatesAndChecks) {
    if (!HaveCorpus()) GTEST_SKIP() << "no shared corpus";
    const TSignaturePages pages =
        BuildSignaturePages(VerifyCabinetSignature(RealCabinet("SecurityOff.cpf")));
    EXPECT_EQ(*FindField(pages.Summary, "verdict"), TValue(std::string("Intact")));
    EXPECT_EQ(*FindField(pages.Summary, "testCertificate"), TValue(true));
    EXPECT_EQ(*FindField(pages.Summary, "digestAlgorithm"), TValue(std::string("SHA-1")));
    ASSERT_EQ(pages.Certificates.Rows.size(), 1u);
    const TRow& certificate = pages.Certificates.Rows[0];
    EXPECT_EQ(certificate.Cells[1].Text,
              "CN=TEST USE ONLY - Sample Privileged Root for Windows Mobile SDK");
    EXPECT_EQ(certificate.Cells[6].Text, "RSA 1024");
    EXPECT_EQ((Texts{certificate.Cells[7].Text, certificate.Cells[8].Text}), (Texts{"No", "Yes"}));
    EXPECT_EQ(Column(pages.Checks, 0), (Texts{"Cabinet digest", "Message digest",
                                              "Signer's signature", "Certificate chain"}));
    // A chain that verifies is not called passed: the row says where it ends.
    EXPECT_EQ(Column(pages.Checks, 1),
              (Texts{"Passed", "Passed", "Passed",
                     "chain ends at CN=TEST USE ONLY - Sample Privileged Developer - Windows "
                     "Mobile SDK, whose issuer CN=TEST USE ONLY - Sample Privileged Root for "
                     "Windows Mobile SDK is not carried; trusted only by devices that have that "
                     "issuer"}));
    EXPECT_EQ(Column(pages.TrustFacts, 0),
              (Texts{"Chain", "Test certificate", "Validity", "Signing time", "Digest"}));

    const TSignaturePages none = BuildSignaturePages(TCabinetSignature{});
    EXPECT_EQ(*FindField(none.Summary, "verdict"), TValue(std::string("Not signed")));
    EXPECT_EQ(*FindField(none.Summary, "position"), TValue());
    EXPECT_TRUE(none.Certificates.Rows.empty());
}

} // namespace
