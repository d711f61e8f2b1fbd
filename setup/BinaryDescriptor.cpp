#include "setup/BinaryDescriptor.h"

#include <cstring>

void TDescriptorBytes::Need(uint64_t at, uint64_t count) const {
    if (at > FBytes.size() || count > FBytes.size() - at)
        throw EDescriptorError("read past the end of the descriptor");
}

uint8_t TDescriptorBytes::U8(uint64_t at) const {
    Need(at, 1);
    return FBytes[at];
}

uint16_t TDescriptorBytes::U16(uint64_t at) const {
    Need(at, 2);
    return static_cast<uint16_t>(FBytes[at] | (FBytes[at + 1] << 8));
}

uint32_t TDescriptorBytes::U32(uint64_t at) const {
    Need(at, 4);
    return static_cast<uint32_t>(FBytes[at]) | (static_cast<uint32_t>(FBytes[at + 1]) << 8) |
           (static_cast<uint32_t>(FBytes[at + 2]) << 16) |
           (static_cast<uint32_t>(FBytes[at + 3]) << 24);
}

std::string TDescriptorBytes::Text(uint64_t at) const {
    Need(at, 1);
    const auto* start = FBytes.data() + at;
    const void* nul = std::memchr(start, 0, FBytes.size() - at);
    if (!nul) throw EDescriptorError("text without its NUL");
    const auto length = static_cast<size_t>(static_cast<const uint8_t*>(nul) - start);
    return std::string(reinterpret_cast<const char*>(start), length);
}

std::vector<uint16_t> TDescriptorBytes::IdList(uint64_t at) const {
    std::vector<uint16_t> ids;
    for (;; at += 2) {
        const uint16_t id = U16(at);
        if (id == 0) return ids;
        ids.push_back(id);
    }
}

TDescriptorTable::TDescriptorTable(const TDescriptorBytes& bytes, descriptor::Table table)
    : FBytes(bytes), FTable(table) {
    FCount = bytes.U16(descriptor::kCounts + 2 * table);
    FNext = bytes.U32(descriptor::kTableOffsets + 4 * table);
}

uint64_t TDescriptorTable::EntrySize(uint64_t at) const {
    switch (FTable) {
    case descriptor::Strings:
    case descriptor::Dirs:
        return 4 + uint64_t{FBytes.U16(at + 2)};
    case descriptor::Files:
    case descriptor::RegValues:
        return 12 + uint64_t{FBytes.U16(at + 10)};
    case descriptor::RegKeys:
        return 8 + uint64_t{FBytes.U16(at + 6)};
    default:
        return descriptor::kShortcutSize;
    }
}

void TDescriptorTable::StepOne() {
    const uint64_t at = FNext;
    const uint16_t id = FBytes.U16(at);
    FNext = at + EntrySize(at);
    FEntries.push_back(at);
    FById.emplace(id, at);
}

uint64_t TDescriptorTable::EntryAt(uint16_t index) {
    while (FEntries.size() <= index)
        StepOne();
    return FEntries[index];
}

int64_t TDescriptorTable::Find(uint16_t id) {
    for (;;) {
        const auto found = FById.find(id);
        if (found != FById.end()) return static_cast<int64_t>(found->second);
        if (FEntries.size() >= FCount) return -1;
        StepOne();
    }
}
