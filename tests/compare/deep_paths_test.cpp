// Provisioning rows compared by their path: paths short enough to show stay as they always were,
// longer ones (chains nested tens of thousands deep, labels of a megabyte) are shown cut short
// yet still tell every two paths apart, and a whole comparison of them stays small and quick.
#include "cab/AsciiCase.h"
#include "compare/Comparison.h"
#include "tests/support/CabinetBuilder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

// A setup of one file whose "_setup.xml" holds, after its install and file sections, the
// characteristics given.
std::string WriteDocumentSetup(const TempDir& dir, const std::string& name,
                               const std::string& characteristics) {
    const std::string xml =
        "<wap-provisioningdoc><characteristic type=\"Install\"><parm name=\"AppName\" "
        "value=\"Deep\"/><parm name=\"InstallDir\" value=\"%CE1%\\Deep\" "
        "translation=\"install\"/><parm name=\"NumFiles\" value=\"1\"/></characteristic>"
        "<characteristic type=\"FileOperation\"><characteristic type=\"%CE1%\\Deep\" "
        "translation=\"install\"><characteristic type=\"readme.txt\" translation=\"install\">"
        "<characteristic type=\"Extract\"><parm name=\"Source\" value=\"README.001\"/>"
        "</characteristic></characteristic></characteristic></characteristic>" +
        characteristics + "</wap-provisioningdoc>";
    const std::string path = dir.File(name);
    WriteCabinet(path, {{"_setup.xml", Bytes(xml)}, {"README.001", Bytes("deep")}},
                 FixtureCompression::MSZIP);
    return path;
}

// The document reads at most 100,000 elements: the store, its ROOT, this many levels and the
// parms at the bottom stay below that with the install section.
constexpr size_t kDepth = 99000;

// CertificateStore\ROOT, then kDepth characteristics typed by typeAt(level), the parms given at
// the bottom.
std::string DeepStore(const std::function<std::string(size_t)>& typeAt, const std::string& bottom) {
    std::string text = "<characteristic type=\"CertificateStore\"><characteristic type=\"ROOT\">";
    for (size_t level = 0; level < kDepth; ++level)
        text += "<characteristic type=\"" + typeAt(level) + "\">";
    text += bottom;
    for (size_t level = 0; level < kDepth; ++level)
        text += "</characteristic>";
    return text + "</characteristic></characteristic>";
}

std::string AllD(size_t) {
    return "d";
}

TSetupFacts ReadFacts(const std::string& path) {
    TSetupFacts facts;
    const TFactsResult read = ReadSetupFacts(path, facts);
    EXPECT_EQ(read.Status, TFactsStatus::Read) << read.Message;
    return facts;
}

TComparison CompareDocuments(const std::string& older, const std::string& newer) {
    const TCabinetComparison run = CompareCabinets(older, newer);
    EXPECT_EQ(run.Result.Status, TFactsStatus::Read) << run.Result.Message;
    return run.Comparison;
}

const TPage& ProvisioningPage(const TComparison& comparison) {
    return comparison.Pages.at(kComparePageProvisioning);
}

// Every path begins at the document.
const std::string kDocument = "provisioning document wap-provisioningdoc\\";

// The bottom parm's path as shown: the document, the store and ROOT, the levels left out, the
// last level and the parm.
std::string DeepParm(const std::string& name) {
    const size_t levels = 3 + kDepth + 1;
    return kDocument + "characteristic CertificateStore\\characteristic ROOT\\... (" +
           std::to_string(levels - 5) + " levels) ...\\characteristic d\\parm " + name;
}

// A provisioning page row's cells: change, path, old value, new value.
std::string Cells(const TRow& row) {
    std::string text;
    for (size_t c = 0; c < row.Cells.size(); ++c)
        text += (c == 0 ? "" : "|") + row.Cells[c].Text;
    return text;
}

TEST(CompareDeepPaths, DeepDocumentsFindTheOneChangedValueAtTheBottomQuickly) {
    TempDir dir;
    const std::string older = WriteDocumentSetup(
        dir, "old.cab",
        DeepStore(AllD,
                  "<parm name=\"Setting\" value=\"old\"/><parm name=\"Other\" value=\"x\"/>"));
    const std::string newer = WriteDocumentSetup(
        dir, "new.cab",
        DeepStore(AllD,
                  "<parm name=\"Setting\" value=\"new\"/><parm name=\"Other\" value=\"x\"/>"));

    const auto start = std::chrono::steady_clock::now();
    const TComparison comparison = CompareDocuments(older, newer);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    // Whole paths would be gigabytes of text built row by row, minutes of work.
    EXPECT_LT(took.count(), 20.0);

    EXPECT_EQ(comparison.Added, 0u);
    EXPECT_EQ(comparison.Removed, 0u);
    EXPECT_EQ(comparison.Changed, 1u);
    const TPage& page = ProvisioningPage(comparison);
    ASSERT_EQ(page.Rows.size(), 1u);
    EXPECT_EQ(Cells(page.Rows[0]), "Changed|" + DeepParm("Setting") + "|old|new");

    // However deep a row lies, its path and key are at most the length shown whole.
    const TSetupFacts facts = ReadFacts(newer);
    ASSERT_GT(facts.Provisioning.size(), kDepth);
    std::set<std::string> keys;
    for (const TFact& fact : facts.Provisioning) {
        ASSERT_EQ(fact.Identity.size(), 1u);
        ASSERT_LE(fact.Identity[0].size(), kMaxProvisioningPathText)
            << fact.Identity[0].substr(0, 200);
        ASSERT_LE(fact.Key.size(), kMaxProvisioningPathText + 1);
        keys.insert(fact.Key);
    }
    // Every level is a path of its own.
    EXPECT_EQ(keys.size(), facts.Provisioning.size());
    EXPECT_EQ(facts.Provisioning.back().Identity[0], DeepParm("Other"));
    EXPECT_EQ(facts.Provisioning.back().Values, std::vector<std::string>{"x"});
}

TEST(CompareDeepPaths, DeepPathsDifferingOnlyInAHiddenMiddleLabelAreTwoRows) {
    TempDir dir;
    const size_t middle = kDepth / 2;
    const std::string bottom = "<parm name=\"Setting\" value=\"same\"/>";
    const std::string older = WriteDocumentSetup(dir, "old.cab", DeepStore(AllD, bottom));
    const std::string newer = WriteDocumentSetup(
        dir, "new.cab",
        DeepStore([&](size_t level) { return level == middle ? "e" : "d"; }, bottom));

    const TComparison comparison = CompareDocuments(older, newer);
    // From the changed level down every row is another row: its characteristics and the parm.
    const size_t below = kDepth - middle + 1;
    EXPECT_EQ(comparison.Changed, 0u);
    EXPECT_EQ(comparison.Added, below);
    EXPECT_EQ(comparison.Removed, below);
    // The parm shows the same text on both sides, yet one was removed and the other added.
    const std::string parm = DeepParm("Setting");
    std::vector<std::string> shown;
    for (const TRow& row : ProvisioningPage(comparison).Rows)
        if (row.Cells.at(1).Text == parm) shown.push_back(Cells(row));
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown,
              (std::vector<std::string>{"Added|" + parm + "||same", "Removed|" + parm + "|same|"}));
}

TEST(CompareDeepPaths, DeepPathsDifferingOnlyInLetterCaseAreOneRow) {
    TempDir dir;
    const std::string older = WriteDocumentSetup(
        dir, "old.cab", DeepStore(AllD, "<parm name=\"Setting\" value=\"old\"/>"));
    const std::string newer =
        WriteDocumentSetup(dir, "new.cab",
                           DeepStore([](size_t level) { return level % 2 ? "D" : "d"; },
                                     "<parm name=\"SETTING\" value=\"new\"/>"));
    const TComparison comparison = CompareDocuments(older, newer);
    EXPECT_EQ(comparison.Added + comparison.Removed, 0u);
    ASSERT_EQ(ProvisioningPage(comparison).Rows.size(), 1u);
    // Named by the older side, as every changed row is.
    EXPECT_EQ(Cells(ProvisioningPage(comparison).Rows[0]),
              "Changed|" + DeepParm("Setting") + "|old|new");
}

TEST(CompareDeepPaths, AMegabyteLabelIsShownCutAndStillTellsPathsApart) {
    const auto document = [](char middle, bool upper) {
        std::string type(1 << 20, upper ? 'A' : 'a');
        type[type.size() / 2] = middle;
        return "<characteristic type=\"Extras\"><characteristic type=\"" + type +
               "\"><parm name=\"Count\" value=\"3\"/></characteristic></characteristic>";
    };
    TempDir dir;
    const std::string older = WriteDocumentSetup(dir, "old.cab", document('b', false));
    const std::string upper = WriteDocumentSetup(dir, "upper.cab", document('B', true));
    const std::string other = WriteDocumentSetup(dir, "other.cab", document('c', false));

    const TSetupFacts facts = ReadFacts(older);
    ASSERT_FALSE(facts.Provisioning.empty());
    const TFact& parm = facts.Provisioning.back();
    EXPECT_EQ(parm.Identity.at(0), kDocument + "characteristic Extras\\characteristic " +
                                       std::string(42, 'a') + "...\\parm Count");
    EXPECT_LE(parm.Key.size(), 200u);
    // Only the letters' case differs: the same rows.
    EXPECT_TRUE(CompareDocuments(older, upper).Same());
    // One byte in the middle of the label: the characteristic and its parm are other rows, though
    // they show the same text.
    const TComparison comparison = CompareDocuments(older, other);
    EXPECT_EQ(comparison.Changed, 0u);
    EXPECT_EQ(comparison.Added, 2u);
    EXPECT_EQ(comparison.Removed, 2u);
    std::vector<std::string> shown;
    for (const TRow& row : ProvisioningPage(comparison).Rows)
        shown.push_back(Cells(row));
    std::sort(shown.begin(), shown.end());
    const std::string label =
        kDocument + "characteristic Extras\\characteristic " + std::string(42, 'a') + "...";
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "Added|" + label + "\\parm Count||3", "Added|" + label + "||",
                         "Removed|" + label + "\\parm Count|3|", "Removed|" + label + "||"}));
}

TEST(CompareDeepPaths, PathsUpToTheLimitAreShownAndKeyedWholeAsBefore) {
    const std::string head = kDocument + "characteristic Registry\\characteristic ";
    const std::string tail = "\\parm Count";
    // The registry key that makes the parm's path length bytes long.
    const auto key = [&](size_t length) {
        return "HKLM\\Software\\" + std::string(length - head.size() - 14 - tail.size(), 'k');
    };
    const auto document = [&](const std::string& key, const std::string& value) {
        return "<characteristic type=\"Registry\"><characteristic type=\"" + key +
               "\"><parm name=\"Count\" value=\"" + value +
               "\"/></characteristic></characteristic>";
    };
    const std::string whole = head + key(kMaxProvisioningPathText) + tail;
    ASSERT_EQ(whole.size(), kMaxProvisioningPathText);
    TempDir dir;
    const std::string older = WriteDocumentSetup(
        dir, "old.cab",
        "<characteristic type=\"Registry\"><characteristic type=\"HKLM\\Software\\Demo\"><parm "
        "name=\"Path\" value=\"\\Windows\"/></characteristic></characteristic>" +
            document(key(kMaxProvisioningPathText), "3"));
    const std::string newer = WriteDocumentSetup(
        dir, "new.cab",
        "<characteristic type=\"REGISTRY\"><characteristic type=\"hklm\\software\\demo\"><parm "
        "name=\"path\" value=\"\\Storage\"/></characteristic></characteristic>" +
            document(UpperCaseAscii(key(kMaxProvisioningPathText)), "4"));

    // Keyed as every other page's rows are: the folded text and a closing zero byte.
    const TSetupFacts facts = ReadFacts(older);
    ASSERT_FALSE(facts.Provisioning.empty());
    EXPECT_EQ(facts.Provisioning.back().Identity.at(0), whole);
    EXPECT_EQ(facts.Provisioning.back().Key, UpperCaseAscii(whole) + '\0');

    const TComparison comparison = CompareDocuments(older, newer);
    std::vector<std::string> rows;
    for (const TRow& row : ProvisioningPage(comparison).Rows)
        rows.push_back(Cells(row));
    EXPECT_EQ(rows,
              (std::vector<std::string>{"Changed|" + kDocument +
                                            "characteristic Registry\\characteristic "
                                            "HKLM\\Software\\Demo\\parm Path|\\Windows|\\Storage",
                                        "Changed|" + whole + "|3|4"}));

    // One byte more and the path is shown cut, all three levels below the document with it.
    const std::string longer =
        WriteDocumentSetup(dir, "longer.cab", document(key(kMaxProvisioningPathText + 1), "3"));
    const TSetupFacts cut = ReadFacts(longer);
    ASSERT_FALSE(cut.Provisioning.empty());
    EXPECT_EQ(cut.Provisioning.back().Identity.at(0), head.substr(0, head.size() - 15) +
                                                          "characteristic HKLM\\Software\\" +
                                                          std::string(28, 'k') + "..." + tail);
}

} // namespace
