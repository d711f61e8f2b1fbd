#include "tests/support/PackageBuilder.h"

#include "tests/support/CabinetBuilder.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/support/PEBuilder.h"
#include "tests/support/Process.h"

#include <archive.h>
#include <archive_entry.h>

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

namespace {

struct ZipWriter {
    archive* A = archive_write_new();
    std::vector<uint8_t> Out;
    ZipWriter() {
        archive_write_set_format_zip(A);
        archive_write_set_bytes_in_last_block(A, 1);
        if (archive_write_open(A, this, nullptr, &ZipWriter::Write, nullptr) != ARCHIVE_OK)
            throw std::runtime_error(archive_error_string(A));
    }
    ~ZipWriter() { archive_write_free(A); }
    static la_ssize_t Write(archive*, void* self, const void* data, size_t size) {
        auto& out = static_cast<ZipWriter*>(self)->Out;
        out.insert(out.end(), static_cast<const uint8_t*>(data),
                   static_cast<const uint8_t*>(data) + size);
        return static_cast<la_ssize_t>(size);
    }
    void Begin(const std::string& name, uint64_t size) {
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, name.c_str());
        archive_entry_set_size(e, static_cast<la_int64_t>(size));
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_perm(e, 0644);
        if (archive_write_header(A, e) != ARCHIVE_OK)
            throw std::runtime_error(archive_error_string(A));
        archive_entry_free(e);
    }
    void Data(const void* data, size_t size) {
        if (archive_write_data(A, data, size) != static_cast<la_ssize_t>(size))
            throw std::runtime_error(archive_error_string(A));
    }
    std::vector<uint8_t> Finish() {
        archive_write_close(A);
        return std::move(Out);
    }
};

} // namespace

std::vector<uint8_t> BuildZip(const ZipEntries& entries) {
    ZipWriter zip;
    for (const auto& [name, data] : entries) {
        zip.Begin(name, data.size());
        zip.Data(data.data(), data.size());
    }
    return zip.Finish();
}

void WriteZipBomb(const std::string& path, uint64_t unpackedBytes) {
    ZipWriter zip;
    zip.Begin("bomb.cab", unpackedBytes);
    std::vector<uint8_t> block(1 << 20, 0);
    // A cabinet header that claims nearly 4 GiB, so the size alone does not give it away.
    const char head[] = "MSCF\0\0\0\0\xF0\xFF\xFF\xFF";
    std::copy(head, head + 12, block.begin());
    for (uint64_t left = unpackedBytes; left > 0;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(left, block.size()));
        zip.Data(block.data(), n);
        left -= n;
        std::fill(block.begin(), block.begin() + 12, 0);
    }
    WriteFileBytes(path, zip.Finish());
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
