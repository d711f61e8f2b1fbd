#include "tests/xml/SetupXMLSupport.h"
#include "tests/xml/XMLTestSupport.h"

#include "xml/XMLPars.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

constexpr int kMillion = 1000000;

std::string Repeat(const std::string& piece, int times) {
    std::string text;
    text.reserve(piece.size() * static_cast<size_t>(times));
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

std::string LastLine(const std::string& text) {
    const size_t cr = text.rfind('\r');
    return cr == std::string::npos ? text : text.substr(cr + 1);
}

std::string SampleDescriptor() {
    return "<?xml version=\"1.0\"?>\n" +
           Wrapped(InstallSection("App", "%CE1%\\App") +
                   "<characteristic type='Custom'><parm name=x value='1'/></characteristic>\n" +
                   FileOperation(Directory("%CE1%\\App", FileEntry("a.exe", "a.001"))) +
                   "<characteristic type=\"Registry\"><characteristic type=\"HKLM\\K\">"
                   "<parm name=\"m\" value=\"a\xEF\x80\x80\" datatype=\"multiplestring\"/>"
                   "</characteristic></characteristic><!-- end --><% x %>");
}

} // namespace

// A million nested characteristics: collected without recursion, one line each, the indent
// stopping at its cap.
TEST(DeepNesting, MillionNestedCharacteristicsAreCollectedIteratively) {
    TSetupXML h;
    LoadText(h, Repeat("<characteristic type=\"x\">", kMillion) + "<parm name=\"p\"/>");
    EXPECT_EQ(h.RootTagName, "characteristic");
    EXPECT_EQ(std::count(h.MarkupBefore.begin(), h.MarkupBefore.end(), '\r'), kMillion);
    EXPECT_EQ(LastLine(h.MarkupBefore),
              std::string(4 * TSetupXML::kMaxMarkupIndentDepth, ' ') + "<parm name=\"p\" />");
}

// Closing tags unwind the same counter: the last closing line is back at the left margin.
TEST(DeepNesting, MillionLevelsWithClosingTagsUnwind) {
    TSetupXML h;
    LoadText(h, "<root>" + Repeat("<parm name=\"p\">", kMillion) +
                    Repeat("</characteristic>", kMillion) + "<characteristic type=\"y\"/></root>");
    EXPECT_EQ(std::count(h.MarkupBefore.begin(), h.MarkupBefore.end(), '\r'), 2 * kMillion);
    EXPECT_EQ(LastLine(h.MarkupBefore), "<characteristic type=\"y\" />");
}

// A million-level open parm inside an unclosed Install section: the section runs out, the walk
// resumes after its first item, and the parms are collected, all without deep recursion.
TEST(DeepNesting, MillionLevelOpenParmAfterUnclosedInstall) {
    TSetupXML h;
    LoadText(h, "<root><characteristic type=\"Install\"><parm name=\"AppName\" value=\"A\">" +
                    Repeat("<parm name=\"p\">", kMillion));
    EXPECT_EQ(h.Project.SoftwareName, "A");
    // Collection starts at the first "p": the open AppName parm was the section's first item.
    EXPECT_EQ(std::count(h.MarkupBefore.begin(), h.MarkupBefore.end(), '\r'), kMillion - 1);
}

// Unclosed sections one after another would make the walk restart from each of them and the
// model grow with the square of the document; the work bound keeps it linear.
TEST(HostileInput, RepeatedUnclosedSectionsStayBounded) {
    const int sections = 20000;
    const std::string piece =
        "<characteristic type=\"FileOperation\">" + Directory("%CE2%", FileEntry("a.dll", "a.001"));
    TSetupXML h;
    LoadText(h, "<root>" + Repeat(piece, sections));
    // Read literally, this would give sections * (sections + 1) / 2 files.
    EXPECT_GE(h.Files.size(), static_cast<size_t>(sections));
    EXPECT_LE(h.Files.size(), static_cast<size_t>(64) * sections);
    EXPECT_EQ(h.Files.front().Name, "a.dll");
}

// Cut at every byte, a descriptor always parses into items and a model.
TEST(HostileInput, EveryPrefixOfADescriptorLoads) {
    const std::string full = SampleDescriptor();
    TSetupXML h;
    size_t withFile = 0;
    for (size_t cut = 0; cut <= full.size(); ++cut) {
        LoadText(h, full.substr(0, cut));
        if (!h.Files.empty()) ++withFile;
        ASSERT_LE(h.Files.size(), 1u) << cut;
    }
    LoadText(h, full);
    EXPECT_EQ(h.Files.size(), 1u);
    ASSERT_EQ(h.RegValues.size(), 1u);
    EXPECT_EQ(h.RegValues[0].Data, "a");
    EXPECT_GT(withFile, 0u);
}

// Arbitrary bytes (NULs, stray "<", unclosed quotes) give items and a model, never a crash; the
// sanitizer build checks that nothing is read outside the buffer.
TEST(HostileInput, RandomBytesAndMutationsLoad) {
    const std::string base = SampleDescriptor();
    const std::string alphabet =
        std::string("<>\"'=/ \r\n\t!-%?", 15) + std::string(1, '\0') + "\xEF";
    std::mt19937 random(20261208);
    TSetupXML h;
    TXMLParser parser;
    parser.ProbeMode = 2;
    int errors = 0;
    parser.OnError = [&errors](const std::string&, const std::string&) { ++errors; };
    for (int round = 0; round < 3000; ++round) {
        std::string text = base;
        const int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits; ++e) {
            const size_t at = random() % (text.size() + 1);
            const char c = (random() % 2) ? alphabet[random() % alphabet.size()]
                                          : static_cast<char>(random() % 256);
            if (random() % 3 == 0 && at < text.size())
                text.erase(at, 1 + random() % 20);
            else
                text.insert(at, 1, c);
        }
        LoadText(h, text);
        ParseText(parser, text);
        for (size_t i = 0; i < parser.Items.size(); ++i) {
            if (const TXMLTag* tag = parser.TagAt(i)) {
                const char* begin = parser.Buffer.data();
                const char* end = begin + parser.Buffer.size();
                ASSERT_GE(tag->Text.Start, begin);
                ASSERT_LE(tag->Text.Start + tag->Text.Length, end);
                for (const TXMLParam& p : tag->Params) {
                    ASSERT_GE(p.Value.Start, begin);
                    ASSERT_LE(p.Value.Start + std::max<int64_t>(p.Value.Length, 0), end);
                }
            }
        }
    }
    EXPECT_GT(errors, 0); // some mutations must have broken the markup
}
