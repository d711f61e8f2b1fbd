#include "tests/support/HostileFixtures.h"

#include "tests/support/DescriptorWriter.h"

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

std::string HostileFixtureDir() {
    const std::string dir = std::string(TESSARY_BINARY_DIR) + "/hostile-fixtures";
    std::filesystem::create_directories(dir);
    return dir;
}
