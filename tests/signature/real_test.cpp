// The shared signed cabinets: who signed them, and that any change to a signed byte shows.
#include "signature/Der.h"
#include "signature/Signature.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/Corpus.h"
#include "tests/support/SignatureArea.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>

namespace {

struct SignedCabinet {
    const char* File;
    const char* Signer;
    bool SelfSigned;
    bool TestCertificate;
};

const SignedCabinet kSigned[] = {
    {"Ushahidi.CAB", "Ushahidi", true, false},
    {"SecurityOff.cpf", "TEST USE ONLY - Sample Privileged Developer - Windows Mobile SDK", false,
     true},
};

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

std::string Describe(const TCabinetSignature& s) {
    return s.Summary();
}

class RealSigned : public testing::TestWithParam<SignedCabinet> {
  protected:
    void SetUp() override {
        if (!HaveCorpus()) GTEST_SKIP() << "no shared corpus";
        FBytes = ReadFileBytes(RealCabinet(GetParam().File));
    }
    std::vector<uint8_t> FBytes;
};

TEST_P(RealSigned, IsIntactAndNamesItsSigner) {
    const TCabinetSignature s = VerifyCabinetSignature(RealCabinet(GetParam().File));
    ASSERT_EQ(s.Verdict, TSignatureVerdict::Intact) << Describe(s);
    EXPECT_EQ(s.SignerName(), GetParam().Signer);
    EXPECT_EQ(s.Summary(), std::string("Intact: signed by ") + GetParam().Signer);
    EXPECT_EQ(s.DigestAlgorithm, "SHA-1");
    ASSERT_NE(s.Signer(), nullptr);
    EXPECT_EQ(s.Signer()->SelfSigned, GetParam().SelfSigned);
    EXPECT_EQ(s.TestCertificate, GetParam().TestCertificate);
    EXPECT_EQ(s.Signer()->Thumbprint.size(), 40u);
    EXPECT_EQ(s.Signer()->KeyType, "RSA");
    EXPECT_EQ(s.Position, U32(FBytes, 8)) << "the signature starts where the cabinet ends";
    for (const TSignatureCheck& check : s.Checks)
        EXPECT_TRUE(check.Passed) << check.Name;
    // The file and memory readers agree.
    EXPECT_EQ(VerifyCabinetSignature(FBytes).Summary(), s.Summary());
}

// Positions the digest covers (the magic aside, without which it is no cabinet): header fields, the
// reserve's tail, every folder record with its per-folder reserve, the file records and a spread of
// the data up to the signature.
std::vector<size_t> SignedPositions(const std::vector<uint8_t>& cab) {
    std::set<size_t> at;
    for (size_t i = 8; i < 34; ++i)
        at.insert(i);
    const size_t files = U32(cab, 16);
    for (size_t i = 56; i < files + 64; ++i)
        at.insert(i);
    const size_t end = U32(cab, 44);
    for (size_t i = files; i < end; i += 4999)
        at.insert(i);
    at.insert(end - 1);
    return {at.begin(), at.end()};
}

TEST_P(RealSigned, FlippingAnySignedByteIsModified) {
    for (const size_t position : SignedPositions(FBytes)) {
        std::vector<uint8_t> changed = FBytes;
        changed[position] ^= 0x01;
        const TCabinetSignature s = VerifyCabinetSignature(changed);
        EXPECT_EQ(s.Summary().rfind(std::string("Modified: signed by ") + GetParam().Signer, 0), 0u)
            << "byte " << position << ": " << s.Summary();
    }
    // Fields outside the digest: the reserved field and the number within a set.
    for (const size_t position : {4, 34}) {
        std::vector<uint8_t> changed = FBytes;
        changed[position] ^= 0x01;
        EXPECT_EQ(VerifyCabinetSignature(changed).Verdict, TSignatureVerdict::Intact) << position;
    }
    std::vector<uint8_t> noReserve = FBytes;
    noReserve[30] &= ~0x04;
    EXPECT_EQ(VerifyCabinetSignature(noReserve).Summary(), "Not signed");
}

// Every byte of the DER but the padding after it. A carried certificate whose issuer is not
// carried (or no longer its own issuer) is covered by no signature that can be checked without
// a trust store: a change there can leave the verdict Intact, but never unseen, as the
// certificate's thumbprint changes with it.
TEST_P(RealSigned, FlippingTheSignatureIsModifiedOrUnreadable) {
    const TCabinetSignature original = VerifyCabinetSignature(FBytes);
    const std::vector<uint8_t> area = SignatureArea(FBytes);
    const auto outer = der::TReader(area).Next();
    ASSERT_TRUE(outer);
    std::vector<std::pair<size_t, size_t>> certificates;
    for (const auto& c : original.Certificates) {
        const auto at = std::search(area.begin(), area.end(), c.Der.begin(), c.Der.end());
        ASSERT_NE(at, area.end());
        certificates.emplace_back(at - area.begin(), at - area.begin() + c.Der.size());
    }
    const size_t begin = U32(FBytes, 44);
    int readable = 0;
    for (size_t offset = 0; offset < outer->Whole.size(); ++offset) {
        std::vector<uint8_t> changed = FBytes;
        changed[begin + offset] ^= 0x01;
        const TCabinetSignature s = VerifyCabinetSignature(changed);
        const bool inCertificate =
            std::any_of(certificates.begin(), certificates.end(),
                        [&](const auto& c) { return offset >= c.first && offset < c.second; });
        if (!inCertificate) {
            EXPECT_NE(s.Verdict, TSignatureVerdict::Intact) << "DER byte " << offset;
        } else if (s.Verdict == TSignatureVerdict::Intact) {
            ++readable;
            std::set<std::string> before, after;
            for (const auto& c : original.Certificates)
                before.insert(c.Thumbprint);
            for (const auto& c : s.Certificates)
                after.insert(c.Thumbprint);
            EXPECT_NE(before, after) << "DER byte " << offset;
        }
    }
    for (size_t offset = outer->Whole.size(); offset < area.size(); ++offset) {
        std::vector<uint8_t> changed = FBytes;
        changed[begin + offset] ^= 0x01;
        EXPECT_EQ(VerifyCabinetSignature(changed).Verdict, TSignatureVerdict::Intact) << "padding";
    }
    std::printf("%d changed certificate bytes left the verdict Intact\n", readable);
}

INSTANTIATE_TEST_SUITE_P(Corpus, RealSigned, testing::ValuesIn(kSigned), [](const auto& info) {
    std::string name = info.param.File;
    return name.substr(0, name.find('.'));
});

TEST(RealUnsigned, EveryOtherCorpusCabinetIsNotSigned) {
    if (!HaveCorpus()) GTEST_SKIP() << "no shared corpus";
    int checked = 0;
    for (const std::string& path : CorpusFiles("real")) {
        if (path.find("Ushahidi") != std::string::npos ||
            path.find("SecurityOff") != std::string::npos)
            continue;
        EXPECT_EQ(VerifyCabinetSignature(path).Summary(), "Not signed") << path;
        ++checked;
    }
    EXPECT_GE(checked, 6);
}

} // namespace
