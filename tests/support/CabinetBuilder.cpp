#include "tests/support/CabinetBuilder.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace {

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t U16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

} // namespace

void WriteCabinet(const std::string& path, const std::vector<FixtureEntry>& entries,
                  FixtureCompression compression) {
    WriteFileBytes(path, BuildCabinet(entries, compression));
}

namespace {
// Where the index-th file record starts.
size_t FileRecord(const std::vector<uint8_t>& cab, int index) {
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
    if (at + 16 > cab.size()) throw std::runtime_error("file record outside the cabinet");
    return at;
}
} // namespace

void PatchEntryName(std::vector<uint8_t>& cab, int index, const std::string& name) {
    const size_t at = FileRecord(cab, index) + 16;
    const auto* old = reinterpret_cast<const char*>(cab.data() + at);
    if (std::strlen(old) != name.size()) throw std::runtime_error("names differ in length");
    std::memcpy(cab.data() + at, name.data(), name.size());
}

void PatchEntryDateTime(std::vector<uint8_t>& cab, int index, uint16_t dosDate, uint16_t dosTime) {
    const size_t at = FileRecord(cab, index);
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
#ifdef _WIN32
    // No mkdtemp here: try fresh names until one can be created.
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::random_device random;
    for (int attempt = 0; attempt < 100 && FPath.empty(); ++attempt) {
        const std::filesystem::path candidate = base / ("tessary-" + std::to_string(random()));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) FPath = candidate.string();
    }
    if (FPath.empty()) throw std::runtime_error("cannot create a temporary folder");
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "tessary-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    FPath = pattern;
#endif
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(FPath, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(FPath, ec);
}
