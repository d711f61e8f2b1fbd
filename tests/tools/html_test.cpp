// --html: the page handed to a reviewer holds every text escaped, needs nothing outside itself,
// links each finding to its row, and is written whole or not at all.
#include "inspection/HtmlReport.h"
#include "tests/support/Corpus.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/support/TextFiles.h"
#include "tests/tools/ToolRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// Markup and script a name could carry into a page, and control characters.
const std::string kMarkup = "<script>alert(1)</script>\"'&<img src=x onerror=y>\x1b[2J";

std::string MarkupCabinet(const TempDir& dir) {
    DescriptorBuilder b("App" + kMarkup, "Co" + kMarkup, "%CE1%\\Dir" + kMarkup, false);
    const uint16_t file = b.File(b.Dir("%CE1%\\Dir" + kMarkup), "f" + kMarkup + ".dll");
    b.RegString(b.RegKey(3, "Software\\K" + kMarkup), "N" + kMarkup, "D" + kMarkup);
    b.Shortcut("S" + kMarkup, file);
    SetupCabinetContents contents;
    contents.FileData[file] = Bytes("payload");
    const std::string path = dir.File("markup.cab");
    WriteSetupCabinet(path, b.Plan(), contents);
    return path;
}

// What the page must never hold: markup from the cabinet, script, or a reference outward.
void ExpectSelfContained(const std::string& html) {
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_EQ(html.find("<img"), std::string::npos);
    EXPECT_EQ(html.find("\x1b"), std::string::npos);
    EXPECT_EQ(html.find("http"), std::string::npos);
    EXPECT_EQ(html.find("src=\""), std::string::npos);
    EXPECT_EQ(html.find("onerror=y>"), std::string::npos);
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(html.find("</html>\n"), std::string::npos);
}

} // namespace

TEST(HtmlText, EscapesMarkupAndShowsControlsAndKeepsUtf8) {
    EXPECT_EQ(HtmlText("<a href=\"x\">'&'</a>"),
              "&lt;a href=&quot;x&quot;&gt;&#39;&amp;&#39;&lt;/a&gt;");
    EXPECT_EQ(HtmlText("\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9");
    // A byte outside UTF-8 is taken as 8-bit, so the page stays valid UTF-8.
    EXPECT_EQ(HtmlText("caf\xE9"), "caf\xC3\xA9");
    const std::string shown = HtmlText("a\x1b[2Jb");
    EXPECT_EQ(shown.find('\x1b'), std::string::npos);
    EXPECT_NE(shown.find("2Jb"), std::string::npos);
}

TEST(TessaryInfoHtml, AHostileSetupsTextsAreShownAsTextNeverAsMarkup) {
    TempDir dir;
    const std::string cabinet = MarkupCabinet(dir);
    const std::string page = dir.File("report.html");
    const ToolRun run = RunTool({"--audit", "--html", page, cabinet});
    ASSERT_TRUE(run.Exit == 0 || run.Exit == 4) << run.Err;
    const std::string html = ReadFileText(page);
    ExpectSelfContained(html);
    // Every page is there, the texts escaped.
    for (const char* id :
         {"id=\"findings\"", "id=\"properties\"", "id=\"files\"", "id=\"shortcuts\"",
          "id=\"registry\"", "id=\"signature\"", "id=\"programs\""})
        EXPECT_NE(html.find(id), std::string::npos) << id;
    EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;&quot;&#39;&amp;"),
              std::string::npos);
}

TEST(TessaryInfoHtml, EachFindingLinksToTheRowItNamesAndToItsRule) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    TempDir dir;
    const std::string page = dir.File("basic.html");
    const ToolRun run = RunTool({"--audit", "--html", page, RealCabinet("Basic.WM.CAB")});
    ASSERT_EQ(run.Exit, 0) << run.Err;
    const std::string html = ReadFileText(page);
    ExpectSelfContained(html);
    // Every in-page link has its target.
    const std::regex link("href=\"#([^\"]+)\"");
    size_t links = 0;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), link);
         it != std::sregex_iterator(); ++it, ++links) {
        const std::string target = "id=\"" + (*it)[1].str() + "\"";
        EXPECT_NE(html.find(target), std::string::npos) << "no target for " << (*it)[0];
    }
    EXPECT_GT(links, 10u);
    // The report on standard output is the one without --html.
    EXPECT_EQ(run.Out, RunTool({"--audit", RealCabinet("Basic.WM.CAB")}).Out);
}

TEST(TessaryInfoHtml, TheComparisonMarksAddedRemovedAndChangedRows) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    TempDir dir;
    const std::string page = dir.File("diff.html");
    const ToolRun run =
        RunTool({"--diff", "--html", page, RealCabinet("App.WM.CAB"), RealCabinet("Basic.WM.CAB")});
    ASSERT_EQ(run.Exit, 4) << run.Err;
    const std::string html = ReadFileText(page);
    ExpectSelfContained(html);
    EXPECT_NE(html.find("<tr class=\"added\">"), std::string::npos);
    EXPECT_NE(html.find("<tr class=\"removed\">"), std::string::npos);
}

TEST(TessaryInfoHtml, APageThatCannotBeWrittenFailsAndLeavesNothingBehind) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    TempDir dir;
    const std::string page = dir.File("missing-folder/report.html");
    const ToolRun run = RunTool({"--audit", "--html", page, RealCabinet("Basic.WM.CAB")});
    EXPECT_EQ(run.Exit, 3);
    EXPECT_NE(run.Err.find("report.html"), std::string::npos) << run.Err;
    EXPECT_FALSE(fs::exists(page));
    // One page per named file: several cabinets would overwrite each other's.
    EXPECT_EQ(RunTool({"--audit", "--html", dir.File("x.html"), RealCabinet("Basic.WM.CAB"),
                       RealCabinet("App.WM.CAB")})
                  .Exit,
              2);
    EXPECT_EQ(RunTool({"--html", dir.File("x.html"), RealCabinet("Basic.WM.CAB")}).Exit, 2);
}

TEST(TessaryInfoHtml, WithADeviceTheInstallDecisionLeadsThePage) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    TempDir dir;
    const std::string page = dir.File("device.html");
    const ToolRun run =
        RunTool({"--audit", "--device", "locked", "--html", page, RealCabinet("Ushahidi.CAB")});
    ASSERT_TRUE(run.Exit == 0 || run.Exit == 4) << run.Err;
    const std::string html = ReadFileText(page);
    const size_t device = html.find("id=\"device\"");
    ASSERT_NE(device, std::string::npos);
    EXPECT_LT(device, html.find("id=\"findings\""));
    EXPECT_NE(html.find("<th>On Device</th>"), std::string::npos);
}
