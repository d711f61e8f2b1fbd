#include "cab/FileSystem.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
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
    // A FIFO opened for reading would wait for a writer: opened without waiting, then refused
    // with everything else that is not a regular file.
    const bool reading = (oflag & O_ACCMODE) == O_RDONLY && !(oflag & O_CREAT);
    int fd;
    do
        fd = ::open(fileName, oflag | O_CLOEXEC | (reading ? O_NONBLOCK : 0), pmode);
    while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
        struct stat st {};
        if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || (reading && !S_ISREG(st.st_mode))) {
            ::close(fd);
            errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
            return -1;
        }
        // Opened without blocking only for the test above; reads then block as on any file.
        const int flags = reading ? fcntl(fd, F_GETFL) : 0;
        if (flags == -1 || (reading && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1)) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return -1;
        }
    }
    return ClaimHandle(fd);
}

std::string RegularFileProblem(const std::string& path) {
    int fd;
    do
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return std::strerror(errno);
    struct stat st {};
    std::string problem;
    if (fstat(fd, &st) != 0)
        problem = std::strerror(errno);
    else if (S_ISDIR(st.st_mode))
        problem = std::strerror(EISDIR);
    else if (!S_ISREG(st.st_mode))
        problem = "not a regular file";
    ::close(fd);
    return problem;
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
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    if (dir.empty() || DirectoryExists(dir)) return true;
    // From the first missing folder down, one component at a time, without recursion.
    std::vector<size_t> missing;
    for (size_t cut = dir.size(); cut > 0 && !DirectoryExists(dir.substr(0, cut));) {
        missing.push_back(cut);
        const size_t slash = dir.find_last_of('/', cut - 1);
        cut = slash == std::string::npos ? 0 : slash;
    }
    // Stops at the first folder that cannot be made, errno telling why.
    for (auto it = missing.rbegin(); it != missing.rend(); ++it)
        if (::mkdir(dir.substr(0, *it).c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (DirectoryExists(dir)) return true;
    errno = ENOTDIR;
    return false;
}

size_t MaxDesktopPath() {
    return PATH_MAX - 1;
}

namespace {

int OpenFolder(int at, const char* name, int extra) {
    int fd;
    do
        fd = ::openat(at, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | extra);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// What stands at name inside the folder, without following a link: 0 nothing, else st_mode.
mode_t KindAt(int folder, const std::string& name) {
    struct stat st {};
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return 0;
    return st.st_mode;
}

std::string NotRegularText(const std::string& path, mode_t mode) {
    if (S_ISLNK(mode)) return path + " is a link; it was left as it is";
    if (S_ISDIR(mode)) return path + " is a folder; it was left as it is";
    return path + " is not a regular file; it was left as it is";
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
        if (!FPath.empty() && FPath.back() != '/') FPath += '/';
        FPath += folder;
    }
    if (!FPath.empty() && FPath.back() != '/') FPath += '/';
    FPath += name;
    FName = name;
    if (FPath.size() > MaxDesktopPath())
        return Fail("the path is longer than the system allows (" + std::to_string(FPath.size()) +
                    " bytes)");
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        return Fail(FPath + " is not a file name");

    int folder = OpenFolder(AT_FDCWD, FFolderPath.c_str(), 0);
    if (folder < 0) return Fail("cannot open folder " + FFolderPath + ": " + std::strerror(errno));
    FFolder = folder;
    // One component at a time, never through a link: only the folder the caller chose is
    // taken as it stands.
    for (const std::string& part : folders) {
        if (part.empty() || part == ".") continue;
        FFolderPath += '/';
        FFolderPath += part;
        if (part == ".." || part.find('/') != std::string::npos)
            return Fail(FFolderPath + " is not a folder name");
        if (::mkdirat(folder, part.c_str(), 0755) != 0 && errno != EEXIST)
            return Fail("cannot create folder " + FFolderPath + ": " + std::strerror(errno));
        const int next = OpenFolder(folder, part.c_str(), O_NOFOLLOW);
        if (next < 0) {
            const int error = errno;
            const mode_t kind = KindAt(folder, part);
            if (S_ISLNK(kind)) return Fail(FFolderPath + " is a link, not a folder; refused");
            if (error == ENOTDIR) return Fail(FFolderPath + " is not a folder; refused");
            return Fail("cannot open folder " + FFolderPath + ": " + std::strerror(error));
        }
        ::close(folder);
        folder = next;
        FFolder = folder;
    }
    if (const mode_t kind = KindAt(folder, name); kind != 0 && !S_ISREG(kind))
        return Fail(NotRegularText(FPath, kind));

    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char temp[64];
        std::snprintf(temp, sizeof temp, ".tessary-%ld-%u.tmp", static_cast<long>(::getpid()),
                      counter++);
        int fd;
        do
            fd = ::openat(folder, temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        while (fd < 0 && errno == EINTR);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return Fail("cannot create " + FPath + ": " + std::strerror(errno));
        FTempName = temp;
        FHandle = ClaimHandle(fd);
        if (FHandle == -1) return Fail("cannot create " + FPath + ": " + std::strerror(errno));
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
            return Fail("cannot write " + FPath + ": " + std::strerror(errno));
        p += chunk;
        count -= chunk;
    }
    return true;
}

bool TSafeFile::Commit(const TDateTime* localTime) {
    if (FHandle == -1) return false;
    FStamped = !localTime || SetFileHandleTime(FHandle, *localTime);
    const int fd = static_cast<int>(FHandle);
    FHandle = -1;
    if (::close(fd) != 0) return Fail("cannot write " + FPath + ": " + std::strerror(errno));
    const int folder = static_cast<int>(FFolder);
    // Looked at again: something may have been put there while the data was written.
    if (const mode_t kind = KindAt(folder, FName); kind != 0 && !S_ISREG(kind))
        return Fail(NotRegularText(FPath, kind));
    if (::renameat(folder, FTempName.c_str(), folder, FName.c_str()) != 0)
        return Fail("cannot write " + FPath + ": " + std::strerror(errno));
    FTempName.clear();
    ::close(folder);
    FFolder = -1;
    return true;
}

void TSafeFile::Discard() {
    if (FHandle != -1) ::close(static_cast<int>(FHandle));
    FHandle = -1;
    if (FFolder != -1) {
        if (!FTempName.empty()) ::unlinkat(static_cast<int>(FFolder), FTempName.c_str(), 0);
        ::close(static_cast<int>(FFolder));
    }
    FFolder = -1;
    FTempName.clear();
}

std::string ExpandFileName(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
}
