#include "tests/xml/SetupXMLSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::IsEmpty;

// Unrecognised top-level tags before the first FileOperation or Registry section go to
// MarkupBefore, one line each, CR-separated, four spaces per level, quotes made double, the
// slash attribute dropped, macros translated; after it they go to MarkupAfter.
TEST(MarkupLayout, BeforeAndAfterTheFirstSection) {
    TSetupXML h;
    LoadText(h, Wrapped("<parm name=\"Top\" value=\"%CE2%\\x\" />\n"
                        "<characteristic type='Custom' translation=\"install\">\n"
                        "  <characteristic type=\"Inner\">\n"
                        "    <parm name=\"Deep\" value='q'/>\n"
                        "  </characteristic>\n"
                        "  <other tag/> text <!-- c -->\n"
                        "</characteristic>\n" +
                        InstallSection("App", "\\Demo") + "<characteristic type=\"Early\" />\n" +
                        FileOperation("") + "<characteristic type=\"After\"/>\n"));
    EXPECT_EQ(Lines(h.MarkupBefore), "<parm name=\"Top\" value=\"%WinDir%\\x\" />"
                                     "|<characteristic type=\"Custom\" translation=\"install\">"
                                     "|    <characteristic type=\"Inner\">"
                                     "|        <parm name=\"Deep\" value=\"q\" />"
                                     "|    </characteristic>"
                                     "|</characteristic>"
                                     "|<characteristic type=\"Early\" />");
    EXPECT_EQ(Lines(h.MarkupAfter), "<characteristic type=\"After\" />");
}

// MarkupBefore is translated once the walk is over, so it sees the final InstallDir.
TEST(MarkupLayout, MarkupIsTranslatedWithTheFinalInstallDir) {
    TSetupXML h;
    LoadText(h,
             Wrapped("<parm name=\"p\" value=\"\\Demo\\x\" />" + InstallSection("App", "\\Demo")));
    EXPECT_EQ(h.MarkupBefore, "<parm name=\"p\" value=\"%InstallDir%\\x\" />");
}

// An open parm at the top takes in everything up to the next "/characteristic".
TEST(MarkupLayout, OpenParmTakesInTheFollowingTags) {
    TSetupXML h;
    LoadText(h, Wrapped("<parm name=\"p\"><characteristic type=\"c\"><parm name=\"q\"/>"
                        "</characteristic><parm name=\"r\"/></characteristic><parm name=\"s\"/>"));
    EXPECT_EQ(Lines(h.MarkupBefore), "<parm name=\"p\">"
                                     "|    <characteristic type=\"c\">"
                                     "|        <parm name=\"q\" />"
                                     "|    </characteristic>"
                                     "|    <parm name=\"r\" />"
                                     "|</characteristic>"
                                     "|<parm name=\"s\" />");
}

// Large markup is translated in pieces; the result equals one MacroizePath over the whole text,
// also when InstallDir holds markup and the whole-text rules could tell the two apart.
TEST(MarkupLayout, LargeMarkupTranslatesAsOneText) {
    for (const char* installDirText : {"\\Demo", "<parm name=\"q\" />"}) {
        const std::string installDir = installDirText;
        std::string body = "<characteristic type=\"Install\"><parm name=\"InstallDir\" value='" +
                           installDir + "'/></characteristic>";
        std::string raw;
        for (int i = 0; i < 20000; ++i) {
            const std::string line = (i % 7 == 3) ? "<parm name=\"q\" />"
                                                  : "<parm name=\"p\" value=\"\\Demo\\x%CE2%\" />";
            body += line;
            raw += (raw.empty() ? "" : "\r") + line;
        }
        TSetupXML h;
        LoadText(h, Wrapped(body));
        ASSERT_EQ(h.Project.InstallDir, installDir);
        ASSERT_GT(raw.size(), 4 * TSetupXML::kMarkupPieceSize);
        EXPECT_EQ(h.MarkupBefore, h.MacroizePath(raw, false, false)) << installDir;
        EXPECT_NE(h.MarkupBefore.find("%WinDir%"), std::string::npos);
    }
}

// The first tag names the root: a declaration makes the walk run to the end of the items.
TEST(RootTag, XmlDeclarationBecomesTheRootAndTheWalkRunsToTheEnd) {
    const std::string body =
        Wrapped(FileOperation(Directory("%CE2%", FileEntry("a.dll", "a.001")))) +
        "<characteristic type=\"Late\" />";
    TSetupXML declared;
    LoadText(declared, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n" + body);
    EXPECT_EQ(declared.RootTagName, "?xml");
    EXPECT_EQ(declared.Files.size(), 1u);
    EXPECT_EQ(declared.MarkupAfter, "<characteristic type=\"Late\" />");
    TSetupXML plain;
    LoadText(plain, body);
    EXPECT_EQ(plain.RootTagName, "wap-provisioningdoc");
    EXPECT_EQ(plain.Files.size(), 1u);
    EXPECT_THAT(plain.MarkupAfter, IsEmpty()); // the walk stopped at the root's closing tag
}

// Without a wrapping root the Install characteristic is the root: every section is read, and
// only a "/characteristic" that no section consumed ends the walk.
TEST(RootTag, InstallCharacteristicFirstIsReadInFull) {
    TSetupXML h;
    LoadText(h, InstallSection("App", "\\Demo") +
                    FileOperation(Directory("\\Demo", FileEntry("a.exe", "a.001"))) +
                    "<characteristic type=\"Registry\"><characteristic type=\"HKLM\\K\">"
                    "<parm name=\"v\" value=\"1\"/></characteristic></characteristic>"
                    "</characteristic>" +
                    FileOperation(Directory("\\Demo", FileEntry("b.exe", "b.002"))));
    EXPECT_EQ(h.RootTagName, "characteristic");
    EXPECT_EQ(h.Project.SoftwareName, "App");
    ASSERT_EQ(h.Files.size(), 1u);
    EXPECT_EQ(h.Files[0].Dir, "%InstallDir%");
    EXPECT_EQ(h.RegValues.size(), 1u);
}

// A document failing the probe loads as an empty setup; four Project fields survive.
TEST(RootTag, UnrecognisedDocumentGivesAnEmptyModel) {
    TSetupXML h;
    LoadText(h, Wrapped(InstallSection("App", "\\Demo") +
                        FileOperation(Directory("%CE2%", FileEntry("a.dll", "a.001")))));
    ASSERT_EQ(h.Files.size(), 1u);
    h.Project.CE4Plus = 1;
    h.Project.PlatformName = "PocketPC";
    h.Project.CompanyName = "Old";
    h.Project.Processor = 2577;
    LoadText(h, "<characteristic type=\"Install\"><PARAM name=\"AppName\" value=\"X\"/>");
    EXPECT_THAT(h.Files, IsEmpty());
    EXPECT_THAT(h.RootTagName, IsEmpty());
    EXPECT_THAT(h.Project.SoftwareName, IsEmpty());
    EXPECT_THAT(h.Project.InstallDir, IsEmpty());
    EXPECT_THAT(h.Project.CompanyName, IsEmpty());
    EXPECT_EQ(h.Project.Processor, -1);
    EXPECT_EQ(h.Project.CE4Plus, 1);
    EXPECT_EQ(h.Project.PlatformName, "PocketPC");
}
