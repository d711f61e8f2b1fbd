#include "app/Images.h"
#include "app/ListModel.h"
#include "app/RegistryTree.h"
#include "app/TextConv.h"
#include "app/WinCEMain.h"
#include "cab/cabfiles.h"
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

// The window sorts as the user's locale compares the texts it shows. Each caption's collation
// key is made once; comparing keys is much cheaper than collating the texts at every step.
std::vector<size_t> LocaleOrder(const std::vector<std::string>& captions) {
    const QCollator collator{QLocale()};
    std::vector<QCollatorSortKey> keys;
    keys.reserve(captions.size());
    for (const std::string& caption : captions)
        keys.push_back(collator.sortKey(ToDisplay(caption)));
    std::vector<size_t> order(captions.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&keys](size_t a, size_t b) { return keys[a].compare(keys[b]) < 0; });
    return order;
}

TReportOptions WindowOptions() {
    TReportOptions options;
    options.DecimalSeparator = QLocale().decimalPoint().toStdString();
    options.Order = LocaleOrder;
    return options;
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
    FFiles->SetRows(ListRows(BuildFilesPage(*FSetup, FCabFile->CABFileContents, WindowOptions())));
}

void TfrmWinCEMain::FillShortcuts() {
    FShortcuts->SetRows(ListRows(BuildShortcutsPage(*FSetup, WindowOptions())));
}

TReportNode* TfrmWinCEMain::AddReportNode(const QString& name, const QString& viewName,
                                          const TPage& columns, TReportNode::TView view,
                                          int image) {
    auto* node = new TReportNode(name, name, viewName, columns, view, image);
    FReportNodes.push_back(node);
    ntbViewers->addWidget(CreateViewerPage(name, name, node));
    node->OnStatusChanged = [this](TReportNode* changed) {
        if (ntbViewers->currentWidget()->isAncestorOf(changed))
            SetStatusText(changed->StatusText());
    };
    return node;
}

void TfrmWinCEMain::ShowReportNode(TReportNode* node) {
    const auto found = std::find(FReportNodes.begin(), FReportNodes.end(), node);
    QStandardItem* root = FProjectNodes->item(0);
    if (!FSetupOpen || !root || found == FReportNodes.end()) return;
    const int page = kFirstReportPage + static_cast<int>(found - FReportNodes.begin());
    for (int row = 0; row < root->rowCount(); ++row)
        if (root->child(row)->data(kViewerPageRole) == page) return;
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
    SetExtractEnabled(index == 1 && lvFiles->selectionModel()->hasSelection());
    if (!FSetupOpen || !FSetup) return;
    switch (index) {
    case 0:
        SetStatusText(ToDisplay(FSetup->Project.CompanyName) + " " +
                      ToDisplay(FSetup->Project.SoftwareName) + " Windows CE Setup");
        break;
    case 1:
        SetStatusText("Total of files: " + QString::number(FSetup->FileCount()));
        break;
    case 2:
        SetStatusText("Total of shortcuts: " + QString::number(FSetup->ShortcutCount()));
        break;
    case 3:
        SetStatusText("Total of registry entries: " + QString::number(FSetup->RegValueCount()));
        break;
    default:
        SetStatusText(FReportNodes[static_cast<size_t>(index - kFirstReportPage)]->StatusText());
        break;
    }
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

void TfrmWinCEMain::SetStatusText(const QString& text) {
    pnlStatus->setText(text);
}

void TfrmWinCEMain::FillRegistry() {
    FRegistryTree->Fill(*FSetup);
}
