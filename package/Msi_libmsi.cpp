#include "package/Msi.h"

#include <libmsi.h>

#include "package/SharedLibrary.h"

#include <memory>

namespace {

// The functions used, libmsi's and GLib's, looked up when the first package is opened.
struct TLibmsi {
    decltype(&libmsi_database_new) DatabaseNew = nullptr;
    decltype(&libmsi_query_new) QueryNew = nullptr;
    decltype(&libmsi_query_execute) QueryExecute = nullptr;
    decltype(&libmsi_query_fetch) QueryFetch = nullptr;
    decltype(&libmsi_record_get_string) RecordGetString = nullptr;
    decltype(&libmsi_record_get_stream) RecordGetStream = nullptr;
    decltype(&g_object_unref) ObjectUnref = nullptr;
    decltype(&g_error_free) ErrorFree = nullptr;
    decltype(&g_free) Free = nullptr;
    decltype(&g_input_stream_read) InputStreamRead = nullptr;
    std::string Error; // why it cannot be used; empty when it can
};

const TLibmsi& Libmsi() {
    static const TLibmsi lib = [] {
        TLibmsi l;
        // GLib's functions are found through libmsi's own dependencies.
        l.Error = LoadSharedLibrary(
            TESSARY_LIBMSI_SONAME,
            {Slot("libmsi_database_new", l.DatabaseNew), Slot("libmsi_query_new", l.QueryNew),
             Slot("libmsi_query_execute", l.QueryExecute), Slot("libmsi_query_fetch", l.QueryFetch),
             Slot("libmsi_record_get_string", l.RecordGetString),
             Slot("libmsi_record_get_stream", l.RecordGetStream),
             Slot("g_object_unref", l.ObjectUnref), Slot("g_error_free", l.ErrorFree),
             Slot("g_free", l.Free), Slot("g_input_stream_read", l.InputStreamRead)});
        return l;
    }();
    return lib;
}

struct TUnref {
    void operator()(void* object) const { Libmsi().ObjectUnref(object); }
};
template <typename T> using TRef = std::unique_ptr<T, TUnref>;

struct TErrorFree {
    void operator()(GError* e) const { Libmsi().ErrorFree(e); }
};

std::string Text(GError* e, const char* fallback) {
    return e && e->message ? e->message : fallback;
}

std::string Field(LibmsiRecord* record, unsigned field) {
    gchar* text = Libmsi().RecordGetString(record, field);
    std::string value = text ? text : "";
    Libmsi().Free(text);
    return value;
}

// Runs sql and hands each record to each; false with error set when the query fails.
template <typename Each>
bool Query(LibmsiDatabase* db, const char* sql, Each each, std::string& error) {
    GError* raw = nullptr;
    TRef<LibmsiQuery> query(Libmsi().QueryNew(db, sql, &raw));
    std::unique_ptr<GError, TErrorFree> failure(raw);
    if (!query || !Libmsi().QueryExecute(query.get(), nullptr, &raw)) {
        failure.reset(raw);
        error = Text(failure.get(), "the package cannot be read");
        return false;
    }
    for (;;) {
        raw = nullptr;
        TRef<LibmsiRecord> record(Libmsi().QueryFetch(query.get(), &raw));
        failure.reset(raw);
        if (!record) return true; // no more rows (an error here is the end of the table)
        if (!each(record.get())) return true;
    }
}

} // namespace

bool WalkMsiPackage(const std::string& path, const TMsiStream& stream,
                    std::map<std::string, std::string>& fileNames, std::string& error) {
    const TLibmsi& lib = Libmsi();
    if (!lib.Error.empty()) {
        error = "Windows Installer packages (.msi) cannot be read: " + lib.Error;
        return false;
    }
    GError* raw = nullptr;
    TRef<LibmsiDatabase> db(lib.DatabaseNew(path.c_str(), LIBMSI_DB_FLAGS_READONLY, nullptr, &raw));
    std::unique_ptr<GError, TErrorFree> failure(raw);
    if (!db) {
        error = Text(failure.get(), "not a Windows Installer package");
        return false;
    }
    // A package without a File table has no names to give; its cabinets keep their keys.
    std::string noFileTable;
    if (!Query(
            db.get(), "SELECT `File`, `FileName` FROM `File`",
            [&](LibmsiRecord* r) {
                const std::string name = Field(r, 2);
                const size_t bar = name.find('|'); // "SHORT~1.CAB|Long Name.cab"
                fileNames[Field(r, 1)] = bar == std::string::npos ? name : name.substr(bar + 1);
                return true;
            },
            noFileTable))
        fileNames.clear();
    return Query(
               db.get(), "SELECT `Name`, `Data` FROM `_Streams`",
               [&](LibmsiRecord* r) {
                   GError* readError = nullptr;
                   TRef<GInputStream> in(lib.RecordGetStream(r, 2));
                   if (!in) return true;
                   bool failed = false;
                   const TArchiveRead read = [&](void* buffer, size_t count) -> int64_t {
                       const gssize n =
                           lib.InputStreamRead(in.get(), buffer, count, nullptr, &readError);
                       if (n < 0) {
                           failed = true;
                           if (readError) lib.ErrorFree(readError);
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
