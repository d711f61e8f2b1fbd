// The "Device" node: the install decision for the open setup on the chosen device profile and
// each program's run decision, with their reasons; the Project page's "Install decision" row;
// the Programs page's "On Device" column; File > Device Profile...
#include "app/Images.h"
#include "app/TextConv.h"
#include "app/WinCEMain.h"
#include "cab/cabfiles.h"
#include "device/DevicePage.h"
#include "programs/ProgramsPage.h"
#include "provisioning/Rows.h"
#include "report/DisplayFormat.h"
#include "report/ReadingTexts.h"
#include "setup/CESetup.h"

#include <QAction>
#include <QStandardItemModel>
#include <QTreeView>
#include <algorithm>

void TfrmWinCEMain::CreateDeviceNode() {
    FDeviceNode = AddReportNode("Device", "lvDevice", device::BuildDevicePage({}),
                                TReportNode::TView::List, imgAbout);
    FDeviceSources = FServices->LoadDeviceProfile();
}

void TfrmWinCEMain::mnuDeviceProfileClick() {
    Guarded([this] {
        if (const std::optional<QStringList> chosen =
                FServices->ChooseDeviceProfile(this, FDeviceSources))
            SetDeviceProfile(*chosen);
    });
}

void TfrmWinCEMain::SetDeviceProfile(const QStringList& sources) {
    FDeviceSources = sources;
    FDeviceProfile.reset();
    // Used all the same for this run.
    if (!FServices->SaveDeviceProfile(sources))
        FServices->ShowWarning(this, kApplicationTitle, device::kProfileNotRemembered);
    if (!FSetupOpen) return;
    // The decision needs what the findings read; they are made again with it.
    const bool complete = FSetup->FileCount() == 0 || !Reading();
    FillFindings(complete);
}

TPage TfrmWinCEMain::ProgramsPage() const {
    TPage page = BuildProgramsPage(FProgramRows, WindowReportOptions());
    if (FDeviceDecision && FDeviceDecision->ProgramsRead)
        device::AddRunColumn(page, *FDeviceDecision);
    return page;
}

void TfrmWinCEMain::FillDevice(const provisioning::TProvisioningTree* tree,
                               const std::vector<TProgramRow>* programs) {
    const bool hadColumn = FDeviceDecision && FDeviceDecision->ProgramsRead;
    FDeviceDecision.reset();
    if (!FDeviceSources.isEmpty()) {
        if (!FDeviceProfile) {
            std::vector<std::string> sources;
            for (const QString& s : FDeviceSources)
                sources.push_back(s.toStdString());
            FDeviceProfile = device::BuildProfile(sources);
        }
        device::TDecisionInput input;
        input.Signature = &FSignature;
        input.Provisioning = tree;
        input.Programs = programs;
        FDeviceDecision = device::DecideForDevice(*FDeviceProfile, input);
        FDeviceNode->SetPage(device::BuildDevicePage(*FDeviceDecision));
        FDeviceNode->SetStatusText(
            ToDisplay(device::kInstallDecisionCaption + std::string(": ") +
                      device::InstallDecisionValue(*FDeviceDecision)) +
            (programs ? QString() : QString(" (") + kReadingProgramsNote + ")"));
        ShowReportNode(FDeviceNode);
    } else {
        FDeviceNode->Clear();
        HideReportNode(FDeviceNode);
    }
    const bool hasColumn = FDeviceDecision && FDeviceDecision->ProgramsRead;
    if (programs && (hasColumn || hadColumn) && FSetup && FSetup->FileCount() > 0)
        FProgramsNode->SetPage(ProgramsPage());
}

void TfrmWinCEMain::HideReportNode(TReportNode* node) {
    const auto found = std::find(FReportNodes.begin(), FReportNodes.end(), node);
    QStandardItem* root = SetupRoot();
    if (!root || found == FReportNodes.end()) return;
    const int page = kFirstReportPage + static_cast<int>(found - FReportNodes.begin());
    for (int row = 0; row < root->rowCount(); ++row) {
        if (root->child(row)->data(kViewerPageRole) != page) continue;
        if (tvProject->currentIndex() == root->child(row)->index()) SelectProjectItem(0);
        root->removeRow(row);
        return;
    }
}
