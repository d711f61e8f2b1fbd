#pragma once
// Who signed a cabinet, and whether its bytes are still the ones signed. Trust in a chain to a
// root is not judged: there is no device trust store here; the chain carried is shown instead.
#include "signature/Crypto.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

enum class TSignatureVerdict { NotSigned, Intact, Modified, Unreadable };

struct TSignatureCheck {
    std::string Name; // "Cabinet digest", "Message digest", "Signer's signature"
    bool Passed = false;
};

struct TCabinetSignature {
    TSignatureVerdict Verdict = TSignatureVerdict::NotSigned;
    // Unreadable: why the signature could not be read; Modified: which check failed.
    std::string Reason;
    uint32_t Position = 0; // the signature area after the cabinet
    uint32_t Size = 0;
    std::vector<crypto::TCertificate> Certificates; // in the order the signature carries them
    int SignerIndex = -1;                           // into Certificates
    std::string DigestAlgorithm;                    // "SHA-1"
    std::string SigningTime;                        // empty when nothing carries one
    bool TestCertificate = false; // the signer's certificate names itself a test certificate
    std::vector<TSignatureCheck> Checks;

    [[nodiscard]] const crypto::TCertificate* Signer() const;
    // The signer's common name, or its whole subject when it has none.
    [[nodiscard]] std::string SignerName() const;
    // "Not signed", "Intact", "Modified", "Unreadable".
    [[nodiscard]] std::string VerdictWord() const;
    // One line: "Intact: signed by X", "Modified: signed by X, but ...",
    // "Signature unreadable: ...", "Not signed".
    [[nodiscard]] std::string Summary() const;
};

// Locates, decodes and checks the signature of the cabinet at path. Never throws.
[[nodiscard]] TCabinetSignature VerifyCabinetSignature(const std::string& path);
// The same over a cabinet held in memory.
[[nodiscard]] TCabinetSignature VerifyCabinetSignature(std::span<const uint8_t> cabinet);
