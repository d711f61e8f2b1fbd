#include "app/Images.h"
#include "app/ListModel.h"
#include "app/RegistryTree.h"
#include "app/TextConv.h"
#include "app/WinCEMain.h"
#include "cab/cabfiles.h"
#include "report/DisplayFormat.h"
#include "report/SetupPages.h"
#include "report/SignaturePage.h"
#include "setup/CESetup.h"
#include "setup/SetupFuncs.h"
#include "signature/Signature.h"

#include <QAction>
#include <QCollator>
#include <QLabel>
#include <QLocale>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTreeView>
#include <algorithm>
#include <numeric>
#include <vector>

namespace {
int AbsoluteIndex(const QModelIndex& node) {
    if (!node.isValid()) return 0;
    return node.parent().isValid() ? node.row() + 1 : 0;
}

} // namespace

void TfrmWinCEMain::FillProjectTree() {
    const TTreePage tree = BuildProjectTree(*FSetup);
    std::vector<QStandardItem*> items;
    items.reserve(tree.Nodes.size());
    for (const TTreeNode& node : tree.Nodes) {
        auto* item = new QStandardItem(ImageListIcon(ImageOf(node.Icon)), ToDisplay(node.Caption));
        item->setSizeHint(QSize(0, 18));
        items.push_back(item);
        if (node.Parent == kNoNode)
            FProjectNodes->appendRow(item);
        else
            items[node.Parent]->appendRow(item);
    }
    tvProject->expandAll();
}

void TfrmWinCEMain::FillProperties() {
    TPage properties = BuildPropertiesPage(*FSetup, FCabFile->CABFileContents);
    // The same two rows the text report adds after the design's own.
    const TCabinetSignature signature = VerifyCabinetSignature(FCabFile->CABFile);
    AddSignatureRows(properties, signature);
    FillSignatureNode(signature);
    FProperties->SetRows(ListRows(properties));
    FSignature = signature;
    FPropertiesPage = std::move(properties);
}

bool TfrmWinCEMain::HasSetupDll() {
    return FCabFile && HasSetupDllEntry(FCabFile->CABFileContents);
}

void TfrmWinCEMain::FillFiles() {
    // Made when the list is first looked at: the Project page shows first, and a setup of tens of
    // thousands of files would otherwise build, sort and convert every row before it shows. The
    // model is cleared whenever the setup closes, so the rows are always this setup's.
    FFiles->SetRowsLater(FSetup->FileCount(), [this] {
        // Closing clears the model before anything can read it; should a read come between
        // the setup's end and that, the rows stay empty rather than reading a setup that is gone.
        if (!FSetup || !FCabFile) return std::vector<TListRow>();
        return ListRows(BuildFilesPage(*FSetup, FCabFile->CABFileContents, WindowReportOptions()));
    });
}

void TfrmWinCEMain::FillShortcuts() {
    FShortcuts->SetRows(ListRows(BuildShortcutsPage(*FSetup, WindowReportOptions())));
}

TReportNode* TfrmWinCEMain::AddReportNode(const QString& name, const QString& viewName,
                                          const TPage& columns, TReportNode::TView view,
                                          int image) {
    auto* node = new TReportNode(name, name, viewName, columns, view, image);
    FReportNodes.push_back(node);
    ntbViewers->addWidget(CreateViewerPage(name, name, node));
    if (node->Filter()) FollowShownRows(node->Filter());
    node->OnStatusChanged = [this](TReportNode* changed) {
        if (ntbViewers->currentWidget()->isAncestorOf(changed)) UpdateStatusText();
    };
    return node;
}

void TfrmWinCEMain::ShowReportNode(TReportNode* node) {
    const auto found = std::find(FReportNodes.begin(), FReportNodes.end(), node);
    QStandardItem* root = SetupRoot();
    if (!FSetupOpen || !root || found == FReportNodes.end()) return;
    const int page = kFirstReportPage + static_cast<int>(found - FReportNodes.begin());
    for (int row = 0; row < root->rowCount(); ++row)
        if (root->child(row)->data(kViewerPageRole) == page) {
            root->child(row)->setIcon(ImageListIcon(node->Image()));
            return;
        }
    auto* item = new QStandardItem(ImageListIcon(node->Image()), node->Caption());
    item->setSizeHint(QSize(0, 18));
    item->setData(page, kViewerPageRole);
    root->appendRow(item);
}

void TfrmWinCEMain::tvProjectChange() {
    const QModelIndex current = tvProject->currentIndex();
    const QVariant page = current.data(kViewerPageRole);
    const int index = page.isValid() ? page.toInt() : AbsoluteIndex(current);
    ntbViewers->setCurrentIndex(index);
    UpdateExtractEnabled();
    UpdateStatusText();
}

void TfrmWinCEMain::UpdateStatusText() {
    const int index = ntbViewers->currentIndex();
    // A package's node is there before any of its setups is open.
    if ((!FSetupOpen || !FSetup) && !(FPackage && index >= kFirstReportPage)) return;
    QString design;
    TListFilter* filter = nullptr;
    switch (index) {
    case 0:
        design = ToDisplay(FSetup->Project.CompanyName) + " " +
                 ToDisplay(FSetup->Project.SoftwareName) + " Windows CE Setup";
        filter = FPropertiesFilter;
        break;
    case 1:
        design = "Total of files: " + QString::number(FSetup->FileCount());
        filter = FFilesFilter;
        break;
    case 2:
        design = "Total of shortcuts: " + QString::number(FSetup->ShortcutCount());
        filter = FShortcutsFilter;
        break;
    case 3:
        // The filter narrows the selected key's values.
        design = "Total of registry entries: " + QString::number(FSetup->RegValueCount());
        filter = FRegistryTree->ValueFilter();
        break;
    default: {
        const TReportNode* node = FReportNodes[static_cast<size_t>(index - kFirstReportPage)];
        // A tree counts its top-level rows: a finding's group, not each of its places.
        SetStatusText(QString::fromStdString(FilteredStatusText(
            node->StatusText().toStdString(), !node->FilterText().isEmpty(),
            static_cast<uint64_t>(node->ShownRows()), static_cast<uint64_t>(node->AllRows()))));
        return;
    }
    }
    if (!filter || filter->Text().isEmpty()) {
        SetStatusText(design);
        return;
    }
    SetStatusText(QString::fromStdString(
        FilteredStatusText(design.toStdString(), true, static_cast<uint64_t>(filter->rowCount()),
                           static_cast<uint64_t>(filter->Source()->rowCount()))));
}

void TfrmWinCEMain::tvProjectCollapsing(const QModelIndex&, bool& allowCollapse) {
    allowCollapse = false;
}

void TfrmWinCEMain::tvProjectCollapsed(const QModelIndex& node) {
    // Qt has no cancellable collapse; a refused one is undone at once.
    bool allow = true;
    tvProjectCollapsing(node, allow);
    if (!allow && node.isValid()) tvProject->expand(node);
}

void TfrmWinCEMain::lvFilesChange() {
    SetExtractEnabled(lvFiles->selectionModel()->hasSelection());
}

void TfrmWinCEMain::SetExtractEnabled(bool enabled) {
    mnuExtractFile->setEnabled(enabled);
}

const TProgramRow* TfrmWinCEMain::SelectedProgram() const {
    const auto found = std::find(FReportNodes.begin(), FReportNodes.end(), FProgramsNode);
    if (!FSetupOpen || found == FReportNodes.end() ||
        ntbViewers->currentIndex() != kFirstReportPage + (found - FReportNodes.begin()))
        return nullptr;
    const TRow* row = FProgramsNode->SelectedRow();
    if (!row || row->Source >= FProgramRows.size()) return nullptr;
    const TProgramRow& program = FProgramRows[row->Source];
    return program.Entry.empty() ? nullptr : &program;
}

void TfrmWinCEMain::UpdateExtractEnabled() {
    SetExtractEnabled(FSetupOpen && ((ntbViewers->currentIndex() == 1 &&
                                      lvFiles->selectionModel()->hasSelection()) ||
                                     SelectedProgram()));
}

void TfrmWinCEMain::SetStatusText(const QString& text) {
    pnlStatus->setText(text);
}

void TfrmWinCEMain::FillRegistry() {
    FRegistryTree->Fill(*FSetup);
}
