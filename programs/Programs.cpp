#include "programs/Programs.h"

#include "cab/cabfiles.h"
#include "programs/EntryReader.h"
#include "setup/CESetup.h"
#include "setup/SetupFuncs.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace {

std::shared_ptr<const std::string> Joined(const std::vector<std::string>& items,
                                          const char* separator) {
    // Most images have no notes: they share one empty text instead of each making its own.
    static const auto kEmpty = std::make_shared<const std::string>();
    if (items.empty()) return kEmpty;
    size_t size = 0;
    for (const std::string& item : items)
        size += item.size() + std::strlen(separator);
    auto text = std::make_shared<std::string>();
    text->reserve(size);
    for (const std::string& item : items) {
        if (!text->empty()) *text += separator;
        *text += item;
    }
    return text;
}

} // namespace

std::shared_ptr<const TProgramFacts> MakeProgramFacts(TPEImage image) {
    auto facts = std::make_shared<TProgramFacts>();
    facts->ImportsText = Joined(image.Imports, ", ");
    facts->NotesText = Joined(image.Notes, " ");
    facts->Image = std::move(image);
    return facts;
}

const TPEImage& TProgramRow::Image() const {
    static const TPEImage kNone;
    return Facts ? Facts->Image : kNone;
}

// The images handed over, read in order on a thread of its own. At most kQueued bytes wait, so
// that a fast library does not hold a setup's programs in memory; their buffers go back to the
// reader's sink for the entries after.
class TEntryImageReader::TParser {
  public:
    TParser() : FThread([this] { Run(); }) {}
    ~TParser() {
        {
            std::lock_guard<std::mutex> lock(FLock);
            FClosing = true;
        }
        FWake.notify_all();
        FThread.join();
    }
    TParser(const TParser&) = delete;
    TParser& operator=(const TParser&) = delete;

    // Takes bytes, leaving a spare buffer in their place. The thread is woken for a batch, not
    // for each image: a wake per small image costs the system more than reading it.
    void Add(size_t index, std::vector<uint8_t>& bytes) {
        std::unique_lock<std::mutex> lock(FLock);
        if (!Fits(bytes.size())) {
            FWake.notify_one();
            FRoom.wait(lock, [&] { return Fits(bytes.size()); });
        }
        // Counted once queued: a queueing that runs out of memory must not leave the count up,
        // or a later image would wait for room for ever.
        const size_t size = bytes.size();
        FJobs.emplace_back(index, std::move(bytes));
        FQueued += size;
        bytes.clear();
        if (!FSpare.empty()) {
            bytes.swap(FSpare.back());
            FSpare.pop_back();
            FSpareBytes -= bytes.capacity();
        }
        const bool wake = FJobs.size() >= kBatchImages || FQueued >= kBatchBytes;
        lock.unlock();
        if (wake) FWake.notify_one();
    }

    // Waits for every image handed over and settles each in images; one the thread could not
    // read (out of memory) stays not Read, for the programs reader to read again.
    void Settle(std::vector<TEntryImage>& images) {
        std::unique_lock<std::mutex> lock(FLock);
        FWake.notify_one();
        FRoom.wait(lock, [&] { return FJobs.empty() && !FBusy; });
        for (auto& [index, facts] : FRead) {
            TEntryImage& read = images[index];
            read.Read = read.Ok = true;
            read.Facts = std::move(facts);
        }
        FRead.clear();
    }

  private:
    using TJobs = std::deque<std::pair<size_t, std::vector<uint8_t>>>;
    using TRead = std::vector<std::pair<size_t, std::shared_ptr<const TProgramFacts>>>;
    static constexpr size_t kQueued = size_t{16} << 20;
    static constexpr size_t kBatchImages = 64;
    static constexpr size_t kBatchBytes = size_t{1} << 20;

    [[nodiscard]] bool Fits(size_t size) const { return FQueued == 0 || FQueued + size <= kQueued; }

    // Every image waiting is taken at once and read without the lock.
    void Run() {
        TJobs jobs;
        TRead read;
        std::unique_lock<std::mutex> lock(FLock);
        for (;;) {
            FWake.wait(lock, [&] { return FClosing || !FJobs.empty(); });
            if (FJobs.empty()) return;
            jobs.swap(FJobs);
            FBusy = true;
            lock.unlock();
            for (auto& [index, bytes] : jobs)
                Parse(index, bytes, read);
            lock.lock();
            Done(jobs, read);
        }
    }

    static void Parse(size_t index, const std::vector<uint8_t>& bytes, TRead& read) {
        try {
            std::shared_ptr<const TProgramFacts> facts;
            TPEImage image = ReadPEImage(bytes);
            if (image.IsImage || !image.Notes.empty()) facts = MakeProgramFacts(std::move(image));
            read.emplace_back(index, std::move(facts));
        } catch (...) {
            // Not settled: the programs reader reads that entry again.
        }
    }

    // Under the lock: the batch's images settled, their buffers kept as spares.
    void Done(TJobs& jobs, TRead& read) {
        try {
            FRead.insert(FRead.end(), std::make_move_iterator(read.begin()),
                         std::make_move_iterator(read.end()));
        } catch (...) {
            // Not settled: the programs reader reads those entries again.
        }
        read.clear();
        for (auto& [index, bytes] : jobs) {
            FQueued -= bytes.size();
            bytes.clear();
            // A buffer kept keeps its room: only so much is kept, so that large images read
            // once do not stay in memory as spares.
            if (const size_t room = bytes.capacity(); room <= kQueued - FSpareBytes) {
                try {
                    FSpare.push_back(std::move(bytes));
                    FSpareBytes += room;
                } catch (...) {
                }
            }
        }
        jobs.clear();
        FBusy = false;
        FRoom.notify_all();
    }

    std::mutex FLock;
    std::condition_variable FWake; // a job or the close for the thread
    std::condition_variable FRoom; // room in the queue, or all done, for the reader
    TJobs FJobs;
    std::vector<std::vector<uint8_t>> FSpare;
    size_t FSpareBytes = 0; // the room the spare buffers hold, at most kQueued
    TRead FRead;
    size_t FQueued = 0;
    bool FBusy = false;
    bool FClosing = false;
    std::thread FThread; // last: started once everything it uses is made
};

TEntryImageReader::TEntryImageReader(uint64_t budget)
    : TImageSink(static_cast<size_t>(kProgramReadCap)), FBudget(budget) {}

TEntryImageReader::~TEntryImageReader() = default;

TEntrySink* TEntryImageReader::Open(size_t index, const TCABFileEntry& entry) {
    if (index >= FSeen.size()) FSeen.resize(index + 1);
    FSeen[index] = {entry.Name, entry.Size};
    FOffered += entry.Size;
    if (FOffered > FBudget) return &FStop;
    if (entry.Size > static_cast<uint64_t>(kProgramReadCap)) return nullptr;
    if (index >= FImages.size()) FImages.resize(index + 1);
    FIndex = index;
    Start(entry.Size);
    return this;
}

bool TEntryImageReader::Finish(const TCABFileEntry& entry) {
    if (!TImageSink::Finish(entry)) return false;
    TEntryImage& read = FImages[FIndex];
    const bool image = Ok() && Data.size() >= 2 && Data[0] == 'M' && Data[1] == 'Z';
    if (image && !FInline) {
        try {
            if (!FParser) FParser = std::make_unique<TParser>();
            FParser->Add(FIndex, Data);
            return true;
        } catch (const std::system_error&) {
            FInline = true; // no thread: read here, as before
        }
    }
    // As AnalysePrograms settles what its own run reads.
    read.Read = true;
    read.Ok = Ok();
    if (!image) return true;
    TPEImage pe = ReadPEImage(Data);
    if (pe.IsImage || !pe.Notes.empty()) read.Facts = MakeProgramFacts(std::move(pe));
    return true;
}

std::vector<TEntryImage> TEntryImageReader::Take(const TCABFileContents& listing, bool check) {
    if (FParser) FParser->Settle(FImages);
    const auto& items = listing.Items();
    for (size_t i = 0; check && i < FImages.size(); ++i) {
        if (!FImages[i].Read) continue;
        if (i >= items.size() || items[i].Name != FSeen[i].first ||
            items[i].Size != FSeen[i].second)
            return {};
    }
    return std::move(FImages);
}

std::vector<TProgramRow> AnalysePrograms(TCESetup& setup, TCABFile& cabinet,
                                         const TCABFileContents& listing, int64_t cap,
                                         const TProgramsProgress& progress,
                                         const std::vector<TEntryImage>* known) {
    const std::vector<size_t> setupDlls = SetupDllEntries(listing);
    std::vector<TProgramRow> rows(setup.Files.size() + setupDlls.size());
    const auto entries = setup.FindCabEntries(listing);
    // Entries by name, first one kept, as the reader finds them.
    const auto& items = listing.Items();
    std::unordered_map<std::string_view, size_t> indexOfName;
    indexOfName.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i)
        indexOfName.emplace(items[i].Name, i);
    constexpr size_t kNone = static_cast<size_t>(-1);
    // Two rows can name the same entry, which is still read once: the rows of one wanted
    // entry are a chain from its first row through nextRow.
    std::vector<size_t> wanted;
    std::vector<size_t> firstRow;
    std::vector<size_t> nextRow(rows.size(), kNone);
    std::vector<size_t> lastRowOfIndex(items.size(), kNone);
    std::vector<size_t> wantedOfIndex(items.size(), kNone);
    std::vector<bool> toRead(rows.size(), false);
    for (size_t i = 0; i < rows.size(); ++i) {
        TProgramRow& row = rows[i];
        row.Index = i;
        const TCABFileEntry* entry = nullptr;
        size_t index = kNone;
        if (i < setup.Files.size()) {
            TCECAB_File f;
            setup.GetFile(static_cast<int>(i), f);
            row.FileRow = i;
            row.Name = std::move(f.Name);
            row.Folder = IncludeBackslash(f.Dir);
            if (entries[i]) {
                entry = &*entries[i];
                if (const auto named = indexOfName.find(entry->Name); named != indexOfName.end())
                    index = named->second;
            }
        } else {
            index = setupDlls[i - setup.Files.size()];
            entry = &items[index];
            row.SetupDll = true;
            row.Name = entry->Name;
        }
        if (!entry) continue;
        row.Entry = entry->Name;
        row.Size = static_cast<int64_t>(entry->Size);
        if (row.Size > cap) {
            row.Status = TProgramStatus::TooLarge;
            continue;
        }
        if (index == kNone) continue;
        toRead[i] = true;
        if (wantedOfIndex[index] == kNone) {
            wantedOfIndex[index] = wanted.size();
            wanted.push_back(index);
            firstRow.push_back(i);
        } else {
            nextRow[lastRowOfIndex[index]] = i;
        }
        lastRowOfIndex[index] = i;
    }
    if (progress.RowDone)
        for (size_t i = 0; i < rows.size(); ++i)
            if (!toRead[i]) progress.RowDone(rows[i]);
    // The rows of one entry share its facts.
    const auto settle = [&](size_t first, bool ok,
                            const std::shared_ptr<const TProgramFacts>& facts) {
        const TProgramStatus status = !ok                             ? TProgramStatus::Unreadable
                                      : facts && facts->Image.IsImage ? TProgramStatus::Image
                                                                      : TProgramStatus::NotImage;
        for (size_t i = first; i != kNone; i = nextRow[i]) {
            rows[i].Status = status;
            rows[i].Facts = ok ? facts : nullptr;
            if (progress.RowDone) progress.RowDone(rows[i]);
        }
    };
    if (known && cap == kProgramReadCap) {
        // What the caller's run read is settled here; only the rest is read.
        size_t kept = 0;
        for (size_t w = 0; w < wanted.size(); ++w) {
            const size_t index = wanted[w];
            if (index < known->size() && (*known)[index].Read) {
                settle(firstRow[w], (*known)[index].Ok, (*known)[index].Facts);
                continue;
            }
            wanted[kept] = index;
            firstRow[kept] = firstRow[w];
            ++kept;
        }
        wanted.resize(kept);
        firstRow.resize(kept);
    }
    try {
        ReadEntries(
            cabinet, wanted, cap,
            [&](size_t w, const std::vector<uint8_t>& bytes, bool ok) {
                TPEImage image = ok ? ReadPEImage(bytes) : TPEImage();
                // Most files of a setup are no images: nothing to keep for them.
                settle(firstRow[w], ok,
                       image.IsImage || !image.Notes.empty() ? MakeProgramFacts(std::move(image))
                                                             : nullptr);
            },
            progress.Stopped);
    } catch (...) {
        // Rows not reached keep Missing; say so rather than pretend.
        for (TProgramRow& row : rows)
            if (row.Status == TProgramStatus::Missing && !row.Entry.empty())
                row.Status = TProgramStatus::Unreadable;
    }
    MarkMismatches(rows, setup.Project.Processor);
    return rows;
}

std::vector<size_t> SetupDllEntries(const TCABFileContents& listing) {
    std::vector<size_t> result;
    const auto& items = listing.Items();
    // As the Properties page's "Use Setup DLL" tells one.
    for (size_t i = 0; i < items.size(); ++i)
        if (IsSetupDllName(items[i].Name)) result.push_back(i);
    return result;
}

std::string ProcessorFamily(int32_t processor) {
    switch (processor) {
    case 386:
    case 486:
    case 586:
    case 686:
        return "x86";
    case 1824:
    case 2080:
    case 2336:
    case 2577:
        return "ARM";
    case 2000:
    case 3000:
    case 4000:
    case 5000:
        return "MIPS";
    case 10003:
        return "SH3";
    case 10005:
        return "SH4";
    default:
        return "";
    }
}

void MarkMismatches(std::vector<TProgramRow>& rows, int32_t processor) {
    auto family = [](const TProgramRow& row) {
        if (row.Status != TProgramStatus::Image || RunsOnAnyCpu(row.Image())) return std::string();
        return MachineFamily(row.Image().Machine);
    };
    std::string expected = ProcessorFamily(processor);
    const bool fromProcessor = !expected.empty();
    if (!fromProcessor) {
        // The family most native images share; a tie goes to the one met first.
        std::map<std::string, size_t> count;
        std::vector<std::string> order;
        for (const TProgramRow& row : rows)
            if (const std::string f = family(row); !f.empty())
                if (count[f]++ == 0) order.push_back(f);
        size_t best = 0;
        for (const std::string& f : order)
            if (count[f] > best) {
                best = count[f];
                expected = f;
            }
    }
    for (TProgramRow& row : rows) {
        row.Mismatch.clear();
        const std::string f = family(row);
        if (f.empty() || f == expected) continue;
        row.Mismatch = fromProcessor ? "The setup's processor is " + expected
                                     : "The setup's other programs are " + expected;
    }
}

bool IsProgramsRow(const TProgramRow& row) {
    return row.SetupDll || row.Status != TProgramStatus::NotImage;
}

std::string ProgramStatusText(TProgramStatus status) {
    switch (status) {
    case TProgramStatus::Image:
        return "Image";
    case TProgramStatus::NotImage:
        return "Not an image";
    case TProgramStatus::TooLarge:
        return "Too large";
    case TProgramStatus::Missing:
        return "Not in cabinet";
    case TProgramStatus::Unreadable:
        return "Unreadable";
    }
    return "";
}
