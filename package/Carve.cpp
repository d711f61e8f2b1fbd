#include "package/Carve.h"

#include "signature/Reserve.h"

#include <algorithm>
#include <cstring>
#include <memory>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace {

constexpr size_t kHeaderSize = 36; // CFHEADER without its optional fields
constexpr size_t kFileRecordSize = 16;
constexpr size_t kFolderRecordSize = 8;
constexpr size_t kMaxEntryName = 256;
constexpr uint16_t kContinuedFolders = 0xFFFD; // 0xFFFD to 0xFFFF: a file continued across sets
constexpr uint16_t kFlagPrev = 1, kFlagNext = 2, kFlagReserve = 4;
// Enough to check the header, the folders and the file table of any cabinet we would take.
constexpr size_t kCheckWindow = 1 << 20;
constexpr size_t kChunk = 1 << 20;

uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t U32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

#if defined(__x86_64__) && defined(__GNUC__)
#define TESSARY_CARVE_AVX2 1
// Sixty-four positions at a time on processors with AVX2 (nearly all in use), in few steps:
// every "MSCF" puts "MS" or "SC" into a two-byte lane counted from `from` (as it starts on a
// lane or one byte before one), so only the lanes are compared. Returns the first "MSCF" at or
// after from, or the first position it did not look at.
__attribute__((target("avx2"))) size_t NextSignatureAvx2(const uint8_t* bytes, size_t from,
                                                         size_t length) {
    const __m256i ms = _mm256_set1_epi16(0x534D); // "MS", little-endian
    const __m256i sc = _mm256_set1_epi16(0x4353); // "SC"
    size_t i = from;
    for (; i + 64 <= length; i += 64) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i + 32));
        const __m256i hits =
            _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi16(a, ms), _mm256_cmpeq_epi16(a, sc)),
                            _mm256_or_si256(_mm256_cmpeq_epi16(b, ms), _mm256_cmpeq_epi16(b, sc)));
        if (_mm256_testz_si256(hits, hits)) continue;
        // Rare in any data: the block's positions, from the byte before it, one by one.
        for (size_t at = i > from ? i - 1 : from; at < i + 64 && at + 4 <= length; ++at)
            if (std::memcmp(bytes + at, "MSCF", 4) == 0) return at;
    }
    return i;
}

bool HaveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}
#endif

// The position of the next "MSCF" in bytes[from, length), or length when none starts there.
// Many positions at a time where the processor allows: "M" followed by "S" is rare in
// compressed or random data, where "M" alone stops the search every 256 bytes on average.
size_t NextSignature(const uint8_t* bytes, size_t from, size_t length) {
    size_t i = from;
#if defined(TESSARY_CARVE_AVX2)
    if (HaveAvx2()) {
        i = NextSignatureAvx2(bytes, i, length);
        if (i + 4 <= length && std::memcmp(bytes + i, "MSCF", 4) == 0) return i;
        // The last few bytes are searched below; one "MSCF" may start just before them.
        if (i > from) --i;
    }
#endif
#if defined(__SSE2__)
    const __m128i m = _mm_set1_epi8('M');
    const __m128i sChar = _mm_set1_epi8('S');
    for (; i + 17 <= length; i += 16) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 1));
        auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(here, m), _mm_cmpeq_epi8(next, sChar))));
        while (mask != 0) {
            const size_t at = i + static_cast<size_t>(__builtin_ctz(mask));
            if (at + 4 <= length && std::memcmp(bytes + at, "MSCF", 4) == 0) return at;
            mask &= mask - 1;
        }
    }
#endif
    for (; i + 4 <= length; ++i) {
        const void* found = std::memchr(bytes + i, 'M', length - 3 - i);
        if (!found) return length;
        i = static_cast<size_t>(static_cast<const uint8_t*>(found) - bytes);
        if (std::memcmp(bytes + i, "MSCF", 4) == 0) return i;
    }
    return length;
}

// Skips a NUL-terminated name of at most kMaxEntryName bytes at pos; false when none ends there.
bool SkipName(const uint8_t* bytes, size_t end, size_t& pos) {
    const size_t limit = std::min(end, pos + kMaxEntryName);
    const void* nul = std::memchr(bytes + pos, 0, limit > pos ? limit - pos : 0);
    if (!nul) return false;
    pos = static_cast<size_t>(static_cast<const uint8_t*>(nul) - bytes) + 1;
    return true;
}

} // namespace

namespace {

// Whether the fixed header (kHeaderSize bytes at bytes) could begin a cabinet of at most room
// bytes: what nearly every stray "MSCF" fails.
bool PlausibleHeader(const uint8_t* bytes, int64_t room) {
    const uint32_t cabinetSize = U32(bytes + 8);
    const uint16_t folders = U16(bytes + 26), files = U16(bytes + 28), flags = U16(bytes + 30);
    if (std::memcmp(bytes, "MSCF", 4) != 0) return false;
    if (U32(bytes + 4) != 0 || U32(bytes + 12) != 0 || U32(bytes + 20) != 0) return false;
    if (bytes[24] != 3 || bytes[25] != 1) return false; // version 1.3, the only one written
    if (flags & ~(kFlagPrev | kFlagNext | kFlagReserve)) return false;
    return folders != 0 && files != 0 && cabinetSize >= kHeaderSize && cabinetSize <= room;
}

} // namespace

bool ConsistentCabinetAt(const uint8_t* bytes, size_t available, int64_t room, int64_t& size) {
    if (available < kHeaderSize || !PlausibleHeader(bytes, room)) return false;
    const uint32_t cabinetSize = U32(bytes + 8);
    const uint32_t filesOffset = U32(bytes + 16);
    const uint16_t folders = U16(bytes + 26), files = U16(bytes + 28), flags = U16(bytes + 30);
    const size_t end = std::min<size_t>(available, cabinetSize);
    size_t pos = kHeaderSize;
    uint8_t folderReserve = 0;
    if (flags & kFlagReserve) {
        if (pos + 4 > end) return false;
        folderReserve = bytes[pos + 2];
        pos += 4 + U16(bytes + pos);
    }
    if (flags & kFlagPrev) // the previous cabinet's name and disk
        if (!SkipName(bytes, end, pos) || !SkipName(bytes, end, pos)) return false;
    if (flags & kFlagNext)
        if (!SkipName(bytes, end, pos) || !SkipName(bytes, end, pos)) return false;
    for (uint16_t f = 0; f < folders; ++f) {
        if (pos + kFolderRecordSize > end) return false;
        const uint32_t dataOffset = U32(bytes + pos);
        const uint16_t compression = U16(bytes + pos + 6) & 0x0F;
        if (dataOffset >= cabinetSize || compression > 3) return false;
        pos += kFolderRecordSize + folderReserve;
    }
    if (filesOffset < pos || filesOffset >= cabinetSize) return false;
    pos = filesOffset;
    for (uint16_t i = 0; i < files; ++i) {
        if (pos + kFileRecordSize > end) return false;
        const uint16_t folder = U16(bytes + pos + 8);
        if (folder >= folders && folder < kContinuedFolders) return false;
        pos += kFileRecordSize;
        if (bytes[pos] == 0 || !SkipName(bytes, end, pos)) return false;
    }
    if (pos > cabinetSize) return false;
    size = cabinetSize;
    // A signed cabinet goes on past its declared size to the end of its signature.
    const TSignatureArea signature = LocateSignature({bytes, std::min(available, kReserveHeadSize)},
                                                     static_cast<uint64_t>(room));
    if (signature.Outcome == TSignatureArea::TOutcome::Found && signature.Overlap.empty())
        size = static_cast<int64_t>(signature.Position) + signature.Size;
    return true;
}

TCarveResult FindStoredCabinets(TStream& stream, size_t maxCabinets,
                                std::chrono::steady_clock::time_point deadline) {
    TCarveResult result;
    const int64_t total = stream.Size();
    // Left unset: every byte is read before it is looked at. Fresh pages are costly to touch
    // twice, and on some systems costly at all: the buffers are small and never cleared.
    const std::unique_ptr<uint8_t[]> chunk(new uint8_t[kChunk + 3]);
    std::unique_ptr<uint8_t[]> window;
    int64_t takenEnd = 0; // candidates before this lie inside a cabinet already taken
    for (int64_t base = 0; base < total;) {
        if (std::chrono::steady_clock::now() > deadline) {
            result.TimedOut = true;
            break;
        }
        stream.SetPosition(base);
        const int64_t want = std::min<int64_t>(static_cast<int64_t>(kChunk + 3), total - base);
        if (stream.Read(chunk.get(), want) != want) {
            result.Error = "the file could not be read";
            break;
        }
        const size_t length = static_cast<size_t>(want);
        for (size_t i = 0; i + 4 <= length;) {
            i = NextSignature(chunk.get(), i, length);
            if (i >= length) break;
            const int64_t offset = base + static_cast<int64_t>(i);
            ++i;
            if (offset < takenEnd) continue;
            const int64_t room = total - offset;
            const size_t have = static_cast<size_t>(std::min<int64_t>(room, kCheckWindow));
            const uint8_t* bytes = chunk.get() + i - 1;
            const size_t inChunk = length - (i - 1);
            // A stray "MSCF" is refused on its fixed header, without reading further.
            if (inChunk >= kHeaderSize && !PlausibleHeader(bytes, room)) {
                ++result.Refused;
                continue;
            }
            if (inChunk < have) { // the check needs bytes past this chunk
                if (!window) window.reset(new uint8_t[kCheckWindow]);
                stream.SetPosition(offset);
                if (stream.Read(window.get(), static_cast<int64_t>(have)) !=
                    static_cast<int64_t>(have)) {
                    result.Error = "the file could not be read";
                    return result;
                }
                bytes = window.get();
            }
            int64_t size = 0;
            if (!ConsistentCabinetAt(bytes, have, room, size)) {
                ++result.Refused;
                continue;
            }
            if (result.Cabinets.size() >= maxCabinets) return result;
            result.Cabinets.push_back({offset, size});
            takenEnd = offset + size;
        }
        // Three bytes of overlap, so a signature across two chunks is seen.
        base += static_cast<int64_t>(length) - (base + want < total ? 3 : 0);
    }
    return result;
}
