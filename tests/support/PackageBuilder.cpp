#include "tests/support/PackageBuilder.h"

#include "tests/support/CabinetBuilder.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/support/PEBuilder.h"
#include "tests/support/Process.h"

#include <stdexcept>

std::vector<uint8_t> SmallSetupCabinet(const std::string& appName, uint16_t machine) {
    DescriptorBuilder b(appName, "Acme", "%CE1%\\" + appName, false);
    b.File(1, appName + ".exe");
    PEPlan pe;
    pe.Machine = machine;
    SetupCabinetContents contents;
    contents.FileData[1] = BuildPEImage(pe);
    return BuildSetupCabinet(b.Plan(), contents, FixtureCompression::None);
}

std::vector<uint8_t> PlainCabinet(const ZipEntries& entries) {
    std::vector<FixtureEntry> fixture;
    for (const auto& [name, data] : entries)
        fixture.push_back({name, data});
    return BuildCabinet(fixture, FixtureCompression::MSZIP);
}

std::vector<uint8_t> SelfExtractingProgram(const std::vector<std::vector<uint8_t>>& cabinets,
                                           bool fakeHeaderFirst) {
    PEPlan plan;
    plan.Machine = 0x014c;
    plan.Subsystem = 2;
    std::vector<uint8_t> image = BuildPEImage(plan);
    if (fakeHeaderFirst) {
        const std::vector<uint8_t> fake = Bytes("MSCF\x01\x02 this is no cabinet header at all");
        image.insert(image.end(), fake.begin(), fake.end());
    }
    for (const auto& cabinet : cabinets) {
        image.resize(image.size() + 13, 0x90); // a little padding, as stubs align their data
        image.insert(image.end(), cabinet.begin(), cabinet.end());
    }
    return image;
}

std::string
AppManagerIniText(const std::vector<std::pair<std::string, std::vector<std::string>>>& components) {
    std::string names, sections;
    for (const auto& [name, cabinets] : components) {
        names += (names.empty() ? "" : ",") + name;
        std::string list;
        for (const std::string& cab : cabinets)
            list += (list.empty() ? "" : ",") + cab;
        sections +=
            "\r\n[" + name + "]\r\nDescription = " + name + "\r\nCabFiles = " + list + "\r\n";
    }
    return "[CEAppManager]\r\nVersion = 1.0\r\nComponent = " + names + "\r\n" + sections;
}

bool BuildMsiWithWixl(const std::string& folder, const std::string& msiPath,
                      const ZipEntries& files, const ZipEntries& binaries) {
    std::string fileElements, binaryElements;
    int n = 0;
    for (const auto& [name, data] : files) {
        // wixl takes sources relative to the .wxs only.
        const std::string source = "file" + std::to_string(++n);
        WriteFileBytes(folder + "/" + source, data);
        fileElements += "<File Id=\"F" + std::to_string(n) + "\" Name=\"" + name + "\" Source=\"" +
                        source + "\"/>\n";
    }
    for (const auto& [id, data] : binaries) {
        const std::string source = "binary" + std::to_string(++n);
        WriteFileBytes(folder + "/" + source, data);
        binaryElements += "<Binary Id=\"" + id + "\" SourceFile=\"" + source + "\"/>\n";
    }
    const std::string wxs =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\n"
        "<Product Id=\"*\" Name=\"App\" Manufacturer=\"Acme\" Version=\"1.0.0\" Language=\"1033\""
        " UpgradeCode=\"12345678-1234-1234-1234-123456789012\">\n"
        "<Package InstallerVersion=\"200\" Compressed=\"yes\"/>\n"
        "<Media Id=\"1\" Cabinet=\"app.cab\" EmbedCab=\"yes\"/>\n" +
        binaryElements +
        "<Directory Id=\"TARGETDIR\" Name=\"SourceDir\"><Directory Id=\"ProgramFilesFolder\">"
        "<Directory Id=\"INSTALLDIR\" Name=\"App\">\n"
        "<Component Id=\"Cabs\" Guid=\"12345678-1234-1234-1234-123456789013\">\n" +
        fileElements +
        "</Component></Directory></Directory></Directory>\n"
        "<Feature Id=\"Main\" Level=\"1\"><ComponentRef Id=\"Cabs\"/></Feature>\n"
        "</Product></Wix>\n";
    const std::string wxsPath = folder + "/app.wxs";
    WriteFileBytes(wxsPath, Bytes(wxs));
    return RunQuietly({"wixl", "-o", msiPath, wxsPath}) == 0;
}
