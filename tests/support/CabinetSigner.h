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

[[nodiscard]] bool HaveOsslsigncode();
// Signs the cabinet `in` into `out` with digest "sha1" or "sha256", and a signing time (seconds
// since 1970) when not 0; false when osslsigncode fails, with its output in log.
[[nodiscard]] bool SignCabinet(const SigningKey& key, const std::string& in, const std::string& out,
                               const std::string& digest, long signingTime, std::string& log);
