#include "cab/FileSystem.h"

#include <atomic>
#include <cstdio>
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

std::string RegularFileProblem(const std::string& path) {
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return LastSystemErrorText();
    const DWORD type = GetFileType(h);
    CloseHandle(h);
    if (type != FILE_TYPE_DISK) return "not a regular file";
    const DWORD a = Attributes(path);
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) return "is a folder";
    return {};
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
    // From the first missing folder down, one component at a time, without recursion.
    size_t cut = dir.size();
    std::vector<size_t> missing;
    while (cut != std::string::npos && cut >= 3 && !DirectoryExists(dir.substr(0, cut))) {
        missing.push_back(cut);
        cut = cut == 0 ? std::string::npos : dir.find_last_of("\\/", cut - 1);
    }
    // Stops at the first folder that cannot be made, the last error telling why.
    for (auto it = missing.rbegin(); it != missing.rend(); ++it)
        if (!CreateDirectoryA(dir.substr(0, *it).c_str(), nullptr) &&
            GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    if (DirectoryExists(dir)) return true;
    SetLastError(ERROR_DIRECTORY);
    return false;
}

size_t MaxDesktopPath() {
    return MAX_PATH - 1;
}

namespace {

std::string NotRegularText(const std::string& path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return path + " is a link; it was left as it is";
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return path + " is a folder; it was left as it is";
    return path + " is not a regular file; it was left as it is";
}

bool IsRegular(DWORD attributes) {
    return !(attributes &
             (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE));
}

} // namespace

TSafeFile::~TSafeFile() {
    Discard();
}

bool TSafeFile::Fail(const std::string& what) {
    FError = what;
    Discard();
    return false;
}

bool TSafeFile::Open(const std::string& base, const std::vector<std::string>& folders,
                     const std::string& name) {
    Discard();
    FError.clear();
    FFolderPath = base.empty() ? std::string(".") : base;
    FPath = base;
    for (const std::string& folder : folders) {
        if (!FPath.empty() && FPath.back() != '\\' && FPath.back() != '/') FPath += '\\';
        FPath += folder;
    }
    if (!FPath.empty() && FPath.back() != '\\' && FPath.back() != '/') FPath += '\\';
    FPath += name;
    FName = name;
    if (FPath.size() > MaxDesktopPath())
        return Fail("the path is longer than the system allows (" + std::to_string(FPath.size()) +
                    " bytes)");
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of("\\/:") != std::string::npos)
        return Fail(FPath + " is not a file name");
    const DWORD baseAttributes = Attributes(FFolderPath);
    if (baseAttributes == INVALID_FILE_ATTRIBUTES || !(baseAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return Fail("cannot open folder " + FFolderPath + ": " + LastSystemErrorText());
    // One component at a time; a reparse point is never walked through. Only the folder the
    // caller chose is taken as it stands.
    for (const std::string& part : folders) {
        if (part.empty() || part == ".") continue;
        if (FFolderPath.back() != '\\' && FFolderPath.back() != '/') FFolderPath += '\\';
        FFolderPath += part;
        if (part == ".." || part.find_first_of("\\/:") != std::string::npos)
            return Fail(FFolderPath + " is not a folder name");
        DWORD a = Attributes(FFolderPath);
        if (a == INVALID_FILE_ATTRIBUTES) {
            if (!CreateDirectoryA(FFolderPath.c_str(), nullptr) &&
                GetLastError() != ERROR_ALREADY_EXISTS)
                return Fail("cannot create folder " + FFolderPath + ": " + LastSystemErrorText());
            a = Attributes(FFolderPath);
        }
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT))
            return Fail(FFolderPath + " is a link, not a folder; refused");
        if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY))
            return Fail(FFolderPath + " is not a folder; refused");
    }
    const std::string target = FFolderPath + "\\" + name;
    if (const DWORD a = Attributes(target); a != INVALID_FILE_ATTRIBUTES && !IsRegular(a))
        return Fail(NotRegularText(FPath, a));

    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char temp[64];
        std::snprintf(temp, sizeof temp, ".tessary-%lu-%u.tmp",
                      static_cast<unsigned long>(GetCurrentProcessId()), counter++);
        const std::string tempPath = FFolderPath + "\\" + temp;
        const HANDLE h = CreateFileA(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) continue;
        if (h == INVALID_HANDLE_VALUE)
            return Fail("cannot create " + FPath + ": " + LastSystemErrorText());
        FTempName = tempPath;
        FHandle = ClaimHandle(h);
        if (FHandle == -1) return Fail("cannot create " + FPath + ": " + LastSystemErrorText());
        return true;
    }
    return Fail("cannot create a temporary file beside " + FPath);
}

bool TSafeFile::Write(const void* data, size_t count) {
    if (FHandle == -1) return false;
    const auto* p = static_cast<const char*>(data);
    while (count > 0) {
        const auto chunk = static_cast<unsigned int>(count > (1u << 30) ? (1u << 30) : count);
        if (WriteFileHandle(FHandle, p, chunk) != chunk)
            return Fail("cannot write " + FPath + ": " + LastSystemErrorText());
        p += chunk;
        count -= chunk;
    }
    return true;
}

bool TSafeFile::Commit(const TDateTime* localTime) {
    if (FHandle == -1) return false;
    FStamped = !localTime || SetFileHandleTime(FHandle, *localTime);
    const HANDLE h = AsHandle(FHandle);
    FHandle = -1;
    if (!CloseHandle(h)) return Fail("cannot write " + FPath + ": " + LastSystemErrorText());
    const std::string target = FFolderPath + "\\" + FName;
    // Looked at again: something may have been put there while the data was written.
    if (const DWORD a = Attributes(target); a != INVALID_FILE_ATTRIBUTES && !IsRegular(a))
        return Fail(NotRegularText(FPath, a));
    if (!MoveFileExA(FTempName.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
        return Fail("cannot write " + FPath + ": " + LastSystemErrorText());
    FTempName.clear();
    return true;
}

void TSafeFile::Discard() {
    if (FHandle != -1) CloseHandle(AsHandle(FHandle));
    FHandle = -1;
    if (!FTempName.empty()) DeleteFileA(FTempName.c_str());
    FTempName.clear();
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
