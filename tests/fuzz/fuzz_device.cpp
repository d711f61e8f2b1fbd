// libFuzzer target: the device profile readers and the trust decision. The same bytes are read
// as a provisioning document, as a certificate file for the SPC store and as a signed cabinet,
// whose decision is then made on the profile they built.
#include "device/Decision.h"
#include "device/DevicePage.h"
#include "tests/fuzz/FuzzSeeds.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/CabinetSigner.h"
#include "tests/support/Corpus.h"

namespace {

std::vector<uint8_t> Text(const std::string& text) {
    return {text.begin(), text.end()};
}

// The signature target's seeds (cabinets signed here, the shared signed ones), then profiles.
std::vector<std::vector<uint8_t>> Seeds() {
    std::vector<std::vector<uint8_t>> seeds;
    if (HaveOsslsigncode()) {
        TempDir dir;
        const SigningKey key = MakeSigningKey(dir.Path(), "Fuzz Publisher");
        seeds.push_back(ReadFileBytes(key.CertPath));
        WriteCabinet(dir.File("plain.cab"), {{"fuzz.001", Bytes("fuzz data")}},
                     FixtureCompression::None);
        for (const char* digest : {"sha1", "sha256"}) {
            std::string log;
            const std::string out = dir.File(std::string("signed-") + digest + ".cab");
            if (SignCabinet(key, dir.File("plain.cab"), out, digest, 1700000000, log))
                seeds.push_back(ReadFileBytes(out));
        }
    }
    if (HaveCorpus())
        for (const char* name : {"SecurityOff.cpf", "Ushahidi.CAB"})
            seeds.push_back(ReadFileBytes(RealCabinet(name)));
    seeds.push_back(Text(R"(<wap-provisioningdoc>
  <characteristic type="SecurityPolicy"><parm name="4101" value="16"/>
    <parm name="4122" value="1"/><noparm name="4123"/></characteristic>
  <characteristic type="CertificateStore"><characteristic type="SPC">
    <characteristic type="00"><parm name="EncodedCertificate" value="MIIB"/>
      <parm name="Role" value="222"/></characteristic>
    <nocharacteristic type="11"/></characteristic></characteristic>
</wap-provisioningdoc>)"));
    return seeds;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    WriteSeedsAndExitIfAsked(Seeds());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    device::TDeviceProfile profile;
    device::AddBuiltin(profile, device::BuiltinProfiles()[0]);
    (void)device::AddProfileBytes(profile, bytes, "fuzz.xml", "");
    (void)device::AddProfileBytes(profile, bytes, "fuzz.cer", "SPC");
    const TCabinetSignature signature = VerifyCabinetSignature(bytes);
    device::TDecisionInput input;
    input.Signature = &signature;
    const device::TDeviceDecision decision = device::DecideForDevice(profile, input);
    (void)device::BuildDevicePage(decision);
    return 0;
}
