#include "setup/SetupFuncs.h"

std::string IncludeBackslash(const std::string& text) {
    if (!text.empty() && text.back() == '\\') return text;
    return text + '\\';
}

std::string ExcludeBackslash(const std::string& text) {
    if (!text.empty() && text.back() == '\\') return text.substr(0, text.size() - 1);
    return text;
}

std::string StripExtension(const std::string& text) {
    const size_t dot = text.rfind('.');
    return dot == std::string::npos ? text : text.substr(0, dot);
}

std::string DeviceFileNamePart(const std::string& path) {
    const size_t cut = path.rfind('\\');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}
