#include "app/DisplayFormat.h"
#include "app/Images.h"
#include "app/ListModel.h"
#include "app/RegistryTree.h"
#include "app/TextConv.h"
#include "app/WinCEMain.h"
#include "cab/cabfiles.h"
#include "setup/CESetup.h"
#include "setup/SetupFuncs.h"

#include <QAction>
#include <QLabel>
#include <QLocale>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
QString FlagsText(int32_t flags) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<uint32_t>(flags));
    return buffer;
}

QString YesNo(bool value) {
    return value ? "Yes" : "No";
}

// Orders the rows by their captions, compared as the user's locale sorts text.
void SortByCaption(std::vector<TListRow>& rows) {
    std::stable_sort(rows.begin(), rows.end(), [](const TListRow& a, const TListRow& b) {
        return QString::localeAwareCompare(a.Texts[0], b.Texts[0]) < 0;
    });
}

int AbsoluteIndex(const QModelIndex& node) {
    if (!node.isValid()) return 0;
    return node.parent().isValid() ? node.row() + 1 : 0;
}
} // namespace

void TfrmWinCEMain::FillProjectTree() {
    const auto node = [](const QString& caption, int image) {
        auto* item = new QStandardItem(ImageListIcon(image), caption);
        item->setSizeHint(QSize(0, 18));
        return item;
    };
    QStandardItem* root = node(ToDisplay(FSetup->Project.SoftwareName), imgSetup);
    root->appendRow(node("Files", imgFiles));
    root->appendRow(node("Shortcuts", imgShortcuts));
    root->appendRow(node("Registry Entries", imgRegistry));
    FProjectNodes->appendRow(root);
    tvProject->expandAll();
}

void TfrmWinCEMain::FillProperties() {
    const TCEINFProject& project = FSetup->Project;
    std::vector<TListRow> rows;
    const auto row = [&rows](const QString& caption, const std::string& value) {
        rows.push_back({{caption, ToDisplay(value)}});
    };
    row("Software Name", project.SoftwareName);
    row("Company", project.CompanyName);
    row("Install Directory", project.InstallDir);
    if (project.CE4Plus == 1) {
        row("Platform Name", project.PlatformName);
        row("Platform Min Version", project.PlatformMinVersion);
        row("Platform Max Version", project.PlatformMaxVersion);
    } else {
        row("Unsupported Devices", project.UnsupportedDevices);
        row("Min Version", project.MinVersion);
        row("Max Version", project.MaxVersion);
    }
    row("Processor", ProcessorName(project.Processor));
    row("Use Setup DLL", HasSetupDll() ? "Yes" : "No");
    FProperties->SetRows(std::move(rows));
}

bool TfrmWinCEMain::HasSetupDll() {
    return FCabFile && HasSetupDllEntry(FCabFile->CABFileContents);
}

void TfrmWinCEMain::FillFiles() {
    const std::vector<std::optional<TCABFileEntry>> entries =
        FSetup->FindCabEntries(FCabFile->CABFileContents);
    const std::string separator = QLocale().decimalPoint().toStdString();
    std::vector<TListRow> rows;
    rows.reserve(static_cast<size_t>(FSetup->FileCount()));
    for (int i = 0; i < FSetup->FileCount(); ++i) {
        TCECAB_File file;
        FSetup->GetFile(i, file);
        const std::optional<TCABFileEntry>& entry = entries[static_cast<size_t>(i)];
        rows.push_back(
            {{ToDisplay(file.Name), ToDisplay(IncludeBackslash(file.Dir)),
              entry ? QString::fromStdString(FormatFileSize(entry->Size, separator)) : "0 bytes",
              FlagsText(file.Flags), YesNo(file.ActiveX), YesNo(file.Shared)},
             imgFileRow,
             i});
    }
    SortByCaption(rows);
    FFiles->SetRows(std::move(rows));
}

void TfrmWinCEMain::FillShortcuts() {
    std::vector<TListRow> rows;
    for (int i = 0; i < FSetup->ShortcutCount(); ++i) {
        TCECAB_Shortcut shortcut;
        FSetup->GetShortcut(i, shortcut);
        rows.push_back({{ToDisplay(shortcut.Name), ToDisplay(shortcut.FileName),
                         ToDisplay(IncludeBackslash(shortcut.Folder))},
                        imgShortcutRow,
                        i});
    }
    SortByCaption(rows);
    FShortcuts->SetRows(std::move(rows));
}

void TfrmWinCEMain::tvProjectChange() {
    const int index = AbsoluteIndex(tvProject->currentIndex());
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
    default:
        SetStatusText("Total of registry entries: " + QString::number(FSetup->RegValueCount()));
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
