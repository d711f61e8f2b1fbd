#include "tests/support/CabinetBuilder.h"

#include <algorithm>
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

namespace {
void Put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, static_cast<uint16_t>(v));
    Put16(b, static_cast<uint16_t>(v >> 16));
}

// Deflate's bit order: fields from the low bit up; Huffman codes from their top bit.
class TBitWriter {
  public:
    void Bits(uint32_t value, int count) {
        for (int i = 0; i < count; ++i)
            Bit((value >> i) & 1);
    }
    void Code(uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i)
            Bit((code >> i) & 1);
    }
    std::vector<uint8_t> Done() {
        if (FCount) FBytes.push_back(FByte);
        return FBytes;
    }

  private:
    void Bit(uint32_t bit) {
        FByte = static_cast<uint8_t>(FByte | (bit << FCount));
        if (++FCount == 8) {
            FBytes.push_back(FByte);
            FByte = 0;
            FCount = 0;
        }
    }
    std::vector<uint8_t> FBytes;
    uint8_t FByte = 0;
    int FCount = 0;
};

// "CK" and one final fixed-Huffman deflate block giving `count` zero bytes: a literal zero,
// then copies of up to 258 bytes at distance 1.
std::vector<uint8_t> ZeroBlock(uint32_t count) {
    TBitWriter w;
    w.Bits(1, 1);    // final block
    w.Bits(1, 2);    // fixed Huffman codes
    w.Code(0x30, 8); // literal 0
    uint32_t left = count - 1;
    while (left > 0) {
        if (left < 3) { // too short for a copy
            w.Code(0x30, 8);
            --left;
            continue;
        }
        uint32_t length = std::min<uint32_t>(left, 258);
        if (left - length > 0 && left - length < 3) length -= 3; // leave a copy's worth
        if (length == 258) {
            w.Code(0xC5, 8); // length code 285
        } else {
            // Length codes 257-284: base lengths and extra bits as deflate defines them.
            static const uint16_t base[] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                            15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                            67, 83, 99, 115, 131, 163, 195, 227, 258};
            static const uint8_t extra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                            2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
            int code = 27;
            while (base[code] > length)
                --code;
            const uint32_t symbol = 257 + static_cast<uint32_t>(code);
            if (symbol < 280)
                w.Code(symbol - 256, 7);
            else
                w.Code(0xC0 + symbol - 280, 8);
            w.Bits(length - base[code], extra[code]);
        }
        w.Code(0, 5); // distance 1
        left -= length;
    }
    w.Code(0, 7); // end of block
    std::vector<uint8_t> block = {'C', 'K'};
    const std::vector<uint8_t> bits = w.Done();
    block.insert(block.end(), bits.begin(), bits.end());
    return block;
}
} // namespace

std::vector<uint8_t> BuildZeroCabinet(const std::string& name, uint32_t size, uint32_t claimed) {
    constexpr uint32_t kBlock = 32768;
    const uint32_t blocks = size / kBlock + (size % kBlock ? 1 : 0);
    if (blocks > 65535) throw std::runtime_error("more blocks than a folder holds");
    const std::vector<uint8_t> whole = ZeroBlock(kBlock);
    const std::vector<uint8_t> last = size % kBlock ? ZeroBlock(size % kBlock) : whole;
    const uint32_t filesAt = 36 + 8;
    const uint32_t dataAt = filesAt + 16 + static_cast<uint32_t>(name.size()) + 1;
    const uint64_t total = dataAt + uint64_t(blocks - 1) * (8 + whole.size()) + 8 + last.size();
    std::vector<uint8_t> cab = {'M', 'S', 'C', 'F'};
    Put32(cab, 0);
    Put32(cab, static_cast<uint32_t>(total));
    Put32(cab, 0);
    Put32(cab, filesAt);
    Put32(cab, 0);
    cab.push_back(3); // version 1.3
    cab.push_back(1);
    Put16(cab, 1); // folders
    Put16(cab, 1); // files
    Put16(cab, 0); // flags
    Put16(cab, 0); // set id
    Put16(cab, 0); // number in the set
    Put32(cab, dataAt);
    Put16(cab, static_cast<uint16_t>(blocks));
    Put16(cab, 1); // MSZIP
    Put32(cab, claimed);
    Put32(cab, 0); // offset in the folder
    Put16(cab, 0); // folder 0
    Put16(cab, (40 << 9) | (5 << 5) | 17);
    Put16(cab, 0);
    Put16(cab, 0x20);
    cab.insert(cab.end(), name.begin(), name.end());
    cab.push_back(0);
    cab.reserve(static_cast<size_t>(total));
    for (uint32_t i = 0; i < blocks; ++i) {
        const bool isLast = i + 1 == blocks;
        const std::vector<uint8_t>& data = isLast ? last : whole;
        Put32(cab, 0); // no checksum
        Put16(cab, static_cast<uint16_t>(data.size()));
        Put16(cab, static_cast<uint16_t>(isLast && size % kBlock ? size % kBlock : kBlock));
        cab.insert(cab.end(), data.begin(), data.end());
    }
    return cab;
}

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
