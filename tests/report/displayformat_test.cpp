// Display texts: file sizes at the unit boundaries, rounding, processor names, flag words,
// registry roots and types.
#include "report/DisplayFormat.h"

#include <charconv>
#include <gtest/gtest.h>

#include <clocale>

TEST(FormatFileSize, SizesAtTheUnitBoundaries) {
    const struct {
        int32_t Size;
        const char* Text;
    } cases[] = {{0, "0 bytes"},
                 {1, "1 bytes"},
                 {1023, "1023 bytes"},
                 {1024, "1 KB"},
                 {1536, "1.5 KB"},
                 {1100, "1.1 KB"},
                 {1075, "1.0 KB"},
                 {2047, "2.0 KB"},
                 {1048575, "1024.0 KB"},
                 {1048576, "1 MB"},
                 {1073741824, "1 GB"},
                 {2147483647, "2.0 GB"},
                 {1023 * 1024 + 1000, "1024.0 KB"}};
    for (const auto& c : cases)
        EXPECT_EQ(FormatFileSize(c.Size, "."), c.Text) << c.Size;
}

// Bytes and kilobytes take a shorter way than larger sizes; every one of them must read as the
// general rule gives it: the scaled value's shortest text, rounded to one decimal.
TEST(FormatFileSize, EveryByteAndKilobyteSizeAsTheGeneralRuleGivesIt) {
    const auto general = [](int32_t size) {
        const TScaledSize scaled = ChooseSizeUnit(static_cast<long double>(size));
        char buffer[64];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, scaled.Value,
                                       std::chars_format::general, 15);
        const char* unit = scaled.Unit == TSizeUnit::Bytes ? " bytes" : " KB";
        return RoundToOneDecimal(std::string(buffer, end.ptr)) + unit;
    };
    for (int32_t size = 0; size < 1024 * 1024; ++size) {
        const std::string text = FormatFileSize(size, ".");
        if (text != general(size)) {
            ADD_FAILURE() << size << ": " << text << " against " << general(size);
            break;
        }
    }
}

TEST(FormatFileSize, TheGivenSeparatorAlsoInRoundedAndCarriedTexts) {
    EXPECT_EQ(FormatFileSize(1536, ","), "1,5 KB");
    EXPECT_EQ(FormatFileSize(2047, ","), "2,0 KB");
    EXPECT_EQ(FormatFileSize(1024, ","), "1 KB");
    EXPECT_EQ(FormatFileSize(2147483647, ","), "2,0 GB");
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(FormatFileSize(1536), "1.5 KB") << "without a separator the C locale decides";
}

TEST(RoundToOneDecimal, RoundsHalfUpOnTheText) {
    const struct {
        const char* In;
        const char* Out;
    } cases[] = {{"1023", "1023"},
                 {"12.", "12"},
                 {"1.5", "1.5"},
                 {"1.05", "1.1"},
                 {"1.049", "1.0"},
                 {"1.96", "2.0"},
                 {"999.99", "1000.0"},
                 {"3,45", "3,5"},
                 {"", ""},
                 {"3\xd9\xab"
                  "45",
                  "3\xd9\xab"
                  "5"}};
    for (const auto& c : cases)
        EXPECT_EQ(RoundToOneDecimal(c.In), c.Out) << c.In;
}

TEST(ChooseSizeUnit, StrictComparisonsOnTheUnroundedValue) {
    EXPECT_EQ(ChooseSizeUnit(1023.999L).Unit, TSizeUnit::Bytes);
    EXPECT_EQ(ChooseSizeUnit(1024).Unit, TSizeUnit::Kilobytes);
    EXPECT_EQ(ChooseSizeUnit(1048575).Unit, TSizeUnit::Kilobytes);
    EXPECT_EQ(ChooseSizeUnit(1048576).Unit, TSizeUnit::Megabytes);
    EXPECT_EQ(ChooseSizeUnit(1073741824.0L * 4096).Unit, TSizeUnit::Gigabytes);
    EXPECT_EQ(static_cast<double>(ChooseSizeUnit(1073741824.0L * 4096).Value), 4096.0);
    EXPECT_EQ(static_cast<double>(ChooseSizeUnit(1536).Value), 1.5);
}

TEST(ProcessorName, EveryNumberOfTheTableAndNoOther) {
    const struct {
        int Number;
        const char* Name;
    } table[] = {{0, "CEF"},          {386, "Intel 386"},     {486, "Intel 486"},
                 {586, "Intel 586"},  {686, "Intel 686"},     {1824, "ARM 720"},
                 {2000, "Mips 2000"}, {2080, "ARM 820"},      {2336, "ARM 920"},
                 {2577, "StrongARM"}, {3000, "Mips 3000"},    {4000, "Mips 4000"},
                 {5000, "Mips 5000"}, {10003, "Hitachi SH3"}, {10005, "Hitachi SH4"}};
    for (const auto& row : table)
        EXPECT_EQ(ProcessorName(row.Number), row.Name);
    for (int other : {-1, 1, 385, 2578, 10004, 99999})
        EXPECT_EQ(ProcessorName(other), "") << other;
}

TEST(DisplayNames, FlagWordsRegistryRootsAndTypes) {
    EXPECT_EQ(FlagsText(1), "0x00000001");
    EXPECT_EQ(FlagsText(static_cast<int32_t>(0x8000ABCDu)), "0x8000ABCD");
    EXPECT_EQ(FlagsText(-1), "0xFFFFFFFF");
    EXPECT_EQ(RegistryRootName(0), "HKEY_CLASSES_ROOT");
    EXPECT_EQ(RegistryRootName(2), "HKEY_LOCAL_MACHINE");
    EXPECT_EQ(RegistryRootName(-1), "(Unknown root -1)");
    EXPECT_EQ(RegistryRootName(3), "(Unknown root 3)");
    EXPECT_EQ(RegistryTypeName(1), "REG_DWORD");
    EXPECT_EQ(RegistryTypeName(3), "REG_MULTI_SZ");
    EXPECT_EQ(RegistryTypeName(7), "7");
}

// Sizes past what a signed 32-bit number holds, up to the largest the cabinet format stores.
TEST(FormatFileSize, SizesOfTwoGibibytesAndMore) {
    EXPECT_EQ(FormatFileSize(2147483648ull, "."), "2 GB");
    EXPECT_EQ(FormatFileSize(3221225472ull, "."), "3 GB");
    EXPECT_EQ(FormatFileSize(3221225472ull + 512 * 1024 * 1024, "."), "3.5 GB");
    EXPECT_EQ(FormatFileSize(4294967295ull, "."), "4.0 GB");
}

// Under a filter the design's status text stays first; without one it is all.
TEST(FilteredStatusText, CountsFollowTheDesignsText) {
    EXPECT_EQ(FilteredStatusText("Total of files: 54", false, 19, 54), "Total of files: 54");
    EXPECT_EQ(FilteredStatusText("Total of files: 54", true, 19, 54),
              "Total of files: 54 (19 of 54 shown)");
    EXPECT_EQ(FilteredStatusText("", true, 0, 3), "0 of 3 shown");
}
