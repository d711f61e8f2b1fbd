#include "package/Msi.h"

#include <libmsi.h>

#include <memory>

namespace {

struct TUnref {
    void operator()(void* object) const { g_object_unref(object); }
};
template <typename T> using TRef = std::unique_ptr<T, TUnref>;

struct TErrorFree {
    void operator()(GError* e) const { g_error_free(e); }
};

std::string Text(GError* e, const char* fallback) {
    return e && e->message ? e->message : fallback;
}

std::string Field(LibmsiRecord* record, unsigned field) {
    gchar* text = libmsi_record_get_string(record, field);
    std::string value = text ? text : "";
    g_free(text);
    return value;
}

// Runs sql and hands each record to each; false with error set when the query fails.
template <typename Each>
bool Query(LibmsiDatabase* db, const char* sql, Each each, std::string& error) {
    GError* raw = nullptr;
    TRef<LibmsiQuery> query(libmsi_query_new(db, sql, &raw));
    std::unique_ptr<GError, TErrorFree> failure(raw);
    if (!query || !libmsi_query_execute(query.get(), nullptr, &raw)) {
        failure.reset(raw);
        error = Text(failure.get(), "the package cannot be read");
        return false;
    }
    for (;;) {
        raw = nullptr;
        TRef<LibmsiRecord> record(libmsi_query_fetch(query.get(), &raw));
        failure.reset(raw);
        if (!record) return true; // no more rows (an error here is the end of the table)
        if (!each(record.get())) return true;
    }
}

} // namespace

bool WalkMsiPackage(const std::string& path, const TMsiStream& stream,
                    std::map<std::string, std::string>& fileNames, std::string& error) {
    GError* raw = nullptr;
    TRef<LibmsiDatabase> db(
        libmsi_database_new(path.c_str(), LIBMSI_DB_FLAGS_READONLY, nullptr, &raw));
    std::unique_ptr<GError, TErrorFree> failure(raw);
    if (!db) {
        error = Text(failure.get(), "not a Windows Installer package");
        return false;
    }
    // A package without a File table has no names to give; its cabinets keep their keys.
    std::string ignored;
    (void)Query(
        db.get(), "SELECT `File`, `FileName` FROM `File`",
        [&](LibmsiRecord* r) {
            const std::string name = Field(r, 2);
            const size_t bar = name.find('|'); // "SHORT~1.CAB|Long Name.cab"
            fileNames[Field(r, 1)] = bar == std::string::npos ? name : name.substr(bar + 1);
            return true;
        },
        ignored);
    return Query(
               db.get(), "SELECT `Name`, `Data` FROM `_Streams`",
               [&](LibmsiRecord* r) {
                   GError* readError = nullptr;
                   TRef<GInputStream> in(libmsi_record_get_stream(r, 2));
                   if (!in) return true;
                   bool failed = false;
                   const TArchiveRead read = [&](void* buffer, size_t count) -> int64_t {
                       const gssize n =
                           g_input_stream_read(in.get(), buffer, count, nullptr, &readError);
                       if (n < 0) {
                           failed = true;
                           if (readError) g_error_free(readError);
                           readError = nullptr;
                       }
                       return n;
                   };
                   const bool going = stream(Field(r, 1), read);
                   if (failed) error = "a stream of the package cannot be read";
                   return going && !failed;
               },
               error) &&
           error.empty();
}
