// File > Compare With...: the open setup against another cabinet, or a setup inside a package
// (the one it holds, or the one chosen of several). Both are read on threads of
// their own (every file body hashed) while the progress box can stop it; the window only shows
// the result, in the "Comparison" node, as the Qt viewer does.
#include "compare/Comparison.h"
#include "package/Package.h"
#include "win/TextWin.h"
#include "win/WinCEMain.h"
#include "win/resource.h"

#include <atomic>
#include <chrono>
#include <future>

namespace {
constexpr int kImageComparison = 23; // a changed row's, as the Qt viewer's node shows
} // namespace

void TfrmWinCEMain::CreateComparisonPage() {
    FComparisonPage = FPages.size();
    // Listed once a comparison is made, until the setup closes.
    AddPage(
        "Comparison", kImageComparison, BuildComparisonTree(TComparison{}).Rows,
        []() -> std::optional<TBuiltPage> { return std::nullopt; }, true);
    // The selected difference's whole texts, which the columns cut.
    SetDetails(FComparisonPage, txtComparisonDetails, [this](const TRow* row) {
        std::vector<TPage> pages;
        if (row) pages.push_back(FieldsPage(FPages[FComparisonPage].List->Page, *row));
        return pages;
    });
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
    std::wstring names[2] = {FSetupShownName, fileName.substr(fileName.find_last_of(L"\\/:") + 1)};
    const std::string older = ToLocalPath(FSetupFileName);
    std::string newer = ToLocalPath(fileName);
    // A package: one of its setups, chosen when it holds several. It keeps the cabinet (in its
    // private folder) until the comparison has read it.
    const std::unique_ptr<TPackage> package = OpenPackage(newer);
    if (package->IsContainer()) {
        std::vector<std::wstring> items;
        std::vector<const TContainedSetup*> readable;
        for (const TContainedSetup& contained : package->Setups)
            if (!contained.CabinetPath.empty()) {
                items.push_back(ToDisplay(contained.PathInside));
                readable.push_back(&contained);
            }
        if (readable.empty()) {
            ShowError(names[1] + L": " +
                      ToDisplay(package->Error.empty() ? "no setup cabinet in this package"
                                                       : package->Error));
            return;
        }
        std::optional<size_t> chosen = 0;
        if (readable.size() > 1)
            chosen = FServices->ChooseItem(FHandle, L"Compare With", L"Setup in " + names[1] + L":",
                                           items);
        if (!chosen || *chosen >= readable.size()) return;
        newer = readable[*chosen]->CabinetPath;
        names[1] += L" : " + items[*chosen];
    }
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
