// What users receive around setups (an application manager's .ini, a self-extracting program, a
// cabinet holding cabinets), opened as a "Package" node above the setup, as the Qt viewer does:
// its list names the setups inside, and choosing one (double click or Enter) opens it below the
// node. The package stays open (its private folder holds the cabinets) until another file is
// opened or it is closed.
#include "inspection/PackagePage.h"
#include "package/Package.h"
#include "win/TextWin.h"
#include "win/WinCEMain.h"
#include "win/resource.h"

void TfrmWinCEMain::CreatePackagePage() {
    FPackagePage = FPages.size();
    // Listed while a package is open; its node is above the setup's, not below.
    AddPage("Package", ListImageOf(TIconKind::Setup), BuildPackagePage(TPackage{}),
            []() -> std::optional<TBuiltPage> { return std::nullopt; });
}

bool TfrmWinCEMain::OpenPackageFile(const std::wstring& fileName) {
    std::unique_ptr<TPackage> package = OpenPackage(ToLocalPath(fileName));
    if (!package->IsContainer()) return false;
    const std::wstring name = fileName.substr(fileName.find_last_of(L"\\/:") + 1);
    if (package->Setups.empty()) {
        std::wstring reason =
            ToDisplay(package->Error.empty() ? "no setup cabinet in this package" : package->Error);
        // The status bar names the package once: the package's own message may name it too.
        if (reason.rfind(name + L": ", 0) == 0) reason.erase(0, name.size() + 2);
        FailOpen(name, reason);
        return true;
    }
    ResetToEmpty();
    FPackageRows = BuildPackagePage(*package);
    FPackage = std::move(package);
    FPackageFileName = fileName;
    ShowPackage();
    return true;
}

void TfrmWinCEMain::ShowPackage() {
    TViewerPage& page = FPages[FPackagePage];
    page.Present = true;
    page.Status = ToDisplay(PackageStatusText(*FPackage));
    SetRows(*page.List, FPackageRows);
    FFilling = true;
    TreeView_DeleteAllItems(FProjectTree);
    FillProjectTree();
    FFilling = false;
    SetWindowTextW(FHandle, (std::wstring(kApplicationTitle) + L" - " +
                             FPackageFileName.substr(FPackageFileName.find_last_of(L"\\/:") + 1))
                                .c_str());
    SetEnabled(mnuCloseSetup, true);
    ShowViewers(true);
    TreeView_SelectItem(FProjectTree, TreeView_GetRoot(FProjectTree));
    tvProjectChange();
}

void TfrmWinCEMain::OpenContainedSetup(size_t index) {
    if (!FPackage || index >= FPackage->Setups.size()) return;
    const TContainedSetup& contained = FPackage->Setups[index];
    const std::wstring shown = FPackageFileName.substr(FPackageFileName.find_last_of(L"\\/:") + 1) +
                               L" : " + ToDisplay(contained.PathInside);
    if (contained.CabinetPath.empty()) {
        ShowError(shown + L": " + ToDisplay(contained.Problem));
        return;
    }
    OpenSetupFile(FromLocalPath(contained.CabinetPath), shown);
}

void TfrmWinCEMain::ClosePackage() {
    if (!FPackage) return;
    const std::unique_ptr<TPackage> package = std::move(FPackage);
    FPackageRows = {};
    FPackageFileName.clear();
    ResetToEmpty();
    // The setup's reader may still hold its cabinet open (a document's certificates are decoded
    // without looking at the stop): Windows removes no file that is open, so the private folder
    // goes only once the reader has ended.
    FInspection->CloseAndWait();
}
