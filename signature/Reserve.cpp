#include "signature/Reserve.h"

#include <algorithm>

namespace {

// Header field offsets of a cabinet.
constexpr size_t kCabinetSize = 8;  // u32 cbCabinet
constexpr size_t kFlags = 30;       // u16
constexpr size_t kReserveSize = 36; // u16 cbCFHeader, then u8 cbCFFolder, u8 cbCFData
constexpr size_t kReserve = 40;     // the per-cabinet reserve itself
constexpr uint16_t kReservePresent = 0x0004;
// Within the reserve: u32 position and u32 size of the signature.
constexpr size_t kSignaturePosition = 4;
constexpr size_t kSignatureSize = 8;
constexpr size_t kMinReserve = 20;

uint32_t U32(std::span<const uint8_t> b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

uint16_t U16(std::span<const uint8_t> b, size_t at) {
    return uint16_t(b[at] | b[at + 1] << 8);
}

TSignatureArea Unreadable(std::string why) {
    TSignatureArea area;
    area.Outcome = TSignatureArea::TOutcome::Unreadable;
    area.Why = std::move(why);
    return area;
}

} // namespace

TSignatureArea LocateSignature(std::span<const uint8_t> head, uint64_t fileSize) {
    static const uint8_t kMagic[] = {'M', 'S', 'C', 'F'};
    if (head.size() < 4 || !std::equal(kMagic, kMagic + 4, head.begin()))
        return Unreadable("the file is not a cabinet");
    if (head.size() < kReserveSize) return Unreadable("the cabinet header is cut off");
    if (!(U16(head, kFlags) & kReservePresent)) return {};
    if (head.size() < kReserve) return Unreadable("the cabinet header is cut off");
    const uint16_t reserve = U16(head, kReserveSize);
    if (reserve == 0) return {};
    if (reserve < kMinReserve)
        return Unreadable("the header reserve holds " + std::to_string(reserve) +
                          " bytes, fewer than the 20 a signature needs");
    const uint64_t headerEnd = kReserve + uint64_t(reserve);
    if (head.size() < kReserve + kMinReserve || fileSize < headerEnd)
        return Unreadable("the header reserve is cut off");

    TSignatureArea area;
    area.Position = U32(head, kReserve + kSignaturePosition);
    area.Size = U32(head, kReserve + kSignatureSize);
    // A reserve made room for a signature that was never written.
    if (area.Position == 0 && area.Size == 0) return {};
    const std::string where =
        "(" + std::to_string(area.Size) + " bytes at " + std::to_string(area.Position) + ")";
    const uint64_t end = uint64_t(area.Position) + area.Size;
    if (area.Size == 0) return Unreadable("the signature area is empty");
    if (end > UINT32_MAX) return Unreadable("the signature area " + where + " wraps around");
    if (area.Size > kMaxSignatureSize)
        return Unreadable("the signature area " + where + " is larger than any signature");
    if (end > fileSize)
        return Unreadable("the signature area " + where + " lies past the end of the file (" +
                          std::to_string(fileSize) + " bytes)");
    if (area.Position < headerEnd)
        return Unreadable("the signature area " + where + " overlaps the cabinet header");
    const uint32_t cabinetSize = U32(head, kCabinetSize);
    if (cabinetSize > area.Position)
        area.Overlap = "the signature area " + where + " overlaps the cabinet (" +
                       std::to_string(cabinetSize) + " bytes)";
    area.Outcome = TSignatureArea::TOutcome::Found;
    return area;
}

std::array<TDigestRange, 3> DigestRanges(const TSignatureArea& area) {
    // Skipped: the reserved u32 at 4, and 34-55: the set number, the reserve sizes and the
    // reserve's first 16 bytes. The rest of the reserve, any names of neighbouring cabinets,
    // the folder records with their own reserve, the file records and the data follow
    // without a gap up to the signature.
    return {{{0, 4}, {8, 34}, {56, area.Position}}};
}
