#include "cab/cabfiles.h"

#include "cab/AsciiCase.h"
#include "cab/ErrorReporter.h"
#include "cab/FileSystem.h"
#include "cab/fdi.h"

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <string_view>

namespace {

// Handle 1 stands for the run's stream in a stream run.
constexpr fdi::INT_PTR kStreamHandle = 1;

} // namespace

// The state one run of the cabinet library shares with its callbacks. Runs never overlap.
struct TCABRun {
    bool Active = false;
    bool ToStream = false;
    TStream* Stream = nullptr;
    TCABFile* Cabinet = nullptr;  // the object whose run this is
    TCABFile* Progress = nullptr; // the object reporting progress, once a file is taken
    std::exception_ptr Error;     // the first exception raised inside a callback
    // The target file of an extraction to a file, until it is complete.
    std::string OpenTarget;
    fdi::INT_PTR OpenHandle = 0;
    bool OpenHandleClosed = false;

    static TCABRun& Current() {
        static TCABRun run;
        return run;
    }

    static void* Alloc(unsigned long cb) { return std::malloc(cb ? cb : 1); }
    static void Free(void* pv) { std::free(pv); }
    static fdi::INT_PTR Open(const char* fileName, int oflag, int pmode) {
        return OpenFileHandle(fileName, oflag, pmode);
    }
    static unsigned int Read(fdi::INT_PTR hf, void* pv, unsigned int cb);
    static unsigned int Write(fdi::INT_PTR hf, const void* pv, unsigned int cb);
    static int Close(fdi::INT_PTR hf);
    static long Seek(fdi::INT_PTR hf, long dist, int seekType);
    static fdi::INT_PTR Notify(fdi::FDINOTIFICATIONTYPE type, fdi::FDINOTIFICATION* n);
    static fdi::INT_PTR CopyFile(TCABFile& cab, const fdi::FDINOTIFICATION& n);
    static fdi::INT_PTR CloseFileInfo(const fdi::FDINOTIFICATION& n);

    bool IsStream(fdi::INT_PTR hf) const { return ToStream && hf == kStreamHandle; }
    void Fail(std::exception_ptr e) {
        if (!Error) Error = std::move(e);
    }
    void DiscardTarget() {
        if (OpenTarget.empty()) return;
        if (!OpenHandleClosed) CloseFileHandle(OpenHandle);
        DeleteFileName(OpenTarget);
        OpenTarget.clear();
        OpenHandle = 0;
    }
};

unsigned int TCABRun::Read(fdi::INT_PTR hf, void* pv, unsigned int cb) {
    TCABRun& run = Current();
    if (run.IsStream(hf)) {
        const int64_t n = run.Stream->Read(pv, cb);
        return n < 0 ? static_cast<unsigned int>(-1) : static_cast<unsigned int>(n);
    }
    return ReadFileHandle(hf, pv, cb);
}

unsigned int TCABRun::Write(fdi::INT_PTR hf, const void* pv, unsigned int cb) {
    TCABRun& run = Current();
    try {
        if (run.IsStream(hf)) {
            if (run.Stream->Write(pv, cb) != static_cast<int64_t>(cb))
                return static_cast<unsigned int>(-1);
        } else if (WriteFileHandle(hf, pv, cb) != cb) {
            ReportError("Error", LastSystemErrorText());
            return static_cast<unsigned int>(-1);
        }
        if (TCABFile* cab = run.Progress) {
            cab->BytesWritten += static_cast<int32_t>(cb);
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
    if (run.IsStream(hf)) return 0;
    if (hf == run.OpenHandle) run.OpenHandleClosed = true;
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
    const long pos = SeekFileHandle(hf, dist, seekType);
    if (pos == -1) ReportError("Error", LastSystemErrorText());
    return pos;
}

fdi::INT_PTR TCABRun::Notify(fdi::FDINOTIFICATIONTYPE type, fdi::FDINOTIFICATION* n) {
    TCABRun& run = Current();
    // Nothing may be thrown through the library's code: keep it and end the run.
    try {
        if (type == fdi::fdintCOPY_FILE) return CopyFile(*static_cast<TCABFile*>(n->pv), *n);
        if (type == fdi::fdintCLOSE_FILE_INFO) return CloseFileInfo(*n);
        return 0;
    } catch (...) {
        run.Fail(std::current_exception());
        return -1;
    }
}

fdi::INT_PTR TCABRun::CopyFile(TCABFile& cab, const fdi::FDINOTIFICATION& n) {
    TCABRun& run = Current();
    const std::string name = n.psz1 ? n.psz1 : "";
    if (cab.Mode == TCABMode::List) {
        TCABFileEntry entry;
        entry.Name = name;
        entry.Date = DosDateTimeToDateTime(n.date, n.time);
        entry.Size = static_cast<int32_t>(n.cb);
        cab.CABFileContents.Add() = std::move(entry);
        return 0;
    }
    if (!SameTextAscii(name, cab.WantedEntry)) return 0;

    fdi::INT_PTR handle = kStreamHandle;
    std::string target;
    if (cab.Mode == TCABMode::ExtractToFile) {
        const std::string destFile = FileNamePart(cab.DestName);
        if (!IsSafeEntryName(name) || destFile.empty() || destFile == "." || destFile == "..")
            return -1;
        std::string base = cab.TargetPath;
        if (!base.empty() && base.back() != kPathSeparator) base += kPathSeparator;
        const std::string folder = EntryFolderPart(name);
        target = base + folder + destFile;
        ForceDirectories(base.empty() ? ExpandFileName(folder.empty() ? "." : folder)
                                      : base + folder);
        bool allow = true;
        if (FileExists(target)) {
            if (cab.OnOverWriteFile) cab.OnOverWriteFile(&cab, target, allow);
            if (allow) DeleteFileName(target);
        }
        if (!allow) return 0;
        handle = CreateFileHandle(target);
        if (handle == -1) return -1;
        run.OpenTarget = target;
        run.OpenHandle = handle;
        run.OpenHandleClosed = false;
    }
    cab.CurrentFileName = FileNamePart(target);
    cab.BytesWritten = 0;
    cab.CurrentFileSize = static_cast<int32_t>(n.cb);
    run.Progress = &cab;
    return handle;
}

fdi::INT_PTR TCABRun::CloseFileInfo(const fdi::FDINOTIFICATION& n) {
    TCABRun& run = Current();
    if (run.ToStream) return 1;
    // A file whose stored date is invalid must not stay behind half-finished.
    const TDateTime stamp = DosDateTimeToDateTime(n.date, n.time);
    SetFileHandleTime(n.hf, stamp);
    run.OpenHandleClosed = true;
    const int closed = CloseFileHandle(n.hf);
    if (closed != 0) {
        ReportError("Error", LastSystemErrorText());
        return -1;
    }
    run.OpenTarget.clear();
    run.OpenHandle = 0;
    return 1;
}

TCABFile::TCABFile(void* owner) : FOwner(owner) {}

bool TCABFile::IsCabinet(const std::string& path) {
    const fdi::INT_PTR hf = OpenFileHandle(path.c_str(), kOpenReadOnly, 0);
    if (hf == -1) return false;
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
        (void)library.Destroy(context);
    }
    CloseFileHandle(hf);
    return result;
}

int32_t TCABFile::ProcessCabinet() {
    TCABRun& run = TCABRun::Current();
    if (run.Active) return -1;
    fdi::INT_PTR hf = OpenFileHandle(CABFile.c_str(), kOpenReadOnly, 0);
    if (hf == -1) return -1;
    CloseFileHandle(hf);

    fdi::TCabinetLibrary library;
    if (!library.Loaded()) return -1;
    fdi::ERF erf;
    fdi::HFDI context =
        library.Create(TCABRun::Alloc, TCABRun::Free, TCABRun::Open, TCABRun::Read, TCABRun::Write,
                       TCABRun::Close, TCABRun::Seek, fdi::cpu80386, &erf);
    if (!context) return -1;

    run = TCABRun{};
    run.Active = true;
    run.ToStream = Mode == TCABMode::ExtractToStream;
    run.Stream = run.ToStream ? TargetStream : nullptr;
    run.Cabinet = this;

    int32_t result = -1;
    hf = OpenFileHandle(CABFile.c_str(), kOpenReadOnly, 0);
    if (hf != -1) {
        const bool isCabinet = library.IsCabinet(context, hf, nullptr);
        CloseFileHandle(hf);
        if (isCabinet) {
            const std::string full = ExpandFileName(CABFile);
            const std::string folder = FolderPart(full);
            const std::string name = FileNamePart(full);
            if (library.Copy(context, name.c_str(), folder.c_str(), 0, TCABRun::Notify, nullptr,
                             this) &&
                !run.Error)
                result = 0;
        }
    }
    run.DiscardTarget();
    if (!library.Destroy(context)) result = -1;
    std::exception_ptr error = run.Error;
    run = TCABRun{};
    if (error) std::rethrow_exception(error);
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
