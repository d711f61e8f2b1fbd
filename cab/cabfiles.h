#pragma once
// Lists the entries of a Microsoft cabinet and extracts single entries into a stream or a file,
// through the FDI-shaped layer of fdi.h. Each operation is one run of that layer.
#include "cab/DateTime.h"
#include "cab/Streams.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

class TCABFile;

// Raised only by the compression path, which the viewer never runs.
class ECABFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class TCompressionType { typNone, typMSZIP, typLZX };
enum class TLZXMemory { lzxLowest, lzxLower, lzxLow, lzxMedium, lzxHigh, lzxHigher, lzxHighest };
enum class TCABMode { List, ExtractToStream, ExtractToFile, ExtractEntries, ListExtractEntries };

class TCABFileEntry {
  public:
    std::string Name;         // as stored; may hold a relative folder ("sub\file.txt")
    std::string InternalName; // setup building only
    uint64_t Size = 0;        // uncompressed size (the cabinet stores 32 bits)
    TDateTime Date;           // all zero when the stored date or time is not valid
    std::string RelPath;      // setup building only
};

class TCABFileContents {
  public:
    explicit TCABFileContents(TCABFile* owner) : FOwner(owner) {}
    [[nodiscard]] int Count() const { return static_cast<int>(FItems.size()); }
    [[nodiscard]] const TCABFileEntry& Item(int index) const { return FItems[index]; }
    TCABFileEntry& Add() { return FItems.emplace_back(); }
    void Clear() { FItems.clear(); }
    void Reserve(size_t count) { FItems.reserve(count); }
    // The entries of another listing of the same cabinet; the owner stays.
    void Assign(const TCABFileContents& other) { FItems = other.FItems; }
    [[nodiscard]] TCABFile* Owner() const { return FOwner; }
    [[nodiscard]] const std::vector<TCABFileEntry>& Items() const { return FItems; }

  private:
    TCABFile* FOwner;
    std::vector<TCABFileEntry> FItems;
};

// Where the bytes of one entry go in an ExtractEntries run.
class TEntrySink {
  public:
    virtual ~TEntrySink() = default;
    // False ends the run (a full disk, a size cap passed).
    [[nodiscard]] virtual bool Write(const void* data, size_t count) = 0;
    // The entry is complete; false ends the run.
    [[nodiscard]] virtual bool Finish(const TCABFileEntry& entry) = 0;
};

// Gives the sink for the entry at that index of the listing, or null to skip it. The sink must
// live until its Finish or the end of the run.
using TOpenEntrySink = std::function<TEntrySink*(size_t index, const TCABFileEntry& entry)>;

// Keeps an entry's bytes in memory, up to a cap; an entry that would pass it ends the run.
class TMemorySink : public TEntrySink {
  public:
    explicit TMemorySink(size_t cap) : FCap(cap) {}
    // Room for the entry's size as listed, up to the cap: a large entry is then not copied at
    // each doubling, nor kept with up to twice its size reserved.
    void Expect(uint64_t size) {
        Data.reserve(static_cast<size_t>(std::min<uint64_t>(size, FCap)));
    }
    [[nodiscard]] bool Write(const void* data, size_t count) override;
    [[nodiscard]] bool Finish(const TCABFileEntry&) override { return FFinished = true; }
    [[nodiscard]] bool Overflowed() const { return FOverflowed; }
    [[nodiscard]] bool Finished() const { return FFinished; }
    std::vector<uint8_t> Data;

  private:
    size_t FCap;
    bool FOverflowed = false;
    bool FFinished = false;
};

using TCompressProgress = std::function<void(TCABFile* sender, int32_t pos, int32_t tot)>;
using TDeCompressProgress =
    std::function<void(TCABFile* sender, const std::string& fileName, uint64_t pos, uint64_t tot)>;
using TOverWriteFile =
    std::function<void(TCABFile* sender, const std::string& fileName, bool& allow)>;

class TCABFile {
  public:
    explicit TCABFile(void* owner = nullptr);
    TCABFile(const TCABFile&) = delete;
    TCABFile& operator=(const TCABFile&) = delete;

    TCABFileContents CABFileContents{this};
    std::string CABFile;
    // When not empty, the cabinet is these bytes, read in place for every run (they must outlive
    // the runs); CABFile then only names it. A container's cabinet need not be written out to
    // be looked into.
    std::span<const uint8_t> CABBytes;
    TCompressionType CompressionType = TCompressionType::typMSZIP;
    TLZXMemory LZXMemory = TLZXMemory::lzxLowest;
    std::string TargetPath;
    TCompressProgress OnCompressProgress;
    TDeCompressProgress OnDecompressProgress;
    TOverWriteFile OnOverWriteFile;

    // The file can be opened and the cabinet library recognises it.
    [[nodiscard]] bool IsCabinet(const std::string& path);
    // Refills CABFileContents from CABFile. Every entry is listed; then the date conversion
    // error of the first entry with an invalid date passes out, naming that entry.
    void ListContents();
    // Writes the bytes of the first entry of that name (ignoring case) at the stream's
    // position. An entry that does not exist writes nothing and still answers true.
    [[nodiscard]] bool ExtractToStream(TStream& stream, const std::string& entryName);
    // Writes the first entry of that name below TargetPath under the file-name part of
    // destName, through TSafeFile. An entry whose name would leave TargetPath is refused
    // (false), nothing written.
    [[nodiscard]] bool ExtractEntry(const std::string& entryName, const std::string& destName);
    // Every entry of the last listing that open takes, each to its own sink, in one run over
    // the cabinet in cabinet order (a folder is decompressed once, however many of its entries
    // are taken). True when the run completed.
    [[nodiscard]] bool ExtractEntries(const TOpenEntrySink& open);
    // Lists and extracts in the same run: CABFileContents is refilled, and each entry is offered
    // to open as soon as it is listed. For a reader of every body, this saves the run a listing
    // takes. True when the run completed; a listing error (an invalid date) passes out as from
    // ListContents.
    [[nodiscard]] bool ListAndExtractEntries(const TOpenEntrySink& open);
    // One run over CABFile in the current mode: 0 success, -1 failure.
    int32_t ProcessCabinet();

    [[nodiscard]] void* Owner() const { return FOwner; }

  private:
    friend struct TCABRun;
    // One run in mode with open giving the sinks; open is forgotten however the run ends.
    [[nodiscard]] bool RunWithSinks(TCABMode mode, const TOpenEntrySink& open);
    void* FOwner;
    std::string WantedEntry;
    std::string DestName;
    TCABMode Mode = TCABMode::List;
    TStream* TargetStream = nullptr;
    const TOpenEntrySink* OpenSink = nullptr;
    std::string CurrentFileName;
    uint64_t CurrentFileSize = 0;
    uint64_t BytesWritten = 0;
};

// How many runs of the cabinet library the calling thread made, by kind: a listing, or a run that
// extracts (to a stream, a file or sinks). Read by tests that prove what one load costs.
struct TCABRunCount {
    uint64_t Listings = 0;
    uint64_t Extractions = 0;
};
[[nodiscard]] TCABRunCount CabinetRunCount();

// True when a cabinet entry name stays inside the folder it is extracted to: no ".."
// component, no leading separator, no drive prefix.
[[nodiscard]] bool IsSafeEntryName(const std::string& name);
