#include "programs/PEImage.h"

#include "programs/PEBytes.h"
#include "programs/PEResources.h"

#include <cstdio>

namespace {

enum : size_t {
    kDirImport = 1,
    kDirResource = 2,
    kDirSecurity = 4,
    kDirClr = 14,
    kDirCount = 16,
};
enum : uint16_t { kFileDll = 0x2000, kMagicPE32 = 0x10b, kMagicPE32Plus = 0x20b };
// Longer DLL names and runtime versions than these are not real ones.
constexpr size_t kMaxDllName = 260;
constexpr size_t kMaxRuntimeVersion = 255;
// Real images import a few dozen DLLs; names beyond this would only cost memory.
constexpr size_t kMaxImports = 4096;

struct TDirectory {
    uint32_t Address = 0;
    uint32_t Size = 0;
    [[nodiscard]] bool Empty() const { return Address == 0 || Size == 0; }
};

std::string Hex4(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
    return text;
}

void ReadImports(const pe::TBytes& b, const pe::TAddressMap& map, TDirectory dir, TPEImage& image) {
    uint64_t offset = 0;
    if (!map.ToOffset(dir.Address, offset)) {
        image.Notes.push_back("The import table lies outside the file.");
        return;
    }
    bool badName = false;
    // The table ends at an all-zero descriptor; one that never comes ends at the file's end.
    for (;; offset += 20) {
        uint32_t fields[5];
        bool whole = true;
        for (int i = 0; i < 5; ++i)
            whole = whole && b.U32(offset + 4 * i, fields[i]);
        if (!whole) {
            image.Notes.push_back("The import table has no end.");
            break;
        }
        if ((fields[0] | fields[1] | fields[2] | fields[3] | fields[4]) == 0) break;
        if (image.Imports.size() == kMaxImports) {
            image.Notes.push_back("The import table names more than " +
                                  std::to_string(kMaxImports) + " DLLs; the rest are left out.");
            break;
        }
        uint64_t nameOffset = 0;
        std::string name;
        if (map.ToOffset(fields[3], nameOffset) && b.CString(nameOffset, kMaxDllName, name) &&
            !name.empty())
            image.Imports.push_back(std::move(name));
        else
            badName = true;
    }
    if (badName) image.Notes.push_back("An imported DLL's name cannot be read.");
}

void ReadClr(const pe::TBytes& b, const pe::TAddressMap& map, TDirectory dir, TPEImage& image) {
    image.IsDotNet = true;
    uint64_t offset = 0;
    uint32_t metaAddress = 0;
    uint32_t metaSize = 0;
    if (!map.ToOffset(dir.Address, offset) || !b.U32(offset + 8, metaAddress) ||
        !b.U32(offset + 12, metaSize) || !b.U32(offset + 16, image.ClrFlags)) {
        image.Notes.push_back("The CLR header lies outside the file.");
        return;
    }
    uint64_t meta = 0;
    uint32_t signature = 0;
    uint32_t length = 0;
    if (!map.ToOffset(metaAddress, meta) || !b.U32(meta, signature) || signature != 0x424A5342 ||
        !b.U32(meta + 12, length)) {
        image.Notes.push_back("The metadata root cannot be read.");
        return;
    }
    // The version is padded with NULs up to its stated length.
    const size_t count = std::min<size_t>(length, kMaxRuntimeVersion);
    if (count == 0 || !b.Has(meta + 16, count)) {
        image.Notes.push_back("The runtime version cannot be read.");
        return;
    }
    std::string version = b.Text(meta + 16, count);
    image.RuntimeVersion = std::move(version);
}

void ReadSecurity(const pe::TBytes& b, TDirectory dir, TPEImage& image) {
    // The certificate table's address is a file offset, not a relative address.
    uint32_t length = 0;
    uint16_t type = 0;
    if (!b.Has(dir.Address, dir.Size) || !b.U32(dir.Address, length) ||
        !b.U16(dir.Address + 6, type) || length < 8 || length > dir.Size) {
        image.Notes.push_back("The certificate table lies outside the file.");
        return;
    }
    if (type != 2) {
        image.Notes.push_back("The certificate table holds no signature (type " +
                              std::to_string(type) + ").");
        return;
    }
    image.HasSignature = true;
}

// The data directories after their count at countAt, the first kDirCount of them; field32 reads
// inside the optional header only.
template <typename Field32>
void ReadDataDirectories(uint64_t countAt, const Field32& field32, TDirectory (&dirs)[kDirCount],
                         TPEImage& image) {
    uint32_t count = 0;
    if (!field32(countAt, count))
        image.Notes.push_back("The optional header ends before its data directories.");
    if (count > kDirCount)
        image.Notes.push_back("The image states " + std::to_string(count) +
                              " data directories; the first 16 are read.");
    for (uint32_t i = 0; i < std::min<uint32_t>(count, kDirCount); ++i) {
        const uint64_t at = countAt + 4 + 8 * i;
        if (!field32(at, dirs[i].Address) || !field32(at + 4, dirs[i].Size)) {
            image.Notes.push_back("The data directories are cut short.");
            dirs[i] = {};
            break;
        }
    }
}

// The section table at tableAt, as far as the file holds it.
std::vector<pe::TSection> ReadSectionTable(const pe::TBytes& b, uint64_t tableAt, uint16_t count,
                                           TPEImage& image) {
    std::vector<pe::TSection> sections;
    // Only as many as the file can hold are set aside.
    sections.reserve(std::min<uint64_t>(count, b.Size() / 40));
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t at = tableAt + 40 * static_cast<uint64_t>(i);
        uint32_t virtualSize = 0;
        pe::TSection s;
        if (!b.U32(at + 8, virtualSize) || !b.U32(at + 12, s.VirtualAddress) ||
            !b.U32(at + 16, s.RawSize) || !b.U32(at + 20, s.RawOffset)) {
            image.Notes.push_back("The section table is cut short: " + std::to_string(i) + " of " +
                                  std::to_string(count) + " sections read.");
            break;
        }
        s.VirtualSize = std::max(virtualSize, s.RawSize);
        // Raw data past the end of the file is not there to read.
        s.RawSize =
            s.RawOffset < b.Size()
                ? static_cast<uint32_t>(std::min<uint64_t>(s.RawSize, b.Size() - s.RawOffset))
                : 0;
        sections.push_back(s);
    }
    return sections;
}

} // namespace

TPEImage ReadPEImage(std::span<const uint8_t> bytes) {
    TPEImage image;
    const pe::TBytes b(bytes);
    uint16_t mz = 0;
    if (!b.U16(0, mz) || mz != 0x5A4D) return image;
    uint32_t pe = 0;
    uint32_t signature = 0;
    if (!b.U32(0x3C, pe) || !b.U32(pe, signature) || signature != 0x00004550) {
        image.Notes.push_back("An MZ header without a PE header.");
        return image;
    }
    const uint64_t fileHeader = static_cast<uint64_t>(pe) + 4;
    uint16_t sectionCount = 0;
    uint16_t optionalSize = 0;
    if (!b.U16(fileHeader, image.Machine) || !b.U16(fileHeader + 2, sectionCount) ||
        !b.U16(fileHeader + 16, optionalSize) || !b.U16(fileHeader + 18, image.Characteristics)) {
        image.Notes.push_back("The file header is cut short.");
        return image;
    }
    image.IsImage = true;
    image.IsDll = (image.Characteristics & kFileDll) != 0;

    const uint64_t optional = fileHeader + 20;
    const uint64_t optionalEnd = optional + optionalSize;
    // Fields of the optional header count only inside its stated size.
    auto field16 = [&](uint64_t at, uint16_t& v) { return at + 2 <= optionalEnd && b.U16(at, v); };
    auto field32 = [&](uint64_t at, uint32_t& v) { return at + 4 <= optionalEnd && b.U32(at, v); };
    uint16_t magic = 0;
    if (!field16(optional, magic)) {
        image.Notes.push_back("The image has no optional header.");
        return image;
    }
    if (magic != kMagicPE32 && magic != kMagicPE32Plus) {
        image.Notes.push_back("Unknown optional header kind " + Hex4(magic) + ".");
        return image;
    }
    image.IsPE32Plus = magic == kMagicPE32Plus;
    uint32_t headerSize = 0;
    if (!field16(optional + 48, image.SubsystemMajor) ||
        !field16(optional + 50, image.SubsystemMinor) || !field32(optional + 60, headerSize) ||
        !field16(optional + 68, image.Subsystem))
        image.Notes.push_back("The optional header is cut short.");

    TDirectory dirs[kDirCount];
    ReadDataDirectories(optional + (image.IsPE32Plus ? 108 : 92), field32, dirs, image);
    const pe::TAddressMap map(ReadSectionTable(b, optionalEnd, sectionCount, image),
                              static_cast<uint32_t>(std::min<uint64_t>(headerSize, b.Size())));

    if (!dirs[kDirImport].Empty()) ReadImports(b, map, dirs[kDirImport], image);
    if (!dirs[kDirClr].Empty()) ReadClr(b, map, dirs[kDirClr], image);
    if (!dirs[kDirSecurity].Empty()) ReadSecurity(b, dirs[kDirSecurity], image);
    if (!dirs[kDirResource].Empty()) ReadVersionResource(b, map, dirs[kDirResource].Address, image);
    return image;
}
