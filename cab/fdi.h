#pragma once
// A thin decompression interface shaped like the system cabinet library's FDI: a context made
// from memory and file callbacks, an is-cabinet test on an open handle, and a copy run that
// notifies once per file and writes the data of each taken file through the write callback.
// The cabinet reader talks only to this; the backend behind it is chosen at build time.
#include <cstdint>
#include <memory>

namespace fdi {

using INT_PTR = std::intptr_t;
using HFDI = void*;

using PFNALLOC = void* (*)(unsigned long cb);
using PFNFREE = void (*)(void* pv);
// Handles are the backend's file handles; 0 and -1 are never valid handles.
using PFNOPEN = INT_PTR (*)(const char* fileName, int oflag, int pmode);
using PFNREAD = unsigned int (*)(INT_PTR hf, void* pv, unsigned int cb);
using PFNWRITE = unsigned int (*)(INT_PTR hf, const void* pv, unsigned int cb);
using PFNCLOSE = int (*)(INT_PTR hf);
// seekType is SEEK_SET, SEEK_CUR or SEEK_END; answers the new position or -1.
using PFNSEEK = long (*)(INT_PTR hf, long dist, int seekType);

enum FDINOTIFICATIONTYPE {
    fdintCABINET_INFO,
    fdintPARTIAL_FILE,
    fdintCOPY_FILE,
    fdintCLOSE_FILE_INFO,
    fdintNEXT_CABINET,
    fdintENUMERATE
};

struct FDINOTIFICATION {
    std::uint32_t cb = 0;       // copy-file: uncompressed size, as the cabinet stores it
    const char* psz1 = nullptr; // copy-file, close-file-info: the file's name in the cabinet
    const char* psz2 = nullptr;
    const char* psz3 = nullptr;
    void* pv = nullptr;     // the user data given to Copy
    INT_PTR hf = 0;         // close-file-info: the handle copy-file returned
    std::uint16_t date = 0; // DOS date and time as stored
    std::uint16_t time = 0;
    std::uint16_t attribs = 0;
};

// copy-file answers 0 to skip the file, -1 to abort the run, or the handle to write it to;
// close-file-info answers 1 when done (it owns and closes the handle), anything else aborts.
using PFNFDINOTIFY = INT_PTR (*)(FDINOTIFICATIONTYPE type, FDINOTIFICATION* notification);

struct ERF {
    int erfOper = 0;
    int erfType = 0;
    bool fError = false;
};

struct FDICABINETINFO {
    long cbCabinet = 0;
    unsigned short cFolders = 0;
    unsigned short cFiles = 0;
    unsigned short setID = 0;
    unsigned short iCabinet = 0;
};

constexpr int cpu80386 = 1;

// Loaded for one cabinet operation and unloaded when it goes out of scope.
class TCabinetLibrary {
  public:
    TCabinetLibrary();
    ~TCabinetLibrary();
    TCabinetLibrary(const TCabinetLibrary&) = delete;
    TCabinetLibrary& operator=(const TCabinetLibrary&) = delete;

    [[nodiscard]] bool Loaded() const;
    [[nodiscard]] HFDI Create(PFNALLOC alloc, PFNFREE free, PFNOPEN open, PFNREAD read,
                              PFNWRITE write, PFNCLOSE close, PFNSEEK seek, int cpuType, ERF* erf);
    [[nodiscard]] bool IsCabinet(HFDI context, INT_PTR hf, FDICABINETINFO* info);
    // Runs over the cabinet cabinetPath + cabinetName. On a failed file the handle that
    // copy-file returned is closed through the close callback and the run answers false.
    [[nodiscard]] bool Copy(HFDI context, const char* cabinetName, const char* cabinetPath,
                            int flags, PFNFDINOTIFY notify, void* decrypt, void* user);
    [[nodiscard]] bool Destroy(HFDI context);

  private:
    struct Impl;
    std::unique_ptr<Impl> FImpl;
};

} // namespace fdi
