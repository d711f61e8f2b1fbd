// "Compare With...": the open setup against another cabinet. Both are read on a thread of their
// own (every file body hashed) while a progress dialog can stop it; the window only shows the
// result, in the "Comparison" node.
#include "app/Images.h"
#include "app/TextConv.h"
#include "app/WinCEMain.h"
#include "compare/Comparison.h"
#include "package/Package.h"

#include <QFileDialog>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <optional>

void TfrmWinCEMain::CreateComparisonNode() {
    FComparisonNode =
        AddReportNode("Comparison", "tvComparison", BuildComparisonTree(TComparison{}).Rows,
                      TReportNode::TView::Tree, imgChanged);
    // The selected difference's whole texts, which the columns cut.
    FComparisonNode->SetDetails([this](const TRow* row) {
        std::vector<TPage> pages;
        if (row) pages.push_back(FieldsPage(FComparisonNode->Page(), *row));
        return pages;
    });
}

void TfrmWinCEMain::mnuCompareWithClick() {
    if (!FSetupOpen) return;
    Guarded([this] {
        dlgCompareWith->selectFile(QString());
        dlgCompareWith->setDirectory(DialogFolder());
        const QString chosen = FServices->RunFileDialog(*dlgCompareWith);
        if (!chosen.isEmpty()) CompareWith(chosen);
    });
}

void TfrmWinCEMain::CompareWith(const QString& fileName) {
    if (!FSetupOpen) return;
    QString names[2] = {FSetupShownName, QFileInfo(fileName).fileName()};
    const std::string older = ToLocalPath(FSetupFileName);
    std::string newer = ToLocalPath(fileName);
    // A package: one of its setups, chosen when it holds several. It keeps the cabinet until the
    // comparison has read it.
    const std::unique_ptr<TPackage> package = OpenPackage(newer);
    if (package->IsContainer()) {
        QStringList items;
        std::vector<const TContainedSetup*> readable;
        for (const TContainedSetup& contained : package->Setups)
            if (!contained.CabinetPath.empty()) {
                items << ToDisplay(contained.PathInside);
                readable.push_back(&contained);
            }
        if (readable.empty()) {
            FServices->ShowError(this, kApplicationTitle,
                                 names[1] + ": " +
                                     ToDisplay(package->Error.empty()
                                                   ? "no setup cabinet in this package"
                                                   : package->Error));
            return;
        }
        std::optional<int> chosen = 0;
        if (readable.size() > 1)
            chosen =
                FServices->ChooseItem(this, "Compare With", "Setup in " + names[1] + ":", items);
        if (!chosen || *chosen < 0 || static_cast<size_t>(*chosen) >= readable.size()) return;
        newer = readable[static_cast<size_t>(*chosen)]->CabinetPath;
        names[1] += " : " + items[*chosen];
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
            FServices->StartProgress(this, "Compare With", 2);
        do {
            const int done = read.load();
            if (progress && !stop.load() &&
                !progress->Update(done, 2, "Reading " + names[0] + " and " + names[1] + "..."))
                stop.store(true);
        } while (work.wait_for(std::chrono::milliseconds(25)) != std::future_status::ready);
    }
    TCabinetComparison run = work.get();
    // Cancelled is cancelled, even when the reading had just finished.
    if (stop.load()) {
        SetStatusText("Comparison cancelled");
        return;
    }
    if (run.Result.Status != TFactsStatus::Read) {
        FServices->ShowError(this, kApplicationTitle, ToDisplay(run.Result.Message));
        return;
    }
    TComparisonTree tree = BuildComparisonTree(run.Comparison);
    FComparisonNode->SetTree(std::move(tree.Tree), std::move(tree.Rows));
    FComparisonNode->SetStatusText("Compared with " + names[1] + ": " +
                                   QString::fromStdString(ComparisonSummary(run.Comparison)));
    ShowReportNode(FComparisonNode);
    // The node is where the answer is: select it. ShowReportNode has just listed it, so the
    // selection is there to be made.
    const auto found = std::find(FReportNodes.begin(), FReportNodes.end(), FComparisonNode);
    SelectProjectItem(kFirstReportPage + static_cast<int>(found - FReportNodes.begin()));
}
