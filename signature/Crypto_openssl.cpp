// The crypto seam on OpenSSL: the only file that includes OpenSSL's headers.
#include "signature/Crypto.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>

namespace crypto {
namespace {

template <auto Free> struct TFreer {
    template <typename T> void operator()(T* p) const { Free(p); }
};
using TX509Ptr = std::unique_ptr<X509, TFreer<X509_free>>;
using TPKCS7Ptr = std::unique_ptr<PKCS7, TFreer<PKCS7_free>>;
using TSignerInfoPtr = std::unique_ptr<PKCS7_SIGNER_INFO, TFreer<PKCS7_SIGNER_INFO_free>>;
using TBioPtr = std::unique_ptr<BIO, TFreer<BIO_free>>;
using TMdCtxPtr = std::unique_ptr<EVP_MD_CTX, TFreer<EVP_MD_CTX_free>>;

std::string Hex(const uint8_t* data, size_t size) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 15];
    }
    return text;
}

// An OpenSSL i2d_ function's encoding as bytes; empty when it fails.
template <typename T, typename F> TBytes Encode(T* object, F i2d) {
    unsigned char* out = nullptr;
    const int size = i2d(object, &out);
    if (size <= 0) return {};
    TBytes bytes(out, out + size);
    OPENSSL_free(out);
    return bytes;
}

// The serial as its encoded bytes, without a leading sign byte: how the system's own certificate
// viewer shows it. OpenSSL's magnitude would lose the sign of the negative serials that old
// certificates carry.
std::string SerialText(const TBytes& der) {
    if (der.size() < 3 || der[0] != 0x02) return {};
    size_t start = 2;
    if (der[1] & 0x80) start += der[1] & 0x7F;
    if (start >= der.size()) return {};
    if (der.size() - start > 1 && der[start] == 0) ++start;
    return Hex(der.data() + start, der.size() - start);
}

std::string NameText(const X509_NAME* name) {
    TBioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio) return {};
    // Common name first, UTF-8 kept as it is rather than escaped.
    const unsigned long flags = (ASN1_STRFLGS_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) |
                                XN_FLAG_SEP_CPLUS_SPC | XN_FLAG_DN_REV | XN_FLAG_FN_SN;
    if (X509_NAME_print_ex(bio.get(), name, 0, flags) < 0) return {};
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return size > 0 ? std::string(data, size_t(size)) : std::string();
}

std::string CommonNameOf(const X509_NAME* name) {
    const int index = X509_NAME_get_index_by_NID(name, NID_commonName, -1);
    if (index < 0) return {};
    const ASN1_STRING* value = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index));
    unsigned char* utf8 = nullptr;
    const int size = ASN1_STRING_to_UTF8(&utf8, value);
    if (size < 0) return {};
    std::string text(reinterpret_cast<char*>(utf8), size_t(size));
    OPENSSL_free(utf8);
    return text;
}

std::string TimeText(const ASN1_TIME* time) {
    std::tm tm{};
    if (!time || ASN1_TIME_to_tm(time, &tm) != 1) return {};
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

std::string OidText(const ASN1_OBJECT* object) {
    char text[128];
    const int size = OBJ_obj2txt(text, sizeof text, object, 1);
    return size > 0 && size < int(sizeof text) ? std::string(text) : std::string();
}

// An algorithm identifier as its OID. Parameters other than NULL are named too, so that such
// an identifier matches none of the algorithms we know.
std::string AlgorithmText(const X509_ALGOR* algorithm) {
    if (!algorithm) return {};
    const ASN1_OBJECT* object = nullptr;
    int parameterType = V_ASN1_UNDEF;
    X509_ALGOR_get0(&object, &parameterType, nullptr, algorithm);
    std::string text = OidText(object);
    if (parameterType != V_ASN1_UNDEF && parameterType != V_ASN1_NULL) text += " with parameters";
    return text;
}

std::string KeyTypeOf(X509* x, EVP_PKEY* key) {
    if (key) {
        switch (EVP_PKEY_get_base_id(key)) {
        case EVP_PKEY_RSA:
            return "RSA";
        case EVP_PKEY_EC:
            return "EC";
        case EVP_PKEY_DSA:
            return "DSA";
        case EVP_PKEY_ED25519:
            return "Ed25519";
        default:
            break;
        }
    }
    ASN1_OBJECT* algorithm = nullptr;
    if (X509_PUBKEY_get0_param(&algorithm, nullptr, nullptr, nullptr, X509_get_X509_PUBKEY(x)) != 1)
        return {};
    return OidText(algorithm);
}

// Fetched once: an implicit fetch on every use costs more than hashing a certificate.
const EVP_MD* MessageDigest(TDigestAlgorithm algorithm) {
    static const auto fetch = [](const char* name) { return EVP_MD_fetch(nullptr, name, nullptr); };
    static const EVP_MD* const kMd5 = fetch("MD5");
    static const EVP_MD* const kSha1 = fetch("SHA1");
    static const EVP_MD* const kSha256 = fetch("SHA2-256");
    static const EVP_MD* const kSha384 = fetch("SHA2-384");
    static const EVP_MD* const kSha512 = fetch("SHA2-512");
    switch (algorithm) {
    case TDigestAlgorithm::MD5:
        return kMd5;
    case TDigestAlgorithm::SHA1:
        return kSha1;
    case TDigestAlgorithm::SHA256:
        return kSha256;
    case TDigestAlgorithm::SHA384:
        return kSha384;
    case TDigestAlgorithm::SHA512:
        return kSha512;
    }
    return nullptr;
}

class TOpenSSLDigest final : public TDigest {
  public:
    explicit TOpenSSLDigest(const EVP_MD* md) : FContext(EVP_MD_CTX_new()) {
        if (!FContext || EVP_DigestInit_ex(FContext.get(), md, nullptr) != 1) FContext.reset();
    }
    void Update(TByteView data) override {
        if (FContext && EVP_DigestUpdate(FContext.get(), data.data(), data.size()) != 1)
            FContext.reset();
    }
    TBytes Final() override {
        unsigned char out[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        if (!FContext || EVP_DigestFinal_ex(FContext.get(), out, &size) != 1) return {};
        return TBytes(out, out + size);
    }
    void Restart() override {
        if (FContext && EVP_DigestInit_ex2(FContext.get(), nullptr, nullptr) != 1) FContext.reset();
    }

  private:
    TMdCtxPtr FContext;
};

std::string SigningTimeOf(PKCS7_SIGNER_INFO* si) {
    const ASN1_TYPE* time = PKCS7_get_signed_attribute(si, NID_pkcs9_signingTime);
    if (time && (time->type == V_ASN1_UTCTIME || time->type == V_ASN1_GENERALIZEDTIME))
        return TimeText(time->value.utctime);
    return {};
}

// A countersignature (a timestamp) carries the time in its own signed attributes.
std::string CountersigningTimeOf(PKCS7_SIGNER_INFO* si) {
    const ASN1_TYPE* counter = PKCS7_get_attribute(si, NID_pkcs9_countersignature);
    if (!counter || counter->type != V_ASN1_SEQUENCE) return {};
    const unsigned char* p = counter->value.sequence->data;
    TSignerInfoPtr inner(d2i_PKCS7_SIGNER_INFO(nullptr, &p, counter->value.sequence->length));
    return inner ? SigningTimeOf(inner.get()) : std::string();
}

TSignerInfo SignerOf(PKCS7_SIGNER_INFO* si) {
    TSignerInfo signer;
    signer.Version = ASN1_INTEGER_get(si->version);
    if (si->issuer_and_serial) {
        signer.IssuerDer = Encode(si->issuer_and_serial->issuer, i2d_X509_NAME);
        signer.SerialDer = Encode(si->issuer_and_serial->serial, i2d_ASN1_INTEGER);
    }
    signer.DigestOid = AlgorithmText(si->digest_alg);
    signer.SignatureOid = AlgorithmText(si->digest_enc_alg);
    if (sk_X509_ATTRIBUTE_num(si->auth_attr) > 0) {
        signer.HasSignedAttributes = true;
        // Encoded with the SET tag and in the stored order, as the signer hashed them.
        unsigned char* out = nullptr;
        const int size = ASN1_item_i2d(reinterpret_cast<ASN1_VALUE*>(si->auth_attr), &out,
                                       ASN1_ITEM_rptr(PKCS7_ATTR_VERIFY));
        if (size > 0) {
            signer.SignedAttributes.assign(out, out + size);
            OPENSSL_free(out);
        }
        if (const ASN1_OCTET_STRING* digest = PKCS7_digest_from_attributes(si->auth_attr))
            signer.MessageDigest = TBytes(digest->data, digest->data + digest->length);
    }
    signer.SigningTime = SigningTimeOf(si);
    signer.CountersigningTime = CountersigningTimeOf(si);
    if (signer.SigningTime.empty()) signer.SigningTime = signer.CountersigningTime;
    if (si->enc_digest)
        signer.Signature.assign(si->enc_digest->data,
                                si->enc_digest->data + si->enc_digest->length);
    return signer;
}

} // namespace

namespace {

// Every check with an RSA key costs an exponentiation by its public exponent: one of thousands
// of bits, in each of thousands of certificates, takes minutes. Real keys use 3 or 65537.
constexpr int kMaxPublicExponentBits = 32;

// Why a key's signatures are not checked, or empty.
std::string UncheckedKey(EVP_PKEY* key) {
    if (!key || EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA) return {};
    BIGNUM* e = nullptr;
    if (EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_E, &e) != 1 || !e) return {};
    const int bits = BN_num_bits(e);
    BN_free(e);
    if (bits <= kMaxPublicExponentBits) return {};
    return "its signatures are not checked: an RSA public exponent of " + std::to_string(bits) +
           " bits";
}

TCertificate FactsOf(std::shared_ptr<X509> x, TByteView der) {
    TCertificate c;
    c.Der.assign(der.begin(), der.end());
    const X509_NAME* subject = X509_get_subject_name(x.get());
    const X509_NAME* issuer = X509_get_issuer_name(x.get());
    c.Subject = NameText(subject);
    c.Issuer = NameText(issuer);
    c.CommonName = CommonNameOf(subject);
    c.SubjectDer = Encode(subject, i2d_X509_NAME);
    c.IssuerDer = Encode(issuer, i2d_X509_NAME);
    const ASN1_INTEGER* serial = X509_get0_serialNumber(x.get());
    c.SerialDer = Encode(serial, i2d_ASN1_INTEGER);
    c.Serial = SerialText(c.SerialDer);
    c.NotBefore = TimeText(X509_get0_notBefore(x.get()));
    c.NotAfter = TimeText(X509_get0_notAfter(x.get()));
    unsigned char sha1[EVP_MAX_MD_SIZE];
    unsigned int sha1Size = 0;
    if (EVP_Digest(c.Der.data(), c.Der.size(), sha1, &sha1Size,
                   MessageDigest(TDigestAlgorithm::SHA1), nullptr) == 1)
        c.Thumbprint = Hex(sha1, sha1Size);
    EVP_PKEY* key = X509_get0_pubkey(x.get());
    c.KeyType = KeyTypeOf(x.get(), key);
    c.KeyBits = key ? EVP_PKEY_get_bits(key) : 0;
    c.Unchecked = UncheckedKey(key);
    c.SelfSigned = X509_NAME_cmp(subject, issuer) == 0 && key && c.Unchecked.empty() &&
                   X509_verify(x.get(), key) == 1;
    c.Native = std::move(x);
    return c;
}

std::shared_ptr<X509> Shared(X509* x) {
    return std::shared_ptr<X509>(x, X509_free);
}

} // namespace

std::optional<TCertificate> DecodeCertificate(TByteView der, std::string& why) {
    const unsigned char* p = der.data();
    X509* x = d2i_X509(nullptr, &p, long(der.size()));
    if (!x) {
        why = "a certificate does not decode";
        return std::nullopt;
    }
    const size_t used = size_t(p - der.data());
    return FactsOf(Shared(x), der.first(used));
}

std::vector<TCertificate> DecodeCertificateFile(TByteView bytes, size_t maxCertificates,
                                                std::string& why) {
    std::vector<TCertificate> out;
    if (!bytes.empty() && bytes[0] == 0x30) {
        std::optional<TCertificate> c = DecodeCertificate(bytes, why);
        if (c) out.push_back(std::move(*c));
        return out;
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text.find("-----BEGIN CERTIFICATE-----") == std::string_view::npos) {
        why = "neither a DER certificate nor PEM text with a CERTIFICATE block";
        return out;
    }
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(
        BIO_new_mem_buf(bytes.data(), int(std::min<size_t>(bytes.size(), INT32_MAX))), BIO_free);
    ERR_clear_error();
    while (bio) {
        X509* x = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr);
        if (!x) break;
        const std::shared_ptr<X509> shared = Shared(x);
        unsigned char* der = nullptr;
        const int size = i2d_X509(x, &der);
        if (size <= 0) break;
        const TBytes copy(der, der + size);
        OPENSSL_free(der);
        if (out.size() == maxCertificates) {
            why = "more than " + std::to_string(maxCertificates) + " certificates";
            return {};
        }
        out.push_back(FactsOf(shared, copy));
    }
    // The loop ends at the first block that does not read: the end of the text, or damage.
    const unsigned long error = ERR_peek_last_error();
    ERR_clear_error();
    if (out.empty() || (ERR_GET_REASON(error) != PEM_R_NO_START_LINE && error != 0)) {
        why = "a PEM CERTIFICATE block does not decode";
        return {};
    }
    return out;
}

std::optional<TDigestAlgorithm> DigestAlgorithmFromOid(std::string_view oid) {
    if (oid == "1.2.840.113549.2.5") return TDigestAlgorithm::MD5;
    if (oid == "1.3.14.3.2.26") return TDigestAlgorithm::SHA1;
    if (oid == "2.16.840.1.101.3.4.2.1") return TDigestAlgorithm::SHA256;
    if (oid == "2.16.840.1.101.3.4.2.2") return TDigestAlgorithm::SHA384;
    if (oid == "2.16.840.1.101.3.4.2.3") return TDigestAlgorithm::SHA512;
    return std::nullopt;
}

const char* DigestAlgorithmName(TDigestAlgorithm algorithm) {
    switch (algorithm) {
    case TDigestAlgorithm::MD5:
        return "MD5";
    case TDigestAlgorithm::SHA1:
        return "SHA-1";
    case TDigestAlgorithm::SHA256:
        return "SHA-256";
    case TDigestAlgorithm::SHA384:
        return "SHA-384";
    case TDigestAlgorithm::SHA512:
        return "SHA-512";
    }
    return "";
}

std::unique_ptr<TDigest> TDigest::Create(TDigestAlgorithm algorithm) {
    return std::make_unique<TOpenSSLDigest>(MessageDigest(algorithm));
}

bool DecodeSignedData(TByteView der, size_t maxCertificates, TSignedData& out, std::string& why) {
    const unsigned char* p = der.data();
    TPKCS7Ptr p7(d2i_PKCS7(nullptr, &p, long(der.size())));
    if (!p7) {
        why = "the signature is not a PKCS#7 structure";
        return false;
    }
    if (!PKCS7_type_is_signed(p7.get()) || !p7->d.sign) {
        why = "the signature is not PKCS#7 SignedData";
        return false;
    }
    const PKCS7_SIGNED* sd = p7->d.sign;
    const PKCS7* contents = sd->contents;
    if (!contents || !contents->type || !contents->d.other) {
        why = "the signature carries no signed content";
        return false;
    }
    out.Version = ASN1_INTEGER_get(sd->version);
    for (int i = 0; i < sk_X509_ALGOR_num(sd->md_algs); ++i)
        out.DigestOids.push_back(AlgorithmText(sk_X509_ALGOR_value(sd->md_algs, i)));
    out.ContentType = OidText(contents->type);
    // Authenticode's content is a type OpenSSL does not know, kept whole as "other".
    out.Content = Encode(contents->d.other, i2d_ASN1_TYPE);
    const int certificates = sk_X509_num(sd->cert);
    if (certificates > 0 && size_t(certificates) > maxCertificates) {
        why = "the signature carries " + std::to_string(certificates) +
              " certificates, more than the " + std::to_string(maxCertificates) + " read";
        return false;
    }
    for (int i = 0; i < certificates; ++i) {
        X509* x = sk_X509_value(sd->cert, i);
        const TBytes encoded = Encode(x, i2d_X509);
        if (encoded.empty() || X509_up_ref(x) != 1) {
            why = "a certificate does not decode";
            return false;
        }
        out.Certificates.push_back(FactsOf(Shared(x), encoded));
    }
    for (int i = 0; i < sk_PKCS7_SIGNER_INFO_num(sd->signer_info); ++i)
        out.Signers.push_back(SignerOf(sk_PKCS7_SIGNER_INFO_value(sd->signer_info, i)));
    return true;
}

namespace {

std::shared_ptr<X509> Decoded(const TCertificate& certificate) {
    if (certificate.Native)
        return std::const_pointer_cast<X509>(
            std::static_pointer_cast<const X509>(certificate.Native));
    const unsigned char* p = certificate.Der.data();
    return Shared(d2i_X509(nullptr, &p, long(certificate.Der.size())));
}

} // namespace

bool VerifyCertificate(const TCertificate& certificate, const TCertificate& issuer) {
    const auto x = Decoded(certificate);
    const auto i = Decoded(issuer);
    EVP_PKEY* key = i ? X509_get0_pubkey(i.get()) : nullptr;
    return x && key && issuer.Unchecked.empty() && X509_verify(x.get(), key) == 1;
}

bool VerifySignature(const TCertificate& signer, TDigestAlgorithm algorithm,
                     std::string_view signatureOid, TByteView data, TByteView signature) {
    const auto x = Decoded(signer);
    EVP_PKEY* key = x ? X509_get0_pubkey(x.get()) : nullptr;
    TMdCtxPtr context(EVP_MD_CTX_new());
    const EVP_MD* md = MessageDigest(algorithm);
    if (!key || !context || !md) return false;
    const int signatureNid = OBJ_txt2nid(std::string(signatureOid).c_str());
    int digestNid = NID_undef;
    int keyNid = NID_undef;
    if (!OBJ_find_sigid_algs(signatureNid, &digestNid, &keyNid))
        keyNid = signatureNid;
    else if (digestNid != EVP_MD_get_type(md))
        return false;
    if (keyNid == NID_undef || !EVP_PKEY_is_a(key, OBJ_nid2sn(keyNid))) return false;
    if (EVP_DigestVerifyInit(context.get(), nullptr, md, nullptr, key) != 1) return false;
    return EVP_DigestVerify(context.get(), signature.data(), signature.size(), data.data(),
                            data.size()) == 1;
}

} // namespace crypto
