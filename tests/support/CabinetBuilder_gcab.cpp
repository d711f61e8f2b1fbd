// BuildCabinet through libgcab, for the native builds. The Windows build has no libgcab and reads
// the cabinets that this one recorded (tests/windows/FixtureStore.h).
#include "tests/support/CabinetBuilder.h"
#include "tests/windows/FixtureStore.h"

#include <libgcab.h>

#include <stdexcept>

namespace {

void Check(gboolean ok, GError* error, const char* what) {
    if (ok) return;
    std::string message = std::string(what) + ": " + (error ? error->message : "failed");
    if (error) g_error_free(error);
    throw std::runtime_error(message);
}

} // namespace

std::vector<uint8_t> BuildCabinet(const std::vector<FixtureEntry>& entries,
                                  FixtureCompression compression) {
    GCabCabinet* cabinet = gcab_cabinet_new();
    GCabFolder* folder = gcab_folder_new(
        compression == FixtureCompression::MSZIP ? GCAB_COMPRESSION_MSZIP : GCAB_COMPRESSION_NONE);
    GError* error = nullptr;
    for (const FixtureEntry& e : entries) {
        GBytes* bytes = g_bytes_new(e.Data.data(), e.Data.size());
        GCabFile* file = gcab_file_new_with_bytes(e.Name.c_str(), bytes);
        g_bytes_unref(bytes);
        const gboolean added = gcab_folder_add_file(folder, file, FALSE, nullptr, &error);
        g_object_unref(file);
        Check(added, error, "gcab_folder_add_file");
    }
    Check(gcab_cabinet_add_folder(cabinet, folder, &error), error, "gcab_cabinet_add_folder");
    g_object_unref(folder);
    GOutputStream* out = g_memory_output_stream_new_resizable();
    const gboolean written =
        gcab_cabinet_write_simple(cabinet, out, nullptr, nullptr, nullptr, &error);
    g_output_stream_close(out, nullptr, nullptr);
    const auto* data =
        static_cast<const uint8_t*>(g_memory_output_stream_get_data(G_MEMORY_OUTPUT_STREAM(out)));
    std::vector<uint8_t> result(
        data, data + g_memory_output_stream_get_data_size(G_MEMORY_OUTPUT_STREAM(out)));
    g_object_unref(out);
    g_object_unref(cabinet);
    Check(written, error, "gcab_cabinet_write_simple");
    // Dates are written by hand so that they do not depend on the time zone.
    for (size_t i = 0; i < entries.size(); ++i)
        PatchEntryDateTime(result, static_cast<int>(i), entries[i].DosDate, entries[i].DosTime);
    RecordFixtureCabinet(entries, compression, result);
    return result;
}
