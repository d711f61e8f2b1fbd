#pragma once
// What a cabinet's signature lets a device conclude, apart from whether the bytes are intact:
// where the certificate chain ends, whether it is a test chain, whether its certificates are
// within their dates, when it was signed and with which digest. Nothing here knows a device's
// stores: the statement says which certificate a device must already hold, not whether it does.
#include "signature/Crypto.h"

#include <string>
#include <string_view>
#include <vector>

struct TCabinetSignature;

// Where the chain from the signer's certificate ends.
enum class TChainEnd {
    None,          // no signer's certificate
    SelfSigned,    // the signer's certificate is its own issuer
    CarriedRoot,   // a self-signed root that the signature carries
    IssuerMissing, // the last certificate carried names an issuer that is not carried
    Broken,        // a certificate does not verify with its issuer's key
};

struct TSignatureChain {
    TChainEnd End = TChainEnd::None;
    // Into the signature's Certificates: the signer first, then each issuer carried.
    std::vector<int> Path;
    std::string MissingIssuer; // IssuerMissing: the issuer's name
    bool Test = false;         // a certificate of the chain names itself a test certificate
};

// Follows the chain from certificates[signer] through the issuers carried. signer < 0: None.
[[nodiscard]] TSignatureChain FollowChain(const std::vector<crypto::TCertificate>& certificates,
                                          int signer);

// Whether the certificate's subject or issuer names it a test certificate ("TEST USE ONLY",
// "Test Root"): such keys come with development kits, so anyone can sign with them.
[[nodiscard]] bool IsTestCertificate(const crypto::TCertificate& certificate);
// Whether a certificate's name ("CN=TEST USE ONLY - ...") says it is a test certificate.
[[nodiscard]] bool NamesTestCertificate(std::string_view name);

// The current UTC time, "YYYY-MM-DD HH:MM:SS".
[[nodiscard]] std::string UtcNowText();

// A certificate the setup itself adds to one of the device's stores.
struct TStoreAddition {
    std::string Store;      // "SPC", "Privileged Execution Trust Authorities", ...
    std::string Thumbprint; // SHA-1, upper-case hex
};

struct TTrustContext {
    std::string Now; // "YYYY-MM-DD HH:MM:SS" UTC, the time "today" means; empty: the clock's
    // What the setup adds to the device's stores, when its provisioning document was read.
    std::vector<TStoreAddition> Added;
};

// The trust statement, one sentence part per fact; empty parts have nothing to say.
struct TTrustStatement {
    std::string Chain;     // "chain complete to CN=X, self-signed; trusted only by devices..."
    std::string Test;      // the test certificates of the chain
    std::string Validity;  // at the signing time and today
    std::string Times;     // the signing time and the countersignature's
    std::string Digest;    // "SHA-1 digest, weak: ..."
    std::string SelfAdded; // the setup adds a certificate of its own chain to a device store
    std::string Line;      // all of it in one line, led by "Trust: "
    bool ValidToday = false;
    bool ValidAtSigning = false; // false also when no signing time is carried
    bool WeakDigest = false;
};

// The statement for a signature. A cabinet that is not signed, or whose signature cannot be
// read, has only Line ("Trust: none, ...").
[[nodiscard]] TTrustStatement BuildTrustStatement(const TCabinetSignature& signature,
                                                  const TTrustContext& context = {});
