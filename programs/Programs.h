#pragma once
// What the files of a loaded setup are as programs: each file read from the cabinet into
// memory once, read as a PE image, and marked when its CPU contradicts the setup.
#include "programs/EntryReader.h"
#include "programs/PEImage.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class TCESetup;
class TCABFile;
class TCABFileContents;

// Files above this size are not read.
constexpr int64_t kProgramReadCap = int64_t{64} * 1024 * 1024;

enum class TProgramStatus {
    Image,      // read; Image holds what it says
    NotImage,   // read; not a PE image
    TooLarge,   // larger than the cap, not read
    Missing,    // the cabinet holds no entry for the file
    Unreadable, // the cabinet could not give the entry's bytes
};

// What one cabinet entry is as a program, read once and shared by every row that names it: a
// setup may name one image from thousands of rows.
struct TProgramFacts {
    TPEImage Image;
    // The image's import names and notes joined, made once for every row and page.
    std::shared_ptr<const std::string> ImportsText;
    std::shared_ptr<const std::string> NotesText;
};

// The facts of an image, its joined texts made.
[[nodiscard]] std::shared_ptr<const TProgramFacts> MakeProgramFacts(TPEImage image);

struct TProgramRow {
    size_t Index = 0; // this row's place in AnalysePrograms' rows
    // The row of the setup's Files it stands for; none for a setup DLL, which no file row names
    // and which the row names by its cabinet entry.
    std::optional<size_t> FileRow;
    bool SetupDll = false; // the cabinet's ".999" entry: run at install and removal
    std::string Name;      // as the files view shows it; a setup DLL's entry name
    std::string Folder;    // the device folder with a trailing "\"; empty for a setup DLL
    std::string Entry;     // the cabinet entry; empty when Missing
    int64_t Size = 0;      // the entry's size from the listing
    TProgramStatus Status = TProgramStatus::Missing;
    // Null for a file not read, or read and found no image without notes.
    std::shared_ptr<const TProgramFacts> Facts;
    std::string Mismatch; // why the CPU contradicts the setup; empty when it does not

    // The image read, or an empty one.
    [[nodiscard]] const TPEImage& Image() const;
};

// What a caller of AnalysePrograms learns while it runs, from the thread that runs it.
struct TProgramsProgress {
    // Each row as soon as it is known, before the mismatch marks: first the rows the listing
    // settles (not in the cabinet, too large), then the others as their entries are read, in
    // cabinet order. Must not throw.
    std::function<void(const TProgramRow& row)> RowDone;
    // Asked before each entry and while one is read: true ends the run early, leaving the
    // rows not read Unreadable.
    std::function<bool()> Stopped;
};

// What a caller's own run over the cabinet already learnt of one entry, read up to
// kProgramReadCap: Ok false when the entry ran past the cap; Facts as MakeProgramFacts makes
// them, null when the bytes are no image and carry no notes.
struct TEntryImage {
    bool Read = false;
    bool Ok = false;
    std::shared_ptr<const TProgramFacts> Facts;
};

// What every entry a run passes is as a program, read as AnalysePrograms reads it, for a caller
// whose own run passes every body (a listing's run): AnalysePrograms then needs no run of its
// own. Open is that run's sink for the entry at index of its listing.
// Images are read on a thread of their own while the library inflates the next entries.
class TEntryImageReader final : public TImageSink {
  public:
    static constexpr uint64_t kEveryEntryBudget = uint64_t{256} << 20;
    explicit TEntryImageReader(uint64_t budget = kEveryEntryBudget);
    ~TEntryImageReader() override;
    TEntryImageReader(const TEntryImageReader&) = delete;
    TEntryImageReader& operator=(const TEntryImageReader&) = delete;
    // Null for an entry the listing puts over the cap: AnalysePrograms reads none such. Past
    // budget listed bytes the run is ended: a reader of the programs alone may never
    // decompress what no row names.
    [[nodiscard]] TEntrySink* Open(size_t index, const TCABFileEntry& entry);
    bool Finish(const TCABFileEntry& entry) override;
    // The images read, by index of listing. With check, none when listing is not the one the
    // run saw (after a run that stopped, the cabinet may have changed before it was listed
    // again). An entry the run did not finish is not Read.
    [[nodiscard]] std::vector<TEntryImage> Take(const TCABFileContents& listing, bool check);

  private:
    struct TStopSink : TEntrySink {
        bool Write(const void*, size_t) override { return false; }
        bool Finish(const TCABFileEntry&) override { return false; }
    };
    class TParser;
    std::unique_ptr<TParser> FParser; // null until the first image, or when no thread starts
    bool FInline = false;             // images are read here: no thread could be started
    std::vector<TEntryImage> FImages;
    std::vector<std::pair<std::string, uint64_t>> FSeen; // name and size by index
    size_t FIndex = 0;
    uint64_t FBudget;
    uint64_t FOffered = 0;
    TStopSink FStop;
};

// One row per row of the setup's Files, in that order, then one per setup DLL entry of the
// listing (SetupDllRow), in cabinet order. The listing is the cabinet's current one; each entry
// is read at most once, and not at all when known (by listing index) holds it as Read with the
// default cap. Never throws.
[[nodiscard]] std::vector<TProgramRow>
AnalysePrograms(TCESetup& setup, TCABFile& cabinet, const TCABFileContents& listing,
                int64_t cap = kProgramReadCap, const TProgramsProgress& progress = {},
                const std::vector<TEntryImage>* known = nullptr);

// The indexes of the listing's setup DLL entries (extension ".999"), in cabinet order.
[[nodiscard]] std::vector<size_t> SetupDllEntries(const TCABFileContents& listing);

// The index AnalysePrograms gives the row of the listing's n-th setup DLL entry: the setup DLLs
// follow the file rows.
[[nodiscard]] inline size_t SetupDllRow(size_t fileCount, size_t n) {
    return fileCount + n;
}

// Marks the native images whose CPU family differs from the one the setup's Processor names
// or, when it names none, from the family most of the setup's native images have. Assemblies
// that run on any CPU are not native.
void MarkMismatches(std::vector<TProgramRow>& rows, int32_t processor);

// The CPU family a setup's Processor number names ("ARM", "MIPS", "SH3", "SH4", "x86"); empty
// for 0 ("any"), -1 and numbers it does not know.
[[nodiscard]] std::string ProcessorFamily(int32_t processor);

// Rows the Programs page lists: images, files that could not be read to tell, and the setup
// DLL whatever it holds.
[[nodiscard]] bool IsProgramsRow(const TProgramRow& row);
// "Image", "Not an image", "Too large", "Not in cabinet", "Unreadable".
[[nodiscard]] std::string ProgramStatusText(TProgramStatus status);
