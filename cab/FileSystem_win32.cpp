#include "cab/FileSystem.h"

#include <fcntl.h>
#include <windows.h>

const int kOpenReadOnly = _O_RDONLY | _O_BINARY;

namespace {

HANDLE AsHandle(std::intptr_t hf) {
    return reinterpret_cast<HANDLE>(hf);
}

// Kernel handles are multiples of four, so 1 and 2 never occur; the check keeps the stream's
// pseudo handle safe from any system that thinks otherwise.
std::intptr_t ClaimHandle(HANDLE h) {
    if (h == INVALID_HANDLE_VALUE) return -1;
    const auto value = reinterpret_cast<std::intptr_t>(h);
    if (value >= 0 && value < 3) {
        CloseHandle(h);
        SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    return value;
}

DWORD Attributes(const std::string& path) {
    return GetFileAttributesA(path.c_str());
}

} // namespace

std::intptr_t OpenFileHandle(const char* fileName, int oflag, int) {
    if (!fileName || !*fileName) return -1;
    DWORD access = GENERIC_READ;
    if ((oflag & _O_ACCMODE) == _O_WRONLY)
        access = GENERIC_WRITE;
    else if ((oflag & _O_ACCMODE) == _O_RDWR)
        access = GENERIC_READ | GENERIC_WRITE;
    DWORD disposition = OPEN_EXISTING;
    if ((oflag & _O_CREAT) && (oflag & _O_EXCL))
        disposition = CREATE_NEW;
    else if ((oflag & _O_CREAT) && (oflag & _O_TRUNC))
        disposition = CREATE_ALWAYS;
    else if (oflag & _O_CREAT)
        disposition = OPEN_ALWAYS;
    else if (oflag & _O_TRUNC)
        disposition = TRUNCATE_EXISTING;
    // Others may go on reading and writing the cabinet while it is open here.
    const HANDLE h = CreateFileA(fileName, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    return ClaimHandle(h);
}

std::intptr_t CreateFileHandle(const std::string& fileName) {
    const HANDLE h = CreateFileA(fileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return ClaimHandle(h);
}

unsigned int ReadFileHandle(std::intptr_t hf, void* pv, unsigned int cb) {
    DWORD n = 0;
    if (!ReadFile(AsHandle(hf), pv, cb, &n, nullptr)) return static_cast<unsigned int>(-1);
    return n;
}

unsigned int WriteFileHandle(std::intptr_t hf, const void* pv, unsigned int cb) {
    const auto* p = static_cast<const char*>(pv);
    unsigned int done = 0;
    while (done < cb) {
        DWORD n = 0;
        if (!WriteFile(AsHandle(hf), p + done, cb - done, &n, nullptr))
            return static_cast<unsigned int>(-1);
        if (n == 0) {
            SetLastError(ERROR_HANDLE_DISK_FULL);
            return static_cast<unsigned int>(-1);
        }
        done += n;
    }
    return done;
}

int CloseFileHandle(std::intptr_t hf) {
    return CloseHandle(AsHandle(hf)) ? 0 : -1;
}

long SeekFileHandle(std::intptr_t hf, long dist, int seekType) {
    const DWORD method = seekType == SEEK_SET   ? FILE_BEGIN
                         : seekType == SEEK_CUR ? FILE_CURRENT
                                                : FILE_END;
    LARGE_INTEGER move;
    move.QuadPart = dist;
    LARGE_INTEGER pos;
    if (!SetFilePointerEx(AsHandle(hf), move, &pos, method)) return -1;
    if (pos.QuadPart > 0x7FFFFFFF) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return -1;
    }
    return static_cast<long>(pos.QuadPart);
}

bool SetFileHandleTime(std::intptr_t hf, const TDateTime& t) {
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(t.Year);
    local.wMonth = static_cast<WORD>(t.Month);
    local.wDay = static_cast<WORD>(t.Day);
    local.wHour = static_cast<WORD>(t.Hour);
    local.wMinute = static_cast<WORD>(t.Minute);
    local.wSecond = static_cast<WORD>(t.Second);
    FILETIME localTime, utc;
    if (!SystemTimeToFileTime(&local, &localTime)) return false;
    if (!LocalFileTimeToFileTime(&localTime, &utc)) return false;
    return SetFileTime(AsHandle(hf), nullptr, nullptr, &utc) != FALSE;
}

std::string LastSystemErrorText() {
    const DWORD code = GetLastError();
    char text[1025];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, text, sizeof text, nullptr);
    // The system's texts end in a line break, which a message box or a log line does not want.
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' '))
        --n;
    if (n == 0) return "System error " + std::to_string(code);
    return std::string(text, n);
}

bool FileExists(const std::string& path) {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DeleteFileName(const std::string& path) {
    return DeleteFileA(path.c_str()) != FALSE;
}

bool ReplaceFileName(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool ForceDirectories(const std::string& path) {
    std::string dir = path;
    if (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
    if (dir.size() < 3 || DirectoryExists(dir)) return true;
    const size_t cut = dir.find_last_of("\\/");
    if (cut != std::string::npos) {
        const std::string parent = dir.substr(0, cut);
        if (parent != dir && !parent.empty()) ForceDirectories(parent);
    }
    return CreateDirectoryA(dir.c_str(), nullptr) != FALSE || DirectoryExists(dir);
}

std::string ExpandFileName(const std::string& path) {
    if (path.empty()) return path;
    char buffer[MAX_PATH];
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    if (n > 0 && n < sizeof buffer) return std::string(buffer, n);
    if (n == 0) return path;
    std::string full(n, '\0');
    const DWORD m = GetFullPathNameA(path.c_str(), n, full.data(), nullptr);
    if (m == 0 || m >= n) return path;
    full.resize(m);
    return full;
}
