#pragma once
// The operating system's file handles and desktop paths, as the cabinet reader uses them.
#include "cab/DateTime.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
// Where a desktop path divides into folder and name: "\", "/" and a drive's ":".
constexpr char kPathDelimiters[] = "\\/:";
#else
constexpr char kPathSeparator = '/';
constexpr char kPathDelimiters[] = "/";
#endif
extern const int kOpenReadOnly;

// Handles are never 0, 1 or 2 (1 stands for a stream in a stream run); -1 is failure.
[[nodiscard]] std::intptr_t OpenFileHandle(const char* fileName, int oflag, int pmode);
// Creates or truncates a file for writing with plain attributes.
[[nodiscard]] std::intptr_t CreateFileHandle(const std::string& fileName);
[[nodiscard]] unsigned int ReadFileHandle(std::intptr_t hf, void* pv, unsigned int cb);
// Writes all cb bytes or answers -1.
[[nodiscard]] unsigned int WriteFileHandle(std::intptr_t hf, const void* pv, unsigned int cb);
int CloseFileHandle(std::intptr_t hf);
[[nodiscard]] long SeekFileHandle(std::intptr_t hf, long dist, int seekType);
// Sets the last-write time from a local date and time; the access time is left alone. False
// when the date cannot be represented or the file system refuses it.
[[nodiscard]] bool SetFileHandleTime(std::intptr_t hf, const TDateTime& localTime);
// The system's message for the last error ("No space left on device").
[[nodiscard]] std::string LastSystemErrorText();

// Why the file cannot be read as a cabinet: it is missing, unreadable or not a regular file (a
// FIFO, a device, a folder); empty when it can. Never blocks.
[[nodiscard]] std::string RegularFileProblem(const std::string& path);
[[nodiscard]] bool FileExists(const std::string& path);
[[nodiscard]] bool DirectoryExists(const std::string& path);
bool DeleteFileName(const std::string& path);
// Creates a folder with all its missing parents. False when one cannot be made (a file in the
// way, no permission), LastSystemErrorText() telling why; the folders made before it stay.
[[nodiscard]] bool ForceDirectories(const std::string& path);
// Renames a file onto another name, replacing a file of that name.
[[nodiscard]] bool ReplaceFileName(const std::string& from, const std::string& to);

struct [[nodiscard]] TWriteResult {
    bool Ok = false;
    std::string Message; // why it failed, naming the file
};
// Writes the whole text to a new file beside path and renames it into place only when it is
// complete, so a failure never leaves a half-written or empty file, nor touches one there.
[[nodiscard]] TWriteResult WriteFileSafely(const std::string& path, std::string_view data);

// A file written where it was meant to go and nowhere else. The folders below a chosen base are
// created one at a time, and a component that is a link (a reparse point on Windows) or not a
// folder is refused; the bytes go to a temporary file in the target folder, which Commit renames
// over the target. A target that exists and is not a regular file (a link, a device, a FIFO, a
// folder) is refused and left untouched. Discarded unless committed.
class TSafeFile {
  public:
    TSafeFile() = default;
    ~TSafeFile();
    TSafeFile(const TSafeFile&) = delete;
    TSafeFile& operator=(const TSafeFile&) = delete;

    // base is taken as given (empty is the current folder); folders are created below it.
    [[nodiscard]] bool Open(const std::string& base, const std::vector<std::string>& folders,
                            const std::string& name);
    [[nodiscard]] bool Write(const void* data, size_t count);
    // Stamps the last-write time (when given), closes and renames into place. A date the file
    // system does not take fails nothing (the bytes are what was asked for): Stamped() says so.
    [[nodiscard]] bool Commit(const TDateTime* localTime);
    [[nodiscard]] bool Stamped() const { return FStamped; }
    void Discard();
    // The target's desktop path, and what went wrong, naming the path.
    [[nodiscard]] const std::string& Path() const { return FPath; }
    [[nodiscard]] const std::string& Error() const { return FError; }
    [[nodiscard]] std::intptr_t Handle() const { return FHandle; }

  private:
    bool Fail(const std::string& what);
    std::intptr_t FHandle = -1;
    std::intptr_t FFolder = -1; // the target folder, held open where the system allows
    std::string FFolderPath;
    std::string FName;
    std::string FTempName;
    std::string FPath;
    std::string FError;
    bool FStamped = true;
};
// The longest desktop path the system takes, in bytes.
[[nodiscard]] size_t MaxDesktopPath();
// Splits a path into base folder and name and opens it as a TSafeFile with no folders between.
[[nodiscard]] bool OpenSafeFile(TSafeFile& file, const std::string& path);

// The part after the last separator.
[[nodiscard]] std::string FileNamePart(const std::string& path);
// The part up to and including the last separator.
[[nodiscard]] std::string FolderPart(const std::string& path);
// The path made absolute against the current directory.
[[nodiscard]] std::string ExpandFileName(const std::string& path);
// The folder part of a cabinet entry name ("sub\file" gives "sub" and a separator), in the
// host's separators; "\" and "/" both separate.
[[nodiscard]] std::string EntryFolderPart(const std::string& entryName);
