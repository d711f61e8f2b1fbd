// The commands that act on the open setup: Extract File, Extract All Files, Export Registry,
// Copy and Edit with Velmora.
#include "cab/cabfiles.h"
#include "device/DevicePage.h"
#include "device/Profile.h"
#include "report/RegistryExport.h"
#include "setup/CESetup.h"
#include "setup/ExtractAll.h"
#include "win/TextWin.h"
#include "win/WinCEMain.h"
#include "win/resource.h"

#include <commctrl.h>

namespace {
// Long lists of refusals are cut so that the summary box still fits on the screen.
constexpr size_t kListedIssues = 15;

// The text from the last "." to the end, the dot included; empty without a ".".
std::wstring Extension(const std::wstring& name) {
    const size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? std::wstring() : name.substr(dot);
}

// A descriptor's name may hold "/" or "\": only its last part is proposed, so that the name
// cannot steer the dialog into another folder.
std::wstring LastComponent(const std::wstring& name) {
    const size_t cut = name.find_last_of(L"\\/");
    return cut == std::wstring::npos ? name : name.substr(cut + 1);
}

std::wstring FailureText(const TExtractResult& result, const std::wstring& name,
                         const std::wstring& target) {
    switch (result.Outcome) {
    case TExtractOutcome::NotFound:
        return L"The file " + name + L" was not extracted: the cabinet holds no entry for it.";
    case TExtractOutcome::Failed:
        return L"The file " + name + L" could not be written to " + target + L".";
    case TExtractOutcome::Exception:
        return L"The file " + name + L" could not be extracted: " + ToDisplay(result.Message);
    case TExtractOutcome::Extracted:
        break;
    }
    return {};
}

std::wstring Files(size_t count) {
    return count == 1 ? L"1 file" : std::to_wstring(count) + L" files";
}

std::wstring ExtractAllSummary(const TExtractAllReport& report, const std::wstring& folder,
                               const std::string& dir) {
    std::wstring text;
    if (report.Cancelled)
        text = L"Extraction cancelled. " + Files(report.Written.size()) + L" had been written to " +
               folder + L"; no file was left half-written.";
    else
        text = Files(report.Written.size()) + (report.Written.size() == 1 ? L" was" : L" were") +
               L" written to " + folder + L".";
    if (report.Refused.empty()) return text;
    text += L"\n\n" + Files(report.Refused.size()) +
            (report.Refused.size() == 1 ? L" was" : L" were") + L" not written:";
    for (size_t i = 0; i < report.Refused.size() && i < kListedIssues; ++i)
        text += L"\n" + ToDisplay(ExtractAllIssueText(report.Refused[i], dir));
    if (report.Refused.size() > kListedIssues)
        text += L"\n... and " + std::to_wstring(report.Refused.size() - kListedIssues) + L" more.";
    return text;
}
} // namespace

void TfrmWinCEMain::mnuExtractFileClick() {
    if (!CommandEnabled(mnuExtractFile) || !FSetup) return;
    // The row with the focus when it is selected, else the topmost selected one.
    int row = ListView_GetNextItem(FFiles->Handle, -1, LVNI_FOCUSED | LVNI_SELECTED);
    if (row < 0) row = ListView_GetNextItem(FFiles->Handle, -1, LVNI_SELECTED);
    if (row < 0 || static_cast<size_t>(row) >= FFiles->Shown.size()) return;
    const size_t shown = FFiles->Shown[static_cast<size_t>(row)];
    const size_t source = FFiles->Sources[shown];
    if (source >= static_cast<size_t>(FSetup->FileCount())) return;
    const std::wstring name = FFiles->Rows[shown].empty() ? L"" : FFiles->Rows[shown][0];
    const std::wstring proposed = LastComponent(name);
    const std::wstring ext = Extension(proposed);
    TFileDialogRequest request;
    request.Save = true;
    request.Filter = ext + L" file (*" + ext + L")" + L'\0' + L"*" + ext + L'\0';
    request.FileName = proposed;
    request.Folder = DialogFolder();
    const std::wstring target = FServices->RunFileDialog(FHandle, request);
    if (target.empty()) return;
    // The selected row's own entry, the one whose size the list shows. The core writes through
    // a temporary file: a failure leaves nothing under the chosen name.
    const std::string local = ToLocalPath(target);
    TExtractResult result;
    result.Outcome = TExtractOutcome::Failed;
    if (!local.empty()) result = FSetup->ExtractRow(source, local);
    if (result.Outcome == TExtractOutcome::Extracted) return;
    ShowError(FailureText(result, name, target));
}

void TfrmWinCEMain::mnuExtractAllClick() {
    if (!FSetupOpen || !FSetup) return;
    const std::wstring folder = FServices->RunFolderDialog(FHandle, L"Extract All Files");
    if (folder.empty()) return;
    const std::string dir = ToLocalPath(folder);
    if (dir.empty()) {
        ShowError(L"The folder " + folder + L" cannot be written to.");
        return;
    }
    TExtractAllReport report;
    {
        const std::unique_ptr<TProgress> progress =
            FServices->StartProgress(FHandle, L"Extract All Files");
        report = ExtractAllFiles(
            *FSetup, dir, [&progress](size_t done, size_t total, const std::string& file) {
                return !progress || progress->Update(done, total, ToDisplay(file));
            });
    }
    const std::wstring summary = ExtractAllSummary(report, folder, dir);
    FServices->ShowMessage(FHandle, kApplicationTitle, summary,
                           report.Refused.empty() ? MB_ICONINFORMATION : MB_ICONWARNING);
}

void TfrmWinCEMain::mnuExportRegistryClick() {
    if (!FSetupOpen || !FSetup) return;
    const std::wstring target = AskSaveTarget(L"Export Registry", L"Registry File", L"reg");
    if (target.empty()) return;
    // Written whole beside the target and renamed into place, so a failure leaves nothing.
    const std::string local = ToLocalPath(target);
    const TWriteResult result =
        local.empty() ? TWriteResult{false, ""} : ::ExportRegistry(*FSetup, local);
    if (!result.Ok) ShowWriteFailure(result, target);
}

void TfrmWinCEMain::ShowWriteFailure(const TWriteResult& result, const std::wstring& target) {
    ShowError(result.Message.empty() ? L"The file " + target + L" could not be written."
                                     : ToDisplay(result.Message));
}

void TfrmWinCEMain::mnuDeviceProfileClick() {
    TFileDialogRequest request;
    request.Title = L"Device Profile";
    request.Filter = std::wstring(L"Provisioning documents and cabinets (*.xml;*.cpf;*.cab)") +
                     L'\0' + L"*.xml;*.cpf;*.cab" + L'\0' + L"All files (*.*)" + L'\0' + L"*.*" +
                     L'\0';
    request.Folder = DialogFolder();
    const std::wstring chosen = FServices->RunFileDialog(FHandle, request);
    if (chosen.empty()) return;
    // The built-in profile the remembered one starts from stays; the document replaces the
    // files chosen before.
    std::vector<std::string> sources;
    if (!FDeviceSources.empty() && device::FindBuiltinProfile(FDeviceSources.front()))
        sources.push_back(FDeviceSources.front());
    else
        sources.push_back(std::string(device::BuiltinProfiles().front().Id));
    sources.push_back(ToLocalPath(chosen));
    FDeviceSources = std::move(sources);
    FDeviceProfile.reset();
    // Used all the same for this run.
    if (!FServices->SaveDeviceProfile(FDeviceSources))
        FServices->ShowMessage(FHandle, kApplicationTitle, ToDisplay(device::kProfileNotRemembered),
                               MB_ICONWARNING);
    if (!FSetupOpen) return;
    // Judged again: opened again (copies: opening empties the names kept); a package's setup
    // below its node, the package staying open.
    const std::wstring fileName = FSetupFileName, shown = FSetupShownName;
    if (FPackage)
        OpenSetupFile(fileName, shown);
    else
        OpenSetup(fileName);
}

void TfrmWinCEMain::mnuEditWithVLMClick() {
    if (!FSetupOpen) return;
    // Both paths quoted, the editor first; a missing editor gives no message (the start tells
    // nothing).
    const std::wstring commandLine =
        QuoteArgument(FEditorPath) + L" " + QuoteArgument(FSetupFileName);
    FServices->StartProcess(FEditorPath, commandLine);
}

void TfrmWinCEMain::mnuCopyClick() {
    if (!FSetupOpen) return;
    std::wstring text;
    if (GetFocus() == FRegistryTree || GetFocus() == FProjectTree) {
        HWND tree = GetFocus();
        wchar_t caption[1024] = L"";
        TVITEMW item{};
        item.mask = TVIF_TEXT;
        item.hItem = TreeView_GetSelection(tree);
        item.pszText = caption;
        item.cchTextMax = 1024;
        if (item.hItem && TreeView_GetItem(tree, &item)) text = std::wstring(caption) + L"\r\n";
    } else if (TListRows* list = FocusedList()) {
        for (int row = ListView_GetNextItem(list->Handle, -1, LVNI_SELECTED); row >= 0;
             row = ListView_GetNextItem(list->Handle, row, LVNI_SELECTED)) {
            if (static_cast<size_t>(row) >= list->Shown.size()) break;
            const auto& cells = list->Rows[list->Shown[static_cast<size_t>(row)]];
            for (size_t c = 0; c < cells.size(); ++c)
                text += (c ? L"\t" : L"") + cells[c];
            text += L"\r\n";
        }
    }
    if (text.empty() || !OpenClipboard(FHandle)) return;
    EmptyClipboard();
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void* target = GlobalLock(memory)) {
            memcpy(target, text.c_str(), bytes);
            GlobalUnlock(memory);
            if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
        } else {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}
