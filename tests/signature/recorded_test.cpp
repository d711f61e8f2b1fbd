// The signed cabinets the Linux tests made and recorded: this build's verdict is Linux's.
#include "signature/Signature.h"
#include "tests/signature/Recording.h"
#include "tests/support/CabinetBuilder.h"

#include <gtest/gtest.h>

namespace {

TEST(RecordedSignatures, SameVerdictAsTheBuildThatMadeThem) {
    int checked = 0;
    for (const std::string& path : RecordedFixtureFiles(kRecordedSignaturePrefix)) {
        if (path.size() < 4 || path.compare(path.size() - 4, 4, ".cab") != 0) continue;
        const std::vector<uint8_t> expected =
            ReadFileBytes(path.substr(0, path.size() - 4) + ".txt");
        EXPECT_EQ(VerifyCabinetSignature(ReadFileBytes(path)).Summary(),
                  std::string(expected.begin(), expected.end()))
            << path;
        ++checked;
    }
    if (checked == 0) GTEST_SKIP() << "no signed cabinets were recorded for this build";
}

} // namespace
