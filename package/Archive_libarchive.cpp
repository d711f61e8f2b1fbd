#include "package/Archive.h"

#include <archive.h>
#include <archive_entry.h>

#include <memory>

namespace {

struct TArchiveFree {
    void operator()(archive* a) const { archive_read_free(a); }
};

std::string ArchiveError(archive* a, const char* fallback) {
    const char* text = archive_error_string(a);
    return text && *text ? text : fallback;
}

} // namespace

bool ArchivesSupported() {
    return true;
}

bool WalkZipArchive(const std::string& path, const TArchiveEntry& entry, std::string& error) {
    std::unique_ptr<archive, TArchiveFree> a(archive_read_new());
    if (!a) {
        error = "out of memory";
        return false;
    }
    // Only zip: a package is not a tar or an ISO, and fewer formats are fewer parsers to trust.
    archive_read_support_format_zip(a.get());
    if (archive_read_open_filename(a.get(), path.c_str(), 64 << 10) != ARCHIVE_OK) {
        error = ArchiveError(a.get(), "not a zip archive");
        return false;
    }
    archive_entry* header = nullptr;
    for (;;) {
        const int status = archive_read_next_header(a.get(), &header);
        if (status == ARCHIVE_EOF) return true;
        if (status != ARCHIVE_OK && status != ARCHIVE_WARN) {
            error = ArchiveError(a.get(), "the zip archive is damaged");
            return false;
        }
        if (archive_entry_filetype(header) != AE_IFREG) continue;
        const char* name = archive_entry_pathname(header);
        bool failed = false;
        const TArchiveRead read = [&](void* buffer, size_t count) -> int64_t {
            const la_ssize_t n = archive_read_data(a.get(), buffer, count);
            if (n < 0) failed = true;
            return n;
        };
        if (!entry(name ? name : "", read)) return true;
        if (failed) {
            error = ArchiveError(a.get(), "the zip archive is damaged");
            return false;
        }
    }
}
