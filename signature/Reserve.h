#pragma once
// Where a cabinet keeps its signature: the per-cabinet reserve of its header names the
// position and size of a PKCS#7 SignedData stored after the cabinet's last byte.
#include <array>
#include <cstdint>
#include <span>
#include <string>

// Bytes 0-59 hold every header field the reserve's fields need.
constexpr size_t kReserveHeadSize = 60;
// Far more than any certificate chain with a timestamp; a larger area is not a signature.
constexpr uint32_t kMaxSignatureSize = 1u << 20;

struct TSignatureArea {
    enum class TOutcome { NotSigned, Found, Unreadable } Outcome = TOutcome::NotSigned;
    std::string Why; // for Unreadable
    uint32_t Position = 0;
    uint32_t Size = 0;
    // The cabinet's declared length runs into the signature area. Reported after the checks,
    // so that a changed length field reads as a modified cabinet.
    std::string Overlap;
};

// head: the file's first bytes (up to kReserveHeadSize); fileSize: the whole file's.
[[nodiscard]] TSignatureArea LocateSignature(std::span<const uint8_t> head, uint64_t fileSize);

// The parts of the file that the cabinet's Authenticode digest covers, in order: everything
// before the signature but the header's reserved field, the set number within a set and the
// reserve sizes with the reserve's first 16 bytes (the signature's own position and size).
struct TDigestRange {
    uint64_t Begin;
    uint64_t End;
};
[[nodiscard]] std::array<TDigestRange, 3> DigestRanges(const TSignatureArea& area);
