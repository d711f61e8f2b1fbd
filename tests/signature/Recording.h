#pragma once
// Signed cabinets that only Linux can make (OpenSSL, osslsigncode), kept for the Windows tests
// with the verdict Linux gave them: both builds must give the same.
#include "signature/Signature.h"
#include "tests/windows/FixtureStore.h"

#include <string>
#include <vector>

inline constexpr char kRecordedSignaturePrefix[] = "signature-";

inline void RecordSignedCabinet(const std::string& name, const std::vector<uint8_t>& cabinet) {
    const std::string summary = VerifyCabinetSignature(cabinet).Summary();
    RecordFixtureFile(kRecordedSignaturePrefix + name + ".cab", cabinet);
    RecordFixtureFile(kRecordedSignaturePrefix + name + ".txt", {summary.begin(), summary.end()});
}
