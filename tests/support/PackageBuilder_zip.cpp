// The zip archives of the package fixtures, through libarchive's writer (Linux only: the Windows
// tests read the archives the native run recorded).
#include "tests/support/CabinetBuilder.h"
#include "tests/support/PackageBuilder.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <stdexcept>

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
