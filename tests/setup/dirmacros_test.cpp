#include "cab/AsciiCase.h"
#include "setup/CECAB.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <vector>

namespace {

class Macros : public ::testing::Test {
  protected:
    std::string M(const std::string& path, bool shortcut = false, bool unquote = false) const {
        return Model.MacroizePath(path, shortcut, unquote);
    }
    TCESetupBase Model;
};

TEST(StandardFolders, NumbersOneToNineteenHaveMacros) {
    EXPECT_EQ(TCESetupBase::CEDirMacro(1), "%ProgramFilesDir%");
    EXPECT_EQ(TCESetupBase::CEDirMacro(2), "%WinDir%");
    EXPECT_EQ(TCESetupBase::CEDirMacro(8), "%GamesDir%");
    EXPECT_EQ(TCESetupBase::CEDirMacro(12), "%ProgramsDir%\\Accessories");
    EXPECT_EQ(TCESetupBase::CEDirMacro(13), "%ProgramsDir%\\Communication");
    EXPECT_EQ(TCESetupBase::CEDirMacro(14), "%GamesDir%");
    EXPECT_EQ(TCESetupBase::CEDirMacro(16), "%WinDir%\\Recent");
    EXPECT_EQ(TCESetupBase::CEDirMacro(19), "%AppDataDir%");
    EXPECT_EQ(TCESetupBase::CEDirMacro(0), "");
    EXPECT_EQ(TCESetupBase::CEDirMacro(20), "");
    EXPECT_EQ(TCESetupBase::CEDirMacro(-1), "");
}

TEST_F(Macros, InstallDirMatchesWholePathAndPrefixIgnoringCase) {
    Model.Project.InstallDir = "\\Program Files\\Demo";
    EXPECT_EQ(M("\\program files\\demo"), "%InstallDir%");
    EXPECT_EQ(M("\\Program Files\\Demo\\Data"), "%InstallDir%\\Data");
    EXPECT_EQ(M("\\PROGRAM FILES\\DEMO\\Data\\x"), "%InstallDir%\\Data\\x");
    EXPECT_EQ(M("\\Program Files\\Demo2"), "\\Program Files\\Demo2");
}

TEST_F(Macros, InstallDirWithTrailingBackslashStillMatchesWholePath) {
    Model.Project.InstallDir = "\\Demo\\";
    EXPECT_EQ(M("\\Demo"), "%InstallDir%");
    EXPECT_EQ(M("\\Demo\\Sub"), "%InstallDir%\\Sub");
}

TEST_F(Macros, EmptyInstallDirTurnsEmptyPathIntoInstallDir) {
    EXPECT_EQ(M(""), "%InstallDir%");
    EXPECT_EQ(M("abc"), "abc");
}

TEST_F(Macros, NumberedMacrosBecomeNamedOnes) {
    EXPECT_EQ(M("%CE1%\\Demo"), "%ProgramFilesDir%\\Demo");
    EXPECT_EQ(M("%CE17%"), "%StartMenuDir%");
    EXPECT_EQ(M("%ce2%"), "%WinDir%");
    EXPECT_EQ(M("%CE20%"), "%CE20%");
    EXPECT_EQ(M("%CE1%%CE10%%CE19%"), "%ProgramFilesDir%%OfficeDir%%AppDataDir%");
}

TEST_F(Macros, ShortcutFolderFlagChoosesBetweenEightAndFourteen) {
    EXPECT_EQ(M("%CE8%", false), "%GamesDir%");
    EXPECT_EQ(M("%CE14%", false), "%CE14%");
    EXPECT_EQ(M("%CE8%", true), "%CE8%");
    EXPECT_EQ(M("%CE14%", true), "%GamesDir%");
    EXPECT_EQ(M("%CE1%", true), "%ProgramFilesDir%");
}

TEST_F(Macros, WholePathTestsComeBeforeNumberedMacros) {
    EXPECT_EQ(M("%CE2%\\Help"), "%WinDir%\\Help");
    EXPECT_EQ(M("%WinDir%\\Help"), "%HelpDir%");
    EXPECT_EQ(M("%WINDIR%\\HELP\\Demo"), "%HelpDir%\\Demo");
    Model.Project.InstallDir = "%CE1%\\Demo";
    EXPECT_EQ(M("%CE1%\\Demo"), "%InstallDir%");
}

TEST_F(Macros, InstallDirTestWinsOverTheOtherWholePathTests) {
    Model.Project.InstallDir = "%WINDIR%\\HELP";
    EXPECT_EQ(M("%windir%\\help"), "%InstallDir%");
    Model.Project.InstallDir = "Storage Card";
    EXPECT_EQ(M("STORAGE CARD"), "%InstallDir%");
}

TEST_F(Macros, ProgramGroupFolderIsRecognised) {
    Model.Project.ProgramGroup = "Demo";
    EXPECT_EQ(M("%ProgramsDir%\\Demo"), "%ProgramGroupDir%");
    EXPECT_EQ(M("%programsdir%\\demo\\Help"), "%ProgramGroupDir%\\Help");
    EXPECT_EQ(M("%CE11%\\Demo"), "%ProgramsDir%\\Demo");
}

TEST_F(Macros, StorageCardAnyCase) {
    EXPECT_EQ(M("storage card"), "%StorageCard%");
    EXPECT_EQ(M("Storage Card\\Demo"), "%StorageCard%\\Demo");
    EXPECT_EQ(M("\\Storage Card\\Demo"), "\\%StorageCard%\\Demo");
    EXPECT_EQ(M("storage cards"), "storage cards");
}

TEST_F(Macros, FolderFormedByAnEarlierReplacementIsStillReplaced) {
    // The install folder's macro completes the program group's folder, which the path did not
    // hold before: the group is still replaced, as replacing each folder in turn does.
    Model.Project.InstallDir = "\\A";
    Model.Project.ProgramGroup = "X%InstallDir%";
    EXPECT_EQ(M("%ProgramsDir%\\X\\A\\b.txt"), "%ProgramGroupDir%\\b.txt");
    // The project changing between paths is seen at once.
    Model.Project.ProgramGroup = "Y";
    EXPECT_EQ(M("%ProgramsDir%\\Y\\b.txt"), "%ProgramGroupDir%\\b.txt");
    EXPECT_EQ(M("%ProgramsDir%\\X\\A\\b.txt"), "%ProgramsDir%\\X%InstallDir%\\b.txt");
}

TEST_F(Macros, UnquoteOnlyWhenAsked) {
    EXPECT_EQ(M("a&quot;b&QUOT;c", false, true), "a\"b\"c");
    EXPECT_EQ(M("a&quot;b", false, false), "a&quot;b");
    EXPECT_EQ(M("&quot;%CE1%&quot;", false, true), "\"%ProgramFilesDir%\"");
}

TEST(ReplaceText, ReplacesEveryOccurrenceIgnoringAsciiCase) {
    EXPECT_EQ(TCESetupBase::ReplaceText("aXa", "x", "yy"), "ayya");
    EXPECT_EQ(TCESetupBase::ReplaceText("AbcABCabc", "abc", "-"), "---");
    EXPECT_EQ(TCESetupBase::ReplaceText("Hello World", "WORLD", "There"), "Hello There");
    EXPECT_EQ(TCESetupBase::ReplaceText("abc", "abc", ""), "");
    EXPECT_EQ(TCESetupBase::ReplaceText("ab", "abc", "x"), "ab");
    // Near misses on either case of the first letter before the one real match, which ends
    // the text; and a first letter found only past the last possible start.
    EXPECT_EQ(TCESetupBase::ReplaceText("worx WORx wOrLd", "World", "-"), "worx WORx -");
    EXPECT_EQ(TCESetupBase::ReplaceText("storage card\\x", "Storage Card\\", "%S%\\"), "%S%\\x");
    EXPECT_EQ(TCESetupBase::ReplaceText("xxW", "wo", "-"), "xxW");
    EXPECT_EQ(TCESetupBase::ReplaceText("a%ce1%", "%CE1%", "P"), "aP");
}

TEST_F(Macros, NumberedFoldersAgreeWithReplacingEachInTurnOnRandomPaths) {
    // Macros that touch, share a "%", differ in case or by a digit, and near misses.
    const std::vector<std::string> pieces = {"%CE1%",  "%ce2%", "%CE10%", "%CE19%", "%CE8%",
                                             "%CE14%", "CE1%",  "%",      "CE",     "1",
                                             "\\",     "x",     "%CE01%", "%CE20%", "%CE"};
    std::mt19937 random(9122026);
    for (int trial = 0; trial < 50000; ++trial) {
        std::string path;
        for (int k = std::uniform_int_distribution<int>(1, 6)(random); k > 0; --k)
            path += pieces[std::uniform_int_distribution<size_t>(0, pieces.size() - 1)(random)];
        const bool shortcut = trial % 2 == 1;
        std::string expected = path;
        for (int n = 1; n <= 19; ++n) {
            if ((n == 8 && shortcut) || (n == 14 && !shortcut)) continue;
            expected = TCESetupBase::ReplaceText(expected, "%CE" + std::to_string(n) + "%",
                                                 TCESetupBase::CEDirMacro(n));
        }
        ASSERT_EQ(M(path, shortcut), expected) << "path '" << path << "'";
    }
}

TEST(ReplaceText, EmptyOldChangesNothing) {
    EXPECT_EQ(TCESetupBase::ReplaceText("abc", "", "x"), "abc");
    EXPECT_EQ(TCESetupBase::ReplaceText("", "", "x"), "");
}

TEST(ReplaceText, FoldsOnlyAsciiLetters) {
    const std::string upper = "\xC4"; // Latin-1 A with diaeresis
    const std::string lower = "\xE4";
    EXPECT_EQ(TCESetupBase::ReplaceText("x" + lower + "y", upper, "-"), "x" + lower + "y");
    EXPECT_EQ(TCESetupBase::ReplaceText("x" + lower + "y", lower, "-"), "x-y");
}

TEST(ReplaceText, NewContainingOldIsReplacedInOnePass) {
    EXPECT_EQ(TCESetupBase::ReplaceText("a.a", "a", "aa"), "aa.aa");
    EXPECT_EQ(TCESetupBase::ReplaceText("xX", "x", "[X]"), "[X][X]");
    EXPECT_EQ(TCESetupBase::ReplaceText("\\a\\", "\\", "%InstallDir%\\"),
              "%InstallDir%\\a%InstallDir%\\");
}

TEST(ReplaceText, ReplacementsThatFormNewOccurrencesAreReplacedAgain) {
    // Searching again from the start sees what a replacement put next to its neighbours.
    EXPECT_EQ(TCESetupBase::ReplaceText("aab", "ab", "b"), "b");
    EXPECT_EQ(TCESetupBase::ReplaceText("aaaab", "AB", "b"), "b");
    EXPECT_EQ(TCESetupBase::ReplaceText("%CE1%CE1%", "%CE1%", "%ProgramFilesDir%"),
              "%ProgramFilesDir%ProgramFilesDir%");
    EXPECT_EQ(TCESetupBase::ReplaceText("abab", "ab", "ba"), "bbaa");
}

TEST(ReplaceText, AgreesWithSearchingAgainFromTheStartOnRandomTexts) {
    // Texts, patterns and replacements over a few letters in both cases, so that replacements
    // meet their neighbours, overlap and feed themselves in every way short strings can.
    const auto reference = [](std::string text, const std::string& oldText,
                              const std::string& newText) -> std::optional<std::string> {
        const auto fold = [](std::string s) {
            for (char& c : s)
                c = UpperAscii(c);
            return s;
        };
        for (int step = 0; step < 200; ++step) {
            const size_t at = fold(text).find(fold(oldText));
            if (at == std::string::npos) return text;
            text.replace(at, oldText.size(), newText);
        }
        return std::nullopt; // a self-feeding rule: cut short by a bound, compared elsewhere
    };
    std::mt19937 random(20261209);
    const std::string letters = "aAbB%x";
    const auto word = [&](size_t low, size_t high) {
        std::string s(std::uniform_int_distribution<size_t>(low, high)(random), ' ');
        for (char& c : s)
            c = letters[std::uniform_int_distribution<size_t>(0, letters.size() - 1)(random)];
        return s;
    };
    for (int trial = 0; trial < 200000; ++trial) {
        const std::string oldText = word(1, 3), newText = word(0, 4), text = word(0, 10);
        const std::optional<std::string> expected = reference(text, oldText, newText);
        if (!expected) continue;
        ASSERT_EQ(TCESetupBase::ReplaceText(text, oldText, newText), *expected)
            << "text '" << text << "', old '" << oldText << "', new '" << newText << "'";
    }
}

TEST(ReplaceText, SelfFeedingRuleStillEnds) {
    // "ab" -> "ba" keeps rewriting its own output; the result is still a permutation and ends.
    const std::string text = std::string(3000, 'a') + std::string(3000, 'b');
    const std::string result = TCESetupBase::ReplaceText(text, "ab", "ba");
    EXPECT_EQ(result.size(), text.size());
    EXPECT_EQ(std::count(result.begin(), result.end(), 'a'), 3000);
    EXPECT_NE(result, text);
}

} // namespace
