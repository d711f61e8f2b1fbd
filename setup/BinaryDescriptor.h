#pragma once
// Bounds-checked access to a binary ".000" descriptor held in memory, and the table walks.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

// A read past the end of the descriptor, or decoding that outgrows what the descriptor can hold.
class EDescriptorError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

namespace descriptor {

// Header offsets.
constexpr uint32_t kHeaderSize = 100;
constexpr uint32_t kInstallStringId = 4;
constexpr uint32_t kProcessor = 20;
constexpr uint32_t kMinMajor = 24, kMinMinor = 28, kMaxMajor = 32, kMaxMinor = 36;
constexpr uint32_t kMinBuild = 40, kMaxBuild = 44;
constexpr uint32_t kCounts = 48;       // six u16 counts
constexpr uint32_t kTableOffsets = 60; // six u32 offsets
constexpr uint32_t kAppName = 84, kProvider = 88, kDeviceList = 92, kDeviceListLength = 94;

// Tables in header order.
enum Table { Strings, Dirs, Files, RegKeys, RegValues, Shortcuts, TableCount };

constexpr uint32_t kShortcutSize = 14;
constexpr uint32_t kPlatformExtensionSize = 24;

} // namespace descriptor

class TDescriptorBytes {
  public:
    explicit TDescriptorBytes(const std::vector<uint8_t>& bytes) : FBytes(bytes) {}
    [[nodiscard]] size_t Size() const { return FBytes.size(); }
    [[nodiscard]] uint8_t U8(uint64_t at) const;
    [[nodiscard]] uint16_t U16(uint64_t at) const;
    [[nodiscard]] uint32_t U32(uint64_t at) const;
    // The NUL-terminated text at the offset; its NUL must lie inside the descriptor.
    [[nodiscard]] std::string Text(uint64_t at) const;
    // u16 ids up to the terminating 0, which must lie inside the descriptor.
    [[nodiscard]] std::vector<uint16_t> IdList(uint64_t at) const;

  private:
    void Need(uint64_t at, uint64_t count) const;
    const std::vector<uint8_t>& FBytes;
};

// One table of the descriptor: entries reached by stepping from its offset, and found by id
// with the first entry of an id winning. The walk goes only as far as a lookup needs, so a
// broken entry fails the lookups that would have walked over it and no others; each entry is
// stepped over once however many lookups there are.
class TDescriptorTable {
  public:
    TDescriptorTable(const TDescriptorBytes& bytes, descriptor::Table table);
    [[nodiscard]] uint16_t Count() const { return FCount; }
    // Offset of the index-th entry (0-based, below Count).
    [[nodiscard]] uint64_t EntryAt(uint16_t index);
    // Offset of the first entry carrying the id, or -1 when none does.
    [[nodiscard]] int64_t Find(uint16_t id);

  private:
    void StepOne();
    [[nodiscard]] uint64_t EntrySize(uint64_t at) const;
    const TDescriptorBytes& FBytes;
    descriptor::Table FTable;
    uint16_t FCount = 0;
    uint64_t FNext = 0; // offset of the first entry not yet stepped over
    std::vector<uint64_t> FEntries;
    std::unordered_map<uint16_t, uint64_t> FById;
};
