#pragma once
// Signs cabinets for tests: a throw-away RSA key and self-signed certificate made with OpenSSL,
// the signature written by osslsigncode, as a publisher would sign a setup.
#include <cstdint>
#include <string>
#include <vector>

struct SigningKey {
    std::string KeyPath;  // PEM, no password
    std::string CertPath; // PEM
};

// A 2048-bit RSA key and a certificate for commonName issued by itself, written below folder.
[[nodiscard]] SigningKey MakeSigningKey(const std::string& folder, const std::string& commonName);

// A certificate for commonName issued by itself, DER-encoded: a fresh RSA key of bits with the
// public exponent given as big-endian bytes (empty: 65537).
[[nodiscard]] std::vector<uint8_t>
SelfSignedCertificateDer(const std::string& commonName, int bits = 2048,
                         const std::vector<uint8_t>& exponent = {});
// Base64 in lines of 64, as the platform's tools write EncodedCertificate values.
[[nodiscard]] std::string Base64Lines(const std::vector<uint8_t>& der);

[[nodiscard]] bool HaveOsslsigncode();
// Signs the cabinet `in` into `out` with digest "sha1" or "sha256", and a signing time (seconds
// since 1970) when not 0; false when osslsigncode fails, with its output in log.
[[nodiscard]] bool SignCabinet(const SigningKey& key, const std::string& in, const std::string& out,
                               const std::string& digest, long signingTime, std::string& log);
