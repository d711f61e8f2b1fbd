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

std::string HostileFixtureDir() {
    const std::string dir = std::string(TESSARY_BINARY_DIR) + "/hostile-fixtures";
    std::filesystem::create_directories(dir);
    return dir;
}
