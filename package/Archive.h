#pragma once
// The archive formats read through libarchive (".zip"). A build without libarchive (the Windows
// cross build) answers that the format is not supported in this build.
#include <cstdint>
#include <functional>
#include <string>

// Reads the current entry's bytes: answers how many were read, 0 at its end, -1 on failure.
using TArchiveRead = std::function<int64_t(void* buffer, size_t count)>;
// One regular file of the archive: its path inside and a way to read it. False stops the walk.
using TArchiveEntry = std::function<bool(const std::string& pathInside, const TArchiveRead& read)>;

// Whether this build reads archives at all.
[[nodiscard]] bool ArchivesSupported();
// Walks the zip archive at path entry by entry; false with error set when it cannot be read
// (damaged, encrypted, not supported in this build). An entry callback that stops the walk is
// not an error.
[[nodiscard]] bool WalkZipArchive(const std::string& path, const TArchiveEntry& entry,
                                  std::string& error);
