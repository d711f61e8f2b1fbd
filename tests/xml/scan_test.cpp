#include "xml/XMLScan.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int64_t Find(const std::string& pattern, const std::string& data, int64_t start) {
    return FindText(pattern, data.data(), static_cast<int64_t>(data.size()), start);
}

} // namespace

// FindText folds ASCII letters only, finds only matches lying wholly inside the range.
TEST(ScanHelpers, FindTextMatchesLettersInEitherCaseAndStaysInsideTheRange) {
    EXPECT_EQ(Find("</script", "ab</SCRIPT>", 0), 2);
    EXPECT_EQ(Find("</script", "ab</SCRIPT>", 3), -1);
    EXPECT_EQ(Find("%>", "x%", 0), -1);        // would run past the end
    EXPECT_EQ(Find("", "abc", 0), -1);         // empty pattern
    EXPECT_EQ(Find("a", "abc", 3), -1);        // start at the length
    EXPECT_EQ(Find("\xC4", "\xE4\xC4", 0), 1); // bytes outside A-Z match only themselves
    const std::string data = "abcdef";
    EXPECT_EQ(FindText("def", data.data(), 5, 0), -1); // the range, not the string, is the limit
}

// Quoted runs are skipped whole, either quote kind, no escapes, an open run gives -1.
TEST(ScanHelpers, QuoteAwareScansSkipQuotedRunsAndFailOnAnOpenOne) {
    const std::string text = R"(a="x>y" b='>' c="\">d)";
    const auto n = static_cast<int64_t>(text.size());
    EXPECT_EQ(FindCharOutsideQuotes('>', text.data(), n, 0), static_cast<int64_t>(text.find(">d")));
    const std::string open = R"(a="x>y)";
    EXPECT_EQ(FindCharOutsideQuotes('>', open.data(), static_cast<int64_t>(open.size()), 0), -1);
    const std::string spaced = "a='x y'\tb";
    EXPECT_EQ(FindSpaceOutsideQuotes(spaced.data(), static_cast<int64_t>(spaced.size()), 0), 7);
    EXPECT_EQ(FindChar('x', "abc", 3, 0), -1);
    EXPECT_EQ(FindChar('c', "abc", 3, 3), -1);
    EXPECT_EQ(FindChar('c', "abc", 3, 1), 2);
}

// SkipSpaces and SkipSpacesBack treat tab, CR, LF and space as whitespace and reject bad starts.
TEST(ScanHelpers, SkipSpacesBothWaysAndRejectStartsOutsideTheRange) {
    const std::string text = " \t\r\nx \n";
    const auto n = static_cast<int64_t>(text.size());
    EXPECT_EQ(SkipSpaces(text.data(), n, 0), 4);
    EXPECT_EQ(SkipSpaces(text.data(), n, 5), -1);
    EXPECT_EQ(SkipSpaces(text.data(), n, -1), -1);
    EXPECT_EQ(SkipSpaces(text.data(), n, n), -1);
    EXPECT_EQ(SkipSpacesBack(text.data(), n, n - 1), 4);
    EXPECT_EQ(SkipSpacesBack(text.data(), n, 3), -1);
    EXPECT_EQ(SkipSpacesBack(text.data(), n, n), -1);
}

// The probes: "<vlm" alone; "<characteristic" and "<parm" both, in any letter case.
TEST(ScanHelpers, ContentProbesLookForTheirMarkersAnywhere) {
    const std::string vlm = "text <VLM x>";
    EXPECT_TRUE(IsVlmMarkup(vlm.data(), static_cast<int64_t>(vlm.size())));
    EXPECT_FALSE(IsVlmMarkup("<vl", 3));
    const std::string both = "<CHARACTERISTIC><Parm>";
    EXPECT_TRUE(IsSetupMarkup(both.data(), static_cast<int64_t>(both.size())));
    const std::string one = "<characteristic><par>";
    EXPECT_FALSE(IsSetupMarkup(one.data(), static_cast<int64_t>(one.size())));
}
