#include "win/WindowServices.h"

#include "win/AboutBox.h"
#include "win/resource.h"

#include <commctrl.h>
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

namespace {
// A modeless box over the disabled owner; its messages are pumped at every update, so that
// Cancel answers while the work runs on the window's thread.
class TProgressBox : public TProgress {
  public:
    TProgressBox(HWND owner, const std::wstring& caption) : FOwner(owner) {
        FBox = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROGRESS), owner,
                                  Proc, reinterpret_cast<LPARAM>(this));
        if (!FBox) return;
        SetWindowTextW(FBox, caption.c_str());
        EnableWindow(FOwner, FALSE);
        ShowWindow(FBox, SW_SHOW);
    }
    ~TProgressBox() override {
        if (!FBox) return;
        EnableWindow(FOwner, TRUE);
        DestroyWindow(FBox);
        SetActiveWindow(FOwner);
    }
    TProgressBox(const TProgressBox&) = delete;
    TProgressBox& operator=(const TProgressBox&) = delete;

    bool Update(size_t done, size_t total, const std::wstring& text) override {
        if (!FBox) return true;
        SendDlgItemMessageW(FBox, pbProgress, PBM_SETRANGE32, 0,
                            static_cast<LPARAM>(total > 0 ? total : 1));
        SendDlgItemMessageW(FBox, pbProgress, PBM_SETPOS, static_cast<WPARAM>(done), 0);
        SetDlgItemTextW(FBox, lblProgress, text.c_str());
        MSG message;
        while (!FCancelled && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam));
                FCancelled = true;
                break;
            }
            if (!IsDialogMessageW(FBox, &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        return !FCancelled;
    }

  private:
    static INT_PTR CALLBACK Proc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(box, DWLP_USER, lParam);
            return TRUE;
        }
        auto* self = reinterpret_cast<TProgressBox*>(GetWindowLongPtrW(box, DWLP_USER));
        if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL && self) {
            self->FCancelled = true;
            return TRUE;
        }
        return FALSE;
    }

    HWND FOwner;
    HWND FBox = nullptr;
    bool FCancelled = false;
};
} // namespace

std::unique_ptr<TProgress> TSystemServices::StartProgress(HWND owner, const std::wstring& caption) {
    return std::make_unique<TProgressBox>(owner, caption);
}
