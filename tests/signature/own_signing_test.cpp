// Cabinets signed here with a throw-away key, as a publisher signs a setup with osslsigncode.
#include "signature/Signature.h"
#include "tests/signature/Recording.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/CabinetSigner.h"

#include <gtest/gtest.h>

namespace {

class OwnSigned : public testing::TestWithParam<FixtureCompression> {
  protected:
    void SetUp() override {
        if (!HaveOsslsigncode()) GTEST_SKIP() << "osslsigncode is not installed";
        FKey = MakeSigningKey(FDir.Path(), "Tessary Test Publisher");
        std::vector<FixtureEntry> entries;
        for (int i = 0; i < 3; ++i) {
            std::vector<uint8_t> data(70000 + i * 1000);
            for (size_t j = 0; j < data.size(); ++j)
                data[j] = uint8_t(j * 7 + i);
            entries.push_back({"file" + std::to_string(i) + ".00" + std::to_string(i + 1), data});
        }
        WriteCabinet(FDir.File("plain.cab"), entries, GetParam());
    }

    std::string Sign(const std::string& digest, long signingTime = 0) {
        const std::string out = FDir.File("signed-" + digest + ".cab");
        std::string log;
        EXPECT_TRUE(SignCabinet(FKey, FDir.File("plain.cab"), out, digest, signingTime, log))
            << log;
        const bool stored = GetParam() == FixtureCompression::None;
        RecordSignedCabinet(digest + (stored ? "-stored" : "-mszip"), ReadFileBytes(out));
        return out;
    }

    TempDir FDir;
    SigningKey FKey;
};

TEST_P(OwnSigned, UnsignedIsNotSigned) {
    EXPECT_EQ(VerifyCabinetSignature(FDir.File("plain.cab")).Summary(), "Not signed");
}

TEST_P(OwnSigned, SignedWithSha256IsIntactWithItsTime) {
    const TCabinetSignature s = VerifyCabinetSignature(Sign("sha256", 1700000000));
    EXPECT_EQ(s.Summary(), "Intact: signed by Tessary Test Publisher");
    EXPECT_EQ(s.DigestAlgorithm, "SHA-256");
    EXPECT_EQ(s.SigningTime, "2023-11-14 22:13:20");
    ASSERT_NE(s.Signer(), nullptr);
    EXPECT_TRUE(s.Signer()->SelfSigned);
    EXPECT_TRUE(s.TestCertificate) << "its name says Test";
    EXPECT_EQ(s.Signer()->KeyBits, 2048);
    EXPECT_EQ(s.Signer()->Serial, "5EED");
    EXPECT_EQ(s.Signer()->Subject, "CN=Tessary Test Publisher");
    EXPECT_EQ(s.Checks.size(), 4u);

    // The key was made an hour ago, so the time the signer claims lies before its dates.
    const TTrustStatement trust = BuildTrustStatement(s);
    EXPECT_EQ(trust.Times, "signed 2023-11-14 22:13:20 by the signer's own clock; no "
                           "countersignature");
    EXPECT_FALSE(trust.ValidAtSigning);
    EXPECT_EQ(trust.Validity.rfind("not valid when signed: CN=Tessary Test Publisher is valid "
                                   "only from ",
                                   0),
              0u)
        << trust.Validity;
    EXPECT_TRUE(trust.ValidToday);
    EXPECT_EQ(trust.Digest, "SHA-256 digest");
    EXPECT_FALSE(trust.WeakDigest);
    EXPECT_EQ(trust.Test.rfind("CN=Tessary Test Publisher is a test certificate", 0), 0u);
}

TEST_P(OwnSigned, SignedWithSha1IsIntactAndAChangedDataByteIsNot) {
    const std::string path = Sign("sha1");
    const TCabinetSignature s = VerifyCabinetSignature(path);
    EXPECT_EQ(s.Summary(), "Intact: signed by Tessary Test Publisher");
    EXPECT_EQ(s.DigestAlgorithm, "SHA-1");
    EXPECT_EQ(s.SigningTime.size(), 19u) << "osslsigncode names the time of signing";
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    bytes[s.Position - 100] ^= 0x80;
    RecordSignedCabinet(GetParam() == FixtureCompression::None ? "changed-stored" : "changed-mszip",
                        bytes);
    EXPECT_EQ(VerifyCabinetSignature(bytes).Summary(),
              "Modified: signed by Tessary Test Publisher, but the cabinet's digest does not "
              "match the signed digest");
}

INSTANTIATE_TEST_SUITE_P(Compression, OwnSigned,
                         testing::Values(FixtureCompression::None, FixtureCompression::MSZIP),
                         [](const auto& info) {
                             return info.param == FixtureCompression::None ? "Stored" : "MSZIP";
                         });

} // namespace
