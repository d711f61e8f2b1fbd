#include "collection/LocalPath.h"

#include <windows.h>

namespace collection {

namespace {

std::wstring Wide(const std::string& text, UINT codePage) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), n);
    return wide;
}

// The text in the code page; false when a character has no place in it (never a look-alike).
bool Narrow(const std::wstring& wide, UINT codePage, std::string& text) {
    text.clear();
    if (wide.empty()) return true;
    // Those flags are refused for UTF-8, which holds every character anyway (an ANSI code page
    // may be UTF-8 too).
    const bool utf8 = codePage == CP_UTF8 || (codePage == CP_ACP && GetACP() == CP_UTF8);
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL lost = FALSE;
    BOOL* const lossy = utf8 ? nullptr : &lost;
    const int size = static_cast<int>(wide.size());
    const int n =
        WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, lossy);
    if (n <= 0) return false;
    text.resize(static_cast<size_t>(n));
    WideCharToMultiByte(codePage, flags, wide.data(), size, text.data(), n, nullptr, lossy);
    return !lost;
}

} // namespace

std::filesystem::path FileSystemPath(const std::string& desktopPath) {
    return Wide(desktopPath, CP_ACP);
}

std::string DesktopPath(const std::filesystem::path& path) {
    std::string text;
    if (Narrow(path.native(), CP_ACP, text)) return text;
    const DWORD n = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (n == 0) return {};
    std::wstring shortName(n, L'\0');
    const DWORD got = GetShortPathNameW(path.c_str(), shortName.data(), n);
    if (got == 0 || got >= n) return {};
    shortName.resize(got);
    return Narrow(shortName, CP_ACP, text) ? text : std::string();
}

std::string PathToUtf8(const std::string& desktopPath) {
    std::string text;
    Narrow(Wide(desktopPath, CP_ACP), CP_UTF8, text);
    return text;
}

std::string PathFromUtf8(const std::string& utf8) {
    return DesktopPath(Wide(utf8, CP_UTF8));
}

} // namespace collection
