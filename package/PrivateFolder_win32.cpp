#include "package/PrivateFolder.h"

#include "cab/FileSystem.h"

#include <windows.h>

#include <string>

std::string CreatePrivateFolder(std::string& error) {
    char temp[MAX_PATH + 1];
    const DWORD length = GetTempPathA(MAX_PATH, temp);
    if (length == 0 || length > MAX_PATH) {
        error = "cannot find the temporary folder";
        return {};
    }
    // A new name each try: CreateDirectory fails on one that exists, so nobody's folder is used.
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string path = std::string(temp) + "tessary-package-" +
                                 std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(GetTickCount() + attempt);
        if (CreateDirectoryA(path.c_str(), nullptr)) return path;
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    error = "cannot make a temporary folder: " + LastSystemErrorText();
    return {};
}
