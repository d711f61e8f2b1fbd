#include "cab/FileSystem.h"

std::string FileNamePart(const std::string& path) {
    const size_t cut = path.find_last_of(kPathDelimiters);
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string FolderPart(const std::string& path) {
    const size_t cut = path.find_last_of(kPathDelimiters);
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string EntryFolderPart(const std::string& entryName) {
    const size_t cut = entryName.find_last_of("\\/");
    if (cut == std::string::npos) return {};
    std::string folder = entryName.substr(0, cut + 1);
    for (char& c : folder)
        if (c == '\\' || c == '/') c = kPathSeparator;
    return folder;
}

bool OpenSafeFile(TSafeFile& file, const std::string& path) {
    return file.Open(FolderPart(path), {}, FileNamePart(path));
}

TWriteResult WriteFileSafely(const std::string& path, std::string_view data) {
    // The same safe write as extraction: never through a link, never over what is not a file.
    TSafeFile file;
    if (!path.empty() && OpenSafeFile(file, path) && file.Write(data.data(), data.size()) &&
        file.Commit(nullptr))
        return {true, {}};
    return {false, "Cannot write " + path + ": " +
                       (file.Error().empty() ? std::string("no file name") : file.Error())};
}
