// Documents, certificates and program lists crafted to multiply memory, time or output: each
// run of the tool ends within 10 s and 256 MB beyond what the cabinet holds decompressed, in
// every mode that reads them. Linux only (fork, setrlimit).
#include "tests/support/CabinetSigner.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/support/HostileFixtures.h"
#include "tests/support/PEBuilder.h"
#include "tests/tools/ToolRun.h"
#include "tools/TextReport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>

namespace {

std::string Repeat(std::string_view piece, size_t times) {
    std::string text;
    text.reserve(piece.size() * times);
    for (size_t i = 0; i < times; ++i)
        text += piece;
    return text;
}

std::string Failure(const ToolRun& run) {
    return "exit " + std::to_string(run.Exit) + ", " + std::to_string(run.PeakKilobytes / 1024) +
           " MB at most, " + run.Err.substr(0, 300);
}

// The longest line of a text report.
size_t LongestLine(const std::string& text) {
    size_t longest = 0;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        longest = std::max(longest, end - start);
        start = end + 1;
    }
    return longest;
}

std::string EscapedForAttribute(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size() + text.size() / 4);
    for (const char c : text) {
        switch (c) {
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '&':
            escaped += "&amp;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

const std::vector<std::vector<std::string>> kDocumentModes = {
    {"--json"}, {"--audit"}, {"--audit", "--json"}};

std::vector<std::string> With(std::vector<std::string> mode, const std::string& cab) {
    mode.push_back(cab);
    return mode;
}

} // namespace

TEST(HostileBudgets, AMillionSmallParmsAreReadToTheLimitInEveryMode) {
    TempDir dir;
    const std::string parms = Repeat("<parm name=\"EncodedCertificate\" value=\"A\"/>", 1000000);
    const std::string cab = dir.File("parms.cab");
    WriteDocumentCabinet(cab, "<characteristic type=\"CertificateStore\"><characteristic "
                              "type=\"ROOT\"><characteristic type=\"1\">" +
                                  parms + "</characteristic></characteristic></characteristic>");
    for (const auto& mode : kDocumentModes) {
        const ToolRun run = RunWithinBudget(With(mode, cab), parms.size());
        EXPECT_EQ(run.Exit, 0) << mode.back() << ": " << Failure(run);
        EXPECT_NE(run.Out.find("more than 100000 elements"), std::string::npos) << mode.back();
    }
}

TEST(HostileBudgets, DocumentsNestedInValuesAreReadToTheirDepthLimit) {
    // Each level is a document in a parm's value, beside a large value of its own.
    const std::string payload(768u << 10, 'v');
    std::string document = "<wap-provisioningdoc><characteristic type=\"Innermost\"><parm "
                           "name=\"Last\" value=\"x\"/></characteristic></wap-provisioningdoc>";
    for (int level = 11; level >= 1; --level)
        document = "<wap-provisioningdoc><characteristic type=\"Level" + std::to_string(level) +
                   "\"><parm name=\"Big\" value=\"" + payload + "\"/><parm name=\"Doc\" value=\"" +
                   EscapedForAttribute(document) + "\"/></characteristic></wap-provisioningdoc>";
    TempDir dir;
    const std::string cab = dir.File("nested.cab");
    WriteDocumentCabinet(cab, "<characteristic type=\"Carrier\"><parm name=\"Doc\" value=\"" +
                                  EscapedForAttribute(document) + "\"/></characteristic>");
    for (const auto& mode : kDocumentModes) {
        const ToolRun run = RunWithinBudget(With(mode, cab), document.size());
        EXPECT_EQ(run.Exit, 0) << mode.back() << ": " << Failure(run);
        EXPECT_NE(run.Out.find("a provisioning document nested this deep is not read"),
                  std::string::npos)
            << mode.back();
        if (mode.back() != "--json") {
            EXPECT_EQ(run.Out.find("Innermost"), std::string::npos);
            continue;
        }
        // Seven documents deep are read; the eighth is only a value.
        const auto doc = nlohmann::json::parse(run.Out);
        std::set<std::string> names;
        for (const auto& row : doc["provisioning"]["rows"])
            names.insert(row["name"].get<std::string>());
        EXPECT_EQ(names.count("Level7"), 1u) << mode[0];
        EXPECT_EQ(names.count("Level8"), 0u) << mode[0];
    }
}

TEST(HostileBudgets, AFiftyMegabyteValueCostsAboutItself) {
    TempDir dir;
    const std::string cab = dir.File("value.cab");
    const size_t size = 50u << 20;
    WriteDocumentCabinet(cab, "<characteristic type=\"Big\"><parm name=\"Big\" value=\"" +
                                  std::string(size, 'v') + "\"/></characteristic>");
    for (const auto& mode : kDocumentModes) {
        const ToolRun run = RunWithinBudget(With(mode, cab), size);
        EXPECT_EQ(run.Exit, 0) << mode.back() << ": " << Failure(run);
    }
}

TEST(HostileBudgets, SlowCertificatesEndInTimeInTheAuditAndTheComparison) {
    // 6,000 certificates with 3,072-bit keys whose public exponent has 257 bits: checking each
    // self-signature in full would take minutes.
    std::vector<uint8_t> exponent(33, 0);
    exponent.front() = 0x01;
    exponent.back() = 0x01;
    const std::string certificate =
        Base64Lines(SelfSignedCertificateDer("Tessary Test Huge Exponent", 3072, exponent));
    std::string store;
    for (int i = 0; i < 6000; ++i)
        store += "<characteristic type=\"" + std::to_string(100000 + i) +
                 "\"><parm name=\"EncodedCertificate\" value=\"" + certificate +
                 "\"/></characteristic>";
    TempDir dir;
    const std::string cab = dir.File("certificates.cab");
    const std::string fewer = dir.File("fewer.cab");
    const std::string body = "<characteristic type=\"CertificateStore\"><characteristic "
                             "type=\"ROOT\">" +
                             store + "</characteristic></characteristic>";
    WriteDocumentCabinet(cab, body);
    WriteDocumentCabinet(fewer, body.substr(0, body.size() / 2) + "\"/></characteristic>" +
                                    "</characteristic></characteristic>");
    for (const auto& mode : kDocumentModes) {
        const ToolRun run = RunWithinBudget(With(mode, cab), body.size());
        EXPECT_EQ(run.Exit, 0) << mode.back() << ": " << Failure(run);
        EXPECT_NE(run.Out.find("an RSA public exponent of 257 bits"), std::string::npos)
            << mode.back();
    }
    for (const auto& mode : {std::vector<std::string>{"--diff"}, {"--diff", "--json"}}) {
        std::vector<std::string> args = mode;
        args.insert(args.end(), {fewer, cab});
        const ToolRun run = RunWithinBudget(args, 2 * body.size());
        EXPECT_EQ(run.Exit, 4) << mode.back() << ": " << Failure(run);
    }
}

TEST(HostileBudgets, DeepNestingEndsInTimeUnderTheStoreRuleAndInTheComparison) {
    // Certificates at the bottom of a store nested 99,000 deep: each certificate's store and
    // each row's place in the comparison are paths up a long chain of ancestors.
    std::vector<uint8_t> der = SelfSignedCertificateDer("Tessary Test Deep", 1024);
    const std::string certificate = Base64Lines(der);
    const size_t depth = 99000;
    const auto document = [&](int certificates) {
        std::string body = "<characteristic type=\"CertificateStore\"><characteristic "
                           "type=\"ROOT\">" +
                           Repeat("<characteristic type=\"d\">", depth);
        for (int i = 0; i < certificates; ++i)
            body += "<parm name=\"EncodedCertificate\" value=\"" + certificate + "\"/>";
        return body + Repeat("</characteristic>", depth) + "</characteristic></characteristic>";
    };
    TempDir dir;
    const std::string cab = dir.File("deep.cab");
    const std::string other = dir.File("other.cab");
    WriteDocumentCabinet(cab, document(3));
    WriteDocumentCabinet(other, document(2));
    const size_t size = document(3).size();
    for (const auto& mode : kDocumentModes) {
        const ToolRun run = RunWithinBudget(With(mode, cab), size);
        EXPECT_EQ(run.Exit, 0) << mode.back() << ": " << Failure(run);
    }
    for (const auto& mode : {std::vector<std::string>{"--diff"}, {"--diff", "--json"}}) {
        std::vector<std::string> args = mode;
        args.insert(args.end(), {other, cab});
        const ToolRun run = RunWithinBudget(args, 2 * size);
        EXPECT_EQ(run.Exit, 4) << mode.back() << ": " << Failure(run);
    }
}

TEST(HostileBudgets, TheMostProgramsASetupCanNameStreamTheirJson) {
    DescriptorBuilder b("Many", "Acme", "%CE1%\\Many", false);
    SetupCabinetContents contents;
    const std::vector<uint8_t> image = BuildPEImage(PEPlan());
    const int programs = 65534;
    for (int i = 0; i < programs; ++i)
        contents.FileData[b.File(1, "p" + std::to_string(i) + ".exe")] = image;
    TempDir dir;
    const std::string cab = dir.File("many.cab");
    WriteSetupCabinet(cab, b.Plan(), contents, FixtureCompression::MSZIP);
    const ToolRun run = RunWithinBudget({"--audit", "--json", cab}, programs * image.size());
    ASSERT_EQ(run.Exit, 0) << Failure(run);
    const auto doc = nlohmann::json::parse(run.Out);
    // Every file row, and the setup's DLL: the entry numbered 999 is the installer's, so the
    // file given that number is not in the cabinet.
    ASSERT_EQ(doc["binaries"].size(), size_t(programs) + 1);
    size_t images = 0, setupDlls = 0;
    for (const auto& binary : doc["binaries"]) {
        images += binary["Status"] == "Image";
        setupDlls += binary["SetupDll"] == true;
    }
    EXPECT_EQ(images, size_t(programs));
    EXPECT_EQ(setupDlls, 1u);
}

TEST(HostileBudgets, AWideCompanyOverTwentyThousandRowsStaysSmall) {
    TempDir dir;
    const std::string cab = dir.File("wide.cab");
    const size_t held = WriteWideCompanyCabinet(cab, 20000);
    const ToolRun run = RunWithinBudget({"--audit", cab}, held);
    ASSERT_EQ(run.Exit, 0) << Failure(run);
    // Every file row, and the entry numbered 999 once more as the setup's DLL.
    EXPECT_NE(run.Out.find("Programs (20002)"), std::string::npos);
    EXPECT_LT(LongestLine(run.Out), 8 * (kMaxShownCell + 32));
}

TEST(HostileBudgets, ATagOfAHundredThousandAttributesIsWrittenInTime) {
    // Each attribute's name checked against all before it would be quadratic.
    std::string tag = "<characteristic type=\"Wide\"";
    const int count = 100000;
    for (int i = 0; i < count; ++i)
        tag += " a" + std::to_string(i) + "=\"v\"";
    tag += " a0=\"again\"/>";
    TempDir dir;
    const std::string cab = dir.File("attributes.cab");
    WriteDocumentCabinet(cab, tag);
    const ToolRun run = RunWithinBudget({"--json", cab}, tag.size());
    ASSERT_EQ(run.Exit, 0) << Failure(run);
    const auto doc = nlohmann::json::parse(run.Out);
    for (const auto& row : doc["provisioning"]["rows"]) {
        if (row["name"] != "Wide") continue;
        EXPECT_EQ(row["attributes"].size(), size_t(count)) << "each name once";
        EXPECT_EQ(row["attributes"]["a0"], "v") << "the first one counts";
        EXPECT_EQ(row["attributes"]["a99999"], "v");
        return;
    }
    ADD_FAILURE() << "no row for the tag";
}
