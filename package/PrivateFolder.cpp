#include "package/PrivateFolder.h"

#include <filesystem>
#include <system_error>

TPrivateFolder::~TPrivateFolder() {
    if (FPath.empty()) return;
    // remove_all does not follow links, so nothing outside the folder goes with it.
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(FPath), ec);
}

const std::string& TPrivateFolder::Path() {
    if (FPath.empty() && FError.empty()) FPath = CreatePrivateFolder(FError);
    return FPath;
}
