#pragma once
// Cabinets stored as they are inside another file (a self-extracting program, a cabinet's own
// entry), found as a carving tool finds them: each "MSCF" whose header and file table are
// consistent and whose declared size fits in the file. A candidate that overlaps one already
// taken, or is implausible, is refused and counted.
#include "cab/Streams.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct TCarvedCabinet {
    int64_t Offset = 0;
    int64_t Size = 0; // the header's declared size, or to the end of the signature it names
};

struct [[nodiscard]] TCarveResult {
    std::vector<TCarvedCabinet> Cabinets; // in file order, none overlapping
    size_t Refused = 0;                   // "MSCF" found where no consistent cabinet lies
    bool TimedOut = false;                // the deadline passed; what was found stands
    std::string Error;                    // the stream could not be read
};

// True when bytes (the file from a candidate's "MSCF" on, at most available of them, with room
// bytes left in the file from the same place) begin a consistent cabinet; its size in size,
// which takes in the signature after the cabinet when the header's reserve names one that fits.
[[nodiscard]] bool ConsistentCabinetAt(const uint8_t* bytes, size_t available, int64_t room,
                                       int64_t& size);

// Scans the whole stream once. At most maxCabinets are taken.
[[nodiscard]] TCarveResult FindStoredCabinets(TStream& stream, size_t maxCabinets,
                                              std::chrono::steady_clock::time_point deadline);
