#include "app/Images.h"
#include "app/RegistryTree.h"
#include "app/TextConv.h"
#include "app/WinCEMain.h"
#include "cab/cabfiles.h"
#include "report/DisplayFormat.h"
#include "setup/CESetup.h"
#include "setup/SetupFuncs.h"

#include <QAction>
#include <QLabel>
#include <QLocale>
#include <QStackedWidget>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
// Model texts of a files row, kept so the extraction gets them byte for byte.
constexpr int kRoleName = Qt::UserRole;
constexpr int kRoleFolder = Qt::UserRole + 1;

QString YesNo(bool value) {
    return value ? "Yes" : "No";
}

// A files row answers its icon, alignments and model texts itself. Stored as item data they
// were seven values per row, the larger part of filling a list of many thousand files.
class TFileRow : public QTreeWidgetItem {
  public:
    TFileRow(const QStringList& texts, const std::string& name, const std::string& folder)
        : QTreeWidgetItem(texts), FName(QByteArray::fromStdString(name)),
          FFolder(QByteArray::fromStdString(folder)) {}

    [[nodiscard]] QVariant data(int column, int role) const override {
        if (role == Qt::TextAlignmentRole && column >= 2)
            return static_cast<int>(column == 2 ? Qt::AlignRight | Qt::AlignVCenter
                                                : Qt::AlignCenter);
        if (column == 0) {
            if (role == Qt::DecorationRole) return ImageListIcon(imgFileRow);
            if (role == kRoleName) return FName;
            if (role == kRoleFolder) return FFolder;
        }
        return QTreeWidgetItem::data(column, role);
    }

  private:
    QByteArray FName;
    QByteArray FFolder;
};

// Adds the rows in the order of their captions, compared as the user's locale sorts text.
void AddSorted(QTreeWidget* list, const QList<QTreeWidgetItem*>& rows) {
    // Captions taken out once: reading them back from the items costs more than comparing.
    std::vector<std::pair<QString, QTreeWidgetItem*>> keyed;
    keyed.reserve(static_cast<size_t>(rows.size()));
    for (QTreeWidgetItem* row : rows)
        keyed.emplace_back(row->text(0), row);
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        return QString::localeAwareCompare(a.first, b.first) < 0;
    });
    QList<QTreeWidgetItem*> sorted;
    sorted.reserve(rows.size());
    for (const auto& [caption, row] : keyed)
        sorted << row;
    list->addTopLevelItems(sorted);
}

int AbsoluteIndex(QTreeWidgetItem* node) {
    if (!node) return 0;
    QTreeWidgetItem* parent = node->parent();
    return parent ? parent->indexOfChild(node) + 1 : 0;
}
} // namespace

void TfrmWinCEMain::FillProjectTree() {
    const auto node = [](const QString& caption, int image) {
        auto* item = new QTreeWidgetItem(QStringList{caption});
        item->setIcon(0, ImageListIcon(image));
        item->setSizeHint(0, QSize(0, 18));
        return item;
    };
    QTreeWidgetItem* root = node(ToDisplay(FSetup->Project.SoftwareName), imgSetup);
    root->addChild(node("Files", imgFiles));
    root->addChild(node("Shortcuts", imgShortcuts));
    root->addChild(node("Registry Entries", imgRegistry));
    tvProject->addTopLevelItem(root);
    tvProject->expandAll();
}

void TfrmWinCEMain::FillProperties() {
    const TCEINFProject& project = FSetup->Project;
    const auto row = [this](const QString& caption, const std::string& value) {
        lvProject->addTopLevelItem(new QTreeWidgetItem(QStringList{caption, ToDisplay(value)}));
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
}

bool TfrmWinCEMain::HasSetupDll() {
    return FCabFile && HasSetupDllEntry(FCabFile->CABFileContents);
}

void TfrmWinCEMain::FillFiles() {
    const std::vector<std::optional<TCABFileEntry>> entries =
        FSetup->FindCabEntries(FCabFile->CABFileContents);
    const std::string separator = QLocale().decimalPoint().toStdString();
    QList<QTreeWidgetItem*> rows;
    rows.reserve(FSetup->FileCount());
    for (int i = 0; i < FSetup->FileCount(); ++i) {
        TCECAB_File file;
        FSetup->GetFile(i, file);
        const std::string folder = IncludeBackslash(file.Dir);
        const std::optional<TCABFileEntry>& entry = entries[static_cast<size_t>(i)];
        rows << new TFileRow(
            QStringList{ToDisplay(file.Name), ToDisplay(folder),
                        entry ? QString::fromStdString(FormatFileSize(entry->Size, separator))
                              : "0 bytes",
                        QString::fromStdString(FlagsText(file.Flags)), YesNo(file.ActiveX),
                        YesNo(file.Shared)},
            file.Name, folder);
    }
    AddSorted(lvFiles, rows);
}

void TfrmWinCEMain::FillShortcuts() {
    QList<QTreeWidgetItem*> rows;
    for (int i = 0; i < FSetup->ShortcutCount(); ++i) {
        TCECAB_Shortcut shortcut;
        FSetup->GetShortcut(i, shortcut);
        auto* item =
            new QTreeWidgetItem(QStringList{ToDisplay(shortcut.Name), ToDisplay(shortcut.FileName),
                                            ToDisplay(IncludeBackslash(shortcut.Folder))});
        item->setIcon(0, ImageListIcon(imgShortcutRow));
        rows << item;
    }
    AddSorted(lvShortcuts, rows);
}

void TfrmWinCEMain::tvProjectChange() {
    const int index = AbsoluteIndex(tvProject->currentItem());
    ntbViewers->setCurrentIndex(index);
    SetExtractEnabled(index == 1 && !lvFiles->selectedItems().isEmpty());
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

void TfrmWinCEMain::tvProjectCollapsing(QTreeWidgetItem*, bool& allowCollapse) {
    allowCollapse = false;
}

void TfrmWinCEMain::tvProjectCollapsed(QTreeWidgetItem* item) {
    // Qt has no cancellable collapse; a refused one is undone at once.
    bool allow = true;
    tvProjectCollapsing(item, allow);
    if (!allow && item) tvProject->expandItem(item);
}

void TfrmWinCEMain::lvFilesChange() {
    SetExtractEnabled(!lvFiles->selectedItems().isEmpty());
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
