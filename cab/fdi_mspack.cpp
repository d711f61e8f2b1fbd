// The FDI-shaped layer on libmspack. The only file that includes mspack.h.
#include "cab/fdi.h"

#include <mspack.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <type_traits>

namespace fdi {
namespace {

struct Context {
    PFNALLOC alloc;
    PFNFREE free;
    PFNOPEN open;
    PFNREAD read;
    PFNWRITE write;
    PFNCLOSE close;
    PFNSEEK seek;
    ERF* erf;
};

// Names libmspack is given for what is not a file of its own: the handle under test in
// IsCabinet and the output handle of the file being copied.
const char kExistingHandle[] = "<fdi:existing handle>";
const char kOutputHandle[] = "<fdi:output handle>";

struct System {
    mspack_system base; // first, so libmspack's pointer converts back
    Context* context;
    INT_PTR existing;
    INT_PTR output;
};

struct File {
    INT_PTR handle;
    bool owned; // closed through the close callback when libmspack closes it
};

System* AsSystem(mspack_system* self) {
    return reinterpret_cast<System*>(self);
}

mspack_file* SysOpen(mspack_system* self, const char* filename, int mode) {
    System* sys = AsSystem(self);
    File file{0, false};
    if (filename == kExistingHandle) {
        file.handle = sys->existing;
    } else if (filename == kOutputHandle) {
        file.handle = sys->output;
    } else {
        if (mode != MSPACK_SYS_OPEN_READ) return nullptr;
        file.handle = sys->context->open(filename, O_RDONLY, 0);
        file.owned = true;
    }
    if (file.handle == 0 || file.handle == -1) return nullptr;
    auto* result = static_cast<File*>(sys->context->alloc(sizeof(File)));
    if (!result) {
        if (file.owned) sys->context->close(file.handle);
        return nullptr;
    }
    *result = file;
    return reinterpret_cast<mspack_file*>(result);
}

// libmspack's file callbacks carry no system pointer; one run is active per thread. A plain
// pointer, as every thread_local of this layer (see cabfiles.cpp).
thread_local System* gActive = nullptr;
static_assert(std::is_trivially_destructible_v<decltype(gActive)>);

void SysClose(mspack_file* f) {
    auto* file = reinterpret_cast<File*>(f);
    if (file->owned) gActive->context->close(file->handle);
    gActive->context->free(file);
}

int SysRead(mspack_file* f, void* buffer, int bytes) {
    auto* file = reinterpret_cast<File*>(f);
    if (bytes < 0) return -1;
    const unsigned int n =
        gActive->context->read(file->handle, buffer, static_cast<unsigned>(bytes));
    return n == static_cast<unsigned int>(-1) ? -1 : static_cast<int>(n);
}

int SysWrite(mspack_file* f, void* buffer, int bytes) {
    auto* file = reinterpret_cast<File*>(f);
    if (bytes < 0) return -1;
    const unsigned int n =
        gActive->context->write(file->handle, buffer, static_cast<unsigned>(bytes));
    return n == static_cast<unsigned int>(bytes) ? bytes : -1;
}

int SysSeek(mspack_file* f, off_t offset, int mode) {
    auto* file = reinterpret_cast<File*>(f);
    const int whence = mode == MSPACK_SYS_SEEK_START ? SEEK_SET
                       : mode == MSPACK_SYS_SEEK_CUR ? SEEK_CUR
                                                     : SEEK_END;
    return gActive->context->seek(file->handle, static_cast<long>(offset), whence) == -1 ? -1 : 0;
}

off_t SysTell(mspack_file* f) {
    auto* file = reinterpret_cast<File*>(f);
    return static_cast<off_t>(gActive->context->seek(file->handle, 0, SEEK_CUR));
}

// libmspack's warnings about odd cabinets are not the user's business.
void SysMessage(mspack_file*, const char*, ...) {}

void* SysAlloc(mspack_system*, size_t bytes) {
    return gActive->context->alloc(static_cast<unsigned long>(bytes));
}
void SysFree(void* p) {
    if (p) gActive->context->free(p);
}
void SysCopy(void* src, void* dest, size_t bytes) {
    std::memmove(dest, src, bytes);
}

// Installs a System for the duration of one call into libmspack.
class ActiveSystem {
  public:
    explicit ActiveSystem(Context* context) {
        FSystem.base = mspack_system{SysOpen,    SysClose, SysRead, SysWrite, SysSeek, SysTell,
                                     SysMessage, SysAlloc, SysFree, SysCopy,  nullptr};
        FSystem.context = context;
        FSystem.existing = 0;
        FSystem.output = 0;
        FPrevious = gActive;
        gActive = &FSystem;
    }
    ~ActiveSystem() { gActive = FPrevious; }
    ActiveSystem(const ActiveSystem&) = delete;
    ActiveSystem& operator=(const ActiveSystem&) = delete;
    System& Get() { return FSystem; }

  private:
    System FSystem{};
    System* FPrevious = nullptr;
};

struct DecompressorDeleter {
    void operator()(mscab_decompressor* d) const { mspack_destroy_cab_decompressor(d); }
};
using Decompressor = std::unique_ptr<mscab_decompressor, DecompressorDeleter>;

// Closes the cabinet through the decompressor that opened it.
class OpenCabinet {
  public:
    OpenCabinet(mscab_decompressor* d, const char* name) : FDecompressor(d) {
        FCabinet = d->open(d, const_cast<char*>(name));
    }
    ~OpenCabinet() {
        if (FCabinet) FDecompressor->close(FDecompressor, FCabinet);
    }
    OpenCabinet(const OpenCabinet&) = delete;
    OpenCabinet& operator=(const OpenCabinet&) = delete;
    mscabd_cabinet* Get() const { return FCabinet; }

  private:
    mscab_decompressor* FDecompressor;
    mscabd_cabinet* FCabinet = nullptr;
};

// libmspack decodes the stored fields without checking them; put them back as stored.
std::uint16_t DosDate(const mscabd_file* f) {
    return static_cast<std::uint16_t>(((f->date_y - 1980) << 9) | ((f->date_m & 0x0F) << 5) |
                                      (f->date_d & 0x1F));
}
std::uint16_t DosTime(const mscabd_file* f) {
    return static_cast<std::uint16_t>(((f->time_h & 0x1F) << 11) | ((f->time_m & 0x3F) << 5) |
                                      ((f->time_s >> 1) & 0x1F));
}

void SetError(Context* c, int oper) {
    if (!c->erf) return;
    c->erf->erfOper = oper;
    c->erf->fError = true;
}

} // namespace

struct TCabinetLibrary::Impl {};

TCabinetLibrary::TCabinetLibrary() : FImpl(std::make_unique<Impl>()) {}
TCabinetLibrary::~TCabinetLibrary() = default;

bool TCabinetLibrary::Loaded() const {
    return true;
}

HFDI TCabinetLibrary::Create(PFNALLOC alloc, PFNFREE free, PFNOPEN open, PFNREAD read,
                             PFNWRITE write, PFNCLOSE close, PFNSEEK seek, int, ERF* erf) {
    auto* context = static_cast<Context*>(alloc(sizeof(Context)));
    if (!context) return nullptr;
    *context = Context{alloc, free, open, read, write, close, seek, erf};
    return context;
}

// Like the system library's test, this reads the cabinet header only: a cabinet of many
// thousand files is not parsed twice for every operation. What the header promises is checked
// when the copy run opens the cabinet.
bool TCabinetLibrary::IsCabinet(HFDI hfdi, INT_PTR hf, FDICABINETINFO* info) {
    auto* context = static_cast<Context*>(hfdi);
    if (!context) return false;
    const long start = context->seek(hf, 0, SEEK_CUR);
    unsigned char header[36];
    unsigned int got = 0;
    while (got < sizeof header) {
        const unsigned int n = context->read(hf, header + got, sizeof header - got);
        if (n == 0 || n == static_cast<unsigned int>(-1)) break;
        got += n;
    }
    if (start >= 0) context->seek(hf, start, SEEK_SET);
    if (got < sizeof header || std::memcmp(header, "MSCF", 4) != 0) return false;
    auto u16 = [&](int at) {
        return static_cast<unsigned short>(header[at] | (header[at + 1] << 8));
    };
    auto u32 = [&](int at) {
        return static_cast<unsigned long>(u16(at)) |
               (static_cast<unsigned long>(u16(at + 2)) << 16);
    };
    if (header[25] != 1) return false; // major version of the format
    if (info) {
        info->cbCabinet = static_cast<long>(u32(8));
        info->cFolders = u16(26);
        info->cFiles = u16(28);
        info->setID = u16(32);
        info->iCabinet = u16(34);
    }
    return true;
}

bool TCabinetLibrary::Copy(HFDI hfdi, const char* cabinetName, const char* cabinetPath, int,
                           PFNFDINOTIFY notify, void*, void* user) {
    auto* context = static_cast<Context*>(hfdi);
    if (!context || !cabinetName || !notify) return false;
    const std::string fullName = std::string(cabinetPath ? cabinetPath : "") + cabinetName;

    ActiveSystem active(context);
    // A fresh decompressor per run: a decompression error sticks to the one that met it.
    Decompressor d(mspack_create_cab_decompressor(&active.Get().base));
    if (!d) return false;
    OpenCabinet cab(d.get(), fullName.c_str());
    if (!cab.Get()) {
        SetError(context, fdintCABINET_INFO);
        return false;
    }
    for (mscabd_file* f = cab.Get()->files; f; f = f->next) {
        FDINOTIFICATION n;
        n.cb = static_cast<std::uint32_t>(f->length);
        n.psz1 = f->filename;
        n.pv = user;
        n.date = DosDate(f);
        n.time = DosTime(f);
        n.attribs = static_cast<std::uint16_t>(f->attribs);
        const INT_PTR handle = notify(fdintCOPY_FILE, &n);
        if (handle == -1) return false;
        if (handle == 0) continue;
        active.Get().output = handle;
        const int error = d->extract(d.get(), f, const_cast<char*>(kOutputHandle));
        active.Get().output = 0;
        if (error != MSPACK_ERR_OK) {
            context->close(handle);
            SetError(context, fdintCOPY_FILE);
            return false;
        }
        n.hf = handle;
        if (notify(fdintCLOSE_FILE_INFO, &n) != 1) return false;
    }
    return true;
}

bool TCabinetLibrary::Destroy(HFDI hfdi) {
    auto* context = static_cast<Context*>(hfdi);
    if (!context) return false;
    const PFNFREE free = context->free;
    free(context);
    return true;
}

} // namespace fdi
