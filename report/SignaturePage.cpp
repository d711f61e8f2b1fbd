#include "report/SignaturePage.h"

#include "signature/Signature.h"

namespace {

const char* YesNo(bool value) {
    return value ? "Yes" : "No";
}

TValue TextOrNull(const std::string& text) {
    if (text.empty()) return {};
    return text;
}

std::string VerdictText(const TCabinetSignature& signature) {
    switch (signature.Verdict) {
    case TSignatureVerdict::Modified:
    case TSignatureVerdict::Unreadable:
        return signature.VerdictWord() + ": " + signature.Reason;
    case TSignatureVerdict::NotSigned:
    case TSignatureVerdict::Intact:
        break;
    }
    return signature.VerdictWord();
}

const char* ChainEndText(TChainEnd end) {
    switch (end) {
    case TChainEnd::SelfSigned:
        return "self-signed";
    case TChainEnd::CarriedRoot:
        return "carried root";
    case TChainEnd::IssuerMissing:
        return "issuer missing";
    case TChainEnd::Broken:
        return "broken";
    case TChainEnd::None:
        break;
    }
    return nullptr;
}

void AddTrust(TSignaturePages& pages, const TCabinetSignature& signature,
              const TTrustStatement& trust) {
    pages.TrustLine = trust.Line;
    pages.Status = signature.Summary() + ". " + trust.Line;
    TPage& facts = pages.TrustFacts;
    facts.Caption = "Trust";
    facts.Columns = {{"Fact", 150, TAlign::Left, true}, {"Statement", 400, TAlign::Left, true}};
    const std::pair<const char*, const std::string*> parts[] = {
        {"Chain", &trust.Chain},       {"Test certificate", &trust.Test},
        {"Validity", &trust.Validity}, {"Signing time", &trust.Times},
        {"Digest", &trust.Digest},     {"Installed by the setup", &trust.SelfAdded}};
    for (const auto& [fact, text] : parts) {
        if (text->empty()) continue;
        TRow& row = facts.Rows.emplace_back();
        row.Source = facts.Rows.size() - 1;
        row.Cells = {TextCell(fact), TextCell(*text)};
        row.Record = {{"fact", std::string(fact)}, {"statement", *text}};
    }
    if (signature.Verdict == TSignatureVerdict::NotSigned) return;
    const crypto::TCertificate* end = signature.ChainEnd();
    const bool judged =
        !signature.Chain.Path.empty() && signature.Verdict != TSignatureVerdict::Unreadable;
    const auto known = [judged](TValue value) { return judged ? value : TValue(); };
    const char* endText = ChainEndText(signature.Chain.End);
    pages.Trust = {
        {"statement", trust.Line},
        {"chain", TextOrNull(trust.Chain)},
        {"chainEnd", endText ? TValue(std::string(endText)) : TValue()},
        {"chainEndSubject", end ? TValue(end->Subject) : TValue()},
        {"chainEndThumbprint", end ? TValue(end->Thumbprint) : TValue()},
        {"missingIssuer", TextOrNull(signature.Chain.MissingIssuer)},
        {"test", known(signature.Chain.Test)},
        {"validToday", known(trust.ValidToday)},
        {"validAtSigning",
         judged && !signature.SigningTime.empty() ? TValue(trust.ValidAtSigning) : TValue()},
        {"signingTime", TextOrNull(signature.SigningTime)},
        {"countersignatureTime", TextOrNull(signature.CountersignatureTime)},
        {"digestAlgorithm", TextOrNull(signature.DigestAlgorithm)},
        {"weakDigest", signature.DigestAlgorithm.empty() ? TValue() : TValue(trust.WeakDigest)},
        {"selfAdded", TextOrNull(trust.SelfAdded)},
    };
}

} // namespace

void AddSignatureRows(TPage& properties, const TCabinetSignature& signature) {
    const auto add = [&properties](const char* caption, std::string value, const char* field) {
        TRow& row = properties.Rows.emplace_back();
        row.Cells = {TextCell(caption), TextCell(value)};
        row.Record.emplace_back(field, TextOrNull(value));
        row.Source = properties.Rows.size() - 1;
    };
    add("Signature", VerdictText(signature), "signature");
    add("Signed By", signature.SignerName(), "signedBy");
}

TSignaturePages BuildSignaturePages(const TCabinetSignature& signature,
                                    const TTrustContext& context) {
    TSignaturePages pages;
    const TTrustStatement trust = BuildTrustStatement(signature, context);
    AddTrust(pages, signature, trust);
    const bool located = signature.Verdict != TSignatureVerdict::NotSigned && signature.Size > 0;
    pages.Summary = {
        {"verdict", signature.VerdictWord()},
        {"reason", TextOrNull(signature.Reason)},
        {"signedBy", TextOrNull(signature.SignerName())},
        {"digestAlgorithm", TextOrNull(signature.DigestAlgorithm)},
        {"signingTime", TextOrNull(signature.SigningTime)},
        {"testCertificate", signature.Signer() ? TValue(signature.TestCertificate) : TValue()},
        {"position", located ? TValue(int64_t(signature.Position)) : TValue()},
        {"size", located ? TValue(int64_t(signature.Size)) : TValue()},
    };

    TPage& certificates = pages.Certificates;
    certificates.Caption = "Certificates";
    certificates.Columns = {
        {"Subject", 200, TAlign::Left, true},  {"Issuer", 200, TAlign::Left, true},
        {"Serial", 120, TAlign::Left, true},   {"Valid From", 120, TAlign::Left, true},
        {"Valid To", 120, TAlign::Left, true}, {"Thumbprint", 280, TAlign::Left, true},
        {"Key", 70, TAlign::Left, true},       {"Self-signed", 70, TAlign::Center, true},
        {"Signer", 50, TAlign::Center, true}};
    for (size_t i = 0; i < signature.Certificates.size(); ++i) {
        const crypto::TCertificate& c = signature.Certificates[i];
        const bool signer = int(i) == signature.SignerIndex;
        const std::string key = c.KeyType + (c.KeyBits > 0 ? " " + std::to_string(c.KeyBits) : "");
        TRow& row = certificates.Rows.emplace_back();
        row.Source = i;
        row.Cells = {TextCell(c.Subject),    TextCell(c.Issuer),
                     TextCell(c.Serial),     TextCell(c.NotBefore),
                     TextCell(c.NotAfter),   TextCell(c.Thumbprint),
                     TextCell(key),          TextCell(YesNo(c.SelfSigned)),
                     TextCell(YesNo(signer))};
        row.Record = {{"subject", c.Subject},
                      {"issuer", c.Issuer},
                      {"serial", c.Serial},
                      {"notBefore", TextOrNull(c.NotBefore)},
                      {"notAfter", TextOrNull(c.NotAfter)},
                      {"thumbprint", c.Thumbprint},
                      {"keyType", c.KeyType},
                      {"keyBits", int64_t(c.KeyBits)},
                      {"selfSigned", c.SelfSigned},
                      {"signer", signer}};
    }

    TPage& checks = pages.Checks;
    checks.Caption = "Checks";
    checks.Columns = {{"Check", 150, TAlign::Left, true}, {"Result", 400, TAlign::Left, true}};
    for (size_t i = 0; i < signature.Checks.size(); ++i) {
        const TSignatureCheck& check = signature.Checks[i];
        TRow& row = checks.Rows.emplace_back();
        row.Source = i;
        // A chain that verifies is not thereby trusted: the row says where it ends.
        const bool chain =
            check.Name == "Certificate chain" && check.Passed && !trust.Chain.empty();
        row.Cells = {TextCell(check.Name), TextCell(chain          ? trust.Chain
                                                    : check.Passed ? "Passed"
                                                                   : "Failed")};
        row.Record = {{"name", check.Name}, {"passed", check.Passed}};
    }
    return pages;
}
