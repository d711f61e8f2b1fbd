#include "tests/xml/SetupXMLSupport.h"

#include "cab/Errors.h"
#include "tests/support/CabinetBuilder.h"
#include "xml/XMLPars.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

std::vector<std::string> FileRows(const TSetupXML& h) {
    std::vector<std::string> rows;
    for (const TCEINFFile& f : h.Files)
        rows.push_back(std::to_string(f.Id) + "|" + std::to_string(f.FileNo) + "|" +
                       std::to_string(f.Flags) + "|" + f.Dir + "|" + f.Name);
    return rows;
}

std::vector<std::string> RegRows(const TSetupXML& h) {
    std::vector<std::string> rows;
    for (const TCEINFRegValue& v : h.RegValues)
        rows.push_back(std::to_string(v.Id) + "|" + std::to_string(v.Root) + "|" + v.KeyPath + "|" +
                       std::to_string(v.DataType) + "|" + v.Name + "|" + v.Data);
    return rows;
}

} // namespace

// The writer's shape: install header, files with macro folders, the install folder recognised.
TEST(ReaderFiles, WriterShapedDescriptorFillsProjectAndFiles) {
    TSetupXML h;
    LoadText(h,
             Wrapped(InstallSection("Demo &quot;X&quot;", "%CE1%\\Demo") +
                     FileOperation(Directory("%CE1%\\Demo", FileEntry("app.exe", "app.001") +
                                                                FileEntry("read.txt", "read.txt")) +
                                   Directory("%CE2%", FileEntry("lib.dll", "LIB.003")))));
    EXPECT_EQ(h.Project.SoftwareName, "Demo \"X\"");
    EXPECT_EQ(h.Project.InstallDir, "%ProgramFilesDir%\\Demo");
    EXPECT_EQ(h.RootTagName, "wap-provisioningdoc");
    // No digits in the extension: Id -1 stored as the word 65535.
    EXPECT_THAT(FileRows(h),
                ElementsAre("1|1|1|%InstallDir%|app.exe", "65535|65535|1|%InstallDir%|read.txt",
                            "3|3|1|%WinDir%|lib.dll"));
    EXPECT_EQ(h.Files[0].DirId, 0);
    EXPECT_TRUE(h.Files[0].ExtractedPath.empty());
    EXPECT_THAT(h.MarkupBefore, IsEmpty());
    EXPECT_THAT(h.MarkupAfter, IsEmpty());
}

// Every Source parm of an Extract adds a file; other parms there are ignored.
TEST(ReaderFiles, EachSourceParmAddsAFile) {
    TSetupXML h;
    LoadText(h, Wrapped(FileOperation(
                    "<characteristic type=\"%CE2%\" translation=\"install\">"
                    "<characteristic type=\"a.dll\" translation=\"install\">"
                    "<characteristic type=\"Extract\"><parm name=\"Source\" value=\"a.001\"/>"
                    "<parm name=\"SelfRegister\"/><parm name=\"source\" value=\"b.002\"/>"
                    "</characteristic></characteristic></characteristic>")));
    EXPECT_THAT(FileRows(h), ElementsAre("1|1|1|%WinDir%|a.dll", "2|2|1|%WinDir%|a.dll"));
}

// Names and values compare ASCII case-insensitively at every level; a repeated name overwrites.
TEST(ReaderFiles, AttributeNamesAndValuesIgnoreLetterCase) {
    TSetupXML h;
    LoadText(h, Wrapped("<CHARACTERISTIC TYPE=\"install\"><Parm NAME=\"appname\" VALUE=\"One\"/>"
                        "<parm Name=\"AppName\" Value=\"Two\"/></CHARACTERISTIC>"
                        "<characteristic Type=\"fileoperation\">"
                        "<characteristic type=\"%CE2%\" Translation=\"INSTALL\">"
                        "<characteristic type=\"x.dll\" translation=\"Install\">"
                        "<characteristic type=\"extract\"><parm name=\"SOURCE\" value=\"x.009\"/>"
                        "</characteristic></characteristic></characteristic></characteristic>"));
    EXPECT_EQ(h.Project.SoftwareName, "Two");
    EXPECT_THAT(FileRows(h), ElementsAre("9|9|1|%WinDir%|x.dll"));
}

// Install after FileOperation: the folders were translated while InstallDir was still empty.
TEST(ReaderFiles, InstallSectionAfterFilesDoesNotMacroizeEarlierFolders) {
    TSetupXML h;
    LoadText(h, Wrapped(FileOperation(Directory("%CE1%\\Demo", FileEntry("a.exe", "a.001"))) +
                        InstallSection("Demo", "%CE1%\\Demo")));
    EXPECT_EQ(h.Project.InstallDir, "%ProgramFilesDir%\\Demo");
    EXPECT_THAT(FileRows(h), ElementsAre("1|1|1|%ProgramFilesDir%\\Demo|a.exe"));
}

// Shortcuts: target file-name part, name without ".lnk", folder in shortcut macro form.
TEST(ReaderShortcuts, ShortcutsTakeTargetNameAndShortcutFolderMacros) {
    const auto shortcut = [](const std::string& lnk, const std::string& target) {
        return "<characteristic type=\"" + lnk +
               "\" translation=\"install\"><characteristic type=\"Shortcut\">"
               "<parm name=\"Source\" value=\"" +
               target + "\" /></characteristic></characteristic>";
    };
    TSetupXML h;
    LoadText(h, Wrapped(FileOperation(
                    Directory("%CE11%", shortcut("My App.lnk", "%CE1%\\App\\app.exe")) +
                    Directory("%CE14%", shortcut("Game.v2.lnk", "C:game.exe") +
                                            FileEntry("g.dat", "g.004")))));
    ASSERT_EQ(h.Shortcuts.size(), 2u);
    EXPECT_EQ(h.Shortcuts[0].Id, 0);
    EXPECT_EQ(h.Shortcuts[0].Folder, "%ProgramsDir%");
    EXPECT_EQ(h.Shortcuts[0].FileName, "app.exe");
    EXPECT_EQ(h.Shortcuts[0].Name, "My App");
    EXPECT_EQ(h.Shortcuts[1].Id, 1);
    EXPECT_EQ(h.Shortcuts[1].Folder, "%GamesDir%"); // 14 is the shortcut number of the games folder
    EXPECT_EQ(h.Shortcuts[1].FileName, "game.exe"); // ":" also ends a folder part
    EXPECT_EQ(h.Shortcuts[1].Name, "Game.v2");
    EXPECT_THAT(FileRows(h), ElementsAre("4|4|1|%CE14%|g.dat")); // and not that of a file folder
}

// Registry values: roots, key paths, data types, upper-cased names, text data, Ids in order.
TEST(ReaderRegistry, KeysValuesAndTypes) {
    TSetupXML h;
    LoadText(
        h,
        Wrapped(
            "<characteristic type=\"Registry\">"
            "<characteristic type=\"HKLM\\Software\\Demo\" translation=\"install\">"
            "<parm name=\"Path\" value=\"%CE1%\\Demo\" datatype=\"string\" />"
            "<parm name=\"Count\" value=\"0042\" datatype=\"integer\" />"
            "<parm name=\"Blob\" value=\"0a0B\" datatype=\"BINARY\" />"
            "<parm name=\"Word\" value=\"7\" datatype=\"dword\" />"
            "<parm name=\"q\" value=\"&quot;x&QUOT;\" />"
            "</characteristic>"
            "<characteristic type=\"HKLM\"><parm name=\"a\" value=\"1\"/></characteristic>"
            "<characteristic type=\"HKXX\\Software\"><parm name=\"b\" "
            "value=\"2\"/></characteristic>"
            "<characteristic type=\"hkcr\\.demo\"><parm name=\"c\" value=\"3\"/></characteristic>"
            "<characteristic type=\"HKCU/Soft\"><parm name=\"d\" value=\"4\"/></characteristic>"
            "<characteristic type=\"HK\"><parm name=\"e\" value=\"5\"/></characteristic>"
            "</characteristic>"));
    EXPECT_THAT(RegRows(h),
                ElementsAre("0|2|Software\\Demo|0|PATH|%ProgramFilesDir%\\Demo",
                            "1|2|Software\\Demo|1|COUNT|0042", "2|2|Software\\Demo|2|BLOB|0a0B",
                            "3|2|Software\\Demo|0|WORD|7", "4|2|Software\\Demo|0|Q|\"x\"",
                            "5|2||0|A|1", "6|1|Software|0|B|2", "7|0|.demo|0|C|3", "8|1|Soft|0|D|4",
                            "9|1||0|E|5"));
}

// Multi-strings: each 0xEF separator (three bytes) becomes ";" unless nothing follows it.
TEST(ReaderRegistry, MultiStringSeparatorsBecomeSemicolons) {
    const auto multi = [](const std::string& value) {
        TSetupXML h;
        LoadText(h, Wrapped("<characteristic type=\"Registry\"><characteristic type=\"HKCU\\K\">"
                            "<parm name=\"m\" value=\"" +
                            value +
                            "\" datatype=\"MultipleString\" /></characteristic></characteristic>"));
        return h.RegValues.empty() ? std::string("<none>") : h.RegValues[0].Data;
    };
    EXPECT_EQ(multi("a\xEF\x80\x80"
                    "b\xEF\x80\x80"),
              "a;b");
    EXPECT_EQ(multi("a\xEF\x80\x80"
                    "b"),
              "a;b");
    EXPECT_EQ(multi("a\xEF\x80"), "a");
    EXPECT_EQ(multi("a\xEF"), "a");
    EXPECT_EQ(multi("\xEF\x80\x80\xEF\x80\x80x"), ";;x");
    EXPECT_EQ(multi("%CE2%\xEF\x80\x80"
                    "b"),
              "%WinDir%;b");
}
