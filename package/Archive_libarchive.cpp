#include "package/Archive.h"

#include <archive.h>
#include <archive_entry.h>

#include "package/SharedLibrary.h"

#include <memory>

namespace {

// The functions used, looked up when the first archive is opened.
struct TLibarchive {
    decltype(&archive_read_new) ReadNew = nullptr;
    decltype(&archive_read_free) ReadFree = nullptr;
    decltype(&archive_read_support_format_zip) SupportZip = nullptr;
    decltype(&archive_read_open_filename) OpenFilename = nullptr;
    decltype(&archive_read_next_header) NextHeader = nullptr;
    decltype(&archive_read_data) ReadData = nullptr;
    decltype(&archive_error_string) ErrorString = nullptr;
    decltype(&archive_entry_filetype) EntryFiletype = nullptr;
    decltype(&archive_entry_pathname) EntryPathname = nullptr;
    std::string Error; // why it cannot be used; empty when it can
};

const TLibarchive& Libarchive() {
    static const TLibarchive lib = [] {
        TLibarchive l;
        l.Error = LoadSharedLibrary(
            TESSARY_LIBARCHIVE_SONAME,
            {Slot("archive_read_new", l.ReadNew), Slot("archive_read_free", l.ReadFree),
             Slot("archive_read_support_format_zip", l.SupportZip),
             Slot("archive_read_open_filename", l.OpenFilename),
             Slot("archive_read_next_header", l.NextHeader), Slot("archive_read_data", l.ReadData),
             Slot("archive_error_string", l.ErrorString),
             Slot("archive_entry_filetype", l.EntryFiletype),
             Slot("archive_entry_pathname", l.EntryPathname)});
        return l;
    }();
    return lib;
}

std::string ArchiveError(archive* a, const char* fallback) {
    const char* text = Libarchive().ErrorString(a);
    return text && *text ? text : fallback;
}

} // namespace

bool ArchivesSupported() {
    return true;
}

bool WalkZipArchive(const std::string& path, const TArchiveEntry& entry, std::string& error) {
    const TLibarchive& lib = Libarchive();
    if (!lib.Error.empty()) {
        error = "zip packages cannot be read: " + lib.Error;
        return false;
    }
    auto free = [&lib](archive* a) { lib.ReadFree(a); };
    std::unique_ptr<archive, decltype(free)> a(lib.ReadNew(), free);
    if (!a) {
        error = "out of memory";
        return false;
    }
    // Only zip: a package is not a tar or an ISO, and fewer formats are fewer parsers to trust.
    lib.SupportZip(a.get());
    if (lib.OpenFilename(a.get(), path.c_str(), 64 << 10) != ARCHIVE_OK) {
        error = ArchiveError(a.get(), "not a zip archive");
        return false;
    }
    archive_entry* header = nullptr;
    for (;;) {
        const int status = lib.NextHeader(a.get(), &header);
        if (status == ARCHIVE_EOF) return true;
        if (status != ARCHIVE_OK && status != ARCHIVE_WARN) {
            error = ArchiveError(a.get(), "the zip archive is damaged");
            return false;
        }
        if (lib.EntryFiletype(header) != AE_IFREG) continue;
        const char* name = lib.EntryPathname(header);
        bool failed = false;
        const TArchiveRead read = [&](void* buffer, size_t count) -> int64_t {
            const la_ssize_t n = lib.ReadData(a.get(), buffer, count);
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
