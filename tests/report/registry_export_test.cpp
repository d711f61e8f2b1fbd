// The registry values as a REGEDIT4 file: every type, escaping, and what cannot be written.
#include "report/RegistryExport.h"
#include "tests/report/ReportFixtures.h"
#include "tests/support/DescriptorWriter.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(RegistryExport, ABinarySetupsValuesOfEveryTypeAsTheReaderGivesThem) {
    TempDir dir;
    DescriptorBuilder b("Demo", "Acme", "%CE1%\\Demo");
    const uint16_t acme = b.RegKey(3, "Software\\Acme");
    b.RegString(acme, "Path", "%CE1%\\Demo\\a\"b");
    b.RegNumber(acme, "Count", 0xDEADBEEF);
    b.RegBinary(acme, "Blob", {0x01, 0xAB, 0x00});
    b.RegMultiString(b.RegKey(3, "SOFTWARE\\acme"), "List", {"one", "two"});
    b.RegString(b.RegKey(2, "Settings"), "", "on");
    WriteSetupCabinet(dir.File("r.cab"), b.Plan());
    LoadedSetup loaded(dir.File("r.cab"));
    EXPECT_EQ(RegistryExportText(loaded.Setup),
              "REGEDIT4\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Settings]\r\n"
              "@=\"on\"\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Acme]\r\n"
              "\"Path\"=\"%ProgramFilesDir%\\\\Demo\\\\a\\\"b\"\r\n"
              "\"Count\"=dword:deadbeef\r\n"
              "\"Blob\"=hex:01,ab,00\r\n"
              "\"List\"=hex(7):6f,6e,65,00,74,77,6f,00,00\r\n"
              "\r\n");
}

TEST(RegistryExport, XmlBinaryIsBase64AndTextsThatAreNotTheirTypeBecomeComments) {
    TCESetup setup;
    setup.Format = kFormatXML;
    setup.RegValues = {Value(0, ".txt", "", kTypeString, "line\r\nbreak"),
                       Value(0, ".txt", "Data", kTypeBinary, "AQKr/w=="),
                       Value(0, ".txt", "Bad", kTypeBinary, "01 02"),
                       Value(0, ".txt", "Hex", kTypeInteger, "0x10"),
                       Value(0, ".txt", "Big", kTypeInteger, "4294967296"),
                       Value(0, ".txt", "Max", kTypeInteger, "4294967295"),
                       Value(0, ".txt", "None", kTypeMultiString, ""),
                       Value(0, ".txt", "Odd", 9, "x"),
                       Value(7, "Key", "Lost", kTypeString, "x"),
                       Value(1, "Bad\nKey", "V", kTypeString, "y")};
    EXPECT_EQ(RegistryExportText(setup),
              "REGEDIT4\r\n"
              "\r\n"
              "[HKEY_CLASSES_ROOT\\.txt]\r\n"
              "@=hex(1):6c,69,6e,65,0d,0a,62,72,65,61,6b,00\r\n"
              "\"Data\"=hex:01,02,ab,ff\r\n"
              "; left out, not exactly a REG_BINARY: \"Bad\"=\"01 02\"\r\n"
              "; left out, not exactly a REG_DWORD: \"Hex\"=\"0x10\"\r\n"
              "; left out, not exactly a REG_DWORD: \"Big\"=\"4294967296\"\r\n"
              "\"Max\"=dword:ffffffff\r\n"
              "\"None\"=hex(7):00\r\n"
              "; left out, not exactly a 9: \"Odd\"=\"x\"\r\n"
              "\r\n"
              "; left out, a line break in the key: [HKEY_CURRENT_USER\\Bad\\nKey]\r\n"
              "; \"V\"=\"y\"\r\n"
              "\r\n"
              "; left out, not a registry root: [(Unknown root 7)\\Key]\r\n"
              "; \"Lost\"=\"x\"\r\n"
              "\r\n");
}

TEST(RegistryExport, WritesTheFileOrSaysWhyWithoutLeavingOne) {
    TempDir dir;
    TCESetup setup;
    setup.RegValues = {Value(2, "K", "V", kTypeString, "x")};
    const TWriteResult written = ExportRegistry(setup, dir.File("out.reg"));
    ASSERT_TRUE(written.Ok) << written.Message;
    const auto bytes = ReadFileBytes(dir.File("out.reg"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), RegistryExportText(setup));

    const std::string unwritable = dir.File("no such folder") + kPathSeparator + "out.reg";
    const TWriteResult refused = ExportRegistry(setup, unwritable);
    EXPECT_FALSE(refused.Ok);
    EXPECT_NE(refused.Message.find(unwritable), std::string::npos) << refused.Message;
    EXPECT_FALSE(std::filesystem::exists(unwritable));
}

// Data texts cut at every byte: each is written exactly or left out as a comment, never
// guessed. Only cuts at whole bytes or whole base64 groups can be exact.
TEST(RegistryExport, DataCutAtEveryByteIsWrittenExactlyOrLeftOut) {
    const struct {
        uint8_t Format;
        int32_t Type;
        std::string Data;
    } cases[] = {{kFormatBinary, kTypeBinary, "01 AB FF 00"},
                 {kFormatXML, kTypeBinary, "AQKr/wAB"},
                 {kFormatBinary, kTypeInteger, "4294967295"}};
    for (const auto& c : cases) {
        for (size_t cut = 0; cut <= c.Data.size(); ++cut) {
            TCESetup setup;
            setup.Format = c.Format;
            setup.RegValues = {Value(2, "K", "V", c.Type, c.Data.substr(0, cut))};
            const std::string text = RegistryExportText(setup);
            const std::string line = text.substr(text.find("\r\n", 26) + 2);
            SCOPED_TRACE(c.Data.substr(0, cut));
            const bool exact =
                c.Type == kTypeInteger
                    ? cut > 0
                    : (c.Format == kFormatXML ? cut % 4 == 0 : cut == 0 || cut % 3 == 2);
            EXPECT_EQ(line[0] == '"', exact) << line;
            EXPECT_EQ(line[0] == ';', !exact) << line;
        }
    }
    TCESetup setup;
    setup.RegValues = {Value(2, "K", "V", kTypeBinary, "01 AB")};
    EXPECT_NE(RegistryExportText(setup).find("\"V\"=hex:01,ab\r\n"), std::string::npos);
}
