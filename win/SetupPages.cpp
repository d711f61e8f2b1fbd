// The pages beyond the design's four, as the Qt viewer has them: what the setup's
// "_setup.xml" provisions, who signed the cabinet, and what its files are as programs. Each is
// built while the setup opens and listed only for setups that have something to show there.
#include "cab/AsciiCase.h"
#include "cab/cabfiles.h"
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

// The listing holds a provisioning document, wherever the cabinet files it.
bool HasSetupXml(const TCABFileContents& listing) {
    for (const TCABFileEntry& entry : listing.Items()) {
        const size_t slash = entry.Name.find_last_of("\\/");
        const std::string name =
            slash == std::string::npos ? entry.Name : entry.Name.substr(slash + 1);
        if (SameTextAscii(name, "_setup.xml")) return true;
    }
    return false;
}

} // namespace

void TfrmWinCEMain::CreateSetupPages() {
    AddPage("Provisioning", kImageProvisioning,
            provisioning::BuildProvisioningPages(provisioning::TProvisioningTree{}).Rows,
            [](TCESetup&, TCABFile& cabinet) -> std::optional<TBuiltPage> {
                if (!HasSetupXml(cabinet.CABFileContents)) return std::nullopt;
                provisioning::TProvisioningTree tree;
                if (!provisioning::ReadCabinetProvisioning(cabinet, tree))
                    return TBuiltPage{provisioning::BuildProvisioningPages({}).Rows,
                                      "The provisioning document could not be read."};
                return TBuiltPage{
                    provisioning::BuildProvisioningPages(tree).Rows,
                    provisioning::ProvisioningHeadline(provisioning::Summarize(tree))};
            });
    // A signature that cannot be read is still one: the node says why.
    AddPage("Signature", kImageSignature, BuildSignaturePages(TCabinetSignature{}).Certificates,
            [this](TCESetup&, TCABFile&) -> std::optional<TBuiltPage> {
                const TSignaturePages pages = BuildSignaturePages(FSignature);
                const TValue* verdict = FindField(pages.Summary, "verdict");
                if (!verdict || *verdict == TValue(std::string("Not signed"))) return std::nullopt;
                return TBuiltPage{pages.Certificates, FSignature.Summary()};
            });
    AddPage("Programs", kImagePrograms, BuildProgramsPage({}),
            [](TCESetup& setup, TCABFile& cabinet) -> std::optional<TBuiltPage> {
                if (setup.FileCount() <= 0) return std::nullopt;
                TPage page =
                    BuildProgramsPage(AnalysePrograms(setup, cabinet, cabinet.CABFileContents),
                                      WindowReportOptions());
                const std::string status = "Total of programs: " + std::to_string(page.Rows.size());
                return TBuiltPage{std::move(page), status};
            });
}
