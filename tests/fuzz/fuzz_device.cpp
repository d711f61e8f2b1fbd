// libFuzzer target: the device profile readers and the trust decision. The same bytes are read
// as a provisioning document, as a certificate file for the SPC store and as a signed cabinet,
// whose decision is then made on the profile they built.
#include "device/Decision.h"
#include "device/DevicePage.h"
#include "tests/fuzz/FuzzSeeds.h"
#include "tests/fuzz/SignatureSeeds.h"

namespace {

std::vector<uint8_t> Text(const std::string& text) {
    return {text.begin(), text.end()};
}

// The signature target's seeds (and the certificate that signed them here), Ushahidi.CAB that
// vouches for itself, then a profile document.
std::vector<std::vector<uint8_t>> Seeds() {
    std::vector<std::vector<uint8_t>> seeds = SignedCabinetSeeds(true);
    if (HaveCorpus()) seeds.push_back(ReadFileBytes(RealCabinet("Ushahidi.CAB")));
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
