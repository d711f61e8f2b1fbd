#include "win/WindowServices.h"

#include "win/AboutBox.h"
#include "win/LateDll.h"
#include "win/resource.h"

#include <commctrl.h>
#include <commdlg.h>
#include <cstring>
#include <shlobj.h>
#include <vector>

std::optional<size_t> TWindowServices::ChooseItem(HWND, const std::wstring&, const std::wstring&,
                                                  const std::vector<std::wstring>&) {
    return std::nullopt;
}

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
    dialog.Flags |= request.Save ? OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST
                                 : OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    const auto run =
        request.Save
            ? LateFunction<decltype(GetSaveFileNameW)>(L"comdlg32.dll", "GetSaveFileNameW")
            : LateFunction<decltype(GetOpenFileNameW)>(L"comdlg32.dll", "GetOpenFileNameW");
    // A system without the dialog's DLL answers as a cancelled dialog does.
    if (!run || !run(&dialog)) return {};
    return file.data();
}

std::wstring TSystemServices::RunFolderDialog(HWND owner, const std::wstring& title) {
    const auto browseFor =
        LateFunction<decltype(SHBrowseForFolderW)>(L"shell32.dll", "SHBrowseForFolderW");
    const auto pathOf =
        LateFunction<decltype(SHGetPathFromIDListEx)>(L"shell32.dll", "SHGetPathFromIDListEx");
    const auto initialize = LateFunction<decltype(CoInitializeEx)>(L"ole32.dll", "CoInitializeEx");
    const auto release = LateFunction<decltype(CoTaskMemFree)>(L"ole32.dll", "CoTaskMemFree");
    // A system without them answers as a cancelled dialog does.
    if (!browseFor || !pathOf || !initialize || !release) return {};
    // The dialog's new style wants a single-threaded apartment on this thread. Made here, at
    // the first folder dialog, not at the start; it lasts as long as the process.
    static const HRESULT apartment = initialize(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(apartment)) return {};
    BROWSEINFOW browse{};
    browse.hwndOwner = owner;
    browse.lpszTitle = title.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE chosen = browseFor(&browse);
    if (!chosen) return {};
    std::vector<wchar_t> path(32768, L'\0');
    const bool ok = pathOf(chosen, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT);
    release(chosen);
    return ok ? std::wstring(path.data()) : std::wstring();
}

void TSystemServices::ShowMessage(HWND owner, const std::wstring& caption, const std::wstring& text,
                                  UINT icon) {
    MessageBoxW(owner, text.c_str(), caption.c_str(), MB_OK | icon);
}

void TSystemServices::StartProcess(const std::wstring& program, const std::wstring& commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION process{};
    // CreateProcessW may write into the command line.
    std::wstring writable = commandLine;
    if (!CreateProcessW(program.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

void TSystemServices::ShowAbout(HWND owner) {
    ShowAboutBox(owner);
}

namespace {

// The device profile: a multi-string value, one source per string, in the local code page.
const char kSettingsKey[] = "Software\\Tessary\\Tessary";
const char kDeviceProfileValue[] = "DeviceProfile";

} // namespace

std::vector<std::string> TSystemServices::LoadDeviceProfile() {
    std::vector<std::string> sources;
    char data[8192] = {};
    DWORD size = sizeof data - 2;
    DWORD type = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return sources;
    if (RegQueryValueExA(key, kDeviceProfileValue, nullptr, &type, reinterpret_cast<BYTE*>(data),
                         &size) == ERROR_SUCCESS &&
        type == REG_MULTI_SZ)
        for (const char* p = data; *p && p < data + size; p += std::strlen(p) + 1)
            sources.emplace_back(p);
    RegCloseKey(key);
    return sources;
}

bool TSystemServices::SaveDeviceProfile(const std::vector<std::string>& sources) {
    std::string data;
    for (const std::string& s : sources)
        data += s + '\0';
    data += '\0';
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const bool saved = RegSetValueExA(key, kDeviceProfileValue, 0, REG_MULTI_SZ,
                                      reinterpret_cast<const BYTE*>(data.data()),
                                      DWORD(data.size())) == ERROR_SUCCESS;
    RegCloseKey(key);
    return saved;
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

namespace {
struct TChoice {
    const std::wstring* Caption;
    const std::wstring* Label;
    const std::vector<std::wstring>* Items;
    std::optional<size_t> Chosen;
};

INT_PTR CALLBACK ChooseItemProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* choice = reinterpret_cast<TChoice*>(lParam);
        SetWindowLongPtrW(box, DWLP_USER, lParam);
        SetWindowTextW(box, choice->Caption->c_str());
        SetDlgItemTextW(box, lblChoose, choice->Label->c_str());
        HWND list = GetDlgItem(box, lbChoose);
        for (const std::wstring& item : *choice->Items)
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        SendMessageW(list, LB_SETCURSEL, 0, 0);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    auto* choice = reinterpret_cast<TChoice*>(GetWindowLongPtrW(box, DWLP_USER));
    const bool chosen =
        LOWORD(wParam) == IDOK || (LOWORD(wParam) == lbChoose && HIWORD(wParam) == LBN_DBLCLK);
    if (chosen && choice) {
        const LRESULT at = SendDlgItemMessageW(box, lbChoose, LB_GETCURSEL, 0, 0);
        if (at == LB_ERR) return TRUE; // nothing selected: OK has nothing to answer yet
        choice->Chosen = static_cast<size_t>(at);
        EndDialog(box, IDOK);
        return TRUE;
    }
    if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(box, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}
} // namespace

std::optional<size_t> TSystemServices::ChooseItem(HWND owner, const std::wstring& caption,
                                                  const std::wstring& label,
                                                  const std::vector<std::wstring>& items) {
    if (items.empty()) return std::nullopt;
    TChoice choice{&caption, &label, &items, std::nullopt};
    // The list box keeps the order given: it is not sorted.
    if (DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CHOOSEITEM), owner,
                        ChooseItemProc, reinterpret_cast<LPARAM>(&choice)) != IDOK)
        return std::nullopt;
    return choice.Chosen;
}
