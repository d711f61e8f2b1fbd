// What users receive around setups (an application manager's .ini, a zip, an .msi, a
// self-extracting program), opened as a "Package" node above the setup: its list names the
// setups inside, and choosing one (double click or Enter) opens it below the node, the package
// staying open (its private folder holds the cabinets) until another file is opened or the
// window is emptied.
#include "app/Images.h"
#include "app/ListModel.h"
#include "app/TextConv.h"
#include "app/WinCEMain.h"
#include "inspection/PackagePage.h"
#include "package/Package.h"

#include <QFile>
#include <QFileInfo>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTreeView>
#include <algorithm>

void TfrmWinCEMain::CreatePackageNode() {
    FPackageNode = AddReportNode("Package", "lvPackage", BuildPackagePage(TPackage{}),
                                 TReportNode::TView::List, imgSetup);
    connect(FPackageNode->View(), &QTreeView::activated, this, [this](const QModelIndex& index) {
        const QVariant source = index.data(TListModel::kSourceRole);
        Guarded([&] {
            if (source.isValid() && source.toInt() >= 0) OpenContainedSetup(source.toUInt());
        });
    });
}

QStandardItem* TfrmWinCEMain::SetupRoot() const {
    return FProjectNodes->item(FPackage ? 1 : 0);
}

void TfrmWinCEMain::ShowPackageItem() {
    const auto found = std::find(FReportNodes.begin(), FReportNodes.end(), FPackageNode);
    auto* item = new QStandardItem(ImageListIcon(imgSetup),
                                   "Package - " + QFileInfo(FPackageFileName).fileName());
    item->setSizeHint(QSize(0, 18));
    item->setData(kFirstReportPage + static_cast<int>(found - FReportNodes.begin()),
                  kViewerPageRole);
    FProjectNodes->insertRow(0, item);
}

bool TfrmWinCEMain::OpenPackageFile(const QString& fileName) {
    std::unique_ptr<TPackage> package = OpenPackage(ToLocalPath(fileName));
    if (!package->IsContainer()) return false;
    if (package->Setups.empty()) {
        FailOpen(QFileInfo(fileName).fileName(),
                 ToDisplay(package->Error.empty() ? "no setup cabinet in this package"
                                                  : package->Error));
        return true;
    }
    ResetToEmpty();
    FPackage = std::move(package);
    FPackageFileName = fileName;
    FPackageNode->SetPage(BuildPackagePage(*FPackage));
    FPackageNode->SetStatusText(ToDisplay(PackageStatusText(*FPackage)));
    ShowPackageItem();
    setWindowTitle("Tessary - " + QFileInfo(fileName).fileName());
    mnuCloseSetup->setEnabled(true);
    ntbView->setCurrentIndex(1);
    tvProject->setCurrentIndex(FProjectNodes->index(0, 0));
    tvProject->setFocus(Qt::OtherFocusReason);
    return true;
}

void TfrmWinCEMain::OpenContainedSetup(size_t index) {
    if (!FPackage || index >= FPackage->Setups.size()) return;
    const TContainedSetup& contained = FPackage->Setups[index];
    const QString shown =
        QFileInfo(FPackageFileName).fileName() + " : " + ToDisplay(contained.PathInside);
    if (contained.CabinetPath.empty()) {
        FServices->ShowError(this, kApplicationTitle, shown + ": " + ToDisplay(contained.Problem));
        return;
    }
    OpenSetupFile(QFile::decodeName(contained.CabinetPath.c_str()), shown);
}

void TfrmWinCEMain::ClosePackage() {
    if (!FPackage) return;
    // The setup's readers are stopped before the folder that holds its cabinet goes.
    CloseSetup();
    FPackage.reset();
    FPackageFileName.clear();
    ResetToEmpty();
}
