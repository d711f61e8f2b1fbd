// Certificates made here with OpenSSL, put into documents as a provisioning tool writes them.
#ifdef TESSARY_HAVE_CRYPTO
#include "provisioning/Rows.h"
#include "tests/provisioning/ProvisioningSupport.h"
#include "tests/support/CabinetSigner.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

using namespace provisioning;

namespace {

using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using X509Ptr = std::unique_ptr<X509, decltype(&X509_free)>;

void SetCommonName(X509_NAME* name, const std::string& cn) {
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1, 0);
}

// A certificate for subject's key, issued (signed) by issuerKey under issuer's name.
std::vector<uint8_t> MakeCertificate(const std::string& subject, EVP_PKEY* key,
                                     const std::string& issuer, EVP_PKEY* issuerKey, long serial) {
    X509Ptr x(X509_new(), X509_free);
    X509_set_version(x.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x.get()), serial);
    ASN1_TIME_set_string(X509_getm_notBefore(x.get()), "20200102030405Z");
    ASN1_TIME_set_string(X509_getm_notAfter(x.get()), "20300102030405Z");
    X509_set_pubkey(x.get(), key);
    SetCommonName(X509_get_subject_name(x.get()), subject);
    SetCommonName(X509_get_issuer_name(x.get()), issuer);
    if (X509_sign(x.get(), issuerKey, EVP_sha256()) <= 0) throw std::runtime_error("X509_sign");
    unsigned char* out = nullptr;
    const int size = i2d_X509(x.get(), &out);
    std::vector<uint8_t> der(out, out + size);
    OPENSSL_free(out);
    return der;
}

std::string Sha1Hex(const std::vector<uint8_t>& der, bool upper) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(der.data(), der.size(), digest, &size, EVP_sha1(), nullptr);
    std::string hex;
    for (unsigned int i = 0; i < size; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, upper ? "%02X" : "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

std::string StoreDocument(const std::string& store, const std::string& name,
                          const std::string& value) {
    return "<wap-provisioningdoc><characteristic type=\"CertificateStore\"><characteristic "
           "type=\"" +
           store + "\"><characteristic type=\"" + name +
           "\"><parm name=\"EncodedCertificate\" value=\"" + value +
           "\"/></characteristic></characteristic></characteristic></wap-provisioningdoc>";
}

TProvisioningTree Decoded(const std::string& document) {
    TProvisioningTree tree = ReadProvisioning(document);
    DecodeCertificates(tree);
    return tree;
}

class CertificateFixture : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        RootKey = EVP_RSA_gen(2048);
        LeafKey = EVP_EC_gen("P-256");
        RootDer =
            MakeCertificate("Tessary Test Root", RootKey, "Tessary Test Root", RootKey, 0x1234);
        LeafDer = MakeCertificate("Tessary Leaf", LeafKey, "Tessary Test Root", RootKey, 7);
    }
    static void TearDownTestSuite() {
        EVP_PKEY_free(RootKey);
        EVP_PKEY_free(LeafKey);
    }
    static inline EVP_PKEY* RootKey = nullptr;
    static inline EVP_PKEY* LeafKey = nullptr;
    static inline std::vector<uint8_t> RootDer;
    static inline std::vector<uint8_t> LeafDer;
};

} // namespace

// Every field of a self-signed root filed under its own thumbprint (written in lower case).
TEST_F(CertificateFixture, DecodesAFixtureCertificate) {
    const TProvisioningTree tree =
        Decoded(StoreDocument("ROOT", Sha1Hex(RootDer, false), Base64Lines(RootDer)));
    ASSERT_EQ(tree.Certificates.size(), 1u);
    const TCertificateInfo& c = tree.Certificates[0];
    ASSERT_TRUE(c.Decoded) << c.Note;
    EXPECT_EQ(c.Subject, "CN=Tessary Test Root");
    EXPECT_EQ(c.Issuer, "CN=Tessary Test Root");
    EXPECT_EQ(c.Serial, "1234");
    EXPECT_EQ(c.NotBefore, "2020-01-02 03:04:05");
    EXPECT_EQ(c.NotAfter, "2030-01-02 03:04:05");
    EXPECT_EQ(c.Thumbprint, Sha1Hex(RootDer, true));
    EXPECT_EQ(c.KeyType, "RSA");
    EXPECT_EQ(c.KeyBits, 2048);
    EXPECT_TRUE(c.SelfSigned);
    EXPECT_EQ(c.Store, "CertificateStore / ROOT");
    EXPECT_EQ(c.StoredUnder, Sha1Hex(RootDer, false));
    EXPECT_TRUE(c.ThumbprintMatches);
    EXPECT_EQ(tree.Nodes[c.Node].Certificate, 0);
    EXPECT_EQ(NodeMeaning(tree, c.Node), "CN=Tessary Test Root; thumbprint " +
                                             Sha1Hex(RootDer, true) +
                                             ", the name it is filed under");
}

// A certificate filed under a name that is not its thumbprint, issued by another key.
TEST_F(CertificateFixture, ThumbprintThatIsNotItsName) {
    const std::string wrongName = Sha1Hex(RootDer, false); // the root's, not the leaf's
    const TProvisioningTree tree = Decoded(
        StoreDocument("Privileged Execution Trust Authorities", wrongName, Base64Lines(LeafDer)));
    ASSERT_EQ(tree.Certificates.size(), 1u);
    const TCertificateInfo& c = tree.Certificates[0];
    ASSERT_TRUE(c.Decoded) << c.Note;
    EXPECT_FALSE(c.ThumbprintMatches);
    EXPECT_FALSE(c.SelfSigned);
    EXPECT_EQ(c.Issuer, "CN=Tessary Test Root");
    EXPECT_EQ(c.KeyType, "EC");
    EXPECT_EQ(c.KeyBits, 256);
    EXPECT_EQ(c.Serial, "07");
    EXPECT_NE(NodeMeaning(tree, c.Node).find("NOT the name it is filed under"), std::string::npos);
}

// Broken base64, DER that OpenSSL refuses, a cut certificate and a 10 MB value: each is a
// note on its own certificate; the others still decode.
TEST_F(CertificateFixture, UndecodableCertificatesAreNotes) {
    const std::string good = Base64Lines(RootDer);
    const std::string cut = Base64Lines({RootDer.begin(), RootDer.begin() + 300});
    std::string document = "<wap-provisioningdoc><characteristic type=\"CertificateStore\">"
                           "<characteristic type=\"ROOT\">";
    const std::vector<std::string> values = {"MIIB*not base64*", "aGVsbG8gd29ybGQh", cut,
                                             std::string(10 << 20, 'A'), good};
    for (size_t i = 0; i < values.size(); ++i)
        document += "<characteristic type=\"c" + std::to_string(i) +
                    "\"><parm name=\"EncodedCertificate\" value=\"" + values[i] +
                    "\"/></characteristic>";
    document += "</characteristic></characteristic></wap-provisioningdoc>";
    const TProvisioningTree tree = Decoded(document);
    ASSERT_EQ(tree.Certificates.size(), 5u);
    EXPECT_EQ(tree.Certificates[0].Note, "not base64: byte 0x2A at offset 4 is not base64");
    EXPECT_EQ(tree.Certificates[1].Note, "not an X.509 certificate: a certificate does not decode");
    EXPECT_EQ(tree.Certificates[2].Note, "not an X.509 certificate: a certificate does not decode");
    EXPECT_EQ(tree.Certificates[3].Note, "not an X.509 certificate: a certificate does not decode");
    for (size_t i = 0; i < 4; ++i)
        EXPECT_FALSE(tree.Certificates[i].Decoded);
    EXPECT_EQ(NodeMeaning(tree, tree.Certificates[0].Node), "certificate that does not decode");
    EXPECT_TRUE(tree.Certificates[4].Decoded);
    EXPECT_EQ(tree.Certificates[4].Store, "CertificateStore / ROOT");
    EXPECT_EQ(Summarize(tree).Certificates, 5);
}

// A certificate outside any characteristic has no store and no name to match.
TEST_F(CertificateFixture, CertificateOutsideAStore) {
    const TProvisioningTree tree =
        Decoded("<parm name=\"EncodedCertificate\" value=\"" + Base64Lines(RootDer) + "\"/>");
    ASSERT_EQ(tree.Certificates.size(), 1u);
    EXPECT_TRUE(tree.Certificates[0].Decoded);
    EXPECT_EQ(tree.Certificates[0].Store, "");
    EXPECT_EQ(tree.Certificates[0].StoredUnder, "");
    EXPECT_FALSE(tree.Certificates[0].ThumbprintMatches);
}

// A reader told to stop (a window closing during a document of slow keys) decodes no further
// certificate, and what it leaves is not passed off as read: every certificate is still listed.
TEST_F(CertificateFixture, StopsBetweenCertificates) {
    std::string document = "<wap-provisioningdoc><characteristic type=\"CertificateStore\">"
                           "<characteristic type=\"ROOT\">";
    for (int i = 0; i < 4; ++i)
        document += "<characteristic type=\"c" + std::to_string(i) +
                    "\"><parm name=\"EncodedCertificate\" value=\"" + Base64Lines(RootDer) +
                    "\"/></characteristic>";
    document += "</characteristic></characteristic></wap-provisioningdoc>";
    int asked = 0;
    TProvisioningTree tree = ReadDocumentBytes(document, [&asked] { return ++asked > 2; });
    ASSERT_EQ(tree.Certificates.size(), 4u);
    EXPECT_TRUE(tree.Certificates[0].Decoded);
    EXPECT_TRUE(tree.Certificates[1].Decoded);
    for (size_t i = 2; i < 4; ++i) {
        EXPECT_FALSE(tree.Certificates[i].Decoded);
        EXPECT_EQ(tree.Certificates[i].Note, "not decoded: the reading was stopped");
        EXPECT_TRUE(tree.Certificates[i].Subject.empty());
    }
    EXPECT_EQ(asked, 3); // once stopped, not asked again
    EXPECT_EQ(StoreAdditions(tree).size(), 2u);
}
#endif
