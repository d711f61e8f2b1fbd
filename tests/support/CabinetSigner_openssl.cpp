#include "tests/support/CabinetSigner.h"

#include "tests/support/CabinetBuilder.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>

extern char** environ;

namespace {

void WritePem(const std::string& path, const std::function<int(FILE*)>& write) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + path);
    const int ok = write(f);
    if (std::fclose(f) != 0 || ok != 1) throw std::runtime_error("cannot write " + path);
}

// Runs a program from an argument list with its output to logPath; its exit status, or -1.
int Run(const std::vector<std::string>& args, const std::string& logPath) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

SigningKey MakeSigningKey(const std::string& folder, const std::string& commonName) {
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_RSA_gen(2048), EVP_PKEY_free);
    std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), X509_free);
    if (!key || !cert) throw std::runtime_error("cannot make a key");
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 0x5EED);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3600L * 24 * 365);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1,
                               0);
    X509_set_issuer_name(cert.get(), name);
    X509_set_pubkey(cert.get(), key.get());
    if (X509_sign(cert.get(), key.get(), EVP_sha256()) <= 0)
        throw std::runtime_error("cannot sign the certificate");
    SigningKey paths{folder + "/key.pem", folder + "/cert.pem"};
    WritePem(paths.KeyPath, [&](FILE* f) {
        return PEM_write_PrivateKey(f, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
    WritePem(paths.CertPath, [&](FILE* f) { return PEM_write_X509(f, cert.get()); });
    return paths;
}

std::vector<uint8_t> SelfSignedCertificateDer(const std::string& commonName, int bits,
                                              const std::vector<uint8_t>& exponent) {
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(
        EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr), EVP_PKEY_CTX_free);
    std::unique_ptr<BIGNUM, decltype(&BN_free)> e(
        exponent.empty() ? nullptr
                         : BN_bin2bn(exponent.data(), static_cast<int>(exponent.size()), nullptr),
        BN_free);
    EVP_PKEY* made = nullptr;
    if (!ctx || EVP_PKEY_keygen_init(ctx.get()) <= 0 ||
        EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), bits) <= 0 ||
        (e && EVP_PKEY_CTX_set1_rsa_keygen_pubexp(ctx.get(), e.get()) <= 0) ||
        EVP_PKEY_keygen(ctx.get(), &made) <= 0)
        throw std::runtime_error("cannot make a key");
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(made, EVP_PKEY_free);
    std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), X509_free);
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 0x5EED);
    ASN1_TIME_set_string(X509_getm_notBefore(cert.get()), "20200102030405Z");
    ASN1_TIME_set_string(X509_getm_notAfter(cert.get()), "20300102030405Z");
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1,
                               0);
    X509_set_issuer_name(cert.get(), name);
    X509_set_pubkey(cert.get(), key.get());
    if (X509_sign(cert.get(), key.get(), EVP_sha256()) <= 0)
        throw std::runtime_error("cannot sign the certificate");
    unsigned char* out = nullptr;
    const int size = i2d_X509(cert.get(), &out);
    if (size <= 0) throw std::runtime_error("cannot encode the certificate");
    std::vector<uint8_t> der(out, out + size);
    OPENSSL_free(out);
    return der;
}

std::string Base64Lines(const std::vector<uint8_t>& der) {
    std::string encoded(4 * ((der.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()), der.data(),
                                  static_cast<int>(der.size()));
    encoded.resize(static_cast<size_t>(n));
    std::string lines;
    for (size_t i = 0; i < encoded.size(); i += 64)
        lines += encoded.substr(i, 64) + "\n";
    return lines;
}

bool HaveOsslsigncode() {
    return Run({"osslsigncode", "--version"}, "/dev/null") == 0;
}

bool SignCabinet(const SigningKey& key, const std::string& in, const std::string& out,
                 const std::string& digest, long signingTime, std::string& log) {
    const std::string logPath = out + ".log";
    std::vector<std::string> args = {"osslsigncode", "sign",        "-certs", key.CertPath,
                                     "-key",         key.KeyPath,   "-h",     digest,
                                     "-n",           "Tessary test"};
    if (signingTime != 0) args.insert(args.end(), {"-time", std::to_string(signingTime)});
    args.insert(args.end(), {"-in", in, "-out", out});
    const int status = Run(args, logPath);
    try {
        const auto bytes = ReadFileBytes(logPath);
        log.assign(bytes.begin(), bytes.end());
    } catch (const std::exception&) {
        log.clear();
    }
    return status == 0;
}
