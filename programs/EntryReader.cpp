#include "programs/EntryReader.h"

#include "cab/cabfiles.h"

#include <algorithm>

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

// The sink of the entry being read; it hands the bytes on to each wanted position of the entry
// when the entry is complete.
class TWantedSink : public TImageSink {
  public:
    TWantedSink(size_t cap, const TEntryBytes& onEntry, std::vector<bool>& done,
                const std::function<bool()>& stopped)
        : TImageSink(cap), FOnEntry(onEntry), FDone(done), FStopped(stopped) {}
    std::vector<size_t> Positions;
    bool Write(const void* data, size_t count) override {
        if (FStopped && FStopped()) return false;
        return TImageSink::Write(data, count);
    }
    bool Finish(const TCABFileEntry& entry) override {
        if (!TImageSink::Finish(entry)) return false;
        for (const size_t w : Positions) {
            FOnEntry(w, Data, Ok());
            FDone[w] = true;
        }
        Positions.clear();
        return true;
    }

  private:
    const TEntryBytes& FOnEntry;
    std::vector<bool>& FDone;
    const std::function<bool()>& FStopped;
};

} // namespace

void TImageSink::Start(uint64_t listed) {
    Data.clear();
    FReserve = static_cast<size_t>(std::min<uint64_t>({listed, FCap, kMaxReserve}));
    FSize = 0;
    FNotImage = FOverflowed = FFinished = false;
}

bool TImageSink::Write(const void* data, size_t count) {
    if (FOverflowed || count > FCap - FSize) {
        FOverflowed = true;
        Data.clear();
        return true;
    }
    FSize += count;
    if (FNotImage) return true;
    const auto* p = static_cast<const uint8_t*>(data);
    const size_t head = Data.size() < 2 ? std::min(count, 2 - Data.size()) : 0;
    Data.insert(Data.end(), p, p + head);
    if (Data.size() == 2 && (Data[0] != 'M' || Data[1] != 'Z')) {
        FNotImage = true;
        return true;
    }
    // Sized once from the listing instead of grown by doubling: the copies of a growing
    // buffer cost more than decompressing the image. A listing that lies only wastes this.
    if (Data.size() == 2 && head > 0) Data.reserve(FReserve);
    Data.insert(Data.end(), p + head, p + count);
    return true;
}

void ReadEntries(TCABFile& cabinet, const std::vector<size_t>& wanted, int64_t cap,
                 const TEntryBytes& onEntry, const std::function<bool()>& stopped) {
    const std::vector<TCABFileEntry>& listing = cabinet.CABFileContents.Items();
    const size_t limit = cap < 0 ? 0 : static_cast<size_t>(cap);
    std::vector<bool> done(wanted.size(), false);
    // The wanted positions of each listed entry, chained: an entry wanted twice is read once.
    std::vector<size_t> firstWanted(listing.size(), kNone);
    std::vector<size_t> nextWanted(wanted.size(), kNone);
    std::vector<size_t> lastWanted(listing.size(), kNone);
    bool any = false;
    for (size_t w = 0; w < wanted.size(); ++w) {
        const size_t index = wanted[w];
        // A sink's cap passed would end the whole run: a file the listing calls too large is
        // left out before the run starts.
        if (index >= listing.size() || listing[index].Size > limit) continue;
        if (firstWanted[index] == kNone)
            firstWanted[index] = w;
        else
            nextWanted[lastWanted[index]] = w;
        lastWanted[index] = w;
        any = true;
    }
    if (any) {
        TWantedSink sink(limit, onEntry, done, stopped);
        const TOpenEntrySink open = [&](size_t index, const TCABFileEntry& entry) -> TEntrySink* {
            if (index >= firstWanted.size() || firstWanted[index] == kNone) return nullptr;
            if (stopped && stopped()) return nullptr;
            // The cabinet opens an entry only after the one before it finished or failed.
            sink.Positions.clear();
            for (size_t w = firstWanted[index]; w != kNone; w = nextWanted[w])
                if (!done[w]) sink.Positions.push_back(w);
            // Read at most once, even if a cabinet lists the same index again.
            firstWanted[index] = kNone;
            if (sink.Positions.empty()) return nullptr;
            sink.Start(entry.Size);
            return &sink;
        };
        try {
            if (!cabinet.ExtractEntries(open)) {
                // Stopped part way: the entries not finished are reported below.
            }
        } catch (...) {
            // The same, whatever ended the run.
        }
    }
    const std::vector<uint8_t> none;
    for (size_t w = 0; w < wanted.size(); ++w)
        if (!done[w]) onEntry(w, none, false);
}
