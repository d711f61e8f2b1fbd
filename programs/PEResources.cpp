#include "programs/PEResources.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

constexpr uint32_t kVersionType = 16;
constexpr uint32_t kSubdirectory = 0x80000000u;
constexpr uint32_t kFixedSignature = 0xFEEF04BDu;

// The path to a version resource is type, name, language: three directory levels.
class TResourceWalk {
  public:
    TResourceWalk(const pe::TBytes& b, const pe::TAddressMap& map, uint32_t base, TPEImage& image)
        : B(b), Map(map), Base(base), Image(image) {}

    // The data entry's address and size of the first version resource; false when there is
    // none or it cannot be reached, with a note for the latter.
    [[nodiscard]] bool FindVersion(uint32_t& address, uint32_t& size) {
        uint32_t value = 0;
        if (!Entry(0, true, value)) return false;
        for (int level = 1; value & kSubdirectory; ++level) {
            const uint32_t dir = value & ~kSubdirectory;
            if (dir == 0 || dir == Visited[0] || dir == Visited[1]) {
                Image.Notes.push_back("The resource directory loops back on itself.");
                return false;
            }
            if (level == 3) {
                Image.Notes.push_back("The resource directory nests too deep.");
                return false;
            }
            Visited[level] = dir;
            if (!Entry(dir, false, value)) return false;
        }
        uint64_t at = 0;
        if (!Offset(value, at) || !B.U32(at, address) || !B.U32(at + 4, size)) {
            Image.Notes.push_back("The version resource's entry cannot be read.");
            return false;
        }
        return true;
    }

  private:
    [[nodiscard]] bool Offset(uint32_t relative, uint64_t& offset) const {
        const uint64_t rva = static_cast<uint64_t>(Base) + relative;
        return rva <= UINT32_MAX && Map.ToOffset(static_cast<uint32_t>(rva), offset);
    }
    // The value of the version type's entry (at the top) or of the first entry (below it).
    [[nodiscard]] bool Entry(uint32_t dir, bool versionType, uint32_t& value) {
        uint64_t at = 0;
        uint16_t named = 0;
        uint16_t ids = 0;
        if (!Offset(dir, at) || !B.U16(at + 12, named) || !B.U16(at + 14, ids)) {
            Image.Notes.push_back("The resource directory lies outside the file.");
            return false;
        }
        const uint32_t count = static_cast<uint32_t>(named) + ids;
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t name = 0;
            if (!B.U32(at + 16 + 8 * static_cast<uint64_t>(i), name) ||
                !B.U32(at + 20 + 8 * static_cast<uint64_t>(i), value)) {
                Image.Notes.push_back("The resource directory is cut short.");
                return false;
            }
            if (!versionType || name == kVersionType) return true;
        }
        return false;
    }

    const pe::TBytes& B;
    const pe::TAddressMap& Map;
    uint32_t Base;
    TPEImage& Image;
    uint32_t Visited[3] = {0, UINT32_MAX, UINT32_MAX};
};

// One node of the version data: a length, a value length, a type, a UTF-16 key, then its value
// and its children, each aligned to four bytes.
struct TBlock {
    uint64_t ValueStart = 0;
    uint16_t ValueLength = 0;
    uint16_t Type = 0;
    // The key stays in the image: its offset and its length in UTF-16 units.
    uint64_t KeyAt = 0;
    uint64_t KeyUnits = 0;
    uint64_t End = 0;
};

uint64_t Align4(uint64_t at) {
    return (at + 3) & ~uint64_t{3};
}

class TVersionReader {
  public:
    TVersionReader(const pe::TBytes& b, uint64_t start, uint64_t end, TPEImage& image)
        : B(b), Start(start), End(end), Image(image) {}

    void Read() {
        TBlock root;
        if (!Block(Start, End, root) || !KeyIs(root, "VS_VERSION_INFO")) {
            Image.Notes.push_back("The version resource cannot be read.");
            return;
        }
        uint32_t signature = 0;
        uint32_t v[4];
        if (root.ValueLength >= 52 && root.ValueStart + 24 <= root.End &&
            B.U32(root.ValueStart, signature) && signature == kFixedSignature &&
            B.U32(root.ValueStart + 8, v[0]) && B.U32(root.ValueStart + 12, v[1]) &&
            B.U32(root.ValueStart + 16, v[2]) && B.U32(root.ValueStart + 20, v[3])) {
            Image.Version.Present = true;
            VersionText(v[0], v[1], Image.Version.FileVersion);
            VersionText(v[2], v[3], Image.Version.ProductVersion);
        } else {
            Image.Notes.push_back("The version resource has no fixed part.");
        }
        for (uint64_t at = Align4(root.ValueStart + root.ValueLength); at < root.End;) {
            TBlock child;
            if (!Block(at, root.End, child)) break;
            if (KeyIs(child, "StringFileInfo")) {
                TBlock table;
                if (Block(Align4(child.ValueStart + child.ValueLength), child.End, table))
                    ReadStrings(table);
                return;
            }
            at = Align4(child.End);
        }
    }

  private:
    static void VersionText(uint32_t high, uint32_t low, std::string& out) {
        char text[24];
        char* p = text;
        const uint32_t parts[4] = {high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF};
        for (int i = 0; i < 4; ++i) {
            if (i > 0) *p++ = '.';
            p = std::to_chars(p, text + sizeof text, parts[i]).ptr;
        }
        out.assign(text, p);
    }

    // Whether the block's key is the ASCII text key, unit for unit.
    [[nodiscard]] bool KeyIs(const TBlock& block, std::string_view key) const {
        if (block.KeyUnits != key.size()) return false;
        const uint8_t* p = B.Data() + block.KeyAt;
        for (size_t i = 0; i < key.size(); ++i, p += 2)
            if (p[0] != static_cast<uint8_t>(key[i]) || p[1] != 0) return false;
        return true;
    }

    // False when no block header fits; a length beyond the parent is cut to it, with a note.
    [[nodiscard]] bool Block(uint64_t at, uint64_t limit, TBlock& block) {
        uint16_t length = 0;
        if (at + 6 > limit || !B.U16(at, length) || !B.U16(at + 2, block.ValueLength) ||
            !B.U16(at + 4, block.Type))
            return false;
        if (length < 6) {
            Lie();
            return false;
        }
        block.End = at + length;
        if (block.End > limit) {
            Lie();
            block.End = limit;
        }
        // The key runs to a NUL unit, which must come before the block's end.
        block.KeyAt = at + 6;
        const uint64_t keyEnd = std::min<uint64_t>(block.End, B.Size());
        const uint8_t* data = B.Data();
        uint64_t p = block.KeyAt;
        for (uint16_t unit; p + 2 <= keyEnd; p += 2) {
            std::memcpy(&unit, data + p, 2); // a NUL unit reads as 0 in either byte order
            if (unit == 0) break;
        }
        if (p + 2 > keyEnd) {
            Lie();
            return false;
        }
        block.KeyUnits = (p - block.KeyAt) / 2;
        block.ValueStart = Align4(p + 2);
        return true;
    }

    void ReadStrings(const TBlock& table) {
        for (uint64_t at = Align4(table.ValueStart + table.ValueLength); at < table.End;) {
            TBlock s;
            if (!Block(at, table.End, s)) return;
            if (std::string* field = Field(s)) *field = Text(s.ValueStart, s.End);
            at = Align4(s.End);
        }
    }

    std::string* Field(const TBlock& s) {
        TPEVersionInfo& v = Image.Version;
        if (KeyIs(s, "CompanyName")) return &v.CompanyName;
        if (KeyIs(s, "FileDescription")) return &v.FileDescription;
        if (KeyIs(s, "ProductName")) return &v.ProductName;
        if (KeyIs(s, "OriginalFilename")) return &v.OriginalFilename;
        return nullptr;
    }

    // UTF-16 up to a NUL or the block's end, as 8-bit text.
    std::string Text(uint64_t at, uint64_t end) const {
        std::string text;
        end = std::min<uint64_t>(end, B.Size());
        if (at >= end) return text;
        text.reserve(static_cast<size_t>((end - at) / 2));
        const uint8_t* data = B.Data();
        for (; at + 2 <= end; at += 2) {
            const unsigned unit = data[at] | data[at + 1] << 8;
            if (unit == 0) break;
            text += unit < 0x100 ? static_cast<char>(unit) : '?';
        }
        return text;
    }

    void Lie() {
        if (Lied) return;
        Lied = true;
        Image.Notes.push_back("The version resource's lengths lie.");
    }

    const pe::TBytes& B;
    uint64_t Start;
    uint64_t End;
    TPEImage& Image;
    bool Lied = false;
};

} // namespace

void ReadVersionResource(const pe::TBytes& bytes, const pe::TAddressMap& map,
                         uint32_t resourceAddress, TPEImage& image) {
    TResourceWalk walk(bytes, map, resourceAddress, image);
    uint32_t address = 0;
    uint32_t size = 0;
    if (!walk.FindVersion(address, size)) return;
    uint64_t start = 0;
    if (!map.ToOffset(address, start) || start >= bytes.Size()) {
        image.Notes.push_back("The version resource lies outside the file.");
        return;
    }
    uint64_t end = start + size;
    if (end > bytes.Size()) {
        image.Notes.push_back("The version resource is cut short.");
        end = bytes.Size();
    }
    TVersionReader(bytes, start, end, image).Read();
}
