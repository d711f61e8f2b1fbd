// Signatures that lie about where they are or what they hold: each is "Unreadable" with the
// reason, read in bounded time and memory.
#include "signature/Crypto.h"
#include "signature/Signature.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/CabinetSigner.h"
#include "tests/support/Corpus.h"
#include "tests/support/SignatureArea.h"

#include <gtest/gtest.h>

#include <random>

namespace {

void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(value >> (8 * i));
}

class HostileSignature : public testing::Test {
  protected:
    void SetUp() override {
        if (!HaveCorpus()) GTEST_SKIP() << "no shared corpus";
        FCabinet = ReadFileBytes(RealCabinet("Ushahidi.CAB"));
    }

    std::string Summary(const std::vector<uint8_t>& cabinet) const {
        return VerifyCabinetSignature(cabinet).Summary();
    }

    std::vector<uint8_t> FCabinet;
};

TEST_F(HostileSignature, ReserveFieldsOutOfPlace) {
    const uint32_t end = uint32_t(FCabinet.size());
    const auto with = [&](size_t at, uint32_t value) {
        std::vector<uint8_t> b = FCabinet;
        PutU32(b, at, value);
        return Summary(b);
    };
    std::vector<uint8_t> shortReserve = FCabinet;
    shortReserve[36] = 12;
    EXPECT_EQ(Summary(shortReserve), "Signature unreadable: the header reserve holds 12 bytes, "
                                     "fewer than the 20 a signature needs");
    EXPECT_EQ(with(44, end - 10), "Signature unreadable: the signature area (944 bytes at " +
                                      std::to_string(end - 10) +
                                      ") lies past the end of the file (845016 bytes)");
    EXPECT_EQ(with(44, 0xFFFFFF00u),
              "Signature unreadable: the signature area (944 bytes at 4294967040) wraps around");
    EXPECT_EQ(with(48, 0x7FFFFFFFu), "Signature unreadable: the signature area (2147483647 "
                                     "bytes at 844072) is larger than any signature");
    EXPECT_EQ(with(48, 0), "Signature unreadable: the signature area is empty");
    EXPECT_EQ(with(44, 20), "Signature unreadable: the signature area (944 bytes at 20) overlaps "
                            "the cabinet header");
    EXPECT_EQ(with(44, 1000), "Signature unreadable: the signature area (944 bytes at 1000) "
                              "overlaps the cabinet (844072 bytes)");
    // A reserve made for a signature that was never written.
    std::vector<uint8_t> unwritten = FCabinet;
    PutU32(unwritten, 44, 0);
    PutU32(unwritten, 48, 0);
    EXPECT_EQ(Summary(unwritten), "Not signed");
}

TEST_F(HostileSignature, GarbageInsteadOfDer) {
    std::mt19937 random(14);
    std::vector<uint8_t> garbage(944);
    for (uint8_t& b : garbage)
        b = uint8_t(random());
    EXPECT_EQ(Summary(WithSignature(FCabinet, garbage)),
              "Signature unreadable: the signature is not a PKCS#7 structure");
    // A DER header that claims far more than the area holds.
    std::vector<uint8_t> claims = {0x30, 0x84, 0x7F, 0xFF, 0xFF, 0xFF, 0x06, 0x09};
    EXPECT_EQ(Summary(WithSignature(FCabinet, claims)),
              "Signature unreadable: the signature is not a PKCS#7 structure");
}

// Cut at every byte: the cabinet (its header and reserve included), and the DER alone inside
// an area that still fits. Nothing is Intact until the whole DER is there.
TEST_F(HostileSignature, Truncated) {
    const std::vector<uint8_t> small = ReadFileBytes(RealCabinet("SecurityOff.cpf"));
    for (size_t n = 0; n < small.size(); ++n) {
        const std::vector<uint8_t> cut(small.begin(), small.begin() + n);
        const TCabinetSignature s = VerifyCabinetSignature(cut);
        ASSERT_EQ(s.Verdict, TSignatureVerdict::Unreadable) << n << ": " << s.Summary();
    }
    const std::vector<uint8_t> der = SignatureArea(FCabinet);
    const size_t derSize = 940; // then four bytes of padding
    for (size_t n = 0; n <= der.size(); ++n) {
        const std::vector<uint8_t> cut(der.begin(), der.begin() + n);
        const TCabinetSignature s = VerifyCabinetSignature(WithSignature(FCabinet, cut));
        if (n < derSize)
            ASSERT_EQ(s.Verdict, TSignatureVerdict::Unreadable) << n << ": " << s.Summary();
        else
            ASSERT_EQ(s.Summary(), "Intact: signed by Ushahidi") << n;
    }
}

TEST(SignatureFile, MissingOrNotACabinet) {
    TempDir dir;
    EXPECT_EQ(VerifyCabinetSignature(dir.File("absent.cab")).Summary(),
              "Signature unreadable: the file cannot be read");
    WriteFileBytes(dir.File("text.cab"), Bytes("plain text, no cabinet"));
    EXPECT_EQ(VerifyCabinetSignature(dir.File("text.cab")).Summary(),
              "Signature unreadable: the file is not a cabinet");
}

} // namespace

#if !defined(_WIN32)
// Each check with an RSA key is an exponentiation by its public exponent: a key with an
// exponent of hundreds of bits in each of thousands of certificates would take minutes, so such
// a key's signatures are not checked, and that is said.
TEST(HostileCertificate, HugePublicExponentIsNotCheckedAndSaysSo) {
    std::string why;
    const auto usual = crypto::DecodeCertificate(SelfSignedCertificateDer("Usual", 1024), why);
    ASSERT_TRUE(usual) << why;
    EXPECT_TRUE(usual->SelfSigned);
    EXPECT_EQ(usual->Unchecked, "");

    std::vector<uint8_t> exponent(33, 0);
    exponent.front() = 0x01; // 2^256 + 1: odd, 257 bits
    exponent.back() = 0x01;
    const auto huge =
        crypto::DecodeCertificate(SelfSignedCertificateDer("Huge", 1024, exponent), why);
    ASSERT_TRUE(huge) << why;
    EXPECT_FALSE(huge->SelfSigned);
    EXPECT_EQ(huge->Unchecked,
              "its signatures are not checked: an RSA public exponent of 257 bits");
    EXPECT_FALSE(crypto::VerifyCertificate(*huge, *huge));
}
#endif
