#include "programs/EntryReader.h"

#include "cab/cabfiles.h"

namespace {

// Refuses a write that would take it past the cap, which ends the cabinet run.
class TCappedStream : public TMemoryStream {
  public:
    explicit TCappedStream(int64_t cap) : FCap(cap) {}
    int64_t Write(const void* buffer, int64_t count) override {
        if (count > FCap - Size()) return -1;
        return TMemoryStream::Write(buffer, count);
    }

  private:
    int64_t FCap;
};

} // namespace

void ReadEntries(TCABFile& cabinet, const std::vector<size_t>& wanted, int64_t cap,
                 const TEntryBytes& onEntry) {
    // The reader extracts one named entry per run over the cabinet.
    const std::vector<TCABFileEntry> listing = cabinet.CABFileContents.Items();
    for (size_t i = 0; i < wanted.size(); ++i) {
        TCappedStream stream(cap);
        bool ok = false;
        try {
            ok = wanted[i] < listing.size() &&
                 cabinet.ExtractToStream(stream, listing[wanted[i]].Name);
        } catch (...) {
            ok = false;
        }
        onEntry(i, stream.Data(), ok);
    }
}
