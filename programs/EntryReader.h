#pragma once
// Cabinet entries read into memory in one run over the cabinet, each at most once and only up
// to a cap.
#include <cstdint>
#include <functional>
#include <vector>

class TCABFile;

// Called once per wanted entry: its position in the wanted list and its bytes, or ok false
// when the entry could not be read whole within the cap. Bytes that do not begin with "MZ" are
// only their first two: nothing else of them is an image. Called during the run, in cabinet
// order; entries the run did not finish follow after it with ok false. The bytes are lent for
// the call only: the next entry reuses their buffer.
using TEntryBytes = std::function<void(size_t wanted, const std::vector<uint8_t>& bytes, bool ok)>;

// The wanted entries are indices into the cabinet's current listing. An entry the listing says
// is over the cap is not read. stopped, when given, is asked before each entry and while one is
// read: true ends the run, and the entries not finished are reported as not read.
void ReadEntries(TCABFile& cabinet, const std::vector<size_t>& wanted, int64_t cap,
                 const TEntryBytes& onEntry, const std::function<bool()>& stopped = {});
