// Texts from a cabinet, its signature and its command line must not steer a terminal: every mode
// of the tool runs on a setup whose every text field holds control characters, and nothing it
// prints holds one raw. Linux only (signing, file names with control bytes).
#include "cab/PlainText.h"
#include "report/Page.h"
#include "tests/support/CabinetSigner.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/support/HostileFixtures.h"
#include "tests/support/PEBuilder.h"
#include "tests/tools/ToolRun.h"
#include "tools/TextReport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// ESC (a title sequence), BEL, CR, LF, DEL and C1 CSI, as 8-bit bytes.
const std::string kHostile = "\x1b]0;owned\x07\r\nI\x7f\x9b"
                             "2J";
// The same as UTF-8, for texts read as UTF-8 (certificate names, XML, version resources).
const std::string kHostileUtf8 = "\x1b]0;owned\x07\r\nI\x7f\xC2\x9b"
                                 "2J";

// A raw control character of what a terminal receives: C0 but tab and line end, DEL, and C1
// whether as a byte outside UTF-8 or as U+0080 to U+009F inside it.
std::string FirstRawControl(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const size_t length = Utf8SequenceLength(text, i);
        const bool c1 = length == 2 && b == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if ((length <= 1 && IsControlByte(b) && b != '\n') || c1) {
            const size_t from = i > 40 ? i - 40 : 0;
            return "at " + std::to_string(i) + ": " + PlainText(text.substr(from, 60));
        }
        i += length == 0 ? 1 : length;
    }
    return {};
}

struct HostileSetup {
    std::string Cabinet; // signed when osslsigncode is there
    std::string Renamed; // the same cabinet under a name full of control characters
    std::string NotCabinet;
    bool Signed = false;
};

// A binary setup with the hostile text in every string of its descriptor, a program whose
// version resource carries it, a provisioning document with it in names, values and a
// certificate's name, and a signature whose signer is named with it.
HostileSetup MakeHostileSetup(const TempDir& dir) {
    DescriptorBuilder b("App" + kHostile, "Co" + kHostile, "%CE1%\\Dir" + kHostile, false);
    const uint16_t program = b.File(b.Dir("%CE1%\\Dir" + kHostile), "p" + kHostile + ".exe");
    b.RegString(b.RegKey(3, "Software\\K" + kHostile), "N" + kHostile, "D" + kHostile);
    b.Shortcut("S" + kHostile, program);

    PEPlan pe;
    pe.Imports = {"coredll" + kHostile + ".dll"};
    PEVersionPlan version;
    version.Strings = {{"CompanyName", "Co" + kHostile},
                       {"FileVersion", "1" + kHostile},
                       {"ProductName", "P" + kHostile}};
    pe.Version = version;
    SetupCabinetContents contents;
    contents.FileData[program] = BuildPEImage(pe);

    const std::string certificate = Base64Lines(SelfSignedCertificateDer("CN" + kHostileUtf8));
    const std::string xml =
        "<wap-provisioningdoc><characteristic type=\"Registry\"><characteristic type=\"HKLM\\K" +
        kHostileUtf8 + "\"><parm name=\"N" + kHostileUtf8 + "\" value=\"V" + kHostileUtf8 +
        "\" datatype=\"string\"/></characteristic></characteristic>"
        "<characteristic type=\"CertificateStore\"><characteristic type=\"ROOT\">"
        "<characteristic type=\"0123456789ABCDEF0123456789ABCDEF01234567\"><parm "
        "name=\"EncodedCertificate\" value=\"" +
        certificate +
        "\"/></characteristic></characteristic></characteristic></wap-provisioningdoc>";
    contents.Extra.push_back({"_setup.xml", Bytes(xml)});
    contents.Extra.push_back({"x" + kHostile + ".txt", Bytes("x")});

    HostileSetup setup;
    const std::string plain = dir.File("plain.cab");
    WriteSetupCabinet(plain, b.Plan(), contents);
    setup.Cabinet = plain;
    if (HaveOsslsigncode()) {
        fs::create_directories(dir.File("key"));
        const SigningKey key = MakeSigningKey(dir.File("key"), "Signer" + kHostileUtf8);
        std::string log;
        setup.Signed = SignCabinet(key, plain, dir.File("signed.cab"), "sha256", 0, log);
        if (setup.Signed) setup.Cabinet = dir.File("signed.cab");
    }
    setup.Renamed = dir.File("named" + kHostile + ".cab");
    fs::copy_file(setup.Cabinet, setup.Renamed);
    setup.NotCabinet = dir.File("not" + kHostile + ".cab");
    WriteFileBytes(setup.NotCabinet, Bytes("not a cabinet at all"));
    return setup;
}

} // namespace

TEST(Terminal, NoModePrintsARawControlCharacterFromAnyField) {
    TempDir dir;
    const HostileSetup s = MakeHostileSetup(dir);
    const std::string missing = dir.File("missing" + kHostile + ".cab");
    const std::vector<std::vector<std::string>> runs = {
        {s.Renamed},
        {"--json", s.Renamed},
        {"--jsonl", s.Renamed},
        {"--entries", s.Renamed},
        {"--entries", "--json", s.Renamed},
        {"--audit", s.Renamed},
        {"--audit", "--json", s.Renamed},
        {"--audit", "--jsonl", s.Renamed, s.NotCabinet},
        {"--verify", s.Renamed},
        {"--verify", s.NotCabinet},
        {"--verify", s.Renamed, s.NotCabinet, missing},
        {s.Renamed, s.NotCabinet, missing},
        {"--entries", s.Renamed, s.NotCabinet},
        {"--json", s.Renamed, s.NotCabinet, missing},
        {"--diff", dir.File("plain.cab"), s.Renamed},
        {"--diff", "--json", dir.File("plain.cab"), s.Renamed},
        {"--diff", s.Renamed, s.NotCabinet},
        {"--diff", missing, s.Renamed},
        {"--extract", "p" + kHostile, "--folder", "x" + kHostile, "--output", dir.File("x"),
         s.Renamed},
        {"--extract", "p" + kHostile + ".exe", "--folder", "%CE1%\\Dir" + kHostile, "--output",
         dir.File("o" + kHostile + "/none/x"), s.Renamed},
        {"--extract-all", dir.File("out" + kHostile), s.Renamed},
        {"--bogus" + kHostile, s.Renamed},
    };
    for (const auto& args : runs) {
        const ToolRun run = RunTool(args, 60);
        std::string name;
        for (const std::string& a : args)
            name += PlainText(a) + " ";
        SCOPED_TRACE(name);
        EXPECT_GE(run.Exit, 0);
        if (args[0] != "--extract-all") {
            EXPECT_FALSE(run.Out.empty() && run.Err.empty()) << "something was said";
        }
        EXPECT_EQ(FirstRawControl(run.Out), "");
        EXPECT_EQ(FirstRawControl(run.Err), "");
    }

    // The texts are there, escaped; nothing was left out to pass.
    const ToolRun text = RunTool({"--audit", s.Renamed}, 60);
    for (const char* shown :
         {"App\\x1b]0;owned\\x07\\x0d\\x0aI\\x7f\\x9b2J", "Subject             CN=CN\\1B]0",
          "N\\x1b]0;owned\\x07\\x0d\\x0aI\\x7f\\x9b2J",
          "Co\\x1b]0;owned\\x07\\x0d\\x0aI\\x7f\\x9b2J",
          "\n%InstallDir%\\p\\x1b]0;owned\\x07\\x0d\\x0aI\\x7f\\x9b2J.exe\n"})
        EXPECT_NE(text.Out.find(shown), std::string::npos) << shown;
    const ToolRun labelled = RunTool({s.Renamed, s.NotCabinet}, 60);
    EXPECT_NE(labelled.Out.find("==> " + PlainText(s.Renamed) + " <=="), std::string::npos);
    if (s.Signed) {
        const ToolRun verify = RunTool({"--verify", s.Cabinet}, 60);
        EXPECT_EQ(verify.Exit, 0);
        // One verdict line, whatever the signer's name, then the trust statement's line.
        const size_t first = verify.Out.find('\n');
        EXPECT_EQ(verify.Out.substr(0, first + 1),
                  "Intact: signed by Signer" + PlainText(kHostileUtf8) + "\n");
        EXPECT_EQ(verify.Out.compare(first + 1, 7, "Trust: "), 0) << verify.Out;
        EXPECT_EQ(std::count(verify.Out.begin(), verify.Out.end(), '\n'), 2) << verify.Out;
    }
    const ToolRun notCabinet = RunTool({"--verify", s.NotCabinet}, 60);
    EXPECT_EQ(notCabinet.Err, PlainText(s.NotCabinet) + ": not a cabinet file\n");

    // JSON keeps the exact values, with the controls as escapes.
    const auto doc = nlohmann::json::parse(RunTool({"--audit", "--json", s.Cabinet}, 60).Out);
    EXPECT_EQ(doc["project"]["SoftwareName"], "App\x1b]0;owned\x07\r\nI\x7f\u009b"
                                              "2J");
    const auto diff = nlohmann::json::parse(
        RunTool({"--diff", "--json", dir.File("plain.cab"), s.Renamed}, 60).Out);
    EXPECT_EQ(diff["new"], s.Renamed.substr(0, s.Renamed.size() - kHostile.size() - 4) +
                               "\x1b]0;owned\x07\r\nI\x7f\xEF\xBF\xBD"
                               "2J.cab");
}

TEST(Terminal, AWideCellIsCutInTextAndWholeInJson) {
    // One program's company is 32,000 control characters: every row of the Programs list would
    // be padded to its escaped width.
    TempDir dir;
    const std::string cab = dir.File("wide.cab");
    WriteWideCompanyCabinet(cab, 300);

    const ToolRun text = RunTool({"--audit", cab}, 60);
    EXPECT_EQ(text.Exit, 0) << text.Err;
    size_t longest = 0;
    for (size_t start = 0; start < text.Out.size();) {
        const size_t end = std::min(text.Out.find('\n', start), text.Out.size());
        longest = std::max(longest, end - start);
        start = end + 1;
    }
    // The widest line holds a few columns each at most the cell limit and its marker.
    EXPECT_LT(longest, 8 * (kMaxShownCell + 32)) << "lines bounded whatever the data";
    EXPECT_LT(text.Out.size(), 2u << 20);
    EXPECT_NE(text.Out.find("... (32000 bytes)"), std::string::npos);

    const auto doc = nlohmann::json::parse(RunTool({"--audit", "--json", cab}, 60).Out);
    ASSERT_EQ(doc["binaries"].size(), 301u);
    EXPECT_EQ(doc["binaries"][0]["CompanyName"], std::string(32000, '\x1b'))
        << "JSON keeps the whole company";
}

TEST(Terminal, TablesEscapeAControlByteWhereverItStands) {
    // Cells are passed eight bytes at a time when plain: a control byte at any offset, in a
    // cell of any length, must still be seen.
    for (const char bad : {'\x00', '\x1b', '\x1f', '\x7f', '\x80', '\x9f'})
        for (size_t length = 1; length <= 24; ++length)
            for (size_t at = 0; at < length; ++at) {
                std::string cell(length, 'a');
                cell[at] = bad;
                std::ostringstream out;
                TFieldTables tables(out);
                const char* const captions[2] = {"Field", "Value"};
                tables.Begin(captions);
                tables.Field("Company", cell);
                tables.End();
                tables.Flush();
                TPage page;
                page.Columns = {{"Value", 10}};
                page.Rows.emplace_back().Cells = {TextCell(cell)};
                WriteTable(out, page);
                ASSERT_EQ(out.str().find(bad), std::string::npos)
                    << "byte " << int(static_cast<unsigned char>(bad)) << " at " << at << " of "
                    << length;
            }
}

TEST(Terminal, FieldTablesInARowKeepTheirOwnCaptionsAndEscapeHeadingsAsOneText) {
    std::ostringstream out;
    TFieldTables tables(out);
    const char* const programCaptions[2] = {"Field", "Value"};
    const char* const otherCaptions[2] = {"Name", "Data"};
    // The same captions twice (kept from the table before), then others, then the first again.
    for (const auto* captions :
         {&programCaptions, &programCaptions, &otherCaptions, &programCaptions}) {
        tables.Begin(*captions);
        tables.Field("Kind", (*captions)[0]);
        tables.End();
    }
    // A heading is escaped as the one text its two parts make: here they make U+0085, which
    // neither part holds alone.
    const std::pair<std::string, std::string> headings[] = {
        {"\\Windows\\", "App.exe"},
        {"\\D\xC2", "\x85.exe"},
        {"\\Esc\x1b]0;", "title\x07.exe"},
        {"\\Caf\xC3", "\xA9\\a.dll"},
    };
    for (const auto& [folder, name] : headings)
        tables.EscapedLine(folder, name);
    tables.Flush();
    const std::string program = "  Field  Value\n  Kind   Field\n";
    std::string expected = program + program + "  Name  Data\n  Kind  Name\n" + program;
    for (const auto& [folder, name] : headings)
        expected += PlainText(folder + name) + "\n";
    EXPECT_EQ(out.str(), expected);
    EXPECT_NE(out.str().find("\\D\\x85.exe\n"), std::string::npos);
}
