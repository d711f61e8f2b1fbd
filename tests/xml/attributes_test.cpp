#include "tests/xml/XMLTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;

namespace {

// Splits one tag text through SetText, as AddMarkup does.
struct SplitTag {
    std::string Text;
    TXMLTag Tag;
    std::vector<std::string> Errors;
    explicit SplitTag(std::string text) : Text(std::move(text)) {
        Tag.OnError = [this](const std::string& message, const std::string& context) {
            Errors.push_back(message + "|" + context);
        };
        Tag.SetText(Text.data(), static_cast<int64_t>(Text.size()));
    }
    [[nodiscard]] std::vector<std::string> Params() const {
        std::vector<std::string> out;
        for (const TXMLParam& p : Tag.Params)
            out.push_back(p.Name.GetText() + "=" + p.Value.GetText());
        return out;
    }
    [[nodiscard]] std::vector<std::string> Wholes() const {
        std::vector<std::string> out;
        for (const TXMLParam& p : Tag.Params)
            out.push_back(p.Whole.GetText());
        return out;
    }
};

} // namespace

// A tag without whitespace is all name, without attributes; the slash stays in the name.
TEST(TagSplitting, NameOnlyTagsKeepEverythingInTheName) {
    SplitTag br("br/");
    EXPECT_EQ(br.Tag.GetName(), "br/");
    EXPECT_EQ(br.Tag.IsOpen, 0);
    EXPECT_TRUE(br.Tag.Params.empty());
    SplitTag close("/characteristic");
    EXPECT_EQ(close.Tag.GetName(), "/characteristic");
    EXPECT_EQ(close.Tag.IsOpen, 1);
    SplitTag spaces("   ");
    EXPECT_EQ(spaces.Tag.IsOpen, 1);
    EXPECT_EQ(spaces.Tag.GetName(), "");
}

// Unquoted values and spaces around "=" give the same attributes.
TEST(TagSplitting, UnquotedValuesAndSpacesAroundEquals) {
    EXPECT_THAT(SplitTag("a b=1 c=2").Params(), ElementsAre("b=1", "c=2"));
    EXPECT_THAT(SplitTag("a b = 1").Params(), ElementsAre("b=1"));
    EXPECT_THAT(SplitTag("a b=").Params(), ElementsAre("b="));
    EXPECT_THAT(SplitTag("a b=\"\"").Params(), ElementsAre("b="));
}

// Bare words before an attribute join its name, with the space; a trailing bare word is one.
TEST(TagSplitting, BareWordsJoinTheNextAttributeName) {
    EXPECT_THAT(SplitTag("a b c=1").Params(), ElementsAre("b c=1"));
    EXPECT_THAT(SplitTag("a x=1 flag  ").Params(), ElementsAre("x=1", "flag="));
    EXPECT_THAT(SplitTag("parm name=\"Source\" SelfRegister").Params(),
                ElementsAre("name=Source", "SelfRegister="));
}

// The slash: a separate slash is an attribute named "/", one against the value is dropped.
TEST(TagSplitting, SelfClosingSlashRules) {
    SplitTag spaced("parm name=x /");
    EXPECT_THAT(spaced.Params(), ElementsAre("name=x", "/="));
    EXPECT_EQ(spaced.Tag.IsOpen, 0);
    SplitTag tight("parm name=x/");
    EXPECT_THAT(tight.Params(), ElementsAre("name=x"));
    EXPECT_EQ(tight.Tag.IsOpen, 0);
    EXPECT_THAT(SplitTag("parm name=\"x\"/").Params(), ElementsAre("name=x"));
    EXPECT_THAT(SplitTag("parm name='x' /").Params(), ElementsAre("name=x", "/="));
    EXPECT_EQ(SplitTag("parm name=x /  ").Tag.IsOpen, 0);
    EXPECT_EQ(SplitTag("parm name=x /\t").Tag.IsOpen, 1); // only spaces are stepped over
}

// Quotes need not match and are not required; a backslash does not escape a quote.
TEST(TagSplitting, MismatchedQuotesAndBackslashes) {
    EXPECT_THAT(SplitTag("a b=\"x' c=2").Params(), ElementsAre("b=x' c=2"));
    EXPECT_THAT(SplitTag("a b='x\" c=\"y'").Params(), ElementsAre("b=x\" c=\"y"));
    EXPECT_THAT(SplitTag("a b=\"x c=2").Params(), ElementsAre("b=x c=2"));
    EXPECT_THAT(SplitTag("a b=x\" c=1").Params(), ElementsAre("b=x\" c=1"));
    EXPECT_THAT(SplitTag("a b=\"C:\\\" c=1").Params(), ElementsAre("b=C:\\", "c=1"));
    EXPECT_THAT(SplitTag("a b=\"x y\" c=\"p q\"").Params(), ElementsAre("b=x y", "c=p q"));
}

// Whole runs from the whitespace before the attribute through the one after its value.
TEST(TagSplitting, WholeSpansTheAttributeWithItsSurroundingSpaces) {
    EXPECT_THAT(SplitTag("a b=1 c=2").Wholes(), ElementsAre(" b=1 ", " c=2"));
    EXPECT_THAT(SplitTag("a x=1 flag").Wholes(), ElementsAre(" x=1 ", " flag"));
}

// An attribute starting with "=" is reported with the tag as context and skipped.
TEST(TagSplitting, KeyNotDefinedIsReportedAndSkipped) {
    SplitTag tag("a =1 b=2");
    EXPECT_THAT(tag.Params(), ElementsAre("b=2"));
    EXPECT_THAT(tag.Errors, ElementsAre("key not defined in tag|<a =1 b=2>"));
    TXMLTag silent;
    const std::string text = "a =1";
    silent.SetText(text.data(), static_cast<int64_t>(text.size()));
    EXPECT_TRUE(silent.Params.empty());
}

// The parser copies its error event into each tag, so key errors reach the parser's handler.
TEST(TagSplitting, ParserErrorEventReachesTags) {
    TXMLParser parser;
    parser.ProbeMode = 2;
    std::vector<std::string> messages;
    parser.OnError = [&messages](const std::string& m, const std::string&) {
        messages.push_back(m);
    };
    ParseText(parser, "<a =x><b c=1>");
    EXPECT_THAT(messages, ElementsAre("key not defined in tag"));
    EXPECT_THAT(Describe(parser), ElementsAre("<a", "<b c=1"));
}
