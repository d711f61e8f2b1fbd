#include "cab/PlainText.h"

#include <gtest/gtest.h>

// A cabinet's texts reach a terminal only with their control characters made visible.
TEST(PlainText, ControlBytesOfAnEightBitTextBecomeEscapes) {
    EXPECT_EQ(PlainText("plain\ttext"), "plain\ttext");
    EXPECT_EQ(PlainText("a\x1b]0;x\x07\r\nb"), "a\\x1b]0;x\\x07\\x0d\\x0ab");
    EXPECT_EQ(PlainText(std::string("nul\0!", 5)), "nul\\x00!");
    EXPECT_EQ(PlainText("del\x7f"), "del\\x7f");
    // Not UTF-8 (a lone 0xE9 is a Latin letter): every byte from 0x80 to 0x9F is a control.
    EXPECT_EQ(PlainText("Caf\xe9\x9b"), "Caf\xe9\\x9b");
    EXPECT_EQ(PlainText("\x85"), "\\x85");
}

// Well-formed UTF-8 keeps its letters whole: their continuation bytes are not controls.
TEST(PlainText, WellFormedUtf8KeepsItsLettersAndEscapesC1CodePoints) {
    EXPECT_EQ(PlainText("ONLY \xe2\x80\x93 Root"), "ONLY \xe2\x80\x93 Root");
    EXPECT_EQ(PlainText("\xe2\x82\xac\xc5\xa0"), "\xe2\x82\xac\xc5\xa0"); // euro sign, S caron
    EXPECT_EQ(PlainText("\xe2\x80\x93\x1b[2J"), "\xe2\x80\x93\\x1b[2J");
    EXPECT_EQ(PlainText("x\xc2\x9by"), "x\\x9by") << "U+009B, the terminal's CSI";
    EXPECT_EQ(PlainText("\xf0\x9f\x98\x80\n"), "\xf0\x9f\x98\x80\\x0a");
}

// Sequences that only look like UTF-8 are taken byte by byte, so nothing hides in them.
TEST(PlainText, MalformedSequencesAreTakenByteByByte) {
    EXPECT_FALSE(IsWellFormedUtf8("\xc0\x80"));         // overlong NUL
    EXPECT_FALSE(IsWellFormedUtf8("\xe0\x80\x9b"));     // overlong CSI
    EXPECT_FALSE(IsWellFormedUtf8("\xed\xa0\x80"));     // surrogate
    EXPECT_FALSE(IsWellFormedUtf8("\xf4\x90\x80\x80")); // above U+10FFFF
    EXPECT_FALSE(IsWellFormedUtf8("\xe2\x80"));         // cut short
    EXPECT_TRUE(IsWellFormedUtf8("\xf4\x8f\xbf\xbf"));
    EXPECT_EQ(PlainText("\xe0\x80\x9b"), "\xe0\\x80\\x9b");
    EXPECT_EQ(PlainText("\xe2\x80"), "\xe2\\x80");
    // After any run of ASCII, and across the eight-byte steps it is read in.
    for (size_t before = 0; before < 20; ++before)
        for (size_t after = 0; after < 10; ++after) {
            const std::string a(before, 'a'), b(after, 'b');
            EXPECT_FALSE(IsWellFormedUtf8(a + "\xc0\x80" + b)) << before << " " << after;
            EXPECT_FALSE(IsWellFormedUtf8(a + "\xe2\x80")) << before;
            EXPECT_TRUE(IsWellFormedUtf8(a + "\xe2\x80\x93" + b)) << before << " " << after;
            EXPECT_TRUE(IsWellFormedUtf8(a + b));
        }
}
