#include "win/WindowServices.h"

#include "win/AboutBox.h"

#include <commdlg.h>
#include <shlobj.h>
#include <vector>

std::wstring TSystemServices::RunFileDialog(HWND owner, const TFileDialogRequest& request) {
    std::vector<wchar_t> file(32768, L'\0');
    request.FileName.copy(file.data(), std::min(request.FileName.size(), file.size() - 1));
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    const std::wstring filter = request.Filter + L'\0';
    dialog.lpstrFilter = request.Filter.empty() ? nullptr : filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = request.Folder.empty() ? nullptr : request.Folder.c_str();
    dialog.lpstrTitle = request.Title.empty() ? nullptr : request.Title.c_str();
    dialog.lpstrDefExt = request.DefaultExt.empty() ? nullptr : request.DefaultExt.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
    if (request.Save) {
        dialog.Flags |= OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
        if (!GetSaveFileNameW(&dialog)) return {};
    } else {
        dialog.Flags |= OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
        if (!GetOpenFileNameW(&dialog)) return {};
    }
    return file.data();
}

std::wstring TSystemServices::RunFolderDialog(HWND owner, const std::wstring& title) {
    BROWSEINFOW browse{};
    browse.hwndOwner = owner;
    browse.lpszTitle = title.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
    if (!chosen) return {};
    std::vector<wchar_t> path(32768, L'\0');
    const bool ok =
        SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT);
    CoTaskMemFree(chosen);
    return ok ? std::wstring(path.data()) : std::wstring();
}

void TSystemServices::ShowMessage(HWND owner, const std::wstring& caption, const std::wstring& text,
                                  UINT icon) {
    MessageBoxW(owner, text.c_str(), caption.c_str(), MB_OK | icon);
}

bool TSystemServices::StartProcess(const std::wstring& program, const std::wstring& commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION process{};
    // CreateProcessW may write into the command line.
    std::wstring writable = commandLine;
    if (!CreateProcessW(program.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

void TSystemServices::ShowAbout(HWND owner) {
    ShowAboutBox(owner);
}
