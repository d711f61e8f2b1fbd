#include "tests/support/HostileFixtures.h"

#include "tests/support/DescriptorWriter.h"
#include "tests/support/PEBuilder.h"

#include <filesystem>

void WriteDescriptorBombCabinet(const std::string& path) {
    DescriptorBuilder b("Bomb", "Acme", "%CE1%\\Bomb", false);
    b.File(1, "app.exe");
    std::vector<uint8_t> descriptor = WriteDescriptorBytes(b.Plan());
    descriptor.resize(65u << 20, 0);
    WriteCabinet(path, {{"SETUP.000", std::move(descriptor)}, {"APP.001", Bytes("app")}},
                 FixtureCompression::MSZIP);
}

void WriteDeepFolderCabinet(const std::string& path) {
    DescriptorBuilder b("Deep", "Acme", "%CE1%\\Deep", false);
    std::string folder = "%CE1%";
    for (int i = 0; i < 30000; ++i)
        folder += "\\a";
    b.File(b.Dir(folder), "deep.txt");
    WriteSetupCabinet(path, b.Plan(), {}, FixtureCompression::MSZIP);
}

void WriteSharedImageCabinet(const std::string& path, int rows, int imports) {
    PEPlan plan;
    for (int i = 0; i < imports; ++i)
        plan.Imports.push_back(std::string(190, 'd') + std::to_string(100000 + i) + ".dll");
    std::string files;
    for (int i = 0; i < rows; ++i)
        files += "<characteristic type=\"f" + std::to_string(i) +
                 ".exe\" translation=\"install\"><characteristic type=\"Extract\"><parm "
                 "name=\"Source\" value=\"APP.001\"/></characteristic></characteristic>";
    const std::string xml =
        "<wap-provisioningdoc><characteristic type=\"Install\"><parm name=\"AppName\" "
        "value=\"Shared\"/><parm name=\"InstallDir\" value=\"%CE1%\\Shared\" "
        "translation=\"install\"/><parm name=\"NumFiles\" value=\"" +
        std::to_string(rows) +
        "\"/></characteristic><characteristic type=\"FileOperation\"><characteristic "
        "type=\"%CE1%\\Shared\" translation=\"install\">" +
        files + "</characteristic></characteristic></wap-provisioningdoc>";
    WriteCabinet(path, {{"_setup.xml", Bytes(xml)}, {"APP.001", BuildPEImage(plan)}},
                 FixtureCompression::MSZIP);
}

size_t WriteWideCompanyCabinet(const std::string& path, int others) {
    DescriptorBuilder b("Wide", "Acme", "%CE1%\\Wide", false);
    SetupCabinetContents contents;
    PEPlan wide;
    PEVersionPlan version;
    version.Strings = {{"CompanyName", std::string(32000, '\x1b')}};
    wide.Version = version;
    contents.FileData[b.File(1, "wide.exe")] = BuildPEImage(wide);
    size_t held = contents.FileData.begin()->second.size();
    const std::vector<uint8_t> image = BuildPEImage(PEPlan());
    for (int i = 0; i < others; ++i) {
        contents.FileData[b.File(1, "p" + std::to_string(i) + ".exe")] = image;
        held += image.size();
    }
    WriteSetupCabinet(path, b.Plan(), contents, FixtureCompression::MSZIP);
    return held;
}

namespace {
// A self-signed RSA certificate made for the tests ("Tessary Test Slow Root").
const char* const kSlowCertificate =
    "MIIDQjCCAiqgAwIBAgIBBzANBgkqhkiG9w0BAQsFADA5MR8wHQYDVQQDDBZUZXNzYXJ5IFRlc3QgU2xvdyBSb290"
    "MRYwFAYDVQQKDA1UZXNzYXJ5IFRlc3RzMCAXDTI2MTIwOTE4NTczM1oYDzIxMjYxMTE1MTg1NzMzWjA5MR8wHQYD"
    "VQQDDBZUZXNzYXJ5IFRlc3QgU2xvdyBSb290MRYwFAYDVQQKDA1UZXNzYXJ5IFRlc3RzMIIBIjANBgkqhkiG9w0B"
    "AQEFAAOCAQ8AMIIBCgKCAQEAnV9t1ey0icfz+u4N0hQJjpaYNVqp4Q4uNSTtyaHPAHCJCwovkno2hdEMEokAHF21"
    "6JjaOoTA8XV4GzrR86IEW9aDfbRIDDmF/+t5Z2KIO11iA7ADX/Xkpnech8uWqD3pjPB5dgBn+YY2YEBM/ueZF8a6"
    "6ecMPNsZmo299U9UZwlbilBcyB7gepNCIbYI0ryIR9Ufhxa7NoR5Ec/Of7oc0nYCSIT63URvN5vk0t5bmM8Qe27Z"
    "kgsaIrmW+eSOC910a22bXcZq7eP5DCnakrRKIsQckdARtdM16gQMTmTehbzbnSFujr3m3BpKcwRTRpuDK3O4AJAY"
    "zjYF0zGP7Fj3hQIDAQABo1MwUTAdBgNVHQ4EFgQUmWtCiuw1ahgJNOEEipnjmOcEObcwHwYDVR0jBBgwFoAUmWtC"
    "iuw1ahgJNOEEipnjmOcEObcwDwYDVR0TAQH/BAUwAwEB/zANBgkqhkiG9w0BAQsFAAOCAQEADUlw4dMkVnhRvBhb"
    "SXn7FBQy9XqY7J0xmtPnY+2D+Fgq6xEQY/7reRR8HyxKoLA9rHB+PjGjfrQmnsEQaNBqqL7IDgRV+xHHFTySxyIA"
    "/BhSg8iY9UxnCCjzY5tOveUddEx+nEr80cRFAC6k2LJVJMp9fStlYv3Tq1Bk2nujJRkrmMwPH0GIX/2Bhjm6oS6e"
    "cyOFAeJe3ytPEFAg87K7xQTsfJ9TY00oSFudBsTJgyFjYyxkSxkgwedjJwdcpJv7JdNjVoEwpgCzmyiIrxbnqF7B"
    "BdrYJJ+kUWbFpLf8kSJwziyXBxBT3OdrBDKG/wpRg41I6gbngqwQDbhL7w0Ovg==";
} // namespace

void WriteDocumentCabinet(const std::string& path, const std::string& characteristics) {
    const std::string xml =
        "<wap-provisioningdoc><characteristic type=\"Install\"><parm name=\"AppName\" "
        "value=\"Slow\"/><parm name=\"InstallDir\" value=\"%CE1%\\Slow\" "
        "translation=\"install\"/><parm name=\"NumFiles\" value=\"2\"/></characteristic>"
        "<characteristic type=\"FileOperation\"><characteristic type=\"%CE1%\\Slow\" "
        "translation=\"install\"><characteristic type=\"slow.exe\" translation=\"install\">"
        "<characteristic type=\"Extract\"><parm name=\"Source\" value=\"SLOW.001\"/>"
        "</characteristic></characteristic><characteristic type=\"readme.txt\" "
        "translation=\"install\"><characteristic type=\"Extract\"><parm name=\"Source\" "
        "value=\"README.002\"/></characteristic></characteristic></characteristic>"
        "</characteristic>" +
        characteristics + "</wap-provisioningdoc>";
    WriteCabinet(path,
                 {{"_setup.xml", Bytes(xml)},
                  {"SLOW.001", BuildPEImage(PEPlan{})},
                  {"README.002", Bytes("slow")}},
                 FixtureCompression::MSZIP);
}

void WriteSlowDocumentCabinet(const std::string& path, int certificates, int depth) {
    std::string store;
    for (int i = 0; i < certificates; ++i)
        store += "<characteristic type=\"" + std::to_string(100000 + i) +
                 "\"><parm name=\"EncodedCertificate\" value=\"" + kSlowCertificate +
                 "\"/></characteristic>";
    std::string nested;
    for (int i = 0; i < depth; ++i)
        nested += "<characteristic type=\"n\">";
    for (int i = 0; i < depth; ++i)
        nested += "</characteristic>";
    WriteDocumentCabinet(path, "<characteristic type=\"CertificateStore\"><characteristic "
                               "type=\"ROOT\">" +
                                   store +
                                   "</characteristic></characteristic><characteristic "
                                   "type=\"Deep\">" +
                                   nested + "</characteristic>");
}

std::string HostileFixtureDir() {
    const std::string dir = std::string(TESSARY_BINARY_DIR) + "/hostile-fixtures";
    std::filesystem::create_directories(dir);
    return dir;
}
