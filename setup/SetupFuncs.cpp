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

std::string UpperCaseAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string LowerCaseAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool SameTextAscii(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

std::string DeviceFileNamePart(const std::string& path) {
    const size_t cut = path.rfind('\\');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}
