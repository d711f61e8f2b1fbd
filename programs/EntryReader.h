#pragma once
// Cabinet entries read into memory, each at most once and only up to a cap.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TCABFile;

// Called once per wanted entry, in the order given: the bytes, or ok false when the entry could
// not be read whole within the cap.
using TEntryBytes = std::function<void(size_t index, const std::vector<uint8_t>& bytes, bool ok)>;

void ReadEntries(TCABFile& cabinet, const std::vector<std::string>& names, int64_t cap,
                 const TEntryBytes& onEntry);
