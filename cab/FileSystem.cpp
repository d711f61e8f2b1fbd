#include "cab/FileSystem.h"

#include <algorithm>
#include <atomic>

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
    const auto failed = [&path](const std::string& why) {
        return TWriteResult{false, "Cannot write " + path + ": " + why};
    };
    if (path.empty() || FileNamePart(path).empty()) return failed("no file name");
    if (DirectoryExists(path)) return failed("it is a folder");
    // A name of our own beside the target, so the rename stays on one volume.
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    for (int attempt = 0; attempt < 100 && temporary.empty(); ++attempt) {
        std::string name =
            FolderPart(path) + "." + FileNamePart(path) + "." + std::to_string(counter++) + ".tmp";
        if (!FileExists(name)) temporary = std::move(name);
    }
    if (temporary.empty()) return failed("no free temporary name");
    const std::intptr_t handle = CreateFileHandle(temporary);
    if (handle == -1) return failed(LastSystemErrorText());
    bool written = true;
    for (size_t done = 0; written && done < data.size();) {
        const auto chunk =
            static_cast<unsigned int>(std::min<size_t>(data.size() - done, 1u << 20));
        written = WriteFileHandle(handle, data.data() + done, chunk) == chunk;
        done += chunk;
    }
    std::string why = written ? std::string() : LastSystemErrorText();
    if (CloseFileHandle(handle) != 0 && why.empty()) why = LastSystemErrorText();
    if (why.empty() && !ReplaceFileName(temporary, path)) why = LastSystemErrorText();
    if (why.empty()) return {true, {}};
    DeleteFileName(temporary);
    return failed(why);
}
