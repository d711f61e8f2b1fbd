#include "package/Msi.h"

bool WalkMsiPackage(const std::string&, const TMsiStream&, std::map<std::string, std::string>&,
                    std::string& error) {
    error = "Windows Installer packages (.msi) are not supported in this build";
    return false;
}
