#pragma once
// Cabinet entries read into memory in one run over the cabinet, each at most once and only up
// to a cap.
#include "cab/cabfiles.h"

#include <cstdint>
#include <functional>
#include <vector>

// Keeps an entry's bytes up to the cap, or only its first two once they are not "MZ". An entry
// longer than its listing said is dropped, not kept, so the run goes on to the next one. One
// sink serves every entry of a run: its buffer keeps its capacity from entry to entry.
class TImageSink : public TEntrySink {
  public:
    explicit TImageSink(size_t cap) : FCap(cap) {}
    // Ready for the next entry, which the listing says holds listed bytes.
    void Start(uint64_t listed);
    bool Write(const void* data, size_t count) override;
    bool Finish(const TCABFileEntry&) override {
        FFinished = true;
        return true;
    }
    [[nodiscard]] bool Ok() const { return FFinished && !FOverflowed; }
    std::vector<uint8_t> Data;

  private:
    // A hostile listing may claim any size: no more than this is set aside ahead of the bytes.
    static constexpr uint64_t kMaxReserve = 64u << 20;
    size_t FCap;
    size_t FReserve = 0;
    size_t FSize = 0;
    bool FNotImage = false;
    bool FOverflowed = false;
    bool FFinished = false;
};

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
