#include "package/PrivateFolder.h"

#include "cab/FileSystem.h"

#include <cstdlib>
#include <vector>

std::string CreatePrivateFolder(std::string& error) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        (tmp && *tmp ? std::string(tmp) : std::string("/tmp")) + "/tessary-package-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // mkdtemp makes the folder with mode 0700 under a name nobody could have prepared.
    if (!mkdtemp(name.data())) {
        error = "cannot make a temporary folder: " + LastSystemErrorText();
        return {};
    }
    return name.data();
}
