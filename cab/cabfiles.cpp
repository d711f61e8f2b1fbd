#include "cab/cabfiles.h"

#include "cab/AsciiCase.h"
#include "cab/Diagnostics.h"
#include "cab/FileSystem.h"
#include "cab/fdi.h"

#include "cab/Errors.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string_view>
#include <type_traits>
#include <vector>

namespace {

// Handle 1 stands for the run's stream in a stream run.
constexpr fdi::INT_PTR kStreamHandle = 1;
// A cabinet read from memory is opened under handles counting down from here: below every
// handle a system gives, and never -1, the library's failure.
constexpr fdi::INT_PTR kFirstMemoryHandle = -16;

// The library reads a cabinet's headers in small pieces and seeks back after every entry's name:
// unbuffered, a listing of 65,000 entries made half a million system calls. A cabinet opened for
// reading is read through a window of this size instead, the library's seeks only moving the
// position it believes the file has.
constexpr unsigned int kReadWindow = 64 * 1024;

struct TReadWindow {
    fdi::INT_PTR Handle = 0;
    long Position = 0; // where the library believes the file is
    long Start = 0;    // the file offset of Data[0]
    unsigned int Length = 0;
    std::vector<char> Data;
    std::span<const uint8_t> Bytes; // a cabinet in memory: read from here, Data unused
};

// Per thread, like the runs themselves. Every thread_local of this layer is trivially
// destructible: mingw-w64 frees a thread_local's storage before it runs its destructor when a
// thread ends, so one that owns memory corrupts the heap as each worker thread exits.
thread_local TCABRunCount gRunCount;
static_assert(std::is_trivially_destructible_v<TCABRunCount>);

// The chosen target folder, made as it stands when missing; false once the reason is reported.
bool MakeTargetFolder(const std::string& path) {
    if (path.empty() || ForceDirectories(path)) return true;
    ReportError("Error", "cannot make the folder " + path + ": " + LastSystemErrorText());
    return false;
}

} // namespace

// The state one run of the cabinet library shares with its callbacks. Runs on one thread never
// overlap; each thread has its own, so a window can read one cabinet in the background while it
// opens another. It lives on the stack of ProcessCabinet, which the callbacks find through the
// thread's pointer for as long as the run lasts.
struct TCABRun {
    bool ToStream = false;
    TStream* Stream = nullptr;
    TCABFile* Cabinet = nullptr;  // the object whose run this is
    TCABFile* Progress = nullptr; // the object reporting progress, once a file is taken
    std::exception_ptr Error;     // the first exception raised inside a callback
    std::string BadDate;          // listing: the first entry whose date did not convert
    size_t Index = 0;             // copy-file notifications so far: the entry's listing index
    bool Taken = false;           // a name-wanted entry was taken; later ones of the name are not
    // The target file of an extraction to a file, until it is complete.
    TSafeFile Target;
    fdi::INT_PTR TargetHandle = 0;
    TDateTime Stamp; // the target's stored date, checked when it was opened
    bool WriteFailed = false;
    // The sink of the entry being extracted in an ExtractEntries run, and its entry.
    TEntrySink* Sink = nullptr;
    const TCABFileEntry* SinkEntry = nullptr;
    std::vector<TReadWindow> Windows; // one per cabinet handle the library opened for reading
    // A cabinet in memory, and the name the library opens it by.
    std::span<const uint8_t> Memory;
    std::string MemoryName;
    fdi::INT_PTR NextMemoryHandle = kFirstMemoryHandle;

    // The run of this thread; null between runs.
    static TCABRun*& Active() {
        thread_local TCABRun* run = nullptr;
        static_assert(std::is_trivially_destructible_v<decltype(run)>);
        return run;
    }
    static TCABRun& Current() { return *Active(); }

    static void* Alloc(unsigned long cb) { return std::malloc(cb ? cb : 1); }
    static void Free(void* pv) { std::free(pv); }
    static fdi::INT_PTR Open(const char* fileName, int oflag, int pmode);
    static unsigned int ReadWindowed(TReadWindow& window, char* to, unsigned int cb);
    TReadWindow* WindowOf(fdi::INT_PTR hf) {
        for (TReadWindow& w : Windows)
            if (w.Handle == hf) return &w;
        return nullptr;
    }
    static unsigned int Read(fdi::INT_PTR hf, void* pv, unsigned int cb);
    static unsigned int Write(fdi::INT_PTR hf, const void* pv, unsigned int cb);
    static int Close(fdi::INT_PTR hf);
    static long Seek(fdi::INT_PTR hf, long dist, int seekType);
    static fdi::INT_PTR Notify(fdi::FDINOTIFICATIONTYPE type, fdi::FDINOTIFICATION* n);
    static fdi::INT_PTR CopyFile(TCABFile& cab, const fdi::FDINOTIFICATION& n, size_t index);
    static fdi::INT_PTR CloseFileInfo(const fdi::FDINOTIFICATION& n);

    bool IsStream(fdi::INT_PTR hf) const { return ToStream && hf == kStreamHandle; }
    bool IsSink(fdi::INT_PTR hf) const { return Sink && hf == kStreamHandle; }
    static bool IsMemory(fdi::INT_PTR hf) { return hf <= kFirstMemoryHandle; }
    void Fail(std::exception_ptr e) {
        if (!Error) Error = std::move(e);
    }
};

fdi::INT_PTR TCABRun::Open(const char* fileName, int oflag, int pmode) {
    TCABRun& run = Current();
    // The access mode is the low two bits on every platform; 0 is read-only.
    if (run.Memory.data() && (oflag & 3) == 0 && run.MemoryName == fileName) {
        try {
            const fdi::INT_PTR hf = run.NextMemoryHandle--;
            TReadWindow window;
            window.Handle = hf;
            window.Bytes = run.Memory;
            run.Windows.push_back(std::move(window));
            return hf;
        } catch (const std::bad_alloc&) {
            return -1;
        }
    }
    const fdi::INT_PTR hf = OpenFileHandle(fileName, oflag, pmode);
    if (hf != -1 && (oflag & 3) == 0) {
        try {
            TReadWindow window;
            window.Handle = hf;
            window.Data.resize(kReadWindow);
            run.Windows.push_back(std::move(window));
        } catch (const std::bad_alloc&) {
            // Read unbuffered then.
        }
    }
    return hf;
}

unsigned int TCABRun::ReadWindowed(TReadWindow& w, char* to, unsigned int cb) {
    if (w.Bytes.data()) {
        const auto at = static_cast<size_t>(w.Position);
        const size_t take = at < w.Bytes.size() ? std::min<size_t>(cb, w.Bytes.size() - at) : 0;
        std::memcpy(to, w.Bytes.data() + at, take);
        w.Position += static_cast<long>(take);
        return static_cast<unsigned int>(take);
    }
    unsigned int done = 0;
    while (done < cb) {
        if (w.Position < w.Start || w.Position >= w.Start + static_cast<long>(w.Length)) {
            w.Length = 0;
            if (SeekFileHandle(w.Handle, w.Position, SEEK_SET) == -1)
                return done ? done : static_cast<unsigned int>(-1);
            // A long read goes straight to the caller.
            if (cb - done >= kReadWindow) {
                const unsigned int n = ReadFileHandle(w.Handle, to + done, cb - done);
                if (n == static_cast<unsigned int>(-1)) return done ? done : n;
                w.Position += static_cast<long>(n);
                return done + n;
            }
            const unsigned int n = ReadFileHandle(w.Handle, w.Data.data(), kReadWindow);
            if (n == static_cast<unsigned int>(-1)) return done ? done : n;
            w.Start = w.Position;
            w.Length = n;
            if (n == 0) break; // the end of the file
        }
        const unsigned int take = std::min<unsigned int>(
            cb - done,
            static_cast<unsigned int>(w.Start + static_cast<long>(w.Length) - w.Position));
        std::memcpy(to + done, w.Data.data() + (w.Position - w.Start), take);
        done += take;
        w.Position += static_cast<long>(take);
    }
    return done;
}

unsigned int TCABRun::Read(fdi::INT_PTR hf, void* pv, unsigned int cb) {
    TCABRun& run = Current();
    if (TReadWindow* window = run.WindowOf(hf))
        return ReadWindowed(*window, static_cast<char*>(pv), cb);
    if (run.IsStream(hf)) {
        const int64_t n = run.Stream->Read(pv, cb);
        return n < 0 ? static_cast<unsigned int>(-1) : static_cast<unsigned int>(n);
    }
    if (run.IsSink(hf)) return static_cast<unsigned int>(-1);
    return ReadFileHandle(hf, pv, cb);
}

unsigned int TCABRun::Write(fdi::INT_PTR hf, const void* pv, unsigned int cb) {
    TCABRun& run = Current();
    if (IsMemory(hf)) return static_cast<unsigned int>(-1); // the bytes are read only
    // A write to a handle opened for reading (the system refuses it anyway) goes where the
    // library believes the file is, and the handle is read without its window from then on.
    if (TReadWindow* window = run.WindowOf(hf)) {
        const long at = window->Position;
        std::erase_if(run.Windows, [hf](const TReadWindow& w) { return w.Handle == hf; });
        if (SeekFileHandle(hf, at, SEEK_SET) == -1) return static_cast<unsigned int>(-1);
    }
    try {
        if (run.IsStream(hf)) {
            if (run.Stream->Write(pv, cb) != static_cast<int64_t>(cb))
                return static_cast<unsigned int>(-1);
        } else if (run.IsSink(hf)) {
            if (!run.Sink->Write(pv, cb)) return static_cast<unsigned int>(-1);
        } else if (hf == run.TargetHandle && run.TargetHandle != 0) {
            if (!run.Target.Write(pv, cb)) {
                ReportError("Error", run.Target.Error());
                return static_cast<unsigned int>(-1);
            }
        } else if (WriteFileHandle(hf, pv, cb) != cb) {
            ReportError("Error", LastSystemErrorText());
            return static_cast<unsigned int>(-1);
        }
        if (TCABFile* cab = run.Progress) {
            cab->BytesWritten += cb;
            if (cab->OnDecompressProgress)
                cab->OnDecompressProgress(cab, cab->CurrentFileName, cab->BytesWritten,
                                          cab->CurrentFileSize);
        }
        return cb;
    } catch (...) {
        run.Fail(std::current_exception());
        return static_cast<unsigned int>(-1);
    }
}

int TCABRun::Close(fdi::INT_PTR hf) {
    TCABRun& run = Current();
    std::erase_if(run.Windows, [hf](const TReadWindow& w) { return w.Handle == hf; });
    if (run.IsStream(hf) || IsMemory(hf)) return 0;
    if (run.IsSink(hf)) {
        run.Sink = nullptr;
        return 0;
    }
    // A target that failed part way: its temporary file goes, nothing replaces the target.
    if (hf == run.TargetHandle && run.TargetHandle != 0) {
        run.Target.Discard();
        run.TargetHandle = 0;
        return 0;
    }
    if (CloseFileHandle(hf) != 0) {
        ReportError("Error", LastSystemErrorText());
        return -1;
    }
    return 0;
}

long TCABRun::Seek(fdi::INT_PTR hf, long dist, int seekType) {
    TCABRun& run = Current();
    if (run.IsStream(hf)) {
        const TSeekOrigin origin = seekType == SEEK_SET   ? TSeekOrigin::Beginning
                                   : seekType == SEEK_CUR ? TSeekOrigin::Current
                                                          : TSeekOrigin::End;
        return static_cast<long>(run.Stream->Seek(dist, origin));
    }
    if (run.IsSink(hf)) return -1;
    TReadWindow* window = run.WindowOf(hf);
    if (IsMemory(hf)) {
        const long base = seekType == SEEK_SET   ? 0
                          : seekType == SEEK_CUR ? (window ? window->Position : 0)
                                                 : static_cast<long>(run.Memory.size());
        if (!window || base + dist < 0) return -1;
        return window->Position = base + dist;
    }
    if (window && seekType != SEEK_END) {
        const long target = seekType == SEEK_SET ? dist : window->Position + dist;
        if (target >= 0) return window->Position = target;
        // A position before the start: the system's own error, as without the window.
        seekType = SEEK_SET;
        dist = target;
    }
    const long pos = SeekFileHandle(hf, dist, seekType);
    if (pos == -1)
        ReportError("Error", LastSystemErrorText());
    else if (window)
        window->Position = pos;
    return pos;
}

fdi::INT_PTR TCABRun::Notify(fdi::FDINOTIFICATIONTYPE type, fdi::FDINOTIFICATION* n) {
    TCABRun& run = Current();
    // Nothing may be thrown through the library's code: keep it and end the run.
    try {
        if (type == fdi::fdintCOPY_FILE)
            return CopyFile(*static_cast<TCABFile*>(n->pv), *n, run.Index++);
        if (type == fdi::fdintCLOSE_FILE_INFO) return CloseFileInfo(*n);
        return 0;
    } catch (...) {
        run.Fail(std::current_exception());
        return -1;
    }
}

fdi::INT_PTR TCABRun::CopyFile(TCABFile& cab, const fdi::FDINOTIFICATION& n, size_t index) {
    TCABRun& run = Current();
    const std::string name = n.psz1 ? n.psz1 : "";
    const bool listing = cab.Mode == TCABMode::List || cab.Mode == TCABMode::ListExtractEntries;
    if (listing) {
        TCABFileEntry& entry = cab.CABFileContents.Add();
        entry.Name = name;
        entry.Size = n.cb;
        // Every entry is listed; the first invalid date is raised when the listing is done.
        try {
            entry.Date = DosDateTimeToDateTime(n.date, n.time);
        } catch (const EConvertError& e) {
            if (!run.Error) {
                run.BadDate = name;
                run.Fail(std::make_exception_ptr(EConvertError(
                    std::string(e.what()) + " (the stored date of entry " + name + ")")));
            }
        }
        if (cab.Mode == TCABMode::List) return 0;
    }
    if (cab.Mode == TCABMode::ExtractEntries || cab.Mode == TCABMode::ListExtractEntries) {
        const auto& items = cab.CABFileContents.Items();
        if (index >= items.size() || !cab.OpenSink) return 0;
        TEntrySink* sink = (*cab.OpenSink)(index, items[index]);
        if (!sink) return 0;
        run.Sink = sink;
        run.SinkEntry = &items[index];
        cab.CurrentFileName = FileNamePart(items[index].Name);
        cab.BytesWritten = 0;
        cab.CurrentFileSize = n.cb;
        run.Progress = &cab;
        return kStreamHandle;
    }
    // Only the first entry of the wanted name: later ones of the same name are other files.
    if (run.Taken || !SameTextAscii(name, cab.WantedEntry)) return 0;
    run.Taken = true;

    fdi::INT_PTR handle = kStreamHandle;
    std::string target;
    if (cab.Mode == TCABMode::ExtractToFile) {
        const std::string destFile = FileNamePart(cab.DestName);
        if (!IsSafeEntryName(name) || destFile.empty() || destFile == "." || destFile == "..")
            return -1;
        std::vector<std::string> folders;
        size_t start = 0;
        while (start < name.size()) {
            const size_t end = name.find_first_of("\\/", start);
            if (end == std::string::npos) break;
            folders.push_back(name.substr(start, end - start));
            start = end + 1;
        }
        std::string base = cab.TargetPath;
        if (!base.empty() && base.back() != kPathSeparator) base += kPathSeparator;
        target = base + EntryFolderPart(name) + destFile;
        // The date is converted before anything is opened: its error ends the run at copy-file,
        // where every library takes an abort, and leaves nothing behind.
        run.Stamp = DosDateTimeToDateTime(n.date, n.time);
        // The chosen folder is taken as it stands; below it, TSafeFile follows no link.
        if (!MakeTargetFolder(cab.TargetPath)) return -1;
        bool allow = true;
        if (FileExists(target) && cab.OnOverWriteFile) cab.OnOverWriteFile(&cab, target, allow);
        if (!allow) return 0;
        if (!run.Target.Open(cab.TargetPath, folders, destFile)) {
            ReportError("Error", run.Target.Error());
            return -1;
        }
        handle = run.Target.Handle();
        run.TargetHandle = handle;
    }
    cab.CurrentFileName = FileNamePart(target);
    cab.BytesWritten = 0;
    cab.CurrentFileSize = n.cb;
    run.Progress = &cab;
    return handle;
}

fdi::INT_PTR TCABRun::CloseFileInfo(const fdi::FDINOTIFICATION& n) {
    TCABRun& run = Current();
    if (run.ToStream) return 1;
    if (run.IsSink(n.hf)) {
        TEntrySink* sink = run.Sink;
        run.Sink = nullptr;
        return sink->Finish(*run.SinkEntry) ? 1 : -1;
    }
    if (n.hf != run.TargetHandle || run.TargetHandle == 0) return -1;
    run.TargetHandle = 0;
    // The handle is closed either way: a refused commit fails the run without the library
    // closing a handle that is gone.
    if (!run.Target.Commit(&run.Stamp)) {
        ReportError("Error", run.Target.Error());
        run.WriteFailed = true;
    }
    return 1;
}

bool TMemorySink::Write(const void* data, size_t count) {
    if (count > FCap - Data.size()) {
        FOverflowed = true;
        return false;
    }
    const auto* p = static_cast<const uint8_t*>(data);
    Data.insert(Data.end(), p, p + count);
    return true;
}

namespace {
// Binds a run to the thread while it lives, unless one is bound already (a test of a cabinet
// made while a run reads another).
class TRunBinding {
  public:
    explicit TRunBinding(TCABRun& run) : FBound(TCABRun::Active() == nullptr) {
        if (FBound) TCABRun::Active() = &run;
    }
    ~TRunBinding() {
        if (FBound) TCABRun::Active() = nullptr;
    }
    TRunBinding(const TRunBinding&) = delete;
    TRunBinding& operator=(const TRunBinding&) = delete;

  private:
    bool FBound;
};
} // namespace

TCABFile::TCABFile(void* owner) : FOwner(owner) {}

bool TCABFile::IsCabinet(const std::string& path) {
    const fdi::INT_PTR hf = OpenFileHandle(path.c_str(), kOpenReadOnly, 0);
    if (hf == -1) return false;
    // The library's callbacks read through a run's windows.
    TCABRun run;
    const TRunBinding binding(run);
    fdi::TCabinetLibrary library;
    if (!library.Loaded()) {
        CloseFileHandle(hf);
        return false;
    }
    fdi::ERF erf;
    fdi::HFDI context =
        library.Create(TCABRun::Alloc, TCABRun::Free, TCABRun::Open, TCABRun::Read, TCABRun::Write,
                       TCABRun::Close, TCABRun::Seek, fdi::cpu80386, &erf);
    bool result = false;
    if (context) {
        fdi::FDICABINETINFO info;
        result = library.IsCabinet(context, hf, &info);
        // A context the library cannot let go of was no sound run.
        if (!library.Destroy(context)) result = false;
    }
    CloseFileHandle(hf);
    return result;
}

TCABRunCount CabinetRunCount() {
    return gRunCount;
}

int32_t TCABFile::ProcessCabinet() {
    if (TCABRun::Active()) return -1;
    const bool listing = Mode == TCABMode::List || Mode == TCABMode::ListExtractEntries;
    if (listing) ++gRunCount.Listings;
    if (Mode != TCABMode::List) ++gRunCount.Extractions;
    const bool inMemory = !CABBytes.empty();
    if (!inMemory) {
        const fdi::INT_PTR hf = OpenFileHandle(CABFile.c_str(), kOpenReadOnly, 0);
        if (hf == -1) return -1;
        CloseFileHandle(hf);
    }

    // However the run ends (an exception out of a name's copy, out of memory), the thread's run
    // is unbound after the context has gone, so that the thread can run the library again.
    TCABRun run;
    const TRunBinding binding(run);
    fdi::TCabinetLibrary library;
    if (!library.Loaded()) return -1;
    fdi::ERF erf;
    fdi::HFDI context =
        library.Create(TCABRun::Alloc, TCABRun::Free, TCABRun::Open, TCABRun::Read, TCABRun::Write,
                       TCABRun::Close, TCABRun::Seek, fdi::cpu80386, &erf);
    if (!context) return -1;
    struct TRunScope {
        fdi::TCabinetLibrary& Library;
        fdi::HFDI Context;
        bool Destroyed = false;
        bool Failed = false;
        void Destroy() {
            if (Destroyed) return;
            Destroyed = true;
            Failed = !Library.Destroy(Context);
        }
        // Reached undestroyed only as an exception leaves the run: that is the failure said.
        ~TRunScope() { Destroy(); }
    } scope{library, context};

    run.ToStream = Mode == TCABMode::ExtractToStream;
    run.Stream = run.ToStream ? TargetStream : nullptr;
    run.Cabinet = this;
    const std::string full = ExpandFileName(CABFile);
    const std::string folder = FolderPart(full);
    const std::string name = FileNamePart(full);
    if (inMemory) {
        run.Memory = CABBytes;
        run.MemoryName = folder + name; // as the library joins them
    }

    int32_t result = -1;
    const fdi::INT_PTR hf = inMemory ? TCABRun::Open(run.MemoryName.c_str(), kOpenReadOnly, 0)
                                     : OpenFileHandle(CABFile.c_str(), kOpenReadOnly, 0);
    if (hf != -1) {
        fdi::FDICABINETINFO info;
        const bool isCabinet = library.IsCabinet(context, hf, &info);
        if (inMemory)
            TCABRun::Close(hf);
        else
            CloseFileHandle(hf);
        // A cabinet without folders holds no file data: nothing to extract, and the system
        // library would follow a missing folder if asked to.
        if (isCabinet && info.cFolders == 0 && !listing) {
            result = 0;
        } else if (isCabinet) {
            if (info.cFolders == 0) Mode = TCABMode::List; // listed, nothing offered
            // The header's count (at most 65,535) sizes the listing once, so that a long one
            // is not moved again and again as it grows.
            if (listing) CABFileContents.Reserve(info.cFiles);
            if (library.Copy(context, name.c_str(), folder.c_str(), 0, TCABRun::Notify, nullptr,
                             this) &&
                !run.Error && !run.WriteFailed)
                result = 0;
        }
    }
    scope.Destroy();
    if (scope.Failed) result = -1;
    if (run.Error) std::rethrow_exception(run.Error);
    return result;
}

void TCABFile::ListContents() {
    CABFileContents.Clear();
    Mode = TCABMode::List;
    ProcessCabinet();
}

bool TCABFile::ExtractToStream(TStream& stream, const std::string& entryName) {
    WantedEntry = entryName;
    DestName = entryName;
    Mode = TCABMode::ExtractToStream;
    TargetStream = &stream;
    return ProcessCabinet() == 0;
}

bool TCABFile::RunWithSinks(TCABMode mode, const TOpenEntrySink& open) {
    Mode = mode;
    OpenSink = &open;
    const bool done = [&] {
        try {
            return ProcessCabinet() == 0;
        } catch (...) {
            OpenSink = nullptr;
            throw;
        }
    }();
    OpenSink = nullptr;
    return done;
}

bool TCABFile::ExtractEntries(const TOpenEntrySink& open) {
    return RunWithSinks(TCABMode::ExtractEntries, open);
}

bool TCABFile::ListAndExtractEntries(const TOpenEntrySink& open) {
    CABFileContents.Clear();
    return RunWithSinks(TCABMode::ListExtractEntries, open);
}

bool TCABFile::ExtractEntry(const std::string& entryName, const std::string& destName) {
    WantedEntry = entryName;
    DestName = destName;
    Mode = TCABMode::ExtractToFile;
    return ProcessCabinet() == 0;
}

#ifdef _WIN32
namespace {
// Windows opens a device, not a file, for these names whatever their extension, and a ":"
// inside a name writes an alternate data stream.
bool IsWindowsDeviceOrStream(std::string_view part) {
    if (part.find(':') != std::string_view::npos) return true;
    const std::string stem = UpperCaseAscii(std::string(part.substr(0, part.find('.'))));
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
    return stem.size() == 4 && (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}
} // namespace
#endif

bool IsSafeEntryName(const std::string& name) {
    if (name.empty()) return true;
    if (name[0] == '\\' || name[0] == '/') return false;
    if (name.size() >= 2 && name[1] == ':') return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("\\/", start);
        if (end == std::string::npos) end = name.size();
        const std::string_view part = std::string_view(name).substr(start, end - start);
        if (part == "..") return false;
#ifdef _WIN32
        if (IsWindowsDeviceOrStream(part)) return false;
#endif
        start = end + 1;
    }
    return true;
}
