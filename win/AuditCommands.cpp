// The commands about the audit: File > Open Baseline... (findings an auditor has accepted) and
// File > Save Report... (the audit and every page as one HTML file to hand over).
#include "cab/FileSystem.h"
#include "inspection/HtmlReport.h"
#include "win/TextWin.h"
#include "win/WinCEMain.h"
#include "win/resource.h"

namespace {
// A baseline lists reviewed findings; a file far larger is not one.
constexpr DWORD kMaxBaseline = 64 << 20;

std::wstring FileNameOf(const std::wstring& path) {
    return path.substr(path.find_last_of(L"\\/:") + 1);
}

std::wstring SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length && text ? std::wstring(text, length) : std::wstring();
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L'.' || message.back() == L' '))
        message.pop_back();
    return message.empty() ? L"error " + std::to_wstring(error) : message;
}

// The file's bytes, at most limit and one more; false with the system's reason.
bool ReadWhole(const std::wstring& path, DWORD limit, std::string& bytes, std::wstring& why) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        why = SystemMessage(GetLastError());
        return false;
    }
    bytes.clear();
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while (bytes.size() <= limit) {
        if (!ReadFile(file, buffer, sizeof(buffer), &got, nullptr)) {
            why = SystemMessage(GetLastError());
            ok = false;
            break;
        }
        if (got == 0) break;
        bytes.append(buffer, got);
    }
    CloseHandle(file);
    return ok;
}
} // namespace

std::wstring TfrmWinCEMain::AskSaveTarget(const std::wstring& title, const std::wstring& caption,
                                          const std::wstring& ext) {
    std::wstring base = FileNameOf(FSetupFileName);
    if (const size_t dot = base.rfind(L'.'); dot != std::wstring::npos) base.resize(dot);
    TFileDialogRequest request;
    request.Save = true;
    request.Title = title;
    request.Filter = caption + L" (*." + ext + L")" + L'\0' + L"*." + ext + L'\0';
    request.FileName = base + L"." + ext;
    request.Folder = DialogFolder();
    request.DefaultExt = ext;
    return FServices->RunFileDialog(FHandle, request);
}

void TfrmWinCEMain::mnuOpenBaselineClick() {
    TFileDialogRequest request;
    request.Title = L"Open Baseline";
    request.Filter = std::wstring(L"Baseline (*.json)") + L'\0' + L"*.json" + L'\0';
    request.Folder = DialogFolder();
    const std::wstring chosen = FServices->RunFileDialog(FHandle, request);
    if (!chosen.empty()) OpenBaseline(chosen);
}

bool TfrmWinCEMain::OpenBaseline(const std::wstring& fileName) {
    const std::wstring name = FileNameOf(fileName);
    std::string bytes;
    std::wstring why;
    if (!ReadWhole(fileName, kMaxBaseline, bytes, why)) {
        ShowError(L"Cannot read the baseline " + name + L": " + why);
        return false;
    }
    TBaseline baseline;
    TBaselineError error;
    if (!ParseBaseline(bytes, baseline, error)) {
        ShowError(L"Baseline " + name + L" line " + std::to_wstring(error.Line) + L": " +
                  ToDisplay(error.What));
        return false;
    }
    FBaseline = std::move(baseline);
    ShowFindings();
    SetStatusText(L"Baseline " + name + L": " + std::to_wstring(FBaseline->Entries.size()) +
                  L" accepted findings");
    return true;
}

void TfrmWinCEMain::mnuSaveReportClick() {
    if (!FSetupOpen) return;
    const std::wstring target = AskSaveTarget(L"Save Report", L"HTML Page", L"html");
    if (!target.empty()) SaveReport(target);
}

bool TfrmWinCEMain::SaveReport(const std::wstring& fileName) {
    if (!FSetupOpen || !FSetup) return false;
    if (!FFindingsComplete) {
        ShowError(ToDisplay(kReportWhileReading));
        return false;
    }
    if (!FCabinetIdentity) FCabinetIdentity = CabinetIdentity(ToLocalPath(FSetupFileName));
    const std::string html = AuditHtml(
        *FSetup, *FSetup->Cabinet, FInspection->Provisioning(), FInspection->Signature(),
        FProgramRows, FFindings, *FCabinetIdentity, FDeviceDecision ? &*FDeviceDecision : nullptr);
    // Written whole beside the target and renamed into place, so a failure leaves nothing.
    const std::string local = ToLocalPath(fileName);
    const TWriteResult result =
        local.empty() ? TWriteResult{false, ""} : WriteFileSafely(local, html);
    if (!result.Ok) ShowWriteFailure(result, fileName);
    return result.Ok;
}
