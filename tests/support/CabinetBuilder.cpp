#include "tests/support/CabinetBuilder.h"

#include <libgcab.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t U16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

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
    return result;
}

void WriteCabinet(const std::string& path, const std::vector<FixtureEntry>& entries,
                  FixtureCompression compression) {
    WriteFileBytes(path, BuildCabinet(entries, compression));
}

void PatchEntryDateTime(std::vector<uint8_t>& cab, int index, uint16_t dosDate, uint16_t dosTime) {
    if (cab.size() < 36 || std::memcmp(cab.data(), "MSCF", 4) != 0)
        throw std::runtime_error("not a cabinet");
    size_t at = U32(cab, 16);
    const int files = U16(cab, 28);
    if (index < 0 || index >= files) throw std::runtime_error("no such file record");
    for (int i = 0; i < index; ++i) {
        at += 16;
        while (at < cab.size() && cab[at] != 0)
            ++at;
        ++at;
    }
    if (at + 14 > cab.size()) throw std::runtime_error("file record outside the cabinet");
    cab[at + 0x0A] = static_cast<uint8_t>(dosDate);
    cab[at + 0x0B] = static_cast<uint8_t>(dosDate >> 8);
    cab[at + 0x0C] = static_cast<uint8_t>(dosTime);
    cab[at + 0x0D] = static_cast<uint8_t>(dosTime >> 8);
}

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tessary-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    FPath = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(FPath, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(FPath, ec);
}
