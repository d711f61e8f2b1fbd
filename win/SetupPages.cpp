// The pages beyond the design's four, as the Qt viewer has them: what the setup's
// "_setup.xml" provisions, who signed the cabinet, what its files are as programs, and what
// the audit finds in all of it. Each is built while the setup opens; all but Findings are
// listed only for setups that have something to show there.
#include "audit/FindingsPage.h"
#include "cab/AsciiCase.h"
#include "cab/cabfiles.h"
#include "device/DevicePage.h"
#include "programs/ProgramsPage.h"
#include "provisioning/Provisioning.h"
#include "provisioning/ProvisioningPage.h"
#include "provisioning/Rows.h"
#include "report/SignaturePage.h"
#include "setup/CESetup.h"
#include "win/TextWin.h"
#include "win/WinCEMain.h"

namespace {
// Pictures of the image list for the later nodes.
constexpr int kImageProvisioning = 15;
constexpr int kImageSignature = 16;
constexpr int kImagePrograms = 17;
constexpr int kImageWarning = 18; // the first of the findings' severities
constexpr int kImageInfo = 20;

} // namespace

void TfrmWinCEMain::CreateSetupPages() {
    AddPage("Provisioning", kImageProvisioning,
            provisioning::BuildProvisioningPages(provisioning::TProvisioningTree{}).Rows,
            [this](TCESetup&, TCABFile& cabinet) -> std::optional<TBuiltPage> {
                if (!provisioning::HasProvisioningDocument(cabinet.CABFileContents))
                    return std::nullopt;
                provisioning::TProvisioningTree tree;
                if (!provisioning::ReadCabinetProvisioning(cabinet, tree))
                    return TBuiltPage{provisioning::BuildProvisioningPages({}).Rows,
                                      "The provisioning document could not be read."};
                FProvisioningTree = std::move(tree);
                return TBuiltPage{provisioning::BuildProvisioningPages(*FProvisioningTree).Rows,
                                  provisioning::ProvisioningHeadline(
                                      provisioning::Summarize(*FProvisioningTree))};
            });
    // A signature that cannot be read is still one: the node says why.
    AddPage("Signature", kImageSignature, BuildSignaturePages(TCabinetSignature{}).Certificates,
            [this](TCESetup&, TCABFile& cabinet) -> std::optional<TBuiltPage> {
                if (FSignature.Verdict == TSignatureVerdict::NotSigned) return std::nullopt;
                const TSignaturePages pages =
                    BuildSignaturePages(FSignature, provisioning::CabinetTrustContext(cabinet));
                return TBuiltPage{pages.Certificates, pages.Status};
            });
    AddPage("Programs", kImagePrograms, BuildProgramsPage({}),
            [this](TCESetup& setup, TCABFile& cabinet) -> std::optional<TBuiltPage> {
                if (setup.FileCount() <= 0) return std::nullopt;
                FProgramRows = AnalysePrograms(setup, cabinet, cabinet.CABFileContents);
                TPage page = BuildProgramsPage(FProgramRows, WindowReportOptions());
                const std::string status = "Total of programs: " + std::to_string(page.Rows.size());
                return TBuiltPage{std::move(page), status};
            });
    // Every setup has the node, with no rows when nothing is found. The inputs are those the
    // pages above read, and the signature read on open, so nothing is read twice but the
    // descriptors' own tables.
    FFindingsPage = FPages.size();
    AddPage("Findings", kImageWarning, BuildFindingsPage({}),
            [this](TCESetup& setup, TCABFile& cabinet) -> std::optional<TBuiltPage> {
                TAuditInput input;
                input.Setup = &setup;
                input.Signature = &FSignature;
                input.Provisioning = FProvisioningTree ? &*FProvisioningTree : nullptr;
                input.Programs = &FProgramRows;
                const TDescriptorFacts facts =
                    ReadDescriptorFacts(setup, cabinet, input.Provisioning);
                input.Descriptors = &facts;
                // Read after the descriptors, whose reads list the cabinet again.
                input.Listing = &cabinet.CABFileContents;
                FFindings = RunAudit(input);
                const TFindingCounts counts = CountFindings(FFindings);
                // The node shows the worst severity present, in the severities' order.
                const std::optional<TSeverity> worst = WorstSeverity(counts);
                FPages[FFindingsPage].Image =
                    kImageWarning + static_cast<int>(worst.value_or(TSeverity::Info));
                return TBuiltPage{BuildFindingsPage(FFindings), FindingsHeadline(counts)};
            });
    // The install and run decisions for the remembered device profile, from what the pages
    // above read; listed only with a profile.
    AddPage("Device", kImageInfo, device::BuildDevicePage({}),
            [this](TCESetup&, TCABFile&) -> std::optional<TBuiltPage> {
                FDeviceDecision.reset();
                if (FDeviceSources.empty()) return std::nullopt;
                device::TDecisionInput input;
                input.Signature = &FSignature;
                input.Provisioning = FProvisioningTree ? &*FProvisioningTree : nullptr;
                input.Programs = &FProgramRows;
                FDeviceDecision =
                    device::DecideForDevice(device::BuildProfile(FDeviceSources), input);
                return TBuiltPage{device::BuildDevicePage(*FDeviceDecision),
                                  std::string(device::kInstallDecisionCaption) + ": " +
                                      device::InstallDecisionValue(*FDeviceDecision)};
            });
}
