#include "collection/LocalPath.h"

namespace collection {

std::filesystem::path FileSystemPath(const std::string& desktopPath) {
    return desktopPath;
}

std::string DesktopPath(const std::filesystem::path& path) {
    return path.string();
}

std::string PathToUtf8(const std::string& desktopPath) {
    return desktopPath;
}

std::string PathFromUtf8(const std::string& utf8) {
    return utf8;
}

} // namespace collection
