// The "Findings" node: what the audit finds in the open setup, a row on the Project page that
// counts it, and a double click that shows the row a finding is about.
#include "app/Images.h"
#include "app/ListModel.h"
#include "app/RegistryTree.h"
#include "app/TextConv.h"
#include "app/WinCEMain.h"
#include "audit/FindingsPage.h"
#include "cab/AsciiCase.h"
#include "cab/FileSystem.h"
#include "cab/cabfiles.h"
#include "device/DevicePage.h"
#include "inspection/HtmlReport.h"
#include "provisioning/Rows.h"
#include "report/DisplayFormat.h"
#include "report/ReadingTexts.h"
#include "setup/CESetup.h"
#include "setup/SetupFuncs.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QTreeView>
#include <algorithm>

namespace {

// Makes the row of the list whose record is source current; false when no row shows it.
bool SelectListSource(QTreeView* view, const TListModel* model, const TListFilter* filter,
                      size_t source) {
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->Row(row).Source != static_cast<int>(source)) continue;
        const QModelIndex index = filter->mapFromSource(model->index(row, 0));
        if (!index.isValid()) return false;
        view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                           QItemSelectionModel::Rows);
        view->scrollTo(index);
        return true;
    }
    return false;
}

// The Findings page as a tree: a group's row, with its count, opens into its places.
void ShowFindingsPage(TReportNode* node, TPage page) {
    TTreePage tree = FindingsTree(page);
    node->SetTree(std::move(tree), std::move(page));
}

} // namespace

void TfrmWinCEMain::CreateFindingsNode() {
    FFindingsNode = AddReportNode("Findings", "lvFindings", BuildFindingsPage({}),
                                  TReportNode::TView::Tree, imgWarning);
    // Sorted by a click on a column header; until then in the audit's order.
    QTreeView* view = FFindingsNode->View();
    view->header()->setSortIndicator(-1, Qt::AscendingOrder);
    view->setSortingEnabled(true);
    connect(view, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        const QVariant source = index.data(TListModel::kSourceRole);
        Guarded([&] {
            if (source.isValid() && source.toInt() >= 0) GoToFinding(source.toUInt());
        });
    });
}

void TfrmWinCEMain::FillFindings(bool complete) {
    FFindingsComplete = complete;
    if (!complete) {
        // Half the rules wait for the programs, which are read in the background; auditing the
        // rest now would cost a large setup's open as much again for a list soon replaced.
        FFindings.clear();
        ShowFindingsPage(FFindingsNode, BuildFindingsPage(FFindings));
        // Without files only the document is being read.
        const char* reading = FSetup->FileCount() > 0 ? kReadingProgramsNote : kReadingDocumentNote;
        FFindingsNode->SetStatusText(QString("Findings: ") + reading);
        ShowReportNode(FFindingsNode);
        // The install decision needs the setup's own document, not its programs. It is never
        // read here on the window's thread: while the reader has it, there is no decision yet.
        const bool documentPending =
            !FProvisioningTree && Reading() &&
            provisioning::HasProvisioningDocument(FCabFile->CABFileContents);
        if (!FDeviceSources.isEmpty() && documentPending) {
            FDeviceDecision.reset();
            FDeviceNode->Clear();
            FDeviceNode->SetStatusText(ToDisplay(device::kInstallDecisionCaption +
                                                 std::string(": ") + kReadingDocumentNote));
            ShowReportNode(FDeviceNode);
        } else {
            FillDevice(FDeviceSources.isEmpty() ? nullptr : FProvisioningTree.get(), nullptr);
        }
        SetFindingsRow(reading);
        return;
    }
    TAuditInput input;
    input.Setup = FSetup.get();
    input.Listing = &FCabFile->CABFileContents;
    input.Signature = &FSignature;
    TDescriptorFacts facts;
    QString pending;
    // The descriptors are read again here, once, after the setup shows; the document was read
    // by the open or in the background.
    try {
        input.Provisioning = SetupDocument();
        facts = ReadDescriptorFacts(*FSetup, *FCabFile, input.Provisioning);
        input.Descriptors = &facts;
        input.Listing = &FCabFile->CABFileContents;
    } catch (const std::exception& e) {
        pending = " (the cabinet could not be read again: " + ToDisplay(e.what()) + ")";
    }
    if (FSetup->FileCount() > 0) input.Programs = &FProgramRows;
    FFindings = RunAudit(input);
    // No files, no programs: the run decisions are made, over none.
    static const std::vector<TProgramRow> kNone;
    FillDevice(input.Provisioning, input.Programs ? input.Programs : &kNone);
    ShowFindings(pending);
}

const provisioning::TProvisioningTree* TfrmWinCEMain::SetupDocument() {
    if (!FProvisioningTree && provisioning::HasProvisioningDocument(FCabFile->CABFileContents)) {
        // Not read yet (a setup whose readers failed): read here, once.
        auto read = std::make_shared<provisioning::TProvisioningTree>();
        if (provisioning::ReadCabinetProvisioning(*FCabFile, *read)) FProvisioningTree = read;
    }
    return FProvisioningTree.get();
}

void TfrmWinCEMain::ShowFindings(const QString& pending) {
    // The marks of a baseline read before are taken off, with the findings it added.
    std::erase_if(FFindings, [](const TFinding& f) {
        return std::string_view(f.Rule) == kBaselineExpiredRule;
    });
    for (TFinding& f : FFindings) {
        f.Accepted = false;
        f.Statement.clear();
    }
    if (FBaseline) {
        if (!FCabinetIdentity) FCabinetIdentity = CabinetIdentity(ToLocalPath(FSetupFileName));
        ApplyBaseline(*FBaseline, *FCabinetIdentity, TodayUtc(), FFindings);
    }
    const TFindingCounts counts = CountFindings(FFindings);
    const std::string headline = FindingsHeadline(counts);
    ShowFindingsPage(FFindingsNode, BuildFindingsPage(FFindings));
    FFindingsNode->SetStatusText(QString::fromStdString(headline) + pending);
    // The node shows the worst severity present, not a warning when there is none.
    const std::optional<TSeverity> worst = WorstSeverity(counts);
    FFindingsNode->SetImage(worst == TSeverity::Warning  ? imgWarning
                            : worst == TSeverity::Notice ? imgNotice
                                                         : imgInfo);
    ShowReportNode(FFindingsNode);
    SetFindingsRow(headline.substr(headline.find(": ") + 2));
}

void TfrmWinCEMain::mnuSaveReportClick() {
    if (!FSetupOpen) return;
    Guarded([this] {
        dlgSaveReport->setDirectory(DialogFolder());
        dlgSaveReport->selectFile(QFileInfo(FSetupFileName).completeBaseName() + ".html");
        const QString target = FServices->RunFileDialog(*dlgSaveReport);
        if (!target.isEmpty()) SaveReport(target);
    });
}

bool TfrmWinCEMain::SaveReport(const QString& fileName) {
    if (!FSetup || !FCabFile) return false;
    if (!FFindingsComplete) {
        // A page without the programs and half the findings would pass for the whole audit.
        FServices->ShowError(this, kApplicationTitle,
                             "The programs are still being read: save the report once the "
                             "findings are shown.");
        return false;
    }
    if (!FCabinetIdentity) FCabinetIdentity = CabinetIdentity(ToLocalPath(FSetupFileName));
    const std::string html =
        AuditHtml(*FSetup, *FCabFile, SetupDocument(), FSignature, FProgramRows, FFindings,
                  *FCabinetIdentity, FDeviceDecision ? &*FDeviceDecision : nullptr);
    // Written whole beside the target and renamed into place, so a failure leaves nothing.
    const TWriteResult result = WriteFileSafely(ToLocalPath(fileName), html);
    if (!result.Ok) FServices->ShowError(this, kApplicationTitle, ToDisplay(result.Message));
    return result.Ok;
}

void TfrmWinCEMain::mnuOpenBaselineClick() {
    Guarded([this] {
        dlgOpenBaseline->selectFile(QString());
        dlgOpenBaseline->setDirectory(DialogFolder());
        const QString chosen = FServices->RunFileDialog(*dlgOpenBaseline);
        if (!chosen.isEmpty()) OpenBaseline(chosen);
    });
}

bool TfrmWinCEMain::OpenBaseline(const QString& fileName) {
    const QString name = QFileInfo(fileName).fileName();
    QFile file(fileName);
    // A baseline lists reviewed findings; a file far larger is not one.
    constexpr qint64 kMaxBaseline = 64 << 20;
    if (!QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly)) {
        FServices->ShowError(this, kApplicationTitle,
                             "Cannot read the baseline " + name + ": " + file.errorString());
        return false;
    }
    const QByteArray bytes = file.read(kMaxBaseline + 1);
    TBaseline baseline;
    TBaselineError error;
    if (!ParseBaseline(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())),
                       baseline, error)) {
        FServices->ShowError(this, kApplicationTitle,
                             "Baseline " + name + " line " + QString::number(error.Line) + ": " +
                                 ToDisplay(error.What));
        return false;
    }
    FBaseline = std::move(baseline);
    SetStatusText("Baseline " + name + ": " + QString::number(FBaseline->Entries.size()) +
                  " accepted findings");
    if (FSetupOpen && FFindingsComplete) ShowFindings();
    return true;
}

void TfrmWinCEMain::SetFindingsRow(const std::string& value) {
    // Beyond the design's rows: "Findings" and its counts, last.
    TPage properties = FPropertiesPage;
    TRow& row = properties.Rows.emplace_back();
    row.Source = properties.Rows.size() - 1;
    row.Cells = {TextCell("Findings"), TextCell(value)};
    if (FDeviceDecision) {
        TRow& device = properties.Rows.emplace_back();
        device.Source = properties.Rows.size() - 1;
        device.Cells = {TextCell(device::kInstallDecisionCaption),
                        TextCell(device::InstallDecisionValue(*FDeviceDecision))};
    }
    FProperties->SetRows(ListRows(properties));
}

bool TfrmWinCEMain::SelectProjectItem(int viewerPage) {
    QStandardItem* root = SetupRoot();
    if (!root) return false;
    if (viewerPage == 0) {
        tvProject->setCurrentIndex(root->index());
        return true;
    }
    for (int row = 0; row < root->rowCount(); ++row) {
        QStandardItem* item = root->child(row);
        const QVariant page = item->data(kViewerPageRole);
        if ((page.isValid() ? page.toInt() : row + 1) != viewerPage) continue;
        tvProject->setCurrentIndex(item->index());
        return true;
    }
    return false;
}

void TfrmWinCEMain::GoToFinding(size_t index) {
    if (!FSetupOpen || index >= FFindings.size()) return;
    const TFinding& finding = FFindings[index];
    // A filter that hides the row would hide what the user asked to see.
    if (!edtFilter->text().isEmpty()) edtFilter->clear();
    // A node the setup does not list (an unsigned cabinet's Signature) leaves the Project page,
    // whose rows say it.
    const auto showNode = [this](TReportNode* node) {
        const auto found = std::find(FReportNodes.begin(), FReportNodes.end(), node);
        if (found == FReportNodes.end() ||
            !SelectProjectItem(kFirstReportPage + static_cast<int>(found - FReportNodes.begin())))
            SelectProjectItem(0);
    };
    switch (finding.Page) {
    case TFindingPage::None:
        SelectProjectItem(0);
        break;
    case TFindingPage::Files:
        SelectProjectItem(1);
        SelectListSource(lvFiles, FFiles, FFilesFilter, finding.Row);
        break;
    case TFindingPage::Shortcuts:
        SelectProjectItem(2);
        SelectListSource(lvShortcuts, FShortcuts, FShortcutsFilter, finding.Row);
        break;
    case TFindingPage::Registry: {
        if (finding.Row >= FSetup->RegValues.size()) break;
        SelectProjectItem(3);
        const TCEINFRegValue& value = FSetup->RegValues[finding.Row];
        const std::string path = RegistryRootName(value.Root) + "\\" +
                                 (value.KeyPath.empty() ? "" : value.KeyPath + "\\");
        const QModelIndex key = FRegistryTree->FindRegistryNode(path);
        if (!key.isValid()) break;
        tvRegistry->setCurrentIndex(key);
        tvRegistry->scrollTo(key);
        SelectListSource(lvRegistry, FRegistryTree->ValueModel(), FRegistryTree->ValueFilter(),
                         finding.Row);
        break;
    }
    case TFindingPage::Provisioning:
        showNode(FProvisioningNode);
        FProvisioningNode->SelectSource(finding.Row);
        break;
    case TFindingPage::Programs:
        showNode(FProgramsNode);
        FProgramsNode->SelectSource(finding.Row);
        break;
    case TFindingPage::Signature:
        showNode(FSignatureNode);
        break;
    }
}
