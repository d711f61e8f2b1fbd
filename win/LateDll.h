#pragma once
// Functions of the DLLs the window needs only for a dialog, a dropped file or a folder name:
// each is looked up when first called, so that starting the window loads neither shell32,
// comdlg32 nor ole32. Under Wine those, with the DLLs they import in turn, are a good part of
// the window's start.
#include <string>
#include <windows.h>

// The function name of the system DLL dll, as type TFunction (decltype of its declaration), or
// null when either cannot be had. The DLL is loaded from the system folder only, never from the
// program's or the current folder, and stays loaded: the window may call it again at any time.
template <typename TFunction> TFunction* LateFunction(const wchar_t* dll, const char* name) {
    HMODULE module = GetModuleHandleW(dll);
    if (!module) {
        wchar_t folder[MAX_PATH];
        const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return nullptr;
        module = LoadLibraryW((std::wstring(folder, length) + L"\\" + dll).c_str());
    }
    if (!module) return nullptr;
    return reinterpret_cast<TFunction*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
