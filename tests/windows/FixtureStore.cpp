#include "tests/windows/FixtureStore.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>

namespace {

// FNV-1a over a fixed serialisation, so that both builds compute the same key.
class TKeyHash {
  public:
    void Add(const void* data, size_t size) {
        const auto* p = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < size; ++i) {
            FHash ^= p[i];
            FHash *= 0x100000001B3ull;
        }
    }
    void AddNumber(uint64_t value) {
        uint8_t bytes[8];
        for (int i = 0; i < 8; ++i)
            bytes[i] = static_cast<uint8_t>(value >> (8 * i));
        Add(bytes, sizeof bytes);
    }
    [[nodiscard]] uint64_t Value() const { return FHash; }

  private:
    uint64_t FHash = 0xCBF29CE484222325ull;
};

std::string FixtureFolder() {
    if (const char* dir = std::getenv("TESSARY_FIXTURE_DIR"); dir && *dir) return dir;
#ifdef TESSARY_FIXTURE_DIR
    return TESSARY_FIXTURE_DIR;
#else
    return {};
#endif
}

} // namespace

std::string FixtureKey(const std::vector<FixtureEntry>& entries, FixtureCompression compression) {
    TKeyHash hash;
    hash.AddNumber(compression == FixtureCompression::MSZIP ? 1 : 0);
    hash.AddNumber(entries.size());
    for (const FixtureEntry& e : entries) {
        hash.AddNumber(e.Name.size());
        hash.Add(e.Name.data(), e.Name.size());
        hash.AddNumber(e.Data.size());
        hash.Add(e.Data.data(), e.Data.size());
        hash.AddNumber(e.DosDate);
        hash.AddNumber(e.DosTime);
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash.Value()));
    return text;
}

void RecordFixtureCabinet(const std::vector<FixtureEntry>& entries, FixtureCompression compression,
                          const std::vector<uint8_t>& cabinet) {
    const char* dir = std::getenv("TESSARY_RECORD_FIXTURES");
    if (!dir || !*dir) return;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const std::string path = std::string(dir) + "/" + FixtureKey(entries, compression) + ".cab";
    if (std::filesystem::exists(path, ec)) return;
    // Test executables run side by side: each writes its own file and renames it into place.
    const std::string partial = path + "." + std::to_string(std::random_device()()) + ".part";
    WriteFileBytes(partial, cabinet);
    std::filesystem::rename(partial, path, ec);
    if (ec) std::filesystem::remove(partial, ec);
}

std::vector<uint8_t> RecordedFixtureCabinet(const std::vector<FixtureEntry>& entries,
                                            FixtureCompression compression) {
    const std::string key = FixtureKey(entries, compression);
    const std::string path = FixtureFolder() + "/" + key + ".cab";
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        std::string names;
        for (const FixtureEntry& e : entries)
            names += (names.empty() ? "" : ", ") + e.Name;
        throw std::runtime_error("fixture cabinet " + key + " (" + names +
                                 ") was not recorded by the native tests in " + FixtureFolder());
    }
    return ReadFileBytes(path);
}

void RecordFixtureFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    const char* dir = std::getenv("TESSARY_RECORD_FIXTURES");
    if (!dir || !*dir) return;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const std::string path = std::string(dir) + "/" + name;
    const std::string partial = path + "." + std::to_string(std::random_device()()) + ".part";
    WriteFileBytes(partial, bytes);
    std::filesystem::rename(partial, path, ec);
    if (ec) std::filesystem::remove(partial, ec);
}

std::vector<std::string> RecordedFixtureFiles(const std::string& prefix) {
    std::vector<std::string> paths;
    const std::string folder = FixtureFolder();
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec)) return paths;
    for (const auto& item : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = item.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && name.find(".part") == std::string::npos)
            paths.push_back(item.path().string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}
