// The commands that act on the whole setup: Extract All Files and Export Registry.
#include "app/TextConv.h"
#include "app/WinCEMain.h"
#include "report/RegistryExport.h"
#include "setup/CESetup.h"
#include "setup/ExtractAll.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <exception>

namespace {
// Long lists of refusals are cut so that the summary box still fits on the screen.
constexpr size_t kListedIssues = 15;

QString Files(size_t count) {
    return count == 1 ? QStringLiteral("1 file") : QString("%1 files").arg(count);
}

QString ExtractAllSummary(const TExtractAllReport& report, const QString& folder) {
    QString text;
    if (report.Cancelled)
        text = QString("Extraction cancelled. %1 had been written to %2; no file was left "
                       "half-written.")
                   .arg(Files(report.Written.size()), folder);
    else
        text = QString("%1 %2 written to %3.")
                   .arg(Files(report.Written.size()), report.Written.size() == 1 ? "was" : "were",
                        folder);
    if (report.Refused.empty()) return text;
    text += QString("\n\n%1 %2 not written:")
                .arg(Files(report.Refused.size()), report.Refused.size() == 1 ? "was" : "were");
    const std::string dir = ToLocalPath(folder);
    for (size_t i = 0; i < report.Refused.size() && i < kListedIssues; ++i)
        text += "\n" + ToDisplay(ExtractAllIssueText(report.Refused[i], dir));
    if (report.Refused.size() > kListedIssues)
        text += QString("\n... and %1 more.").arg(report.Refused.size() - kListedIssues);
    return text;
}
} // namespace

void TfrmWinCEMain::mnuExtractAllClick() {
    if (!FSetupOpen || !mnuExtractAll->isEnabled()) return;
    Guarded([this] { ExtractAll(); });
}

void TfrmWinCEMain::ExtractAll() {
    if (!FSetup) return;
    dlgExtractAll->setDirectory(DialogFolder());
    const QString folder = FServices->RunFileDialog(*dlgExtractAll);
    if (folder.isEmpty()) return;

    TExtractAllReport report;
    {
        const std::unique_ptr<TProgress> progress =
            FServices->StartProgress(this, "Extract All Files", FSetup->FileCount());
        report = ExtractAllFiles(*FSetup, ToLocalPath(folder),
                                 [&progress](size_t done, size_t total, const std::string& file) {
                                     return !progress || progress->Update(static_cast<int>(done),
                                                                          static_cast<int>(total),
                                                                          ToDisplay(file));
                                 });
    }
    const QString summary = ExtractAllSummary(report, folder);
    if (report.Refused.empty())
        FServices->ShowInformation(this, kApplicationTitle, summary);
    else
        FServices->ShowWarning(this, kApplicationTitle, summary);
}

void TfrmWinCEMain::mnuExportRegistryClick() {
    if (!FSetupOpen) return;
    Guarded([this] { ExportRegistry(); });
}

void TfrmWinCEMain::ExportRegistry() {
    if (!FSetup) return;
    dlgExportRegistry->setDirectory(DialogFolder());
    dlgExportRegistry->selectFile(QFileInfo(FSetupFileName).completeBaseName() + ".reg");
    const QString target = FServices->RunFileDialog(*dlgExportRegistry);
    if (target.isEmpty()) return;
    // Written whole beside the target and renamed into place, so a failure leaves nothing.
    const TWriteResult result = ::ExportRegistry(*FSetup, ToLocalPath(target));
    if (!result.Ok) FServices->ShowError(this, kApplicationTitle, ToDisplay(result.Message));
}
