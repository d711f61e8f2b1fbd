// File > Compare With...: the open setup against another cabinet. Both are read on threads of
// their own (every file body hashed) while the progress box can stop it; the window only shows
// the result, in the "Comparison" node, as the Qt viewer does.
#include "compare/Comparison.h"
#include "win/TextWin.h"
#include "win/WinCEMain.h"
#include "win/resource.h"

#include <atomic>
#include <chrono>
#include <future>

namespace {
constexpr int kImageComparison = 16; // the Signature node's picture: the image list has no other
} // namespace

void TfrmWinCEMain::CreateComparisonPage() {
    FComparisonPage = FPages.size();
    // Listed once a comparison is made, until the setup closes.
    AddPage(
        "Comparison", kImageComparison, BuildComparisonTree(TComparison{}).Rows,
        []() -> std::optional<TBuiltPage> { return std::nullopt; }, true);
}

void TfrmWinCEMain::mnuCompareWithClick() {
    if (!FSetupOpen) return;
    TFileDialogRequest request;
    request.Title = L"Compare With";
    request.Filter = std::wstring(L"Windows CE Setup File (*.cab)") + L'\0' + L"*.cab" + L'\0' +
                     L"All Files (*)" + L'\0' + L"*" + L'\0';
    request.Folder = DialogFolder();
    const std::wstring chosen = FServices->RunFileDialog(FHandle, request);
    if (!chosen.empty()) CompareWith(chosen);
}

void TfrmWinCEMain::CompareWith(const std::wstring& fileName) {
    if (!FSetupOpen) return;
    const auto nameOf = [](const std::wstring& path) {
        return path.substr(path.find_last_of(L"\\/:") + 1);
    };
    const std::wstring names[2] = {nameOf(FSetupFileName), nameOf(fileName)};
    const std::string older = ToLocalPath(FSetupFileName);
    const std::string newer = ToLocalPath(fileName);
    std::atomic<bool> stop{false};
    std::atomic<int> read{0};
    // The future's end waits for the thread, so stop and read outlive it on every path.
    std::future<TCabinetComparison> work = std::async(std::launch::async, [&] {
        return CompareCabinets(
            older, newer, [&stop] { return stop.load(); }, [&read] { read.fetch_add(1); });
    });
    {
        const std::unique_ptr<TProgress> progress =
            FServices->StartProgress(FHandle, L"Compare With");
        do {
            if (progress && !stop.load() &&
                !progress->Update(static_cast<size_t>(read.load()), 2,
                                  L"Reading " + names[0] + L" and " + names[1] + L"..."))
                stop.store(true);
        } while (work.wait_for(std::chrono::milliseconds(25)) != std::future_status::ready);
    }
    TCabinetComparison run = work.get();
    // Cancelled is cancelled, even when the reading had just finished.
    if (stop.load()) {
        SetStatusText(L"Comparison cancelled");
        return;
    }
    if (run.Result.Status != TFactsStatus::Read) {
        ShowError(ToDisplay(run.Result.Message));
        return;
    }
    TComparisonTree tree = BuildComparisonTree(run.Comparison);
    TViewerPage& page = FPages[FComparisonPage];
    page.Present = true;
    page.Status =
        L"Compared with " + names[1] + L": " + ToDisplay(ComparisonSummary(run.Comparison));
    ShowBuiltPage(*page.List, TBuiltPage{std::move(tree.Rows), {}, std::move(tree.Tree)});
    // The node is where the answer is: listed, and selected.
    FFilling = true;
    TreeView_DeleteAllItems(FProjectTree);
    FillProjectTree();
    FFilling = false;
    if (!SelectPage(FComparisonPage)) tvProjectChange();
}
