#include "win/TextWin.h"

#include "cab/PlainText.h"

#include <windows.h>

namespace {
std::wstring Visible(const std::wstring& text) {
    std::wstring shown;
    shown.reserve(text.size());
    for (const wchar_t c : text) {
        if (c < 0x100 && IsControlByte(static_cast<unsigned char>(c))) {
            static const wchar_t digits[] = L"0123456789abcdef";
            shown += L"\\x";
            shown += digits[(c >> 4) & 0xF];
            shown += digits[c & 0xF];
        } else {
            shown += c;
        }
    }
    return shown;
}
} // namespace

std::wstring ToDisplay(const std::string& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (length > 0) {
        std::wstring wide(static_cast<size_t>(length), L'\0');
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), length);
        return Visible(wide);
    }
    std::wstring latin1;
    latin1.reserve(text.size());
    for (const char c : text)
        latin1 += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return Visible(latin1);
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::wstring Widen(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

std::string ToLocalPath(const std::wstring& path) {
    if (path.empty()) return {};
    const auto convert = [](const std::wstring& wide, bool& lossy) {
        BOOL usedDefault = FALSE;
        const int size = static_cast<int>(wide.size());
        const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size,
                                               nullptr, 0, nullptr, &usedDefault);
        std::string narrow(static_cast<size_t>(length > 0 ? length : 0), '\0');
        if (length > 0)
            WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, narrow.data(),
                                length, nullptr, &usedDefault);
        lossy = usedDefault || length <= 0;
        return narrow;
    };
    bool lossy = false;
    std::string narrow = convert(path, lossy);
    if (!lossy) return narrow;
    wchar_t shortPath[MAX_PATH * 2];
    const DWORD length = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH * 2);
    if (length == 0 || length >= MAX_PATH * 2) return {};
    narrow = convert(shortPath, lossy);
    return lossy ? std::string() : narrow;
}

std::wstring FromLocalPath(const std::string& path) {
    if (path.empty()) return {};
    const int size = static_cast<int>(path.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, path.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(CP_ACP, 0, path.data(), size, wide.data(), length);
    return wide;
}

std::wstring QuoteArgument(const std::wstring& argument) {
    // Backslashes are literal except before a quote, where they escape: those before an inner
    // quote and those before the closing quote are doubled.
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}
