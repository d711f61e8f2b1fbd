// The FDI-shaped layer on the system cabinet library, cabinet.dll, loaded for one operation.
// The only file that includes the system's fdi.h.
#include "cab/fdi.h"

#include <windows.h>
// After cab/fdi.h: the system header defines cpu80386 and friends as macros.
#include <fdi.h>

#include <type_traits>

namespace fdi {
namespace {

using SysFDICreate = HFDI(DIAMONDAPI*)(::PFNALLOC, ::PFNFREE, ::PFNOPEN, ::PFNREAD, ::PFNWRITE,
                                       ::PFNCLOSE, ::PFNSEEK, int, ::PERF);
using SysFDIIsCabinet = BOOL(DIAMONDAPI*)(HFDI, INT_PTR, ::PFDICABINETINFO);
using SysFDICopy = BOOL(DIAMONDAPI*)(HFDI, char*, char*, int, ::PFNFDINOTIFY, ::PFNFDIDECRYPT,
                                     void*);
using SysFDIDestroy = BOOL(DIAMONDAPI*)(HFDI);

template <typename T> T Lookup(HMODULE module, const char* name) {
    // Through the generic function type, which converts to any other without a warning.
    return reinterpret_cast<T>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// What the caller gave Create and Copy, for the library's callbacks, which carry no context.
struct Callbacks {
    PFNALLOC alloc = nullptr;
    PFNFREE free = nullptr;
    PFNOPEN open = nullptr;
    PFNREAD read = nullptr;
    PFNWRITE write = nullptr;
    PFNCLOSE close = nullptr;
    PFNSEEK seek = nullptr;
    PFNFDINOTIFY notify = nullptr;
    // The file being copied: its handle, its size and what has reached it so far.
    INT_PTR output = 0;
    std::uint64_t expected = 0;
    std::uint64_t written = 0;
    bool failed = false; // a file went wrong; the run must end with failure
};

// One run of the library is active per thread at a time; the library calls back on the thread
// that runs it. A plain pointer, as every thread_local of this layer (see cabfiles.cpp).
thread_local Callbacks* gActive = nullptr;
static_assert(std::is_trivially_destructible_v<decltype(gActive)>);

void* DIAMONDAPI SysAlloc(ULONG cb) {
    return gActive->alloc(cb);
}
void DIAMONDAPI SysFree(void* pv) {
    gActive->free(pv);
}
INT_PTR DIAMONDAPI SysOpen(char* fileName, int oflag, int pmode) {
    return gActive->open(fileName, oflag, pmode);
}
UINT DIAMONDAPI SysRead(INT_PTR hf, void* pv, UINT cb) {
    return gActive->read(hf, pv, cb);
}
UINT DIAMONDAPI SysWrite(INT_PTR hf, void* pv, UINT cb) {
    const UINT n = gActive->write(hf, pv, cb);
    if (hf == gActive->output && n != static_cast<UINT>(-1)) gActive->written += n;
    return n;
}
int DIAMONDAPI SysClose(INT_PTR hf) {
    if (hf == gActive->output) gActive->output = 0;
    return gActive->close(hf);
}
LONG DIAMONDAPI SysSeek(INT_PTR hf, LONG dist, int seekType) {
    return gActive->seek(hf, dist, seekType);
}

INT_PTR DIAMONDAPI SysNotify(::FDINOTIFICATIONTYPE type, ::PFDINOTIFICATION sys) {
    Callbacks& c = *gActive;
    // The layer reads one cabinet: a set's next part is never opened. Answering anything but
    // -1 here makes the library ask again and again when that part is missing.
    if (type == ::fdintNEXT_CABINET || c.failed) return -1;
    FDINOTIFICATION n;
    // The system's long is 32 bits wide: a file of 2 GiB or more comes as a negative number.
    n.cb = static_cast<std::uint32_t>(sys->cb);
    n.psz1 = sys->psz1;
    n.psz2 = sys->psz2;
    n.psz3 = sys->psz3;
    n.pv = sys->pv;
    n.hf = sys->hf;
    n.date = sys->date;
    n.time = sys->time;
    n.attribs = sys->attribs;
    switch (type) {
    case ::fdintCOPY_FILE: {
        const INT_PTR handle = c.notify(fdintCOPY_FILE, &n);
        if (handle != 0 && handle != -1) {
            c.output = handle;
            c.expected = n.cb;
            c.written = 0;
        }
        return handle;
    }
    case ::fdintCLOSE_FILE_INFO: {
        // The library reports a file complete even when its data could not be decoded or
        // written; such a file is closed as a failure, never stamped and kept.
        const bool complete = sys->hf == c.output && c.written == c.expected;
        INT_PTR result = 0;
        if (complete) {
            c.output = 0;
            result = c.notify(fdintCLOSE_FILE_INFO, &n);
        } else if (sys->hf == c.output) {
            SysClose(sys->hf);
        }
        // The library does not stop on a failed close-file-info; the next notification does.
        if (result != 1) c.failed = true;
        return result == 1 ? TRUE : FALSE;
    }
    case ::fdintCABINET_INFO:
        return c.notify(fdintCABINET_INFO, &n);
    case ::fdintPARTIAL_FILE:
        return c.notify(fdintPARTIAL_FILE, &n);
    default:
        return c.notify(fdintENUMERATE, &n);
    }
}

} // namespace

struct TCabinetLibrary::Impl {
    HMODULE Module = nullptr;
    SysFDICreate FDICreate = nullptr;
    SysFDIIsCabinet FDIIsCabinet = nullptr;
    SysFDICopy FDICopy = nullptr;
    SysFDIDestroy FDIDestroy = nullptr;
    Callbacks Active;
    ::ERF Erf{};
    ERF* CallerErf = nullptr;

    // The library's callbacks reach this object's callbacks until it is unloaded.
    void Activate() { gActive = &Active; }
    void ReportError() {
        if (!CallerErf) return;
        CallerErf->erfOper = Erf.erfOper;
        CallerErf->erfType = Erf.erfType;
        CallerErf->fError = Erf.fError != FALSE;
    }
};

TCabinetLibrary::TCabinetLibrary() : FImpl(std::make_unique<Impl>()) {
    FImpl->Module = LoadLibraryA("cabinet.dll");
    if (!FImpl->Module) return;
    FImpl->FDICreate = Lookup<SysFDICreate>(FImpl->Module, "FDICreate");
    FImpl->FDIIsCabinet = Lookup<SysFDIIsCabinet>(FImpl->Module, "FDIIsCabinet");
    FImpl->FDICopy = Lookup<SysFDICopy>(FImpl->Module, "FDICopy");
    FImpl->FDIDestroy = Lookup<SysFDIDestroy>(FImpl->Module, "FDIDestroy");
}

TCabinetLibrary::~TCabinetLibrary() {
    if (gActive == &FImpl->Active) gActive = nullptr;
    if (FImpl->Module) FreeLibrary(FImpl->Module);
}

bool TCabinetLibrary::Loaded() const {
    return FImpl->Module && FImpl->FDICreate && FImpl->FDIIsCabinet && FImpl->FDICopy &&
           FImpl->FDIDestroy;
}

HFDI TCabinetLibrary::Create(PFNALLOC alloc, PFNFREE free, PFNOPEN open, PFNREAD read,
                             PFNWRITE write, PFNCLOSE close, PFNSEEK seek, int cpuType, ERF* erf) {
    if (!Loaded() || !alloc || !free || !open || !read || !write || !close || !seek) return nullptr;
    Callbacks& c = FImpl->Active;
    c = Callbacks{};
    c.alloc = alloc;
    c.free = free;
    c.open = open;
    c.read = read;
    c.write = write;
    c.close = close;
    c.seek = seek;
    FImpl->CallerErf = erf;
    FImpl->Activate();
    HFDI context = FImpl->FDICreate(SysAlloc, SysFree, SysOpen, SysRead, SysWrite, SysClose,
                                    SysSeek, cpuType, &FImpl->Erf);
    if (!context) FImpl->ReportError();
    return context;
}

bool TCabinetLibrary::IsCabinet(HFDI context, INT_PTR hf, FDICABINETINFO* info) {
    if (!context || !Loaded()) return false;
    FImpl->Activate();
    ::FDICABINETINFO sys{};
    if (!FImpl->FDIIsCabinet(context, hf, &sys)) return false;
    if (info) {
        info->cbCabinet = sys.cbCabinet;
        info->cFolders = sys.cFolders;
        info->cFiles = sys.cFiles;
        info->setID = sys.setID;
        info->iCabinet = sys.iCabinet;
    }
    return true;
}

bool TCabinetLibrary::Copy(HFDI context, const char* cabinetName, const char* cabinetPath,
                           int flags, PFNFDINOTIFY notify, void*, void* user) {
    if (!context || !Loaded() || !cabinetName || !notify) return false;
    Callbacks& c = FImpl->Active;
    c.notify = notify;
    c.output = 0;
    c.failed = false;
    FImpl->Activate();
    // The library takes the names as writable strings but only reads them.
    const BOOL copied = FImpl->FDICopy(context, const_cast<char*>(cabinetName),
                                       const_cast<char*>(cabinetPath ? cabinetPath : ""), flags,
                                       SysNotify, nullptr, user);
    // A handle the library left open on its way out is closed, so the caller sees it fail.
    if (c.output != 0) SysClose(c.output);
    c.notify = nullptr;
    if (!copied) FImpl->ReportError();
    return copied && !c.failed;
}

bool TCabinetLibrary::Destroy(HFDI context) {
    if (!context || !Loaded()) return false;
    FImpl->Activate();
    return FImpl->FDIDestroy(context) != FALSE;
}

} // namespace fdi
