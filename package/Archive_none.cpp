#include "package/Archive.h"

bool ArchivesSupported() {
    return false;
}

bool WalkZipArchive(const std::string&, const TArchiveEntry&, std::string& error) {
    error = "zip packages are not supported in this build";
    return false;
}
