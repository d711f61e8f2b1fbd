#include "cab/FileSystem.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

const int kOpenReadOnly = O_RDONLY;

namespace {
std::intptr_t ClaimHandle(int fd) {
    if (fd < 0) return -1;
    if (fd < 3) {
        // Keep 0 to 2 free so a file handle never reads as the stream's pseudo handle.
        const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
        const int saved = errno;
        ::close(fd);
        errno = saved;
        if (moved < 0) return -1;
        fd = moved;
    }
    return fd;
}
} // namespace

std::intptr_t OpenFileHandle(const char* fileName, int oflag, int pmode) {
    if (!fileName || !*fileName) return -1;
    int fd;
    do
        fd = ::open(fileName, oflag | O_CLOEXEC, pmode);
    while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
        struct stat st {};
        if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
            ::close(fd);
            errno = EISDIR;
            return -1;
        }
    }
    return ClaimHandle(fd);
}

std::intptr_t CreateFileHandle(const std::string& fileName) {
    int fd;
    do
        fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    while (fd < 0 && errno == EINTR);
    return ClaimHandle(fd);
}

unsigned int ReadFileHandle(std::intptr_t hf, void* pv, unsigned int cb) {
    ssize_t n;
    do
        n = ::read(static_cast<int>(hf), pv, cb);
    while (n < 0 && errno == EINTR);
    return n < 0 ? static_cast<unsigned int>(-1) : static_cast<unsigned int>(n);
}

unsigned int WriteFileHandle(std::intptr_t hf, const void* pv, unsigned int cb) {
    const auto* p = static_cast<const char*>(pv);
    unsigned int done = 0;
    while (done < cb) {
        const ssize_t n = ::write(static_cast<int>(hf), p + done, cb - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return static_cast<unsigned int>(-1);
        }
        done += static_cast<unsigned int>(n);
    }
    return done;
}

int CloseFileHandle(std::intptr_t hf) {
    return ::close(static_cast<int>(hf)) == 0 ? 0 : -1;
}

long SeekFileHandle(std::intptr_t hf, long dist, int seekType) {
    const off_t pos = ::lseek(static_cast<int>(hf), dist, seekType);
    return pos < 0 ? -1 : static_cast<long>(pos);
}

bool SetFileHandleTime(std::intptr_t hf, const TDateTime& t) {
    std::tm local{};
    local.tm_year = t.Year - 1900;
    local.tm_mon = t.Month - 1;
    local.tm_mday = t.Day;
    local.tm_hour = t.Hour;
    local.tm_min = t.Minute;
    local.tm_sec = t.Second;
    local.tm_isdst = -1;
    const std::time_t utc = std::mktime(&local);
    if (utc == static_cast<std::time_t>(-1)) return false;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = utc;
    times[1].tv_nsec = 0;
    return futimens(static_cast<int>(hf), times) == 0;
}

std::string LastSystemErrorText() {
    return std::strerror(errno);
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFileName(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool ReplaceFileName(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool ForceDirectories(const std::string& path) {
    std::string dir = path;
    if (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
    if (dir.size() < 3 || DirectoryExists(dir)) return true;
    const size_t cut = dir.find_last_of(kPathSeparator);
    if (cut != std::string::npos) {
        const std::string parent = dir.substr(0, cut);
        if (parent != dir && !parent.empty()) ForceDirectories(parent);
    }
    return ::mkdir(dir.c_str(), 0755) == 0 || DirectoryExists(dir);
}

std::string ExpandFileName(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
}
