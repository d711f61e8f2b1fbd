// Signatures decoded, changed and encoded again with OpenSSL: a SignedData without a signer,
// without the signer's certificate, or with thousands of certificates.
#include "signature/Signature.h"
#include "tests/signature/Recording.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/Corpus.h"
#include "tests/support/SignatureArea.h"

#include <gtest/gtest.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <functional>
#include <memory>

namespace {

class EditedSignature : public testing::Test {
  protected:
    void SetUp() override {
        if (!HaveCorpus()) GTEST_SKIP() << "no shared corpus";
        FCabinet = ReadFileBytes(RealCabinet("Ushahidi.CAB"));
    }

    std::string Summary(const std::vector<uint8_t>& cabinet) const {
        return VerifyCabinetSignature(cabinet).Summary();
    }

    // The cabinet with its signature decoded, changed by edit, and encoded again.
    std::vector<uint8_t> WithEditedSignature(const std::function<void(PKCS7*)>& edit) const {
        const std::vector<uint8_t> area = SignatureArea(FCabinet);
        const unsigned char* p = area.data();
        std::unique_ptr<PKCS7, decltype(&PKCS7_free)> p7(d2i_PKCS7(nullptr, &p, long(area.size())),
                                                         PKCS7_free);
        EXPECT_TRUE(p7);
        if (!p7) return {};
        edit(p7.get());
        unsigned char* out = nullptr;
        const int size = i2d_PKCS7(p7.get(), &out);
        EXPECT_GT(size, 0);
        std::vector<uint8_t> der(out, out + std::max(size, 0));
        OPENSSL_free(out);
        return WithSignature(FCabinet, der);
    }

    std::vector<uint8_t> FCabinet;
};

TEST_F(EditedSignature, NoSigner) {
    const auto cabinet = WithEditedSignature([](PKCS7* p7) {
        STACK_OF(PKCS7_SIGNER_INFO)* signers = p7->d.sign->signer_info;
        while (sk_PKCS7_SIGNER_INFO_num(signers) > 0)
            PKCS7_SIGNER_INFO_free(sk_PKCS7_SIGNER_INFO_pop(signers));
    });
    RecordSignedCabinet("no-signer", cabinet);
    EXPECT_EQ(Summary(cabinet), "Signature unreadable: the signature has no signer");
}

TEST_F(EditedSignature, SignerCertificateMissing) {
    const auto cabinet = WithEditedSignature([](PKCS7* p7) {
        sk_X509_pop_free(p7->d.sign->cert, X509_free);
        p7->d.sign->cert = nullptr;
    });
    RecordSignedCabinet("signer-certificate-missing", cabinet);
    EXPECT_EQ(Summary(cabinet),
              "Signature unreadable: the signer's certificate is not in the signature");
}

TEST_F(EditedSignature, ThousandsOfCertificates) {
    const auto cabinet = WithEditedSignature([](PKCS7* p7) {
        X509* only = sk_X509_value(p7->d.sign->cert, 0);
        for (int i = 0; i < 1999; ++i)
            PKCS7_add_certificate(p7, only);
    });
    RecordSignedCabinet("thousands-of-certificates", cabinet);
    EXPECT_EQ(Summary(cabinet), "Signature unreadable: the signature carries 2000 certificates, "
                                "more than the 64 read");
}

} // namespace
