#pragma once
// Bounded little-endian reads over an image's bytes and the mapping of relative virtual
// addresses to file offsets through the section table. Internal to the PE reader.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace pe {

class TBytes {
  public:
    explicit TBytes(std::span<const uint8_t> bytes) : FBytes(bytes) {}
    [[nodiscard]] size_t Size() const { return FBytes.size(); }
    // Whether [offset, offset + count) lies inside the bytes.
    [[nodiscard]] bool Has(uint64_t offset, uint64_t count) const {
        return offset <= FBytes.size() && count <= FBytes.size() - offset;
    }
    [[nodiscard]] bool U16(uint64_t offset, uint16_t& value) const {
        if (!Has(offset, 2)) return false;
        if constexpr (std::endian::native == std::endian::little)
            std::memcpy(&value, FBytes.data() + offset, 2);
        else
            value = static_cast<uint16_t>(FBytes[offset] | FBytes[offset + 1] << 8);
        return true;
    }
    [[nodiscard]] bool U32(uint64_t offset, uint32_t& value) const {
        if (!Has(offset, 4)) return false;
        // One load where the host is little-endian like the image; byte by byte elsewhere.
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(&value, FBytes.data() + offset, 4);
            return true;
        }
        value = static_cast<uint32_t>(FBytes[offset]) |
                static_cast<uint32_t>(FBytes[offset + 1]) << 8 |
                static_cast<uint32_t>(FBytes[offset + 2]) << 16 |
                static_cast<uint32_t>(FBytes[offset + 3]) << 24;
        return true;
    }
    // A NUL-terminated 8-bit string of at most maxLength characters; false when no NUL comes
    // before the end of the bytes or the limit.
    [[nodiscard]] bool CString(uint64_t offset, size_t maxLength, std::string& text) const {
        if (offset >= FBytes.size()) return false;
        const size_t limit = std::min<uint64_t>(FBytes.size() - offset, maxLength + 1);
        const uint8_t* start = FBytes.data() + offset;
        const auto* end = std::find(start, start + limit, uint8_t{0});
        if (end == start + limit) return false;
        text.assign(reinterpret_cast<const char*>(start), static_cast<size_t>(end - start));
        return true;
    }

    // The bytes of [offset, offset + count) up to the first NUL; the range must lie inside.
    [[nodiscard]] std::string Text(uint64_t offset, size_t count) const {
        const uint8_t* start = FBytes.data() + offset;
        const auto* end = std::find(start, start + count, uint8_t{0});
        return std::string(reinterpret_cast<const char*>(start), static_cast<size_t>(end - start));
    }
    [[nodiscard]] const uint8_t* Data() const { return FBytes.data(); }

  private:
    std::span<const uint8_t> FBytes;
};

struct TSection {
    uint32_t VirtualAddress = 0;
    uint32_t VirtualSize = 0; // the larger of the stated virtual size and the raw size
    uint32_t RawOffset = 0;
    uint32_t RawSize = 0;
};

// Sections sorted by address, so that each lookup is a binary search however many there are.
class TAddressMap {
  public:
    TAddressMap(std::vector<TSection> sections, uint32_t headerSize)
        : FSections(std::move(sections)), FHeaderSize(headerSize) {
        const auto before = [](const TSection& a, const TSection& b) {
            return a.VirtualAddress < b.VirtualAddress;
        };
        // Real images have a handful of sections: an insertion sort keeps equal addresses in
        // table order and needs no buffer. A crafted table of thousands is merge-sorted.
        if (FSections.size() > 16) {
            std::stable_sort(FSections.begin(), FSections.end(), before);
            return;
        }
        for (size_t i = 1; i < FSections.size(); ++i) {
            const TSection s = FSections[i];
            size_t j = i;
            for (; j > 0 && before(s, FSections[j - 1]); --j)
                FSections[j] = FSections[j - 1];
            FSections[j] = s;
        }
    }
    // The file offset of an address, when the address lies in the headers or in the raw data
    // of a section.
    [[nodiscard]] bool ToOffset(uint32_t rva, uint64_t& offset) const {
        auto it =
            std::upper_bound(FSections.begin(), FSections.end(), rva,
                             [](uint32_t a, const TSection& s) { return a < s.VirtualAddress; });
        if (it != FSections.begin()) {
            const TSection& s = *std::prev(it);
            const uint64_t delta = rva - s.VirtualAddress;
            if (delta < s.VirtualSize) {
                if (delta >= s.RawSize) return false;
                offset = static_cast<uint64_t>(s.RawOffset) + delta;
                return true;
            }
        }
        if (rva < FHeaderSize) {
            offset = rva;
            return true;
        }
        return false;
    }

  private:
    std::vector<TSection> FSections;
    uint32_t FHeaderSize;
};

} // namespace pe
