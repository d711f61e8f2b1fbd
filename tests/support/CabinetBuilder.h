#pragma once
// Builds cabinets for tests with libgcab, with chosen names, contents and stored dates.
#include "cab/FileSystem.h"

#include <cstdint>
#include <string>
#include <vector>

struct FixtureEntry {
    std::string Name; // may hold a folder: "sub\\file.txt"
    std::vector<uint8_t> Data;
    uint16_t DosDate = (40 << 9) | (5 << 5) | 17;         // 2020-05-17
    uint16_t DosTime = (13 << 11) | (45 << 5) | (30 / 2); // 13:45:30
};

enum class FixtureCompression { None, MSZIP };

[[nodiscard]] std::vector<uint8_t> BuildCabinet(const std::vector<FixtureEntry>& entries,
                                                FixtureCompression compression);
void WriteCabinet(const std::string& path, const std::vector<FixtureEntry>& entries,
                  FixtureCompression compression);
// Overwrites the stored DOS date and time of the index-th file record.
void PatchEntryDateTime(std::vector<uint8_t>& cabinet, int index, uint16_t dosDate,
                        uint16_t dosTime);

// Overwrites the name of the index-th file record with one of the same length: libgcab refuses
// two entries of one name, which hostile cabinets have.
void PatchEntryName(std::vector<uint8_t>& cabinet, int index, const std::string& name);

// A cabinet of one MSZIP folder holding one entry of `size` zero bytes, made without libgcab:
// every 32 KiB block is the same few bytes of deflate, so an entry near the format's limit
// (65,535 blocks, 2 GiB less 32 KiB) takes about 2 MB. `claimed` is the size the file record
// states, which may be larger than the folder holds (a hostile or cut cabinet).
[[nodiscard]] std::vector<uint8_t> BuildZeroCabinet(const std::string& name, uint32_t size,
                                                    uint32_t claimed);

[[nodiscard]] std::vector<uint8_t> Bytes(const std::string& text);
[[nodiscard]] std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& data);

// A fresh folder below the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] const std::string& Path() const { return FPath; }
    // Joined with the platform's separator, as the cabinet reader joins its target paths.
    [[nodiscard]] std::string File(const std::string& name) const {
        return FPath + kPathSeparator + name;
    }

  private:
    std::string FPath;
};
