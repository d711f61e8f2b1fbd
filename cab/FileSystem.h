#pragma once
// The operating system's file handles and desktop paths, as the cabinet reader uses them.
#include "cab/DateTime.h"

#include <cstdint>
#include <string>
#include <string_view>

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
// Sets the last-write time from a local date and time; the access time is left alone.
bool SetFileHandleTime(std::intptr_t hf, const TDateTime& localTime);
// The system's message for the last error ("No space left on device").
[[nodiscard]] std::string LastSystemErrorText();

[[nodiscard]] bool FileExists(const std::string& path);
[[nodiscard]] bool DirectoryExists(const std::string& path);
bool DeleteFileName(const std::string& path);
// Creates a folder with all its missing parents; the result is not checked by callers.
bool ForceDirectories(const std::string& path);
// Renames a file onto another name, replacing a file of that name.
[[nodiscard]] bool ReplaceFileName(const std::string& from, const std::string& to);

struct TWriteResult {
    bool Ok = false;
    std::string Message; // why it failed, naming the file
};
// Writes the whole text to a new file beside path and renames it into place only when it is
// complete, so a failure never leaves a half-written or empty file, nor touches one there.
[[nodiscard]] TWriteResult WriteFileSafely(const std::string& path, std::string_view data);

// The part after the last separator.
[[nodiscard]] std::string FileNamePart(const std::string& path);
// The part up to and including the last separator.
[[nodiscard]] std::string FolderPart(const std::string& path);
// The path made absolute against the current directory.
[[nodiscard]] std::string ExpandFileName(const std::string& path);
// The folder part of a cabinet entry name ("sub\file" gives "sub" and a separator), in the
// host's separators; "\" and "/" both separate.
[[nodiscard]] std::string EntryFolderPart(const std::string& entryName);
