#pragma once
// Who signed a cabinet, and whether its bytes are still the ones signed. Trust in a chain to a
// root is not judged: there is no device trust store here; where the chain carried ends is
// told instead (Trust.h).
#include "signature/Crypto.h"
#include "signature/Trust.h"

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
    std::string SigningTime;          // the signer's, else the countersigner's; empty: none
    std::string CountersignatureTime; // the countersigner's (a timestamp), empty when none
    bool TestCertificate = false;     // the signer's certificate names itself a test certificate
    TSignatureChain Chain;            // from the signer's certificate through the issuers carried
    std::vector<TSignatureCheck> Checks;

    [[nodiscard]] const crypto::TCertificate* Signer() const;
    // The chain's last certificate: the self-signed signer, the root carried, or the one whose
    // issuer is not carried (its Thumbprint is what a device's store must hold). Null: none.
    [[nodiscard]] const crypto::TCertificate* ChainEnd() const;
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
