// tessary-info --device: the install decision leads the report, "device" in JSON, and --strict
// refuses what a device would block or ask about.
#include "tests/support/CabinetBuilder.h"
#include "tests/support/Corpus.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/tools/ToolRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>

namespace {

ToolRun RunDevice(const std::vector<std::string>& args) {
    return RunToolWith(args, {});
}

std::string PlainCabinet(TempDir& dir) {
    DescriptorBuilder b("Plain", "Acme", "%CE1%\\Plain", false);
    b.File(1, "readme.txt");
    const std::string plain = dir.File("plain.cab");
    WriteSetupCabinet(plain, b.Plan());
    return plain;
}

} // namespace

TEST(TessaryInfoDevice, StrictRefusesBlockedAndAskingInstalls) {
    TempDir dir;
    const std::string plain = PlainCabinet(dir);
    // Notices only: --strict alone passes; the device decides the rest.
    EXPECT_EQ(RunDevice({"--audit", "--strict", plain}).Exit, 0);
    EXPECT_EQ(RunDevice({"--audit", "--strict", "--device", "locked", plain}).Exit, 4);
    EXPECT_EQ(RunDevice({"--device", "pocketpc", "--audit", plain, "--strict"}).Exit, 4)
        << "asks the user; options in any order";
    const std::string quiet = dir.File("quiet.xml");
    std::ofstream(quiet) << R"(<wap-provisioningdoc><characteristic type="SecurityPolicy">
        <parm name="4122" value="1"/></characteristic></wap-provisioningdoc>)";
    const ToolRun unprivileged =
        RunDevice({"--audit", "--strict", "--device", "pocketpc", "--device", quiet, plain});
    EXPECT_EQ(unprivileged.Exit, 0) << unprivileged.Out;
    EXPECT_EQ(unprivileged.Out.rfind("Install decision\n", 0), 0u) << "the block leads";
    EXPECT_NE(unprivileged.Out.find("  Install  installs unprivileged"), std::string::npos)
        << unprivileged.Out;
    EXPECT_NE(unprivileged.Out.find("On Device"), std::string::npos) << "Programs column";
    EXPECT_EQ(RunDevice({"--entries", "--device", "locked", plain}).Exit, 2);
}

TEST(TessaryInfoDevice, BadProfilesAreSaidAndTheAuditStillShown) {
    TempDir dir;
    const std::string plain = PlainCabinet(dir);
    const std::string junk = dir.File("junk.cer");
    std::ofstream(junk) << "not a certificate";
    const ToolRun run = RunDevice({"--audit", "--device", "locked", "--device", "SPC=" + junk,
                                   "--device", "Nowhere=" + junk, plain});
    EXPECT_EQ(run.Exit, 0);
    EXPECT_NE(run.Err.find(junk + ": not a certificate file"), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("no certificate store \"Nowhere\""), std::string::npos) << run.Err;
    EXPECT_NE(run.Out.find("Problem"), std::string::npos);
    EXPECT_NE(run.Out.find("\nFindings ("), std::string::npos) << "the audit goes on";
}

TEST(TessaryInfoDevice, JsonCarriesTheDecisionOfUshahidi) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    const ToolRun run =
        RunDevice({"--audit", "--json", "--device", "smartphone", RealCabinet("Ushahidi.CAB")});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    const auto doc = nlohmann::json::parse(run.Out);
    const auto& device = doc.at("device");
    EXPECT_EQ(device.at("profile"), "Smartphone / Standard, two-tier prompt");
    EXPECT_EQ(device.at("install"), "asks the user");
    EXPECT_EQ(device.at("dependsOnSetup"), true);
    bool vouches = false;
    for (const auto& r : device.at("reasons"))
        vouches |= r.get<std::string>().find("vouches for itself") != std::string::npos;
    EXPECT_TRUE(vouches);
    ASSERT_FALSE(device.at("programs").empty());
    const auto& first = device.at("programs")[0];
    for (const char* key : {"file", "folder", "run", "reasons"})
        EXPECT_TRUE(first.contains(key)) << key;
    EXPECT_EQ(first.at("run"), "asks");
    // Without --device nothing is added.
    const ToolRun plain = RunDevice({"--audit", "--json", RealCabinet("Ushahidi.CAB")});
    EXPECT_FALSE(nlohmann::json::parse(plain.Out).contains("device"));
}
