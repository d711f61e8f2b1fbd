#include "tests/xml/XMLTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

struct Reported {
    std::vector<std::string> Messages;
    std::vector<std::string> Contexts;
};

std::vector<std::string> ParseReporting(const std::string& text, Reported& reported) {
    TXMLParser parser;
    parser.ProbeMode = 2;
    parser.OnError = [&reported](const std::string& message, const std::string& context) {
        reported.Messages.push_back(message);
        reported.Contexts.push_back(context);
    };
    ParseText(parser, text);
    return Describe(parser);
}

} // namespace

// Items are cut in document order: text, tags, closing tags; no empty text items.
TEST(ParserItems, TextAndTagsComeInDocumentOrder) {
    EXPECT_THAT(ParseAndDescribe(""), IsEmpty());
    EXPECT_THAT(ParseAndDescribe("a<b>c"), ElementsAre("T:a", "<b", "T:c"));
    EXPECT_THAT(ParseAndDescribe("<b></b>"), ElementsAre("<b", "</b"));
    EXPECT_THAT(ParseAndDescribe("lead <x>"), ElementsAre("T:lead ", "<x"));
    EXPECT_THAT(ParseAndDescribe("<>"), IsEmpty());
    EXPECT_THAT(ParseAndDescribe("a<>b"), ElementsAre("T:a", "T:b"));
}

// Inside markup, runs of space, CR and LF become one space; tabs and text outside stay.
TEST(ParserNormalize, SpacesCollapseInsideMarkupOnlyAndOutsideDoubleQuotes) {
    TXMLParser parser;
    parser.ProbeMode = 2;
    ParseText(parser, "a\r\n  b<x \r\n\t y=\"1\r\n  2\"  \n>\r\nz");
    EXPECT_EQ(parser.Buffer, "a\r\n  b<x \t y=\"1\r\n  2\" >\r\nz");
    ParseText(parser, "<p v='a   b>c  d'>");
    EXPECT_EQ(parser.Buffer, "<p v='a b>c  d'>"); // single quotes mean nothing to Normalize
    const TXMLTag* tag = FirstTag(parser);
    ASSERT_NE(tag, nullptr);
    ASSERT_EQ(tag->Params.size(), 1u);
    EXPECT_EQ(tag->Params[0].Value.GetText(), "a b>c  d");
}

// A document cut inside markup or a quoted run is copied as read, nothing added.
TEST(ParserNormalize, InputEndingInsideMarkupIsCopiedWithoutAdditions) {
    TXMLParser parser;
    parser.ProbeMode = 2;
    ParseText(parser, "<a  b=\"x  ");
    EXPECT_EQ(parser.Buffer, "<a b=\"x  ");
    ParseText(parser, "<a\n\n");
    EXPECT_EQ(parser.Buffer, "<a ");
}

// Double-quoted values keep line breaks and may hold ">"; items point at the normalised text.
TEST(ParserNormalize, QuotedValuesKeepTheirBytes) {
    EXPECT_THAT(ParseAndDescribe("<p v=\"a\r\n  >b\">"), ElementsAre("<p v=a\r\n  >b"));
}

// Script and style content is one text item up to the closing tag in any letter case.
TEST(ParserScriptAndStyle, ContentUpToTheClosingTagIsOneText) {
    EXPECT_THAT(ParseAndDescribe("<SCRIPT>if (a<b) x;</Script>"),
                ElementsAre("<SCRIPT", "T:if (a<b) x;", "</Script"));
    EXPECT_THAT(ParseAndDescribe("<style>a<b</STYLE>c"),
                ElementsAre("<style", "T:a<b", "</STYLE", "T:c"));
    EXPECT_THAT(ParseAndDescribe("<script></script>"), ElementsAre("<script", "</script"));
    // Only the name counts: a self-closed "script/" is not a script.
    EXPECT_THAT(ParseAndDescribe("<script/>a<b>"), ElementsAre("<script//", "T:a", "<b"));
}

// A script or style without its closing tag stops the parse with its own message.
TEST(ParserScriptAndStyle, MissingClosingTagReportsAndStops) {
    Reported reported;
    EXPECT_THAT(ParseReporting("<x><script>a<b>", reported), ElementsAre("<x", "<script"));
    EXPECT_THAT(reported.Messages, ElementsAre("</script> not match"));
    EXPECT_THAT(reported.Contexts, ElementsAre("a<b>"));
    Reported style;
    EXPECT_THAT(ParseReporting("<style>b", style), ElementsAre("<style"));
    EXPECT_THAT(style.Messages, ElementsAre("</style> not match"));
    EXPECT_THAT(style.Contexts, ElementsAre("b"));
}

// Comments and server scripts keep their bodies exactly, also at the very end of the buffer.
TEST(ParserCommentsAndScripts, BodiesAreKeptAndFoundAtTheEnd) {
    EXPECT_THAT(ParseAndDescribe("<!-- c -->"), ElementsAre("C: c "));
    EXPECT_THAT(ParseAndDescribe("a<!---->b"), ElementsAre("T:a", "C:", "T:b"));
    EXPECT_THAT(ParseAndDescribe("<%= x %>"), ElementsAre("S:= x "));
    EXPECT_THAT(ParseAndDescribe("<%%>"), ElementsAre("S:"));
    EXPECT_THAT(ParseAndDescribe("<!-- a > b -->"), ElementsAre("C: a > b "));
    EXPECT_THAT(ParseAndDescribe("<b><!--x-->"), ElementsAre("<b", "C:x"));
    EXPECT_THAT(ParseAndDescribe("<b><%x%>"), ElementsAre("<b", "S:x"));
}

// Comments and scripts do not change the tag whose name decides the script rule.
TEST(ParserCommentsAndScripts, CommentsLeaveLastTagNameAlone) {
    TXMLParser parser;
    parser.ProbeMode = 2;
    ParseText(parser, "<b><!--x--><%y%>");
    EXPECT_THAT(Describe(parser), ElementsAre("<b", "C:x", "S:y"));
    EXPECT_EQ(parser.LastTagName, "b");
    // Inside a script the script rule comes first: a comment there is script text.
    ParseText(parser, "<script><!--x-->a</script>");
    EXPECT_THAT(Describe(parser), ElementsAre("<script", "T:<!--x-->a", "</script"));
}

// Unfinished markup: "> not found" with the rest of the buffer as context; earlier items stay.
TEST(ParserErrors, UnfinishedMarkupReportsAndKeepsEarlierItems) {
    Reported stray;
    EXPECT_THAT(ParseReporting("<a>x < y", stray), ElementsAre("<a", "T:x "));
    EXPECT_THAT(stray.Messages, ElementsAre("> not found"));
    EXPECT_THAT(stray.Contexts, ElementsAre("< y"));
    Reported quote;
    EXPECT_THAT(ParseReporting("<a b=\"x>", quote), IsEmpty());
    EXPECT_THAT(quote.Messages, ElementsAre("> not found"));
    Reported comment;
    EXPECT_THAT(ParseReporting("<!-- x ->", comment), IsEmpty());
    EXPECT_THAT(comment.Messages, ElementsAre("> not found"));
    Reported script;
    EXPECT_THAT(ParseReporting("t<% x %", script), ElementsAre("T:t"));
    EXPECT_THAT(script.Messages, ElementsAre("> not found"));
    // Without a handler the parse ends the same way, silently.
    EXPECT_THAT(ParseAndDescribe("<a>x < y"), ElementsAre("<a", "T:x "));
}

// The "<!" without "--" is an ordinary tag, also for document type and XML declarations.
TEST(ParserTags, DeclarationsAreOrdinaryTags) {
    EXPECT_THAT(ParseAndDescribe("<!DOCTYPE x>"), ElementsAre("<!DOCTYPE x="));
    EXPECT_THAT(ParseAndDescribe("<?xml version=\"1.0\" encoding='utf-8'?>"),
                ElementsAre("<?xml version=1.0 encoding=utf-8'?"));
}

// The content probe: a failing probe gives one text item holding the whole normalised input.
TEST(ParserProbe, FailedProbeGivesOneTextItem) {
    EXPECT_THAT(ParseAndDescribe("<characteristic  a>", 1), ElementsAre("T:<characteristic a>"));
    EXPECT_THAT(ParseAndDescribe("<CHARACTERISTIC><PARM>", 1),
                ElementsAre("<CHARACTERISTIC", "<PARM"));
    EXPECT_THAT(ParseAndDescribe("<a><b>", 0), ElementsAre("T:<a><b>"));
    EXPECT_THAT(ParseAndDescribe("<Vlm><b>", 0), ElementsAre("<Vlm", "<b"));
    EXPECT_THAT(ParseAndDescribe("<a><b>", 7), ElementsAre("<a", "<b"));
}

// A parser is reusable: each Parse starts from empty items and a fresh buffer.
TEST(ParserLifecycle, EachParseStartsAfresh) {
    TXMLParser parser;
    parser.ProbeMode = 2;
    ParseText(parser, "<a><b><c>");
    ASSERT_EQ(parser.Items.size(), 3u);
    ParseText(parser, "x");
    EXPECT_THAT(Describe(parser), ElementsAre("T:x"));
    EXPECT_EQ(parser.LastEnd, -1);
    ParseText(parser, "");
    EXPECT_THAT(parser.Items, IsEmpty());
    // A document ending in an open script does not put the next one under the script rule.
    ParseText(parser, "<script>");
    EXPECT_EQ(parser.LastTagName, "script");
    ParseText(parser, "text<b>");
    EXPECT_THAT(Describe(parser), ElementsAre("T:text", "<b"));
}
