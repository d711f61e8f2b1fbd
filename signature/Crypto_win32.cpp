// The crypto seam on Windows: crypt32 decodes and checks certificates, bcrypt hashes and
// checks signatures. The PKCS#7 envelope is walked with our own DER reader, which hands the
// signed attributes over exactly as they were encoded.
#include "signature/Crypto.h"
#include "signature/Der.h"

#include <windows.h>

#include <bcrypt.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace crypto {
namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr uint8_t kInteger = 0x02;
constexpr uint8_t kSet = 0x31;
constexpr uint8_t kContext0 = 0xA0;
constexpr uint8_t kContext1 = 0xA1;
constexpr uint8_t kUtcTime = 0x17;
constexpr uint8_t kGeneralizedTime = 0x18;
constexpr char kSignedDataOid[] = "1.2.840.113549.1.7.2";
constexpr char kMessageDigestOid[] = "1.2.840.113549.1.9.4";
constexpr char kSigningTimeOid[] = "1.2.840.113549.1.9.5";
constexpr char kCountersignatureOid[] = "1.2.840.113549.1.9.6";

std::string Hex(const uint8_t* data, size_t size) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 15];
    }
    return text;
}

std::string Utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string out(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(size_t(size - 1));
    return out;
}

// OpenSSL's short names, so that a name reads the same on both platforms (crypt32 would say
// "S=" for the state and "E=" for the mail address).
std::string AttributeName(const char* oid) {
    static const std::pair<const char*, const char*> kNames[] = {
        {"2.5.4.3", "CN"},
        {"2.5.4.4", "SN"},
        {"2.5.4.5", "serialNumber"},
        {"2.5.4.6", "C"},
        {"2.5.4.7", "L"},
        {"2.5.4.8", "ST"},
        {"2.5.4.9", "street"},
        {"2.5.4.10", "O"},
        {"2.5.4.11", "OU"},
        {"2.5.4.12", "title"},
        {"2.5.4.42", "GN"},
        {"2.5.4.43", "initials"},
        {"2.5.4.46", "dnQualifier"},
        {"1.2.840.113549.1.9.1", "emailAddress"},
        {"0.9.2342.19200300.100.1.1", "UID"},
        {"0.9.2342.19200300.100.1.25", "DC"},
    };
    for (const auto& [known, shortName] : kNames)
        if (std::strcmp(known, oid) == 0) return shortName;
    return oid;
}

// RFC 2253 escaping as OpenSSL prints it: the separators and quotes with a backslash, a
// leading "#" or space and a trailing space too, control bytes as \XX.
std::string Escaped(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        const bool edge = (i == 0 && (c == '#' || c == ' ')) || (i + 1 == value.size() && c == ' ');
        if (edge || (c != 0 && std::strchr(",+\"<>;\\", c) != nullptr)) {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c == 0x7F) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "\\%02X", c);
            out += hex;
        } else
            out += char(c);
    }
    return out;
}

// The name's parts, last first, "A=v, B=w", parts of one set joined by " + ".
std::string NameText(const CERT_NAME_BLOB* name) {
    DWORD size = 0;
    if (!CryptDecodeObject(X509_ASN_ENCODING, X509_NAME, name->pbData, name->cbData, 0, nullptr,
                           &size) ||
        size == 0)
        return {};
    std::vector<BYTE> buffer(size);
    if (!CryptDecodeObject(X509_ASN_ENCODING, X509_NAME, name->pbData, name->cbData, 0,
                           buffer.data(), &size))
        return {};
    const auto* info = reinterpret_cast<const CERT_NAME_INFO*>(buffer.data());
    std::string text;
    for (DWORD r = info->cRDN; r-- > 0;) {
        const CERT_RDN& rdn = info->rgRDN[r];
        if (!text.empty() && rdn.cRDNAttr > 0) text += ", ";
        for (DWORD a = 0; a < rdn.cRDNAttr; ++a) {
            CERT_RDN_ATTR& attr = rdn.rgRDNAttr[a];
            const DWORD length = CertRDNValueToStrW(attr.dwValueType, &attr.Value, nullptr, 0);
            std::wstring value(length > 0 ? length : 1, L'\0');
            CertRDNValueToStrW(attr.dwValueType, &attr.Value, value.data(), DWORD(value.size()));
            if (a > 0) text += " + ";
            text += AttributeName(attr.pszObjId ? attr.pszObjId : "") + "=" +
                    Escaped(Utf8(value.c_str()));
        }
    }
    return text;
}

std::string TimeText(const FILETIME& time) {
    SYSTEMTIME st;
    if (!FileTimeToSystemTime(&time, &st)) return {};
    char text[80];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay,
                  st.wHour, st.wMinute, st.wSecond);
    return text;
}

// UTCTime "YYMMDDHHMMSSZ" or GeneralizedTime "YYYYMMDDHHMMSSZ" as "YYYY-MM-DD HH:MM:SS".
std::string TimeText(const der::TElement& e) {
    std::string digits(e.Content.begin(), e.Content.end());
    if (e.Tag == kUtcTime && digits.size() >= 12)
        digits = (digits.compare(0, 2, "50") >= 0 ? "19" : "20") + digits;
    else if (e.Tag != kGeneralizedTime)
        return {};
    if (digits.size() < 14) return {};
    for (size_t i = 0; i < 14; ++i)
        if (digits[i] < '0' || digits[i] > '9') return {};
    return digits.substr(0, 4) + "-" + digits.substr(4, 2) + "-" + digits.substr(6, 2) + " " +
           digits.substr(8, 2) + ":" + digits.substr(10, 2) + ":" + digits.substr(12, 2);
}

const wchar_t* BcryptName(TDigestAlgorithm algorithm) {
    switch (algorithm) {
    case TDigestAlgorithm::MD5:
        return BCRYPT_MD5_ALGORITHM;
    case TDigestAlgorithm::SHA1:
        return BCRYPT_SHA1_ALGORITHM;
    case TDigestAlgorithm::SHA256:
        return BCRYPT_SHA256_ALGORITHM;
    case TDigestAlgorithm::SHA384:
        return BCRYPT_SHA384_ALGORITHM;
    case TDigestAlgorithm::SHA512:
        return BCRYPT_SHA512_ALGORITHM;
    }
    return nullptr;
}

class TBcryptDigest final : public TDigest {
  public:
    explicit TBcryptDigest(TDigestAlgorithm algorithm) {
        if (BCryptOpenAlgorithmProvider(&FAlgorithm, BcryptName(algorithm), nullptr, 0) != 0) {
            FAlgorithm = nullptr;
            return;
        }
        DWORD size = 0, got = 0;
        if (BCryptGetProperty(FAlgorithm, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&size),
                              sizeof size, &got, 0) != 0 ||
            BCryptCreateHash(FAlgorithm, &FHash, nullptr, 0, nullptr, 0, 0) != 0) {
            FHash = nullptr;
            return;
        }
        FSize = size;
    }
    ~TBcryptDigest() override {
        if (FHash) BCryptDestroyHash(FHash);
        if (FAlgorithm) BCryptCloseAlgorithmProvider(FAlgorithm, 0);
    }
    void Update(TByteView data) override {
        // bcrypt takes at most a ULONG at a time; the pieces here are far smaller.
        if (FHash &&
            BCryptHashData(FHash, const_cast<PUCHAR>(data.data()), ULONG(data.size()), 0) != 0) {
            BCryptDestroyHash(FHash);
            FHash = nullptr;
        }
    }
    TBytes Final() override {
        TBytes out(FSize);
        if (!FHash || BCryptFinishHash(FHash, out.data(), ULONG(out.size()), 0) != 0) return {};
        return out;
    }
    void Restart() override {
        if (FHash) BCryptDestroyHash(FHash);
        FHash = nullptr;
        if (FAlgorithm && BCryptCreateHash(FAlgorithm, &FHash, nullptr, 0, nullptr, 0, 0) != 0)
            FHash = nullptr;
    }

  private:
    BCRYPT_ALG_HANDLE FAlgorithm = nullptr;
    BCRYPT_HASH_HANDLE FHash = nullptr;
    DWORD FSize = 0;
};

TBytes Hash(TDigestAlgorithm algorithm, TByteView data) {
    TBcryptDigest digest(algorithm);
    digest.Update(data);
    return digest.Final();
}

PCCERT_CONTEXT Context(const TCertificate& c) {
    return static_cast<PCCERT_CONTEXT>(c.Native.get());
}

// An AlgorithmIdentifier's OID, with " with parameters" when it has any but NULL.
std::string AlgorithmText(const der::TElement& algorithm) {
    der::TReader fields(algorithm.Content);
    const auto oid = fields.Expect(der::kObjectId);
    if (!oid) return {};
    std::string text = der::OidText(oid->Content);
    if (fields.AtEnd()) return text;
    const auto parameters = fields.Next();
    if (!parameters || parameters->Tag != 0x05 || !parameters->Content.empty() || !fields.AtEnd())
        text += " with parameters";
    return text;
}

long SmallInteger(const der::TElement& e) {
    if (e.Content.empty() || e.Content.size() > 2) return -1;
    long value = 0;
    for (const uint8_t b : e.Content)
        value = value << 8 | b;
    return value;
}

// The attributes' message digest and signing time (signingTime attribute only).
void ReadAttributes(TByteView attributes, TSignerInfo& signer) {
    der::TReader reader(attributes);
    while (const auto attribute = reader.Expect(der::kSequence)) {
        der::TReader fields(attribute->Content);
        const auto oid = fields.Expect(der::kObjectId);
        const auto values = fields.Expect(kSet);
        if (!oid || !values) continue;
        const std::string type = der::OidText(oid->Content);
        der::TReader first(values->Content);
        const auto value = first.Next();
        if (!value) continue;
        if (type == kMessageDigestOid && value->Tag == der::kOctetString)
            signer.MessageDigest = TBytes(value->Content.begin(), value->Content.end());
        else if (type == kSigningTimeOid)
            signer.SigningTime = TimeText(*value);
    }
}

bool ReadSignerInfo(TByteView content, TSignerInfo& signer, bool counter);

std::string CountersigningTime(TByteView unsignedAttributes) {
    der::TReader reader(unsignedAttributes);
    while (const auto attribute = reader.Expect(der::kSequence)) {
        der::TReader fields(attribute->Content);
        const auto oid = fields.Expect(der::kObjectId);
        const auto values = fields.Expect(kSet);
        if (!oid || !values || der::OidText(oid->Content) != kCountersignatureOid) continue;
        der::TReader first(values->Content);
        const auto inner = first.Expect(der::kSequence);
        TSignerInfo counter;
        if (inner && ReadSignerInfo(inner->Content, counter, true)) return counter.SigningTime;
    }
    return {};
}

bool ReadSignerInfo(TByteView content, TSignerInfo& signer, bool counter) {
    der::TReader fields(content);
    const auto version = fields.Expect(kInteger);
    const auto issuerAndSerial = fields.Expect(der::kSequence);
    const auto digest = fields.Expect(der::kSequence);
    if (!version || !issuerAndSerial || !digest) return false;
    signer.Version = SmallInteger(*version);
    der::TReader id(issuerAndSerial->Content);
    const auto issuer = id.Expect(der::kSequence);
    const auto serial = id.Expect(kInteger);
    if (!issuer || !serial || !id.AtEnd()) return false;
    signer.IssuerDer.assign(issuer->Whole.begin(), issuer->Whole.end());
    signer.SerialDer.assign(serial->Content.begin(), serial->Content.end());
    signer.DigestOid = AlgorithmText(*digest);
    auto next = fields.Next();
    if (next && next->Tag == kContext0) {
        signer.HasSignedAttributes = true;
        // Hashed with the SET tag in place of the implicit one.
        signer.SignedAttributes.assign(next->Whole.begin(), next->Whole.end());
        signer.SignedAttributes[0] = kSet;
        ReadAttributes(next->Content, signer);
        next = fields.Next();
    }
    if (!next || next->Tag != der::kSequence) return false;
    signer.SignatureOid = AlgorithmText(*next);
    const auto signature = fields.Expect(der::kOctetString);
    if (!signature) return false;
    signer.Signature.assign(signature->Content.begin(), signature->Content.end());
    if (fields.AtEnd()) return true;
    const auto unsignedAttributes = fields.Expect(kContext1);
    if (!unsignedAttributes || !fields.AtEnd()) return false;
    if (counter) return true;
    signer.CountersigningTime = CountersigningTime(unsignedAttributes->Content);
    if (signer.SigningTime.empty()) signer.SigningTime = signer.CountersigningTime;
    return true;
}

// The key algorithm and digest a signature algorithm names; false for one not known here.
bool SignatureAlgorithm(const std::string& oid, std::string& keyOid,
                        std::optional<TDigestAlgorithm>& digest) {
    static const struct {
        const char* Oid;
        const char* Key;
        std::optional<TDigestAlgorithm> Digest;
    } kKnown[] = {
        {"1.2.840.113549.1.1.1", "1.2.840.113549.1.1.1", std::nullopt},
        {"1.2.840.113549.1.1.4", "1.2.840.113549.1.1.1", TDigestAlgorithm::MD5},
        {"1.2.840.113549.1.1.5", "1.2.840.113549.1.1.1", TDigestAlgorithm::SHA1},
        {"1.3.14.3.2.29", "1.2.840.113549.1.1.1", TDigestAlgorithm::SHA1},
        {"1.2.840.113549.1.1.11", "1.2.840.113549.1.1.1", TDigestAlgorithm::SHA256},
        {"1.2.840.113549.1.1.12", "1.2.840.113549.1.1.1", TDigestAlgorithm::SHA384},
        {"1.2.840.113549.1.1.13", "1.2.840.113549.1.1.1", TDigestAlgorithm::SHA512},
    };
    for (const auto& known : kKnown)
        if (oid == known.Oid) {
            keyOid = known.Key;
            digest = known.Digest;
            return true;
        }
    return false;
}

} // namespace

std::optional<TCertificate> DecodeCertificate(TByteView der, std::string& why) {
    why = "a certificate does not decode";
    const auto element = der::TReader(der).Expect(der::kSequence);
    if (!element) return std::nullopt;
    PCCERT_CONTEXT context = CertCreateCertificateContext(kEncoding, element->Whole.data(),
                                                          DWORD(element->Whole.size()));
    if (!context) return std::nullopt;
    TCertificate c;
    c.Native = std::shared_ptr<const void>(
        context, [](const void* p) { CertFreeCertificateContext(static_cast<PCCERT_CONTEXT>(p)); });
    const CERT_INFO* info = context->pCertInfo;
    c.Der.assign(element->Whole.begin(), element->Whole.end());
    c.Subject = NameText(&info->Subject);
    c.Issuer = NameText(&info->Issuer);
    wchar_t common[512] = {};
    if (CertGetNameStringW(context, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME),
                           common, 512) > 1)
        c.CommonName = Utf8(common);
    c.SubjectDer.assign(info->Subject.pbData, info->Subject.pbData + info->Subject.cbData);
    c.IssuerDer.assign(info->Issuer.pbData, info->Issuer.pbData + info->Issuer.cbData);
    // crypt32 keeps the serial little-endian; matched and shown most significant byte first,
    // without the sign byte, as it is encoded.
    c.SerialDer.assign(info->SerialNumber.pbData,
                       info->SerialNumber.pbData + info->SerialNumber.cbData);
    std::reverse(c.SerialDer.begin(), c.SerialDer.end());
    const size_t sign = c.SerialDer.size() > 1 && c.SerialDer[0] == 0 ? 1 : 0;
    c.Serial = Hex(c.SerialDer.data() + sign, c.SerialDer.size() - sign);
    c.NotBefore = TimeText(info->NotBefore);
    c.NotAfter = TimeText(info->NotAfter);
    const TBytes thumbprint = Hash(TDigestAlgorithm::SHA1, c.Der);
    c.Thumbprint = Hex(thumbprint.data(), thumbprint.size());
    const std::string keyOid = info->SubjectPublicKeyInfo.Algorithm.pszObjId
                                   ? info->SubjectPublicKeyInfo.Algorithm.pszObjId
                                   : "";
    c.KeyType = keyOid == "1.2.840.113549.1.1.1" ? "RSA"
                : keyOid == "1.2.840.10045.2.1"  ? "EC"
                : keyOid == "1.2.840.10040.4.1"  ? "DSA"
                                                 : keyOid;
    c.KeyBits = int(CertGetPublicKeyLength(
        X509_ASN_ENCODING, const_cast<CERT_PUBLIC_KEY_INFO*>(&info->SubjectPublicKeyInfo)));
    c.SelfSigned =
        CertCompareCertificateName(X509_ASN_ENCODING, const_cast<CERT_NAME_BLOB*>(&info->Subject),
                                   const_cast<CERT_NAME_BLOB*>(&info->Issuer)) &&
        VerifyCertificate(c, c);
    return c;
}

std::vector<TCertificate> DecodeCertificateFile(TByteView bytes, size_t maxCertificates,
                                                std::string& why) {
    std::vector<TCertificate> out;
    if (!bytes.empty() && bytes[0] == 0x30) {
        std::optional<TCertificate> c = DecodeCertificate(bytes, why);
        if (c) out.push_back(std::move(*c));
        return out;
    }
    constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----";
    constexpr std::string_view kEnd = "-----END CERTIFICATE-----";
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    size_t at = text.find(kBegin);
    if (at == std::string_view::npos) {
        why = "neither a DER certificate nor PEM text with a CERTIFICATE block";
        return out;
    }
    for (; at != std::string_view::npos; at = text.find(kBegin, at)) {
        const size_t end = text.find(kEnd, at);
        if (end == std::string_view::npos) {
            why = "a PEM CERTIFICATE block does not end";
            return {};
        }
        const std::string_view block = text.substr(at, end + kEnd.size() - at);
        DWORD size = 0;
        if (!CryptStringToBinaryA(block.data(), DWORD(block.size()), CRYPT_STRING_BASE64HEADER,
                                  nullptr, &size, nullptr, nullptr)) {
            why = "a PEM CERTIFICATE block does not decode";
            return {};
        }
        TBytes der(size);
        if (!CryptStringToBinaryA(block.data(), DWORD(block.size()), CRYPT_STRING_BASE64HEADER,
                                  der.data(), &size, nullptr, nullptr)) {
            why = "a PEM CERTIFICATE block does not decode";
            return {};
        }
        der.resize(size);
        if (out.size() == maxCertificates) {
            why = "more than " + std::to_string(maxCertificates) + " certificates";
            return {};
        }
        std::optional<TCertificate> c = DecodeCertificate(der, why);
        if (!c) return {};
        out.push_back(std::move(*c));
        at = end + kEnd.size();
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
    return std::make_unique<TBcryptDigest>(algorithm);
}

bool DecodeSignedData(TByteView der, size_t maxCertificates, TSignedData& out, std::string& why) {
    why = "the signature is not a PKCS#7 structure";
    const auto contentInfo = der::TReader(der).Expect(der::kSequence);
    if (!contentInfo) return false;
    der::TReader outer(contentInfo->Content);
    const auto type = outer.Expect(der::kObjectId);
    const auto explicitContent = outer.Expect(kContext0);
    if (!type || !outer.AtEnd()) return false;
    if (der::OidText(type->Content) != kSignedDataOid) {
        why = "the signature is not PKCS#7 SignedData";
        return false;
    }
    if (!explicitContent) return false;
    der::TReader wrapper(explicitContent->Content);
    const auto signedData = wrapper.Expect(der::kSequence);
    if (!signedData || !wrapper.AtEnd()) return false;
    der::TReader fields(signedData->Content);
    const auto version = fields.Expect(kInteger);
    const auto digests = fields.Expect(kSet);
    const auto content = fields.Expect(der::kSequence);
    if (!version || !digests || !content) return false;
    out.Version = SmallInteger(*version);
    der::TReader digestList(digests->Content);
    while (const auto algorithm = digestList.Expect(der::kSequence))
        out.DigestOids.push_back(AlgorithmText(*algorithm));
    if (!digestList.AtEnd()) return false;
    der::TReader contentFields(content->Content);
    const auto contentType = contentFields.Expect(der::kObjectId);
    const auto wrapped = contentFields.Expect(kContext0);
    der::TReader wrappedContent(wrapped ? wrapped->Content : TByteView());
    const auto inner = wrappedContent.Next();
    if (!contentType || !inner || !wrappedContent.AtEnd() || !contentFields.AtEnd()) {
        why = "the signature carries no signed content";
        return false;
    }
    out.ContentType = der::OidText(contentType->Content);
    out.Content.assign(inner->Whole.begin(), inner->Whole.end());
    auto next = fields.Next();
    if (next && next->Tag == kContext0) {
        size_t count = 0;
        for (der::TReader counter(next->Content); counter.Next();)
            ++count;
        if (count > maxCertificates) {
            why = "the signature carries " + std::to_string(count) +
                  " certificates, more than the " + std::to_string(maxCertificates) + " read";
            return false;
        }
        der::TReader certificates(next->Content);
        while (const auto certificate = certificates.Next()) {
            auto decoded = DecodeCertificate(certificate->Whole, why);
            if (!decoded) return false;
            out.Certificates.push_back(std::move(*decoded));
        }
        if (!certificates.AtEnd()) return false;
        next = fields.Next();
    }
    if (next && next->Tag == kContext1) next = fields.Next();
    why = "the signature is not a PKCS#7 structure";
    if (!next || next->Tag != kSet) return false;
    der::TReader signers(next->Content);
    while (const auto signer = signers.Expect(der::kSequence)) {
        TSignerInfo info;
        if (!ReadSignerInfo(signer->Content, info, false)) return false;
        out.Signers.push_back(std::move(info));
    }
    return signers.AtEnd() && fields.AtEnd();
}

bool VerifyCertificate(const TCertificate& certificate, const TCertificate& issuer) {
    PCCERT_CONTEXT subject = Context(certificate);
    PCCERT_CONTEXT by = Context(issuer);
    return subject && by &&
           CryptVerifyCertificateSignatureEx(
               0, X509_ASN_ENCODING, CRYPT_VERIFY_CERT_SIGN_SUBJECT_CERT,
               const_cast<CERT_CONTEXT*>(subject), CRYPT_VERIFY_CERT_SIGN_ISSUER_CERT,
               const_cast<CERT_CONTEXT*>(by), 0, nullptr);
}

bool VerifySignature(const TCertificate& signer, TDigestAlgorithm algorithm,
                     std::string_view signatureOid, TByteView data, TByteView signature) {
    PCCERT_CONTEXT context = Context(signer);
    if (!context) return false;
    CERT_PUBLIC_KEY_INFO* keyInfo = &context->pCertInfo->SubjectPublicKeyInfo;
    std::string keyOid;
    std::optional<TDigestAlgorithm> named;
    if (!SignatureAlgorithm(std::string(signatureOid), keyOid, named)) return false;
    // Only RSA keys are checked here.
    if (!keyInfo->Algorithm.pszObjId || keyOid != keyInfo->Algorithm.pszObjId ||
        keyOid != "1.2.840.113549.1.1.1" || (named && *named != algorithm))
        return false;
    BCRYPT_KEY_HANDLE key = nullptr;
    if (!CryptImportPublicKeyInfoEx2(X509_ASN_ENCODING, keyInfo, 0, nullptr, &key)) return false;
    TBytes hash = Hash(algorithm, data);
    BCRYPT_PKCS1_PADDING_INFO padding{BcryptName(algorithm)};
    const NTSTATUS status = BCryptVerifySignature(key, &padding, hash.data(), ULONG(hash.size()),
                                                  const_cast<PUCHAR>(signature.data()),
                                                  ULONG(signature.size()), BCRYPT_PAD_PKCS1);
    BCryptDestroyKey(key);
    return !hash.empty() && status == 0;
}

} // namespace crypto
