// --manifest and --sbom: every file of the setup with the hashes of its bytes, as a hashdeep
// manifest and as a CycloneDX document.
#include "signature/Crypto.h"
#include "tests/support/Corpus.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/support/PEBuilder.h"
#include "tests/support/TextFiles.h"
#include "tests/tools/ToolRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

namespace {

std::string Hex(crypto::TDigestAlgorithm algorithm, const std::vector<uint8_t>& bytes) {
    auto digest = crypto::TDigest::Create(algorithm);
    digest->Update(bytes);
    std::string text;
    static const char hex[] = "0123456789abcdef";
    for (const uint8_t b : digest->Final()) {
        text += hex[b >> 4];
        text += hex[b & 15];
    }
    return text;
}

// Two folders, a text file and an ARM program with a company in its version resource.
struct InventoryFixture {
    InventoryFixture() {
        DescriptorBuilder b("Inventory", "Fixture Co", "%CE1%\\Inventory");
        const uint16_t dir = b.Dir("%CE1%\\Inventory");
        const uint16_t data = b.Dir("%CE1%\\Inventory\\Data");
        text = Bytes("some text, with a comma");
        PEPlan plan;
        plan.Machine = 0x01c0;
        PEVersionPlan version;
        version.Strings = {{"CompanyName", "Maker Ltd"}};
        plan.Version = version;
        program = BuildPEImage(plan);
        contents.FileData[b.File(data, "notes.txt")] = text;
        contents.FileData[b.File(dir, "app.exe")] = program;
        path = dir_.File("Inventory.cab");
        WriteSetupCabinet(path, b.Plan(), contents);
    }
    TempDir dir_;
    SetupCabinetContents contents;
    std::vector<uint8_t> text, program;
    std::string path;
};

TEST(Inventory, TheManifestHashesEachFileUnderItsDevicePath) {
    InventoryFixture f;
    const ToolRun r = RunTool({"--manifest", f.path}, 30);
    ASSERT_EQ(r.Exit, 0) << r.Err;
    const std::vector<std::string> lines = SplitLines(r.Out);
    ASSERT_EQ(lines.size(), 7u) << r.Out;
    EXPECT_EQ(lines[0], "%%%% HASHDEEP-1.0");
    EXPECT_EQ(lines[1], "%%%% size,md5,sha256,filename");
    EXPECT_EQ(lines[4], "##");
    using crypto::TDigestAlgorithm;
    EXPECT_EQ(lines[5], std::to_string(f.text.size()) + "," + Hex(TDigestAlgorithm::MD5, f.text) +
                            "," + Hex(TDigestAlgorithm::SHA256, f.text) +
                            ",%InstallDir%\\Data\\notes.txt");
    EXPECT_EQ(lines[6], std::to_string(f.program.size()) + "," +
                            Hex(TDigestAlgorithm::MD5, f.program) + "," +
                            Hex(TDigestAlgorithm::SHA256, f.program) + ",%InstallDir%\\app.exe");
}

TEST(Inventory, TheSbomNamesTheSetupAndEachFileWithItsHashesAndSupplier) {
    InventoryFixture f;
    const ToolRun r = RunTool({"--sbom", f.path}, 30);
    ASSERT_EQ(r.Exit, 0) << r.Err;
    const auto doc = nlohmann::json::parse(r.Out);
    EXPECT_EQ(doc.at("bomFormat"), "CycloneDX");
    EXPECT_EQ(doc.at("specVersion"), "1.5");
    const auto& root = doc.at("metadata").at("component");
    EXPECT_EQ(root.at("name"), "Inventory");
    EXPECT_EQ(root.at("supplier").at("name"), "Fixture Co");
    EXPECT_EQ(root.at("hashes").at(0).at("content"),
              Hex(crypto::TDigestAlgorithm::SHA256, ReadFileBytes(f.path)));
    ASSERT_EQ(doc.at("components").size(), 2u);
    const auto& app = doc.at("components").at(1);
    EXPECT_EQ(app.at("type"), "application");
    EXPECT_EQ(app.at("name"), "app.exe");
    EXPECT_EQ(app.at("version"), "1.2.3.4");
    EXPECT_EQ(app.at("supplier").at("name"), "Maker Ltd");
    EXPECT_EQ(app.at("hashes").at(0).at("content"), Hex(crypto::TDigestAlgorithm::MD5, f.program));
    const auto& notes = doc.at("components").at(0);
    EXPECT_EQ(notes.at("type"), "file");
    EXPECT_FALSE(notes.contains("supplier"));
    EXPECT_EQ(doc.at("dependencies").at(0).at("dependsOn").size(), 2u);
    // The same cabinet gives the same document.
    EXPECT_EQ(RunTool({"--sbom", f.path}, 30).Out, r.Out);
}

TEST(Inventory, RealCabinetsListEveryFileAndADamagedOneGivesNothing) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    const std::string ushahidi = std::string(TESSARY_CORPUS_DIR) + "/real/Ushahidi.CAB";
    const ToolRun manifest = RunTool({"--manifest", ushahidi}, 60);
    ASSERT_EQ(manifest.Exit, 0) << manifest.Err;
    const ToolRun json = RunTool({"--json", ushahidi}, 60);
    const auto setup = nlohmann::json::parse(json.Out);
    EXPECT_EQ(SplitLines(manifest.Out).size(), 5 + setup.at("files").size());
    const auto sbom = nlohmann::json::parse(RunTool({"--sbom", ushahidi}, 60).Out);
    EXPECT_EQ(sbom.at("components").size(), setup.at("files").size());

    TempDir dir;
    std::vector<uint8_t> bytes = ReadFileBytes(ushahidi);
    bytes.resize(bytes.size() / 2);
    WriteFileBytes(dir.File("cut.cab"), bytes);
    for (const char* option : {"--manifest", "--sbom"}) {
        const ToolRun r = RunTool({option, dir.File("cut.cab")}, 60);
        EXPECT_EQ(r.Exit, 3) << option;
        EXPECT_TRUE(r.Out.empty()) << option;
        EXPECT_FALSE(r.Err.empty()) << option;
    }
    EXPECT_EQ(RunTool({"--manifest", "--json", ushahidi}).Exit, 2);
    EXPECT_EQ(RunTool({"--sbom", ushahidi, ushahidi}).Exit, 2);
}

} // namespace
