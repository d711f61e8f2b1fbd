#include "tests/support/PEBuilder.h"

#include <cstring>

namespace {

constexpr uint32_t kHeaderSize = 0x200;
constexpr uint32_t kSectionAddress = 0x1000;

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    if (b.size() < at + 2) b.resize(at + 2);
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}
void Align(std::vector<uint8_t>& b, size_t to) {
    while (b.size() % to)
        b.push_back(0);
}
void Append16(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, b.size(), v);
}
void Append32(std::vector<uint8_t>& b, uint32_t v) {
    Put32(b, b.size(), v);
}
void AppendUtf16(std::vector<uint8_t>& b, const std::string& text) {
    for (const char c : text)
        Append16(b, static_cast<unsigned char>(c));
    Append16(b, 0);
}

// A version node: length, value length, type, key, value and children, aligned to 4.
std::vector<uint8_t> Node(const std::string& key, const std::vector<uint8_t>& value,
                          uint16_t valueLength, uint16_t type,
                          const std::vector<std::vector<uint8_t>>& children) {
    std::vector<uint8_t> b(6, 0);
    AppendUtf16(b, key);
    Align(b, 4);
    b.insert(b.end(), value.begin(), value.end());
    for (const auto& child : children) {
        Align(b, 4);
        b.insert(b.end(), child.begin(), child.end());
    }
    Put16(b, 0, static_cast<uint32_t>(b.size()));
    Put16(b, 2, valueLength);
    Put16(b, 4, type);
    return b;
}

std::vector<uint8_t> VersionData(const PEVersionPlan& v) {
    std::vector<uint8_t> fixed;
    Append32(fixed, 0xFEEF04BD);
    Append32(fixed, 0x00010000);
    Append32(fixed, static_cast<uint32_t>(v.File[0]) << 16 | v.File[1]);
    Append32(fixed, static_cast<uint32_t>(v.File[2]) << 16 | v.File[3]);
    Append32(fixed, static_cast<uint32_t>(v.Product[0]) << 16 | v.Product[1]);
    Append32(fixed, static_cast<uint32_t>(v.Product[2]) << 16 | v.Product[3]);
    fixed.resize(52, 0);
    std::vector<std::vector<uint8_t>> strings;
    for (const auto& [key, text] : v.Strings) {
        std::vector<uint8_t> value;
        AppendUtf16(value, text);
        strings.push_back(Node(key, value, static_cast<uint16_t>(text.size() + 1), 1, {}));
    }
    const auto table = Node("040904B0", {}, 0, 1, strings);
    const auto stringInfo = Node("StringFileInfo", {}, 0, 1, {table});
    std::vector<uint8_t> translation;
    Append32(translation, 0x04B00409);
    const auto varInfo =
        Node("VarFileInfo", {}, 0, 1, {Node("Translation", translation, 4, 0, {})});
    // Variable information first: the reader must find the string table after it.
    auto root = Node("VS_VERSION_INFO", fixed, 52, 0, {varInfo, stringInfo});
    Put16(root, 0, static_cast<uint32_t>(root.size()) + v.RootLengthLie);
    return root;
}

// A resource directory with one entry.
void Directory(std::vector<uint8_t>& s, size_t at, uint32_t id, uint32_t target) {
    Put32(s, at, 0);
    Put16(s, at + 12, 0);
    Put16(s, at + 14, 1);
    Put32(s, at + 16, id);
    Put32(s, at + 20, target);
}

} // namespace

std::vector<uint8_t> BuildPEImage(const PEPlan& plan) {
    // The section's bytes; an address inside it is kSectionAddress plus the offset.
    std::vector<uint8_t> s;
    uint32_t dirs[16][2] = {};
    auto rva = [](size_t offset) { return static_cast<uint32_t>(kSectionAddress + offset); };

    if (plan.ClrRuntimeVersion) {
        const size_t clr = s.size();
        s.resize(clr + 72, 0);
        const size_t meta = s.size();
        Append32(s, 0x424A5342);
        Append16(s, 1);
        Append16(s, 1);
        Append32(s, 0);
        const uint32_t length = static_cast<uint32_t>((plan.ClrRuntimeVersion->size() + 4) & ~3u);
        Append32(s, length);
        s.insert(s.end(), plan.ClrRuntimeVersion->begin(), plan.ClrRuntimeVersion->end());
        s.resize(meta + 16 + length, 0);
        Append32(s, 0); // flags and stream count of the metadata root
        Put32(s, clr, 72);
        Put16(s, clr + 4, 2);
        Put16(s, clr + 6, 5);
        Put32(s, clr + 8, rva(meta));
        Put32(s, clr + 12, static_cast<uint32_t>(s.size() - meta));
        Put32(s, clr + 16, plan.ClrFlags);
        dirs[14][0] = rva(clr);
        dirs[14][1] = 72;
        Align(s, 4);
    }
    if (plan.Version) {
        const size_t root = s.size();
        const size_t name = root + 24, language = name + 24, data = language + 24;
        s.resize(data + 16, 0);
        Directory(s, root, 16, static_cast<uint32_t>(name - root) | 0x80000000u);
        Directory(s, name, 1, static_cast<uint32_t>(language - root) | 0x80000000u);
        Directory(s, language, 0x409,
                  plan.ResourceLoop ? static_cast<uint32_t>(name - root) | 0x80000000u
                                    : static_cast<uint32_t>(data - root));
        const auto version = VersionData(*plan.Version);
        Put32(s, data, rva(s.size()));
        Put32(s, data + 4, static_cast<uint32_t>(version.size()));
        s.insert(s.end(), version.begin(), version.end());
        dirs[2][0] = rva(root);
        dirs[2][1] = static_cast<uint32_t>(s.size() - root);
        Align(s, 4);
    }
    if (!plan.Imports.empty()) {
        std::vector<uint32_t> names;
        for (const std::string& dll : plan.Imports) {
            names.push_back(rva(s.size()));
            s.insert(s.end(), dll.begin(), dll.end());
            s.push_back(0);
        }
        Align(s, 4);
        const size_t table = s.size();
        for (const uint32_t name : names) {
            const size_t at = s.size();
            s.resize(at + 20, 0);
            Put32(s, at, rva(at)); // a lookup table address: only its being non-zero counts
            Put32(s, at + 12, name);
            Put32(s, at + 16, rva(at));
        }
        if (!plan.ImportsWithoutEnd) s.resize(s.size() + 20, 0);
        dirs[1][0] = rva(table);
        dirs[1][1] = static_cast<uint32_t>(s.size() - table);
    }
    if (s.empty()) s.resize(4, 0);
    // Without an end the descriptors must reach the end of the file.
    if (!plan.ImportsWithoutEnd) Align(s, 0x200);

    std::vector<uint8_t> b(kHeaderSize, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, 0x40);
    Put32(b, 0x40, 0x00004550);
    const size_t file = 0x44;
    const uint16_t optionalSize = plan.PE32Plus ? 240 : 224;
    Put16(b, file, plan.Machine);
    Put16(b, file + 2, plan.SectionCountField.value_or(1));
    Put16(b, file + 16, optionalSize);
    Put16(b, file + 18, 0x0102 | (plan.Dll ? 0x2000 : 0));
    const size_t opt = file + 20;
    Put16(b, opt, plan.PE32Plus ? 0x20b : 0x10b);
    Put32(b, opt + 32, 0x1000); // section alignment
    Put32(b, opt + 36, 0x200);  // file alignment
    Put16(b, opt + 48, plan.SubsystemMajor);
    Put16(b, opt + 50, plan.SubsystemMinor);
    Put32(b, opt + 56, static_cast<uint32_t>(kSectionAddress + ((s.size() + 0xFFF) & ~0xFFFu)));
    Put32(b, opt + 60, kHeaderSize);
    Put16(b, opt + 68, plan.Subsystem);
    const size_t dirCount = opt + (plan.PE32Plus ? 108 : 92);
    Put32(b, dirCount, plan.DirectoryCountField.value_or(16));
    const uint32_t certificate = static_cast<uint32_t>(kHeaderSize + ((s.size() + 7) & ~7u));
    if (plan.Signature) {
        dirs[4][0] = certificate;
        dirs[4][1] = 16;
    }
    for (size_t i = 0; i < 16; ++i) {
        Put32(b, dirCount + 4 + 8 * i, dirs[i][0]);
        Put32(b, dirCount + 8 + 8 * i, dirs[i][1]);
    }
    const size_t section = opt + optionalSize;
    std::memcpy(&b[section], ".data", 5);
    Put32(b, section + 8, static_cast<uint32_t>(s.size()));
    Put32(b, section + 12, kSectionAddress);
    Put32(b, section + 16, static_cast<uint32_t>(s.size()));
    Put32(b, section + 20, kHeaderSize);
    Put32(b, section + 36, 0xC0000040);
    b.insert(b.end(), s.begin(), s.end());
    if (plan.Signature) {
        b.resize(certificate, 0);
        Append32(b, 16);
        Append16(b, 0x0200);
        Append16(b, 2);
        Append32(b, 0x30820000); // the start of a DER sequence; never parsed
        Append32(b, 0);
    }
    return b;
}
