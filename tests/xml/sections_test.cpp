#include "tests/xml/SetupXMLSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

std::vector<std::string> FileNames(const TSetupXML& h) {
    std::vector<std::string> names;
    for (const TCEINFFile& f : h.Files)
        names.push_back(f.Dir + "\\" + f.Name);
    return names;
}

const std::string kExtractA =
    "<characteristic type=\"Extract\"><parm name=\"Source\" value=\"a.001\"/>"
    "</characteristic>";

} // namespace

// An open MakeDir ends its directory at its own closing tag; the next file is taken for a
// directory and ends the section; the rest goes to MarkupAfter.
TEST(SectionRule, OpenMakeDirEndsItsDirectoryEarly) {
    TSetupXML h;
    LoadText(
        h,
        Wrapped(
            FileOperation("<characteristic type=\"%CE2%\" translation=\"install\">"
                          "<characteristic type=\"MakeDir\"></characteristic>" +
                          FileEntry("a.dll", "a.001") + FileEntry("b.dll", "b.002") +
                          "</characteristic>") +
            "<characteristic type=\"Custom\"><parm name=\"x\" value=\"1\"/></characteristic>\n"));
    EXPECT_THAT(h.Files, IsEmpty());
    EXPECT_EQ(Lines(h.MarkupAfter), "<characteristic type=\"b.dll\" translation=\"install\">"
                                    "|    <characteristic type=\"Extract\">"
                                    "|        <parm name=\"Source\" value=\"b.002\" />"
                                    "|    </characteristic>"
                                    "|</characteristic>"
                                    "|<characteristic type=\"Custom\">"
                                    "|    <parm name=\"x\" value=\"1\" />"
                                    "|</characteristic>");
    EXPECT_THAT(h.MarkupBefore, IsEmpty());
}

// The translation filter under FileOperation: a directory without it yields no directory, and
// its files are tested at the FileOperation level.
TEST(SectionRule, DirectoryWithoutInstallTranslationIsSkipped) {
    TSetupXML h;
    LoadText(h, Wrapped(FileOperation("<characteristic type=\"%CE2%\" translation=\"uninstall\">"
                                      "<characteristic type=\"MakeDir\" />" +
                                      FileEntry("a.dll", "a.001") + FileEntry("b.dll", "b.002") +
                                      "</characteristic>") +
                        FileOperation(Directory("%CE2%", FileEntry("c.dll", "c.003")))));
    // a.dll became a directory holding nothing; b.dll went to MarkupAfter; the second
    // FileOperation section is read normally.
    EXPECT_THAT(FileNames(h), ElementsAre("%WinDir%\\c.dll"));
    EXPECT_THAT(Lines(h.MarkupAfter), ::testing::StartsWith("<characteristic type=\"b.dll\""));
}

// The filter at the file level: a file without it is skipped, its Extract ends the directory
// and its closing tag ends the section.
TEST(SectionRule, FileWithoutInstallTranslationIsSkipped) {
    TSetupXML h;
    LoadText(h, Wrapped(FileOperation(Directory("%CE2%", "<characteristic type=\"x.dll\">" +
                                                             kExtractA + "</characteristic>" +
                                                             FileEntry("y.dll", "y.002")))));
    EXPECT_THAT(h.Files, IsEmpty());
    EXPECT_THAT(Lines(h.MarkupAfter), ::testing::StartsWith("<characteristic type=\"y.dll\""));
}

// No filter at the Extract level nor on registry keys: translation there changes nothing.
TEST(SectionRule, ExtractAndRegistryKeysIgnoreTranslation) {
    TSetupXML h;
    LoadText(h, Wrapped(FileOperation(Directory(
                            "%CE2%", "<characteristic type=\"x.dll\" translation=\"install\">"
                                     "<characteristic type=\"Extract\" translation=\"none\">"
                                     "<parm name=\"Source\" value=\"x.001\"/></characteristic>"
                                     "</characteristic>")) +
                        "<characteristic type=\"Registry\">"
                        "<characteristic type=\"HKLM\\A\" translation=\"uninstall\">"
                        "<parm name=\"v\" value=\"1\"/></characteristic></characteristic>"));
    EXPECT_THAT(FileNames(h), ElementsAre("%WinDir%\\x.dll"));
    ASSERT_EQ(h.RegValues.size(), 1u);
    EXPECT_EQ(h.RegValues[0].KeyPath, "A");
}

// Tags a routine does not use are skipped one at a time: the content of a nested key is read
// as values of the outer key, and the first closing tag ends it.
TEST(SectionRule, ContentOfASkippedTagIsMetByTheSameRoutine) {
    TSetupXML h;
    LoadText(h, Wrapped("<characteristic type=\"Registry\"><characteristic type=\"HKLM\\A\">"
                        "<parm name=\"x\" value=\"1\"/><characteristic type=\"HKLM\\B\">"
                        "<parm name=\"y\" value=\"2\"/></characteristic>"
                        "<parm name=\"z\" value=\"3\"/></characteristic></characteristic>"));
    ASSERT_EQ(h.RegValues.size(), 2u);
    EXPECT_EQ(h.RegValues[0].KeyPath, "A");
    EXPECT_EQ(h.RegValues[1].KeyPath, "A");
    EXPECT_EQ(h.RegValues[1].Name, "Y");
    // B's closing tag ended key A, so z was met by the Registry routine, which skips parms, and
    // A's closing tag ended the Registry section.
    EXPECT_THAT(h.MarkupAfter, IsEmpty());
}

// Extra closing tags: inside a directory one ends it early; at the top they are skipped.
TEST(SectionRule, ExtraClosingTags) {
    TSetupXML h;
    LoadText(h, Wrapped(InstallSection("A", "\\A") + "</characteristic></characteristic>" +
                        FileOperation(Directory("%CE2%", FileEntry("a.dll", "a.001") +
                                                             "</characteristic>" +
                                                             FileEntry("b.dll", "b.002")))));
    EXPECT_EQ(h.Project.SoftwareName, "A");
    EXPECT_THAT(FileNames(h), ElementsAre("%WinDir%\\a.dll"));
    EXPECT_THAT(h.MarkupAfter, IsEmpty()); // b.dll was taken for a directory and yielded nothing
}

// Items running out: each routine returns one past its first item and its caller walks on, so
// a cut document keeps what was read and the rest is collected as markup.
TEST(SectionRule, MissingClosingTagsAtTheEnd) {
    TSetupXML h;
    LoadText(h, "<root><characteristic type=\"FileOperation\">"
                "<characteristic type=\"%CE2%\" translation=\"install\">"
                "<characteristic type=\"a.dll\" translation=\"install\">"
                "<characteristic type=\"Extract\"><parm name=\"Source\" value=\"a.001\"/>");
    EXPECT_THAT(FileNames(h), ElementsAre("%WinDir%\\a.dll"));
    EXPECT_EQ(Lines(h.MarkupAfter), "<characteristic type=\"a.dll\" translation=\"install\">"
                                    "|    <characteristic type=\"Extract\">"
                                    "|        <parm name=\"Source\" value=\"a.001\" />");
}

// A missing closing tag of the Install section: it runs to the next closing tag at its level.
TEST(SectionRule, InstallSectionWithoutClosingTagTakesTheNextOne) {
    TSetupXML h;
    LoadText(h, Wrapped("<characteristic type=\"Install\"><parm name=\"AppName\" value=\"A\"/>" +
                        FileOperation(Directory("%CE2%", FileEntry("a.dll", "a.001")))));
    // The Install routine skipped the FileOperation, directory and file tags one at a time and
    // ended at the Extract's closing tag; the walk went on from there at the top.
    EXPECT_EQ(h.Project.SoftwareName, "A");
    EXPECT_THAT(h.Files, IsEmpty());
}
