#pragma once
// Between the desktop paths the tool and the cabinet layer use (on Windows in the system's ANSI
// code page, as CreateFileA takes them) and what the index needs besides: std::filesystem's
// paths (UTF-16 on Windows) for the walk, and UTF-8 for SQLite's file names and the texts the
// index keeps. Elsewhere a path's bytes serve as all of them.
#include <filesystem>
#include <string>

namespace collection {

[[nodiscard]] std::filesystem::path FileSystemPath(const std::string& desktopPath);
// The desktop path of a file a walk found; on Windows its short (8.3) name when the code page
// cannot hold its long one, and empty when it cannot hold either.
[[nodiscard]] std::string DesktopPath(const std::filesystem::path& path);
// The UTF-8 text of a desktop path, and back (empty when the code page cannot name it).
[[nodiscard]] std::string PathToUtf8(const std::string& desktopPath);
[[nodiscard]] std::string PathFromUtf8(const std::string& utf8);

} // namespace collection
