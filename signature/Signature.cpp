#include "signature/Signature.h"

#include "signature/Der.h"
#include "signature/Reserve.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>

namespace {

using crypto::TBytes;
using crypto::TByteView;

// Authenticode's signed content, SpcIndirectDataContent.
constexpr char kIndirectDataOid[] = "1.3.6.1.4.1.311.2.1.4";
// More certificates than any real chain carries; a hostile signature may carry thousands.
constexpr size_t kMaxCertificates = 64;
constexpr size_t kReadChunk = 1 << 18;

// Where the cabinet's bytes come from: a file read piece by piece, or memory.
class TSource {
  public:
    virtual ~TSource() = default;
    [[nodiscard]] virtual uint64_t Size() const = 0;
    // Feeds [begin, end) to sink in pieces; false when the bytes cannot be read.
    [[nodiscard]] virtual bool Read(uint64_t begin, uint64_t end,
                                    const std::function<void(TByteView)>& sink) = 0;

    [[nodiscard]] bool ReadInto(uint64_t begin, uint64_t end, TBytes& out) {
        out.clear();
        return Read(begin, end,
                    [&](TByteView piece) { out.insert(out.end(), piece.begin(), piece.end()); });
    }
};

class TMemorySource final : public TSource {
  public:
    explicit TMemorySource(TByteView data) : FData(data) {}
    uint64_t Size() const override { return FData.size(); }
    bool Read(uint64_t begin, uint64_t end, const std::function<void(TByteView)>& sink) override {
        if (begin > end || end > FData.size()) return false;
        sink(FData.subspan(size_t(begin), size_t(end - begin)));
        return true;
    }

  private:
    TByteView FData;
};

class TFileSource final : public TSource {
  public:
    explicit TFileSource(const std::string& path) : FFile(path, std::ios::binary) {
        if (FFile && FFile.seekg(0, std::ios::end)) FSize = uint64_t(FFile.tellg());
        FOpen = FFile && FFile.tellg() >= 0;
    }
    [[nodiscard]] bool Open() const { return FOpen; }
    uint64_t Size() const override { return FSize; }
    bool Read(uint64_t begin, uint64_t end, const std::function<void(TByteView)>& sink) override {
        if (begin > end || end > FSize) return false;
        FFile.clear();
        if (!FFile.seekg(std::streamoff(begin))) return false;
        FBuffer.resize(kReadChunk);
        for (uint64_t at = begin; at < end;) {
            const size_t n = size_t(std::min<uint64_t>(kReadChunk, end - at));
            if (!FFile.read(reinterpret_cast<char*>(FBuffer.data()), std::streamsize(n)))
                return false;
            sink(TByteView(FBuffer.data(), n));
            at += n;
        }
        return true;
    }

  private:
    std::ifstream FFile;
    uint64_t FSize = 0;
    bool FOpen = false;
    TBytes FBuffer;
};

TCabinetSignature Unreadable(TCabinetSignature result, std::string why) {
    result.Verdict = TSignatureVerdict::Unreadable;
    result.Reason = std::move(why);
    return result;
}

struct TIndirectDigest {
    crypto::TDigestAlgorithm Algorithm;
    TBytes Digest;
};

// SpcIndirectDataContent ::= SEQUENCE { data SpcAttributeTypeAndOptionalValue,
//   messageDigest DigestInfo }, DigestInfo ::= SEQUENCE { AlgorithmIdentifier, OCTET STRING }.
// The content's value octets, which the message digest covers, go to value.
std::optional<TIndirectDigest> ReadIndirectData(TByteView content, TByteView& value,
                                                std::string& why) {
    why = "the signed content is not Authenticode's indirect data";
    der::TReader outer(content);
    const auto sequence = outer.Expect(der::kSequence);
    if (!sequence) return std::nullopt;
    value = sequence->Content;
    der::TReader fields(sequence->Content);
    if (!fields.Expect(der::kSequence)) return std::nullopt;
    const auto digestInfo = fields.Expect(der::kSequence);
    if (!digestInfo) return std::nullopt;
    der::TReader info(digestInfo->Content);
    const auto algorithm = info.Expect(der::kSequence);
    const auto digest = info.Expect(der::kOctetString);
    if (!algorithm || !digest) return std::nullopt;
    der::TReader algorithmFields(algorithm->Content);
    const auto oid = algorithmFields.Expect(der::kObjectId);
    if (!oid) return std::nullopt;
    const std::string oidText = der::OidText(oid->Content);
    const auto known = crypto::DigestAlgorithmFromOid(oidText);
    if (!known) {
        why = "the signed digest uses an unknown algorithm (" + oidText + ")";
        return std::nullopt;
    }
    return TIndirectDigest{*known, TBytes(digest->Content.begin(), digest->Content.end())};
}

TBytes Digest(crypto::TDigestAlgorithm algorithm, TByteView data) {
    auto digest = crypto::TDigest::Create(algorithm);
    digest->Update(data);
    return digest->Final();
}

void AddCheck(TCabinetSignature& result, const char* name, bool passed, const char* failure) {
    result.Checks.push_back({name, passed});
    if (!passed && result.Reason.empty()) result.Reason = failure;
}

// Every certificate whose issuer is carried too verifies with the issuer's key. Whether the
// chain ends in a trusted root is not judged.
bool ChainVerifies(const std::vector<crypto::TCertificate>& certificates) {
    for (const crypto::TCertificate& c : certificates) {
        const auto issuer = std::find_if(
            certificates.begin(), certificates.end(),
            [&](const crypto::TCertificate& i) { return i.SubjectDer == c.IssuerDer; });
        if (issuer == certificates.end()) continue;
        // Issued to itself: its self-signature was checked when it was decoded.
        if (&*issuer == &c ? !c.SelfSigned : !crypto::VerifyCertificate(c, *issuer)) return false;
    }
    return true;
}

// Whether the cabinet's bytes, outside the signature, have the signed digest; none when they
// cannot be read.
std::optional<bool> CabinetDigestMatches(TSource& source, const TSignatureArea& area,
                                         const TIndirectDigest& indirect) {
    auto digest = crypto::TDigest::Create(indirect.Algorithm);
    for (const TDigestRange& range : DigestRanges(area))
        if (!source.Read(range.Begin, range.End, [&](TByteView p) { digest->Update(p); }))
            return std::nullopt;
    return digest->Final() == indirect.Digest;
}

// The signer's certificate among those carried, once the signature's form is checked: one
// signer, version 1, a digest algorithm the signature lists. The end, with why, when not.
std::vector<crypto::TCertificate>::const_iterator
SignerCertificate(const crypto::TSignedData& signedData,
                  const std::vector<crypto::TCertificate>& certificates, std::string& why) {
    if (signedData.Signers.size() != 1) {
        why = signedData.Signers.empty()
                  ? "the signature has no signer"
                  : "the signature has " + std::to_string(signedData.Signers.size()) +
                        " signers instead of one";
        return certificates.end();
    }
    const crypto::TSignerInfo& signer = signedData.Signers.front();
    // Authenticode writes version 1 throughout; the versions are covered by no digest, so an
    // unexpected one is a changed signature, not a newer format.
    if (signedData.Version != 1 || signer.Version != 1) {
        why = "the signature's version is not 1";
        return certificates.end();
    }
    if (std::find(signedData.DigestOids.begin(), signedData.DigestOids.end(), signer.DigestOid) ==
        signedData.DigestOids.end()) {
        why = "the signer's digest algorithm is not among the signature's";
        return certificates.end();
    }
    const auto found = std::find_if(certificates.begin(), certificates.end(), [&](const auto& c) {
        return c.IssuerDer == signer.IssuerDer && c.SerialDer == signer.SerialDer;
    });
    if (found == certificates.end()) why = "the signer's certificate is not in the signature";
    return found;
}

TCabinetSignature Verify(TSource& source) {
    TCabinetSignature result;
    TBytes head;
    if (!source.ReadInto(0, std::min<uint64_t>(kReserveHeadSize, source.Size()), head))
        return Unreadable(result, "the file cannot be read");
    const TSignatureArea area = LocateSignature(head, source.Size());
    if (area.Outcome == TSignatureArea::TOutcome::NotSigned) return result;
    if (area.Outcome == TSignatureArea::TOutcome::Unreadable) return Unreadable(result, area.Why);
    result.Position = area.Position;
    result.Size = area.Size;

    // Until the checks have run, the overlap is the first thing wrong with the signature.
    const auto unreadable = [&](const std::string& why) {
        return Unreadable(std::move(result), area.Overlap.empty() ? why : area.Overlap);
    };
    TBytes der;
    if (!source.ReadInto(area.Position, uint64_t(area.Position) + area.Size, der))
        return unreadable("the signature area cannot be read");
    crypto::TSignedData signedData;
    std::string why;
    if (!crypto::DecodeSignedData(der, kMaxCertificates, signedData, why)) return unreadable(why);
    result.Certificates = std::move(signedData.Certificates);
    if (signedData.ContentType != kIndirectDataOid)
        return unreadable("the signed content is not Authenticode's indirect data");
    TByteView contentValue;
    const auto indirect = ReadIndirectData(signedData.Content, contentValue, why);
    if (!indirect) return unreadable(why);
    result.DigestAlgorithm = crypto::DigestAlgorithmName(indirect->Algorithm);
    const auto found = SignerCertificate(signedData, result.Certificates, why);
    if (found == result.Certificates.end()) return unreadable(why);
    const crypto::TSignerInfo& signer = signedData.Signers.front();
    result.SignerIndex = int(found - result.Certificates.begin());
    result.TestCertificate = IsTestCertificate(*found);
    result.SigningTime = signer.SigningTime;
    result.CountersignatureTime = signer.CountersigningTime;
    result.Chain = FollowChain(result.Certificates, result.SignerIndex);
    const auto signerAlgorithm = crypto::DigestAlgorithmFromOid(signer.DigestOid);
    if (!signerAlgorithm)
        return unreadable("the signer uses an unknown digest algorithm (" + signer.DigestOid + ")");
    if (signer.HasSignedAttributes && !signer.MessageDigest)
        return unreadable("the signed attributes carry no message digest");

    const std::optional<bool> cabinetDigest = CabinetDigestMatches(source, area, *indirect);
    if (!cabinetDigest) return unreadable("the cabinet cannot be read");
    AddCheck(result, "Cabinet digest", *cabinetDigest,
             "the cabinet's digest does not match the signed digest");
    if (signer.HasSignedAttributes) {
        AddCheck(result, "Message digest",
                 Digest(*signerAlgorithm, contentValue) == *signer.MessageDigest,
                 "the signed attributes' message digest does not match the signed content");
    }
    const TByteView signedBytes =
        signer.HasSignedAttributes ? TByteView(signer.SignedAttributes) : contentValue;
    AddCheck(result, "Signer's signature",
             crypto::VerifySignature(*found, *signerAlgorithm, signer.SignatureOid, signedBytes,
                                     signer.Signature),
             "the signer's signature does not verify");

    AddCheck(result, "Certificate chain", ChainVerifies(result.Certificates),
             "a certificate carried does not verify with its issuer's key");

    if (!result.Reason.empty())
        result.Verdict = TSignatureVerdict::Modified;
    else if (!area.Overlap.empty())
        return Unreadable(std::move(result), area.Overlap);
    else
        result.Verdict = TSignatureVerdict::Intact;
    return result;
}

} // namespace

const crypto::TCertificate* TCabinetSignature::Signer() const {
    return SignerIndex >= 0 && size_t(SignerIndex) < Certificates.size()
               ? &Certificates[size_t(SignerIndex)]
               : nullptr;
}

const crypto::TCertificate* TCabinetSignature::ChainEnd() const {
    if (Chain.Path.empty() || size_t(Chain.Path.back()) >= Certificates.size()) return nullptr;
    return &Certificates[size_t(Chain.Path.back())];
}

std::string TCabinetSignature::SignerName() const {
    const crypto::TCertificate* signer = Signer();
    if (!signer) return {};
    return signer->CommonName.empty() ? signer->Subject : signer->CommonName;
}

std::string TCabinetSignature::VerdictWord() const {
    switch (Verdict) {
    case TSignatureVerdict::NotSigned:
        return "Not signed";
    case TSignatureVerdict::Intact:
        return "Intact";
    case TSignatureVerdict::Modified:
        return "Modified";
    case TSignatureVerdict::Unreadable:
        return "Unreadable";
    }
    return {};
}

std::string TCabinetSignature::Summary() const {
    switch (Verdict) {
    case TSignatureVerdict::NotSigned:
        return "Not signed";
    case TSignatureVerdict::Intact:
        return "Intact: signed by " + SignerName();
    case TSignatureVerdict::Modified:
        return "Modified: signed by " + SignerName() + ", but " + Reason;
    case TSignatureVerdict::Unreadable:
        return "Signature unreadable: " + Reason;
    }
    return {};
}

TCabinetSignature VerifyCabinetSignature(const std::string& path) {
    try {
        TFileSource source(path);
        if (!source.Open()) return Unreadable({}, "the file cannot be read");
        return Verify(source);
    } catch (const std::exception& e) {
        return Unreadable({}, e.what());
    }
}

TCabinetSignature VerifyCabinetSignature(std::span<const uint8_t> cabinet) {
    try {
        TMemorySource source(cabinet);
        return Verify(source);
    } catch (const std::exception& e) {
        return Unreadable({}, e.what());
    }
}
