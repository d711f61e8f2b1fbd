#pragma once
// The one door to the platform's cryptography: OpenSSL here, crypt32 and bcrypt on Windows.
// DER comes in, plain facts leave: nothing of the crypto library shows in these types, so the
// certificate facts serve any reader that meets a certificate, not only cabinet signatures.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace crypto {

using TBytes = std::vector<uint8_t>;
using TByteView = std::span<const uint8_t>;

struct TCertificate {
    TBytes Der;
    std::string Subject; // one line, most significant part first: "CN=..., O=..."
    std::string Issuer;
    std::string CommonName; // the subject's common name, empty when it has none
    TBytes SubjectDer;      // the names as encoded, to match a signer or an issuer by
    TBytes IssuerDer;
    TBytes SerialDer;      // the serial number's content octets, to match a signer by
    std::string Serial;    // upper-case hex
    std::string NotBefore; // "YYYY-MM-DD HH:MM:SS" UTC
    std::string NotAfter;
    std::string Thumbprint; // SHA-1 of Der, upper-case hex
    std::string KeyType;    // "RSA", "EC", "DSA", or the key algorithm's dotted OID
    int KeyBits = 0;
    bool SelfSigned = false; // issued to itself, and its own key verifies its signature
    // Why signatures made with this certificate's key are not checked (a key whose check would
    // cost seconds: an RSA public exponent far beyond any in use); empty when they are.
    std::string Unchecked;
    // The crypto library's decoded form, kept so that the checks need not decode it again.
    std::shared_ptr<const void> Native;
};

// One X.509 certificate; nullopt with the reason when it does not decode.
[[nodiscard]] std::optional<TCertificate> DecodeCertificate(TByteView der, std::string& why);

// The certificates of a certificate file as users keep them: one DER certificate, or PEM text
// with one or more "CERTIFICATE" blocks. At most maxCertificates; empty with the reason when
// the file is neither, a block does not decode, or there are more.
[[nodiscard]] std::vector<TCertificate>
DecodeCertificateFile(TByteView bytes, size_t maxCertificates, std::string& why);

enum class TDigestAlgorithm { MD5, SHA1, SHA256, SHA384, SHA512 };

[[nodiscard]] std::optional<TDigestAlgorithm> DigestAlgorithmFromOid(std::string_view oid);
[[nodiscard]] const char* DigestAlgorithmName(TDigestAlgorithm algorithm);

// A running digest, fed in pieces.
class TDigest {
  public:
    virtual ~TDigest() = default;
    virtual void Update(TByteView data) = 0;
    [[nodiscard]] virtual TBytes Final() = 0;
    // Begins a new digest of the same algorithm, for a reader of many small pieces: setting
    // one up anew costs more than hashing a short body.
    virtual void Restart() = 0;
    [[nodiscard]] static std::unique_ptr<TDigest> Create(TDigestAlgorithm algorithm);
};

struct TSignerInfo {
    long Version = -1;
    TBytes IssuerDer; // the signer's certificate, by issuer and serial
    TBytes SerialDer;
    std::string DigestOid;    // dotted; " with parameters" added when it has any but NULL
    std::string SignatureOid; // the signature's algorithm, the same way
    bool HasSignedAttributes = false;
    TBytes SignedAttributes; // DER of the attribute set, as the signature covers it
    std::optional<TBytes> MessageDigest;
    std::string SigningTime;        // "YYYY-MM-DD HH:MM:SS" UTC, from the signer or a countersigner
    std::string CountersigningTime; // the countersigner's (a timestamp) alone, when there is one
    TBytes Signature;
};

struct TSignedData {
    long Version = -1;
    std::vector<std::string> DigestOids; // the algorithms the signers are announced with
    std::string ContentType;             // dotted OID
    TBytes Content;                      // the content's DER, tag and length included
    std::vector<TCertificate> Certificates;
    std::vector<TSignerInfo> Signers;
};

// A PKCS#7 SignedData. Trailing bytes after the DER are ignored. At most maxCertificates are
// decoded; more is a failure, so a hostile signature cannot make us decode thousands.
[[nodiscard]] bool DecodeSignedData(TByteView der, size_t maxCertificates, TSignedData& out,
                                    std::string& why);

// Whether issuer's key verifies the certificate's own signature.
[[nodiscard]] bool VerifyCertificate(const TCertificate& certificate, const TCertificate& issuer);

// Whether the certificate's key verifies signature over data hashed with algorithm, made with
// signatureOid: the key's own algorithm, or one that names this digest and that key type.
[[nodiscard]] bool VerifySignature(const TCertificate& signer, TDigestAlgorithm algorithm,
                                   std::string_view signatureOid, TByteView data,
                                   TByteView signature);

} // namespace crypto
