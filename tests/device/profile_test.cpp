// Device profiles from what users have: documents, certificates and bad input of each kind.
#include "device/Profile.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/CabinetSigner.h"
#include "tests/support/Corpus.h"

#include <gtest/gtest.h>

using namespace device;

namespace {

std::span<const uint8_t> AsBytes(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

bool AnyHas(const std::vector<std::string>& problems, const std::string& text) {
    for (const std::string& p : problems)
        if (p.find(text) != std::string::npos) return true;
    return false;
}

const char kPolicies[] = R"(<wap-provisioningdoc>
  <characteristic type="SecurityPolicy">
    <parm name="4101" value="0"/>
    <parm name="4102" value="1"/>
    <parm name="4122" value="1"/>
  </characteristic>
</wap-provisioningdoc>)";

} // namespace

TEST(DeviceProfile, LaterSourcesOverrideEarlierPolicies) {
    TDeviceProfile p;
    AddBuiltin(p, *FindBuiltinProfile("pocketpc"));
    ASSERT_TRUE(AddProfileBytes(p, AsBytes(kPolicies), "policies.xml", ""));
    EXPECT_TRUE(p.Problems.empty());
    EXPECT_EQ(p.Policy(kPolicyUnsignedCabs)->Value, 0u);
    EXPECT_EQ(p.Policy(kPolicyUnsignedCabs)->Source, "policies.xml");
    EXPECT_EQ(p.Policy(kPolicyUnsignedPrompt)->Value, 1u);
    // Untouched by the document: still the built-in's.
    EXPECT_EQ(p.Policy(kPolicyPrivilegedApps)->Value, 1u);
}

TEST(DeviceProfile, BadInputIsAProblemNamingTheFile) {
    TDeviceProfile p;
    EXPECT_FALSE(AddProfileBytes(p, AsBytes("hello"), "notes.txt", ""));
    EXPECT_TRUE(AnyHas(p.Problems, "notes.txt: not a device profile"));
    EXPECT_FALSE(AddProfileBytes(p, AsBytes("<html/>"), "page.html", ""));
    EXPECT_TRUE(AnyHas(p.Problems, "page.html: not a provisioning document"));
    EXPECT_FALSE(AddProfileBytes(p, AsBytes("garbage"), "root.cer", "SPC"));
    EXPECT_TRUE(AnyHas(p.Problems, "root.cer: not a certificate file"));
    EXPECT_FALSE(AddProfileBytes(p, AsBytes("garbage"), "root.cer", "Trusted People"));
    EXPECT_TRUE(AnyHas(p.Problems, "no certificate store \"Trusted People\""));
    EXPECT_FALSE(AddProfileSource(p, "/nonexistent/profile.cpf"));
    EXPECT_TRUE(AnyHas(p.Problems, "/nonexistent/profile.cpf: cannot open"));
    EXPECT_FALSE(AddProfileSource(p, "tablet"));
    EXPECT_TRUE(AnyHas(p.Problems, "not a built-in profile"));
    EXPECT_TRUE(p.Certificates.empty());
}

TEST(DeviceProfile, ContradictionsAndUnknownStoresAreProblems) {
    const std::string doc = R"(<wap-provisioningdoc>
  <characteristic type="SecurityPolicy">
    <parm name="4101" value="16"/>
    <parm name="4101" value="0"/>
    <parm name="4102" value="yes"/>
  </characteristic>
  <characteristic type="CertificateStore">
    <characteristic type="Trusted Friends">
      <characteristic type="00">
        <parm name="EncodedCertificate" value="AAAA"/>
      </characteristic>
    </characteristic>
    <characteristic type="SPC">
      <characteristic type="11">
        <parm name="EncodedCertificate" value="not base64!"/>
      </characteristic>
    </characteristic>
  </characteristic>
</wap-provisioningdoc>)";
    TDeviceProfile p;
    EXPECT_TRUE(AddProfileBytes(p, AsBytes(doc), "mixed.xml", ""));
    EXPECT_TRUE(AnyHas(p.Problems, "mixed.xml: the document contradicts itself: security policy "
                                   "4101 is set to 16 and then to 0"));
    EXPECT_TRUE(AnyHas(p.Problems, "4102 has the value \"yes\", not a number"));
    EXPECT_TRUE(AnyHas(p.Problems, "\"Trusted Friends\", which does not exist"));
    EXPECT_TRUE(AnyHas(p.Problems, "the certificate for SPC (11) does not decode"));
    EXPECT_EQ(p.Policy(kPolicyUnsignedCabs)->Value, 0u);
    EXPECT_EQ(p.Policy(kPolicyUnsignedApps), nullptr);
}

TEST(DeviceProfile, CertificateFilesGoIntoTheNamedStore) {
    TempDir dir;
    const SigningKey key = MakeSigningKey(dir.Path(), "Fleet Root");
    TDeviceProfile p;
    ASSERT_TRUE(AddProfileSource(p, "Privileged Execution Trust Authorities=" + key.CertPath))
        << (p.Problems.empty() ? "" : p.Problems[0]);
    ASSERT_EQ(p.Certificates.size(), 1u);
    EXPECT_EQ(p.Certificates[0].Store, TStore::Privileged);
    EXPECT_EQ(p.Certificates[0].Certificate.CommonName, "Fleet Root");
    // A certificate without a store is refused with how to name one.
    EXPECT_FALSE(AddProfileSource(p, key.CertPath));
    EXPECT_TRUE(AnyHas(p.Problems, "give it as STORE=FILE"));
}

TEST(DeviceProfile, RealCabinetsAddTheirStoresWithRoles) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    const TDeviceProfile p = BuildProfile({RealCabinet("SdkCerts.cab")});
    EXPECT_TRUE(p.Problems.empty()) << p.Problems[0];
    size_t spc = 0, privileged = 0;
    for (const TStoreCertificate& c : p.Certificates) {
        if (c.Store == TStore::SPC) {
            ++spc;
            ASSERT_TRUE(c.Role.has_value());
            EXPECT_TRUE(*c.Role == 222 || *c.Role == 16) << *c.Role;
        }
        privileged += c.Store == TStore::Privileged;
    }
    EXPECT_EQ(spc, 3u);
    EXPECT_EQ(privileged, 3u);
    const TDeviceProfile off = BuildProfile({"pocketpc", RealCabinet("SecurityOff.cpf")});
    EXPECT_EQ(off.Policy(kPolicyUnsignedPrompt)->Value, 1u);
    EXPECT_EQ(off.Name, "Pocket PC / Professional, one-tier prompt + SecurityOff.cpf");
}

TEST(DeviceProfile, EveryCutOfADocumentOrCertificateEndsCleanly) {
    TempDir dir;
    const SigningKey key = MakeSigningKey(dir.Path(), "Cut Root");
    const std::vector<uint8_t> pem = ReadFileBytes(key.CertPath);
    const std::string doc = std::string(kPolicies);
    for (size_t cut = 0; cut < pem.size(); ++cut) {
        TDeviceProfile p;
        const bool taken = AddProfileBytes(p, std::span(pem.data(), cut), "cut.pem", "SPC");
        // Whatever is taken is whole; what is not is said.
        EXPECT_EQ(taken, p.Problems.empty()) << cut;
        EXPECT_EQ(taken, !p.Certificates.empty()) << cut;
    }
    for (size_t cut = 0; cut < doc.size(); ++cut) {
        TDeviceProfile p;
        const bool taken = AddProfileBytes(p, AsBytes(doc.substr(0, cut)), "cut.xml", "");
        EXPECT_TRUE(taken || !p.Problems.empty()) << cut;
        for (const auto& [id, setting] : p.Policies)
            EXPECT_LE(setting.Value, 16u) << cut;
    }
}
