#include "signature/Trust.h"

#include "signature/Signature.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>

namespace {

bool IsTestName(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    for (size_t at = lower.find("test"); at != std::string::npos; at = lower.find("test", at + 1)) {
        const bool startsWord = at == 0 || !std::isalnum(static_cast<unsigned char>(lower[at - 1]));
        const size_t after = at + 4;
        const bool endsWord =
            after >= lower.size() || !std::isalpha(static_cast<unsigned char>(lower[after]));
        if (startsWord && endsWord) return true;
    }
    return false;
}

std::string Name(const crypto::TCertificate& c) {
    return c.Subject.empty() ? "certificate " + c.Serial : c.Subject;
}

std::string Join(const std::vector<std::string>& parts, const char* separator) {
    std::string text;
    for (const std::string& part : parts)
        if (!part.empty()) text += (text.empty() ? "" : separator) + part;
    return text;
}

std::string ChainText(const TCabinetSignature& signature) {
    const TSignatureChain& chain = signature.Chain;
    const auto& certificates = signature.Certificates;
    if (chain.Path.empty()) return {};
    const crypto::TCertificate& last = certificates[size_t(chain.Path.back())];
    switch (chain.End) {
    case TChainEnd::None:
        return {};
    case TChainEnd::SelfSigned:
        return "chain complete to " + Name(last) +
               ", self-signed; trusted only by devices that have it";
    case TChainEnd::CarriedRoot:
        return "chain complete to " + Name(last) + ", a self-signed root carried in the " +
               "signature; trusted only by devices that have it";
    case TChainEnd::IssuerMissing:
        return "chain ends at " + Name(last) + ", whose issuer " + chain.MissingIssuer +
               " is not carried; trusted only by devices that have that issuer";
    case TChainEnd::Broken:
        return "chain broken: " + Name(last) + " does not verify with its issuer's key";
    }
    return {};
}

// The first certificate of the chain outside its dates at the time, or empty.
std::string OutsideDates(const TCabinetSignature& signature, const std::string& at) {
    for (const int index : signature.Chain.Path) {
        const crypto::TCertificate& c = signature.Certificates[size_t(index)];
        // The texts are "YYYY-MM-DD HH:MM:SS", which order as they compare.
        if (!c.NotAfter.empty() && at > c.NotAfter) return Name(c) + " expired on " + c.NotAfter;
        if (!c.NotBefore.empty() && at < c.NotBefore)
            return Name(c) + " is valid only from " + c.NotBefore;
    }
    return {};
}

std::string TestText(const TCabinetSignature& signature) {
    std::vector<std::string> names;
    for (const int index : signature.Chain.Path)
        if (IsTestCertificate(signature.Certificates[size_t(index)]))
            names.push_back(Name(signature.Certificates[size_t(index)]));
    if (names.empty()) return {};
    return Join(names, " and ") +
           (names.size() == 1 ? " is a test certificate"
                              : " are test "
                                "certificates") +
           ": its key comes with a development kit, so anyone can sign with it";
}

std::string SelfAddedText(const TCabinetSignature& signature, const TTrustContext& context) {
    std::vector<std::string> parts;
    for (const int index : signature.Chain.Path) {
        const crypto::TCertificate& c = signature.Certificates[size_t(index)];
        std::vector<std::string> stores;
        for (const TStoreAddition& added : context.Added)
            if (added.Thumbprint == c.Thumbprint &&
                std::find(stores.begin(), stores.end(), added.Store) == stores.end())
                stores.push_back(added.Store);
        if (!stores.empty())
            parts.push_back(Name(c) + " to the device's " + Join(stores, " and ") +
                            (stores.size() == 1 ? " store" : " stores"));
    }
    if (parts.empty()) return {};
    return "the setup itself adds " + Join(parts, "; ") + ": it vouches for itself";
}

} // namespace

TSignatureChain FollowChain(const std::vector<crypto::TCertificate>& certificates, int signer) {
    TSignatureChain chain;
    if (signer < 0 || size_t(signer) >= certificates.size()) return chain;
    chain.Path.push_back(signer);
    // Each step adds a certificate not yet in the path, so the walk ends.
    while (true) {
        const crypto::TCertificate& current = certificates[size_t(chain.Path.back())];
        chain.Test = chain.Test || IsTestCertificate(current);
        if (current.SubjectDer == current.IssuerDer) {
            chain.End = !current.SelfSigned      ? TChainEnd::Broken
                        : chain.Path.size() == 1 ? TChainEnd::SelfSigned
                                                 : TChainEnd::CarriedRoot;
            return chain;
        }
        int issuer = -1;
        bool named = false;
        for (size_t i = 0; i < certificates.size() && issuer < 0; ++i) {
            if (certificates[i].SubjectDer != current.IssuerDer) continue;
            if (std::find(chain.Path.begin(), chain.Path.end(), int(i)) != chain.Path.end())
                continue;
            named = true;
            if (crypto::VerifyCertificate(current, certificates[i])) issuer = int(i);
        }
        if (issuer < 0) {
            chain.End = named ? TChainEnd::Broken : TChainEnd::IssuerMissing;
            if (!named) chain.MissingIssuer = current.Issuer;
            return chain;
        }
        chain.Path.push_back(issuer);
    }
}

bool NamesTestCertificate(std::string_view name) {
    return IsTestName(name);
}

bool IsTestCertificate(const crypto::TCertificate& certificate) {
    return IsTestName(certificate.Subject) || IsTestName(certificate.Issuer);
}

std::string UtcNowText() {
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

TTrustStatement BuildTrustStatement(const TCabinetSignature& signature,
                                    const TTrustContext& context) {
    TTrustStatement s;
    if (signature.Verdict == TSignatureVerdict::NotSigned) {
        s.Line = "Trust: none, the cabinet is not signed";
        return s;
    }
    if (signature.Verdict == TSignatureVerdict::Unreadable || signature.Chain.Path.empty()) {
        s.Line = "Trust: none, the signature cannot be read";
        return s;
    }
    const std::string now = context.Now.empty() ? UtcNowText() : context.Now;
    s.Chain = ChainText(signature);
    s.Test = TestText(signature);

    const std::string today = OutsideDates(signature, now);
    s.ValidToday = today.empty();
    std::string atSigning;
    if (signature.SigningTime.empty()) {
        atSigning = "validity when signed not known (no signing time)";
    } else {
        const std::string outside = OutsideDates(signature, signature.SigningTime);
        s.ValidAtSigning = outside.empty();
        atSigning = s.ValidAtSigning ? "valid when signed" : "not valid when signed: " + outside;
    }
    s.Validity = atSigning + "; " + (s.ValidToday ? "valid today" : "not valid today: " + today);

    const bool countersigned = !signature.CountersignatureTime.empty();
    const bool ownTime =
        !signature.SigningTime.empty() &&
        (!countersigned || signature.SigningTime != signature.CountersignatureTime);
    s.Times = Join(
        {ownTime ? "signed " + signature.SigningTime + " by the signer's own clock" : std::string(),
         countersigned ? "countersigned (timestamp) " + signature.CountersignatureTime
                       : "no countersignature"},
        "; ");
    if (!ownTime && !countersigned) s.Times = "no signing time; no countersignature";

    if (!signature.DigestAlgorithm.empty()) {
        s.WeakDigest = signature.DigestAlgorithm == "SHA-1" || signature.DigestAlgorithm == "MD5";
        s.Digest = signature.DigestAlgorithm + " digest" +
                   (s.WeakDigest ? ", weak: a second cabinet with the same digest can be made"
                                 : std::string());
    }
    s.SelfAdded = SelfAddedText(signature, context);

    const std::string lead = signature.Verdict == TSignatureVerdict::Intact
                                 ? std::string()
                                 : "none, the cabinet's bytes are not the ones signed; ";
    s.Line = "Trust: " + lead +
             Join({s.Chain, s.Test, s.Validity, s.Times, s.Digest, s.SelfAdded}, "; ");
    return s;
}
