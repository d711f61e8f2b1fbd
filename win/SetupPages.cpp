// The pages beyond the design's four, as the Qt viewer has them: what the setup's
// "_setup.xml" provisions, who signed the cabinet, what its files are as programs, what the
// audit finds in all of it and what a device would do with it. What the inspection read when the
// setup opened shows at once; the programs are read in the background, and the findings and the
// device's run decisions that need them follow when they are read. The provisioning document is
// decoded in the background too (a crafted one is slow): its node says it is reading, and the
// signature's trust statement and the device's install decision follow it. All but Findings are
// listed only for setups that have something to show there.
#include "audit/FindingsPage.h"
#include "cab/AsciiCase.h"
#include "cab/cabfiles.h"
#include "device/DevicePage.h"
#include "inspection/BackgroundReading.h"
#include "programs/ProgramsPage.h"
#include "provisioning/Provisioning.h"
#include "provisioning/ProvisioningPage.h"
#include "provisioning/Rows.h"
#include "report/SignaturePage.h"
#include "setup/CESetup.h"
#include "win/TextWin.h"
#include "win/WinCEMain.h"
#include "win/resource.h"

#include <algorithm>

namespace {
// Pictures of the image list for the later nodes.
constexpr int kImageProvisioning = 15;
constexpr int kImageSignature = 16;
constexpr int kImagePrograms = 17;
constexpr int kImageWarning = 18; // the first of the findings' severities
constexpr int kImageInfo = 20;

} // namespace

void TfrmWinCEMain::CreateSetupPages() {
    FProvisioningPage = FPages.size();
    AddPage(
        "Provisioning", kImageProvisioning,
        provisioning::BuildProvisioningPages(provisioning::TProvisioningTree{}).Rows,
        [this]() -> std::optional<TBuiltPage> {
            if (!provisioning::HasProvisioningDocument(FInspection->Listing())) return std::nullopt;
            if (FInspection->DocumentPending())
                return TBuiltPage{provisioning::BuildProvisioningPages({}).Rows, kReadingDocument,
                                  TTreePage{}};
            const provisioning::TProvisioningTree* tree = FInspection->Provisioning();
            if (!tree)
                return TBuiltPage{provisioning::BuildProvisioningPages({}).Rows,
                                  "The provisioning document could not be read.", TTreePage{}};
            provisioning::TProvisioningPages pages = provisioning::BuildProvisioningPages(*tree);
            FProvisioningCertificates = std::move(pages.Certificates);
            return TBuiltPage{std::move(pages.Rows),
                              provisioning::ProvisioningHeadline(provisioning::Summarize(*tree)),
                              std::move(pages.Tree)};
        },
        true);
    // A signature that cannot be read is still one: the node says why.
    FSignaturePage = FPages.size();
    AddPage(
        "Signature", kImageSignature, BuildSignaturePages(TCabinetSignature{}).Certificates,
        [this]() -> std::optional<TBuiltPage> {
            const TCabinetSignature& signature = FInspection->Signature();
            if (signature.Verdict == TSignatureVerdict::NotSigned) return std::nullopt;
            TTrustContext context;
            if (const provisioning::TProvisioningTree* tree = FInspection->Provisioning())
                context.Added = provisioning::StoreAdditions(*tree);
            FSignaturePages = BuildSignaturePages(signature, context);
            return TBuiltPage{FSignaturePages.Certificates, FSignaturePages.Status, std::nullopt};
        });
    // Filled as the background reader hands the programs over.
    FProgramsPage = FPages.size();
    AddPage("Programs", kImagePrograms, BuildProgramsPage({}),
            [this]() -> std::optional<TBuiltPage> {
                if (FSetup->FileCount() <= 0) return std::nullopt;
                return TBuiltPage{BuildProgramsPage({}), kReadingPrograms, std::nullopt};
            });
    // Every setup has the node. Until the programs are read it lists nothing: half the rules
    // now would be a list soon replaced.
    FFindingsPage = FPages.size();
    AddPage(
        "Findings", kImageWarning, BuildFindingsPage({}),
        [this]() -> std::optional<TBuiltPage> {
            FPages[FFindingsPage].Image = kImageWarning;
            return TBuiltPage{BuildFindingsPage({}), std::string("Findings: ") + ReadingNote(),
                              TTreePage{}};
        },
        true);
    // Sorted by a click on a column header, as the Qt viewer's; until then in the audit's order.
    TListRows& findings = *FPages[FFindingsPage].List;
    findings.KeepsPage = findings.Sortable = true;
    // The install and run decisions for the remembered device profile; listed only with one.
    FDevicePage = FPages.size();
    AddPage("Device", kImageInfo, device::BuildDevicePage({}),
            [this]() -> std::optional<TBuiltPage> {
                FillDevice();
                // The decision needs the setup's own document, never read on this thread.
                if (!FDeviceSources.empty() && FInspection->DocumentPending()) {
                    TPage waiting = device::BuildDevicePage({});
                    waiting.Rows.clear();
                    return TBuiltPage{std::move(waiting),
                                      std::string(device::kInstallDecisionCaption) + ": " +
                                          kReadingDocumentNote,
                                      std::nullopt};
                }
                if (!FDeviceDecision) return std::nullopt;
                return TBuiltPage{device::BuildDevicePage(*FDeviceDecision), DeviceStatus(),
                                  std::nullopt};
            });
    CreateDetailsPanes();
}

void TfrmWinCEMain::CreateDetailsPanes() {
    // A certificate's decoded fields; any other item's whole texts, which the columns cut.
    SetDetails(FProvisioningPage, txtProvisioningDetails, [this](const TRow* row) {
        std::vector<TPage> pages;
        if (!row) return pages;
        const auto certificate = std::find_if(
            FProvisioningCertificates.Rows.begin(), FProvisioningCertificates.Rows.end(),
            [row](const TRow& c) { return c.Source == row->Source; });
        if (certificate != FProvisioningCertificates.Rows.end())
            pages.push_back(FieldsPage(FProvisioningCertificates, *certificate, 2));
        else
            pages.push_back(FieldsPage(FPages[FProvisioningPage].List->Page, *row));
        return pages;
    });
    // The checks and what the signature lets a device conclude, then the selected certificate.
    SetDetails(FSignaturePage, txtSignatureDetails, [this](const TRow* row) {
        std::vector<TPage> pages{FSignaturePages.Checks, FSignaturePages.TrustFacts};
        if (row) pages.push_back(FieldsPage(FSignaturePages.Certificates, *row));
        return pages;
    });
    SetDetails(FProgramsPage, txtProgramsDetails, [this](const TRow* row) {
        std::vector<TPage> pages;
        if (row && row->Source < FProgramRows.size())
            pages.push_back(BuildProgramDetailsPage(FProgramRows[row->Source]));
        return pages;
    });
}

TBuiltPage TfrmWinCEMain::FindingsPage() {
    // The marks of a baseline read before are taken off, with the findings it added.
    ClearBaselineMarks(FFindings);
    if (FBaseline) {
        if (!FCabinetIdentity) FCabinetIdentity = CabinetIdentity(ToLocalPath(FSetupFileName));
        ApplyBaseline(*FBaseline, *FCabinetIdentity, TodayUtc(), FFindings);
    }
    const TFindingCounts counts = CountFindings(FFindings);
    // The node shows the worst severity present, in the severities' order.
    const std::optional<TSeverity> worst = WorstSeverity(counts);
    FPages[FFindingsPage].Image = kImageWarning + static_cast<int>(worst.value_or(TSeverity::Info));
    // A group of repeated findings opens into its places.
    TBuiltPage built{BuildFindingsPage(FFindings), FindingsHeadline(counts), std::nullopt};
    built.Tree = FindingsTree(built.Page);
    return built;
}

const char* TfrmWinCEMain::ReadingNote() const {
    // Without files only the document is being read.
    return FSetup && FSetup->FileCount() > 0 ? kReadingProgramsNote : kReadingDocumentNote;
}

void TfrmWinCEMain::FillDevice() {
    FDeviceDecision.reset();
    if (FDeviceSources.empty() || FInspection->DocumentPending()) return;
    if (!FDeviceProfile) FDeviceProfile = device::BuildProfile(FDeviceSources);
    device::TDecisionInput input;
    input.Signature = &FInspection->Signature();
    input.Provisioning = FInspection->Provisioning();
    input.Programs = FFindingsComplete ? &FProgramRows : nullptr;
    FDeviceDecision = device::DecideForDevice(*FDeviceProfile, input);
}

std::string TfrmWinCEMain::DeviceStatus() const {
    return std::string(device::kInstallDecisionCaption) + ": " +
           device::InstallDecisionValue(*FDeviceDecision) +
           (FFindingsComplete ? "" : std::string(" (") + kReadingProgramsNote + ")");
}

TPage TfrmWinCEMain::ProgramsPage() const {
    TPage page = BuildProgramsPage(FProgramRows, WindowReportOptions());
    if (FDeviceDecision && FDeviceDecision->ProgramsRead)
        device::AddRunColumn(page, *FDeviceDecision);
    return page;
}

void TfrmWinCEMain::StartReading() {
    FReading = true;
    const uint64_t run = FReadingRun;
    HWND window = FHandle;
    std::shared_ptr<TReadingInbox> inbox = FInbox;
    // Runs on the reader's thread: the result waits in the inbox for the window's thread, where
    // only a reading of the setup still open takes it.
    const auto post = [this, window, inbox, run](std::function<void()> apply) {
        {
            const std::lock_guard<std::mutex> lock(inbox->Lock);
            inbox->Pending.push_back([this, run, apply = std::move(apply)] {
                if (FReadingRun == run && FSetupOpen) apply();
            });
        }
        PostMessageW(window, kReadingMessage, 0, 0);
    };
    TBackgroundResults results;
    results.ProvisioningTree = [post,
                                this](std::shared_ptr<const provisioning::TProvisioningTree> tree) {
        post([this, tree] { DocumentArrived(tree); });
    };
    results.Provisioning = [post, this](provisioning::TProvisioningPages pages,
                                        std::string headline) {
        auto shared = std::make_shared<provisioning::TProvisioningPages>(std::move(pages));
        post([this, shared, headline] {
            FProvisioningCertificates = std::move(shared->Certificates);
            TViewerPage& page = FPages[FProvisioningPage];
            ShowBuiltPage(*page.List,
                          TBuiltPage{std::move(shared->Rows), headline, std::move(shared->Tree)});
            page.Status = ToDisplay(headline);
            if (FPage == FProvisioningPage) ShowStatus();
        });
    };
    results.ProgramRows = [post, this](std::vector<TProgramRow> rows) {
        auto shared = std::make_shared<std::vector<TProgramRow>>(std::move(rows));
        post([this, shared] { ProgramsArrived(std::move(*shared), false); });
    };
    results.ProgramsDone = [post, this](std::vector<TProgramRow> rows) {
        auto shared = std::make_shared<std::vector<TProgramRow>>(std::move(rows));
        post([this, shared] { ProgramsArrived(std::move(*shared), true); });
    };
    results.Failed = [post, this](std::string why) {
        post([this, why] {
            // The findings go on without what was not read.
            const std::wstring text = ToDisplay(kReadAgainFailed + why);
            TViewerPage& document = FPages[FProvisioningPage];
            if (FInspection->DocumentPending()) DocumentArrived(nullptr);
            if (document.Present && document.Status == ToDisplay(kReadingDocument))
                document.Status = text;
            FProgramRows.clear();
            ReadingDone();
            FPages[FProgramsPage].Status = text;
            if (FPage == FProgramsPage || FPage == FProvisioningPage) ShowStatus();
        });
    };
    results.Reported = [post, this](std::vector<TDiagnostic> reports) {
        post([this, reports] {
            for (const TDiagnostic& report : reports)
                FServices->ShowMessage(FHandle, L"Error", ToDisplay(report.Text), MB_ICONWARNING);
        });
    };
    FInspection->StartReading(std::move(results));
}

void TfrmWinCEMain::DocumentArrived(std::shared_ptr<const provisioning::TProvisioningTree> tree) {
    FInspection->TakeDocument(std::move(tree));
    // What the document adds to the stores changes the trust statement; the decision waiting
    // for it is made now, and the findings still wait for the programs.
    for (size_t index : {FSignaturePage, FDevicePage})
        RebuildPage(index);
    FillProjectRows();
}

void TfrmWinCEMain::RebuildPage(size_t index) {
    TViewerPage& page = FPages[index];
    if (!page.Present) return;
    const std::optional<TBuiltPage> built = page.Build();
    if (!built) return;
    ShowBuiltPage(*page.List, *built);
    page.Status = ToDisplay(built->Status);
    if (FPage == index) ShowStatus();
}

void TfrmWinCEMain::TakeReadings() {
    std::vector<std::function<void()>> pending;
    {
        const std::lock_guard<std::mutex> lock(FInbox->Lock);
        pending.swap(FInbox->Pending);
    }
    for (const std::function<void()>& apply : pending)
        Guarded(apply);
}

void TfrmWinCEMain::ProgramsArrived(std::vector<TProgramRow> rows, bool done) {
    TViewerPage& programs = FPages[FProgramsPage];
    if (done) {
        // Every row, marked, in the locale's order: the rows the tool prints.
        FProgramRows = std::move(rows);
        ReadingDone();
        return;
    }
    // Sources index the rows read so far, as the final page's index all of them.
    TPage page = BuildProgramsPage(rows, ArrivalOrder());
    for (TRow& row : page.Rows)
        row.Source += FProgramRows.size();
    AppendRows(*programs.List, page);
    for (TProgramRow& row : rows)
        FProgramRows.push_back(std::move(row));
    programs.Status = ToDisplay(ProgramsFoundSoFar(programs.List->Rows.size()));
    if (FPage == FProgramsPage) ShowStatus();
}

void TfrmWinCEMain::ReadingDone() {
    FReading = false;
    FFindingsComplete = true;
    FFindings = FInspection->Findings(&FProgramRows);
    FillDevice();
    TViewerPage& programs = FPages[FProgramsPage];
    if (programs.Present) {
        TPage page = ProgramsPage();
        const size_t listed = page.Rows.size();
        SetRows(*programs.List, page);
        programs.Status = ToDisplay(ProgramsStatusText(FProgramRows, listed));
    }
    TViewerPage& device = FPages[FDevicePage];
    if (device.Present && FDeviceDecision) {
        SetRows(*device.List, device::BuildDevicePage(*FDeviceDecision));
        device.Status = ToDisplay(DeviceStatus());
    }
    ShowFindings();
    if (FPage == FProgramsPage || FPage == FDevicePage) tvProjectChange();
}
