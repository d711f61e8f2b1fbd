// tessary-info --diff: exit statuses, which cabinet a failure names, and the JSON shape.
#include "tests/support/CabinetBuilder.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/tools/ToolRun.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using ::testing::HasSubstr;

std::string OneFileSetup(const TempDir& dir, const std::string& name, const std::string& body) {
    DescriptorBuilder b("Demo", "Acme", "%CE1%\\Demo");
    b.File(1, "app.exe");
    SetupCabinetContents contents;
    contents.FileData[1] = Bytes(body);
    const std::string path = dir.File(name);
    WriteSetupCabinet(path, b.Plan(), contents);
    return path;
}

TEST(ToolDiff, ExitStatusSaysSameDifferentOrWhichCabinetFailed) {
    TempDir dir;
    const std::string a = OneFileSetup(dir, "a.cab", "one");
    const std::string b = OneFileSetup(dir, "b.cab", "two");
    const std::string missing = dir.File("missing.cab");
    const std::string plain = dir.File("plain.cab");
    WriteCabinet(plain, {{"readme.txt", Bytes("no setup")}}, FixtureCompression::None);
    const struct {
        std::vector<std::string> Args;
        int Exit;
        const char* Out;
        std::string Err;
    } cases[] = {
        {{"--diff", a, a}, 0, "no differences", ""},
        {{"--diff", a, b}, 4, "0 added, 0 removed, 1 changed", ""},
        {{"--diff", a, missing}, 3, "", "cannot open " + missing},
        {{"--diff", missing, b}, 3, "", "cannot open " + missing},
        {{"--diff", a, plain}, 1, "", plain + ": Invalid Windows CE Setup file"},
        {{"--diff", a}, 2, "", "usage:"},
        {{"--diff", "--jsonl", a, b}, 2, "", "usage:"},
    };
    for (const auto& c : cases) {
        const ToolRun run = RunTool(c.Args, 60);
        SCOPED_TRACE(c.Args.back());
        EXPECT_EQ(run.Exit, c.Exit) << run.Err;
        EXPECT_THAT(run.Out, HasSubstr(c.Out));
        EXPECT_THAT(run.Err, HasSubstr(c.Err));
        if (c.Exit != 0 && c.Exit != 4) {
            EXPECT_EQ(run.Out, "");
        }
    }
}

TEST(ToolDiff, JsonHoldsEveryPageAndTheChangedFile) {
    TempDir dir;
    const ToolRun run = RunTool({"--diff", "--json", OneFileSetup(dir, "a.cab", "one"),
                                 OneFileSetup(dir, "b.cab", "three")},
                                60);
    ASSERT_EQ(run.Exit, 4) << run.Err;
    const auto doc = nlohmann::json::parse(run.Out);
    EXPECT_EQ(doc["same"], false);
    EXPECT_EQ(doc["changed"], 1);
    for (const char* page :
         {"properties", "files", "shortcuts", "registry", "signature", "provisioning"})
        EXPECT_TRUE(doc[page].is_array()) << page;
    ASSERT_EQ(doc["files"].size(), 1u);
    const auto& file = doc["files"][0];
    EXPECT_EQ(file["change"], "changed");
    EXPECT_EQ(file["name"], "app.exe");
    EXPECT_EQ(file["oldSize"], 3);
    EXPECT_EQ(file["newSize"], 5);
    EXPECT_EQ(file["differences"], "Size, Content");
    EXPECT_NE(file["oldSha256"], file["newSha256"]);
}

} // namespace
