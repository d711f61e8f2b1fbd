// libFuzzer target: ReadProvisioning over arbitrary bytes, then certificate decoding, the rows
// and the counts; the tree must stay well formed (parents first, depths by one, subtrees inside
// their parents).
#include "provisioning/Provisioning.h"
#include "provisioning/Rows.h"
#include "tests/fuzz/FuzzSeeds.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <string>

namespace {

std::vector<uint8_t> Text(const std::string& s) {
    return {s.begin(), s.end()};
}

// A small self-signed EC certificate in base64, so that seeds reach the certificate decoder.
std::string CertificateBase64() {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* x = X509_new();
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), 1);
    X509_gmtime_adj(X509_getm_notBefore(x), 0);
    X509_gmtime_adj(X509_getm_notAfter(x), 3600);
    X509_set_pubkey(x, key);
    X509_NAME_add_entry_by_txt(X509_get_subject_name(x), "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Fuzz"), -1, -1, 0);
    X509_set_issuer_name(x, X509_get_subject_name(x));
    X509_sign(x, key, EVP_sha256());
    unsigned char* der = nullptr;
    const int size = i2d_X509(x, &der);
    std::string out(4 * ((static_cast<size_t>(size) + 2) / 3) + 1, '\0');
    out.resize(static_cast<size_t>(
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), der, size)));
    OPENSSL_free(der);
    X509_free(x);
    EVP_PKEY_free(key);
    return out.substr(0, 64) + "\n" + out.substr(64);
}

std::vector<std::vector<uint8_t>> Seeds() {
    const std::string cert = CertificateBase64();
    const std::string store =
        "<characteristic type=\"CertificateStore\"><characteristic type=\"ROOT\">"
        "<characteristic type=\"00aa\"><parm name=\"EncodedCertificate\" value=\"" +
        cert +
        "\"/><parm name=\"Role\" value=\"222\"/></characteristic></characteristic>"
        "</characteristic>";
    const std::string policy = "<characteristic type=\"SecurityPolicy\"><parm name=\"4102\" "
                               "value=\"1\"/><parm-query name=\"4097\"/><noparm name=\"9\"/>"
                               "</characteristic>";
    return {
        Text("<?xml version=\"1.0\"?><wap-provisioningdoc>" + store + policy +
             "<nocharacteristic type=\"Sync\"/><characteristic-query type=\"Registry\"/>"
             "</wap-provisioningdoc>"),
        Text(
            "<wap-provisioningdoc><characteristic type=\"Carrier\"><parm name=\"Doc\" value=\""
            "&lt;wap-provisioningdoc&gt;&lt;parm name=&quot;EncodedCertificate&quot; value=&quot;" +
            cert + "&quot;/&gt;&lt;/wap-provisioningdoc&gt;\"/></characteristic>"),
        Text("<characteristic type=\"A\" =x type=\"B\"><parm name='a' name=b value=c>"
             "</parm></other><characteristic type=\"Open\"><parm name=\"x\" value=\"never"),
    };
}

bool WellFormed(const provisioning::TProvisioningTree& tree) {
    const auto& n = tree.Nodes;
    if (n.empty() || n[0].Parent != -1 || n[0].End != n.size()) return false;
    for (size_t i = 1; i < n.size(); ++i) {
        const auto parent = static_cast<size_t>(n[i].Parent);
        if (n[i].Parent < 0 || parent >= i || n[i].Depth != n[parent].Depth + 1) return false;
        if (n[i].End <= i || n[i].End > n[parent].End) return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    WriteSeedsAndExitIfAsked(Seeds());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    provisioning::TProvisioningTree tree =
        provisioning::ReadProvisioning(std::string_view(reinterpret_cast<const char*>(data), size));
    provisioning::DecodeCertificates(tree);
    if (!WellFormed(tree)) std::abort();
    const auto rows = provisioning::ProvisioningRows(tree);
    if (rows.size() + (tree.Nodes[0].Note.empty() ? 1 : 0) != tree.Nodes.size()) std::abort();
    (void)provisioning::Summarize(tree);
    return 0;
}
