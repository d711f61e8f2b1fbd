#include "app/RegistryTree.h"
#include "report/DisplayFormat.h"

#include "app/TextConv.h"

#include "setup/CECAB.h"
#include "setup/SetupFuncs.h"

#include <QHeaderView>
#include <QTreeWidget>

#include <memory>

namespace {

constexpr int kKindRole = Qt::UserRole + 6;
constexpr int kKindRegistry = 1; // "Device Registry"
constexpr int kKindRootKey = 2;

constexpr int kImageRegistry = 6;
constexpr int kImageKey = 7;
constexpr int kImageKeySelected = 8;
constexpr int kImageStringValue = 11;
constexpr int kImageNumberValue = 12;

constexpr int kRawCaptionRole = Qt::UserRole + 7;

// Captions are shown as the rest of the window shows model text, but key paths are built from
// the bytes the model held, so that a path never depends on how its text was displayed.
std::string RawCaption(const QTreeWidgetItem* node) {
    const QVariant raw = node->data(0, kRawCaptionRole);
    if (raw.isValid()) {
        const QByteArray bytes = raw.toByteArray();
        return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
    }
    return node->text(0).toStdString();
}

QIcon ImageAt(const QList<QIcon>& images, int index) {
    return index < images.size() ? images[index] : QIcon();
}

// Sets a flag for its lifetime, so that selection changes we cause ourselves are not handled.
class TFlagScope {
  public:
    explicit TFlagScope(bool& flag) : FFlag(flag), FOld(flag) { FFlag = true; }
    ~TFlagScope() { FFlag = FOld; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

  private:
    bool& FFlag;
    bool FOld;
};

} // namespace

TRegistryTree::TRegistryTree(QTreeWidget* tvRegistry, QTreeWidget* lvRegistry,
                             const QList<QIcon>& images, QObject* parent)
    : QObject(parent), tvRegistry(tvRegistry), lvRegistry(lvRegistry) {
    FRootIcon = ImageAt(images, kImageRegistry);
    const QIcon key = ImageAt(images, kImageKey);
    const QIcon keySelected = ImageAt(images, kImageKeySelected);
    FKeyIcon.addPixmap(key.pixmap(16, 16), QIcon::Normal);
    FKeyIcon.addPixmap(keySelected.pixmap(16, 16), QIcon::Selected);
    FStringIcon = ImageAt(images, kImageStringValue);
    FNumberIcon = ImageAt(images, kImageNumberValue);

    tvRegistry->setColumnCount(1);
    tvRegistry->setHeaderHidden(true);
    tvRegistry->setRootIsDecorated(true);
    tvRegistry->setIndentation(19);
    tvRegistry->setIconSize(QSize(16, 16));
    tvRegistry->setSortingEnabled(false);
    tvRegistry->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvRegistry->setSelectionMode(QAbstractItemView::SingleSelection);
    tvRegistry->setUniformRowHeights(true);

    lvRegistry->setColumnCount(3);
    lvRegistry->setHeaderLabels({"Value Name", "Type", "Value"});
    lvRegistry->headerItem()->setTextAlignment(1, Qt::AlignCenter);
    lvRegistry->setColumnWidth(0, 120);
    lvRegistry->setColumnWidth(1, 70);
    lvRegistry->setColumnWidth(2, 200);
    lvRegistry->setRootIsDecorated(false);
    lvRegistry->setItemsExpandable(false);
    lvRegistry->setIconSize(QSize(16, 16));
    lvRegistry->setSortingEnabled(false);
    lvRegistry->header()->setSectionsClickable(false);
    lvRegistry->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvRegistry->setSelectionMode(QAbstractItemView::SingleSelection);
    lvRegistry->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvRegistry->setUniformRowHeights(true);

    connect(tvRegistry, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { tvRegistryChange(current); });
    // A mouse press makes the node current before it selects it, so the move to
    // HKEY_CURRENT_USER must also follow the selection, or "Device Registry" stays selected.
    connect(tvRegistry, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (FChanging) return;
        try {
            if (!FIndexValid) RebuildIndex();
            if (FNodeRegistry && FNodeRegistry->isSelected()) tvRegistryChange(FNodeRegistry);
        } catch (...) {
            this->lvRegistry->clear();
        }
    });
    connect(tvRegistry, &QTreeWidget::itemCollapsed, this, &TRegistryTree::OnItemCollapsed);
    // The window may clear the control itself; then our node pointers must go too.
    connect(tvRegistry->model(), &QAbstractItemModel::modelAboutToBeReset, this,
            &TRegistryTree::ForgetNodes);
    // Removed rows: the index is rebuilt on next use. Both notices, because a selection change
    // while rows go may rebuild it in between.
    connect(tvRegistry->model(), &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this] { FIndexValid = false; });
    connect(tvRegistry->model(), &QAbstractItemModel::rowsRemoved, this,
            [this] { FIndexValid = false; });
}

TRegistryTree::~TRegistryTree() = default;

void TRegistryTree::Fill(const TCESetupBase& setup) {
    Clear();
    TFlagScope changing(FChanging);
    // Owned here until the tree takes it, so that a failure midway frees what was built.
    auto registry =
        std::make_unique<QTreeWidgetItem>(QStringList(QStringLiteral("Device Registry")));
    try {
        registry->setIcon(0, FRootIcon);
        registry->setData(0, kImageRole, kImageRegistry);
        registry->setData(0, kSelectedImageRole, kImageRegistry);
        registry->setData(0, kKindRole, kKindRegistry);
        FNodeRegistry = registry.get();
        FNodeClassesRoot = RootKeyNode(kRootClassesRoot);
        FNodeCurrentUser = RootKeyNode(kRootCurrentUser);
        FNodeLocalMachine = RootKeyNode(kRootLocalMachine);

        // The table rather than GetRegEntry: the accessor narrows root and type to one byte,
        // which would file root 256 under HKEY_CLASSES_ROOT.
        std::unordered_map<QTreeWidgetItem*, QList<int>> values;
        FRows.reserve(setup.RegValues.size());
        for (size_t i = 0; i < setup.RegValues.size(); ++i) {
            const TCEINFRegValue& value = setup.RegValues[i];
            FRows.push_back({value.Name, value.Data, value.DataType});
            const QTreeWidgetItem* rootNode = RootKeyNode(value.Root);
            const std::string path = RawCaption(rootNode) + "\\" + ExcludeBackslash(value.KeyPath);
            values[AddRegistryKey(path)].append(static_cast<int>(i));
        }
        for (auto& [node, rows] : values)
            node->setData(0, kValuesRole, QVariant::fromValue(rows));

        // Built detached and inserted once: one insertion notice instead of one per key.
        tvRegistry->addTopLevelItem(registry.get());
        registry.release()->setExpanded(true);
        tvRegistry->setCurrentItem(FNodeCurrentUser);
    } catch (...) {
        Clear();
        throw;
    }
    FillValueList(FNodeCurrentUser);
}

void TRegistryTree::Clear() {
    TFlagScope changing(FChanging);
    lvRegistry->clear();
    tvRegistry->clear();
    ForgetNodes();
}

void TRegistryTree::ForgetNodes() {
    FNodeRegistry = nullptr;
    FNodeClassesRoot = nullptr;
    FNodeCurrentUser = nullptr;
    FNodeLocalMachine = nullptr;
    FIndex.clear();
    FIndexValid = true;
    FRows.clear();
}

std::string TRegistryTree::RegistryNodePath(const QTreeWidgetItem* node) const {
    if (!node) return {};
    std::string path = RawCaption(node) + "\\";
    for (const QTreeWidgetItem* up = node->parent(); up && up != FNodeRegistry; up = up->parent())
        path = RawCaption(up) + "\\" + path;
    return path;
}

QTreeWidgetItem* TRegistryTree::FindRegistryNode(const std::string& path) {
    if (!FIndexValid) RebuildIndex();
    const auto found = FIndex.find(UpperCaseAscii(path));
    return found == FIndex.end() ? nullptr : found->second;
}

QTreeWidgetItem* TRegistryTree::AddRegistryKey(const std::string& path) {
    const std::string full = IncludeBackslash(path);
    if (QTreeWidgetItem* node = FindRegistryNode(full)) return node;
    QTreeWidgetItem* parent = nullptr;
    std::string prefix;
    size_t start = 0;
    while (start < full.size()) {
        const size_t end = full.find('\\', start);
        if (end > start) {
            const std::string component = full.substr(start, end - start);
            prefix += component + "\\";
            QTreeWidgetItem* node = FindRegistryNode(prefix);
            parent = node ? node : NewKeyNode(parent, component);
        }
        start = end + 1;
    }
    return parent;
}

QTreeWidgetItem* TRegistryTree::NewKeyNode(QTreeWidgetItem* parent, const std::string& caption) {
    auto* node = new QTreeWidgetItem(QStringList(ToDisplay(caption)));
    node->setData(0, kRawCaptionRole,
                  QByteArray(caption.data(), static_cast<qsizetype>(caption.size())));
    node->setIcon(0, FKeyIcon);
    node->setData(0, kImageRole, kImageKey);
    node->setData(0, kSelectedImageRole, kImageKeySelected);
    if (parent)
        parent->addChild(node);
    else
        tvRegistry->addTopLevelItem(node);
    // First appearance wins, as in a walk in index order.
    FIndex.emplace(UpperCaseAscii(RegistryNodePath(node)), node);
    return node;
}

QTreeWidgetItem* TRegistryTree::RootKeyNode(int root) {
    const std::string caption = RegistryRootName(root);
    if (QTreeWidgetItem* node = FindRegistryNode(caption + "\\")) return node;
    QTreeWidgetItem* node = NewKeyNode(FNodeRegistry, caption);
    node->setData(0, kKindRole, kKindRootKey);
    node->setData(0, kRootNumberRole, root);
    return node;
}

void TRegistryTree::RebuildIndex() {
    FIndex.clear();
    FNodeRegistry = nullptr;
    FNodeClassesRoot = nullptr;
    FNodeCurrentUser = nullptr;
    FNodeLocalMachine = nullptr;
    for (int i = 0; i < tvRegistry->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = tvRegistry->topLevelItem(i);
        if (!FNodeRegistry && top->data(0, kKindRole).toInt() == kKindRegistry) {
            FNodeRegistry = top;
            for (int k = 0; k < top->childCount(); ++k) {
                QTreeWidgetItem* key = top->child(k);
                if (key->data(0, kKindRole).toInt() != kKindRootKey) continue;
                QTreeWidgetItem** kept[] = {&FNodeClassesRoot, &FNodeCurrentUser,
                                            &FNodeLocalMachine};
                const int root = key->data(0, kRootNumberRole).toInt();
                if (root >= 0 && root <= 2 && !*kept[root]) *kept[root] = key;
            }
        }
    }
    // Pre-order over the whole tree is the absolute index order; an explicit stack keeps deep
    // key paths off the call stack.
    std::vector<QTreeWidgetItem*> pending;
    for (int i = tvRegistry->topLevelItemCount() - 1; i >= 0; --i)
        pending.push_back(tvRegistry->topLevelItem(i));
    while (!pending.empty()) {
        QTreeWidgetItem* node = pending.back();
        pending.pop_back();
        if (node != FNodeRegistry) FIndex.emplace(UpperCaseAscii(RegistryNodePath(node)), node);
        for (int k = node->childCount() - 1; k >= 0; --k)
            pending.push_back(node->child(k));
    }
    FIndexValid = true;
}

void TRegistryTree::tvRegistryChange(QTreeWidgetItem* node) {
    if (FChanging) return;
    TFlagScope changing(FChanging);
    try {
        if (!FIndexValid) RebuildIndex();
        if (node && node == FNodeRegistry) {
            node = FNodeCurrentUser;
            if (node) tvRegistry->setCurrentItem(node);
        }
        FillValueList(node);
    } catch (...) {
        lvRegistry->clear();
        lvRegistry->setUpdatesEnabled(true);
    }
}

void TRegistryTree::FillValueList(const QTreeWidgetItem* node) {
    lvRegistry->setUpdatesEnabled(false);
    lvRegistry->clear();
    QList<QTreeWidgetItem*> items;
    const QList<int> rows = node ? node->data(0, kValuesRole).value<QList<int>>() : QList<int>();
    for (const int index : rows) {
        if (index < 0 || static_cast<size_t>(index) >= FRows.size()) continue;
        const TRow& row = FRows[static_cast<size_t>(index)];
        const bool text = row.DataType == kTypeString || row.DataType == kTypeMultiString;
        auto* item = new QTreeWidgetItem();
        item->setText(0, row.Name.empty() ? QStringLiteral("(Default)") : ToDisplay(row.Name));
        item->setIcon(0, text ? FStringIcon : FNumberIcon);
        item->setData(0, kImageRole, text ? kImageStringValue : kImageNumberValue);
        item->setData(0, kValueIndexRole, index);
        item->setText(1, QString::fromStdString(RegistryTypeName(row.DataType)));
        item->setTextAlignment(1, Qt::AlignCenter);
        item->setText(2, ToDisplay(row.Data));
        items.append(item);
    }
    lvRegistry->addTopLevelItems(items);
    lvRegistry->setUpdatesEnabled(true);
}

void TRegistryTree::tvRegistryCollapsing(const QTreeWidgetItem* node, bool& allowCollapse) {
    if (!FIndexValid) RebuildIndex();
    if (node && node == FNodeRegistry) allowCollapse = false;
}

void TRegistryTree::OnItemCollapsed(QTreeWidgetItem* node) {
    bool allow = true;
    try {
        tvRegistryCollapsing(node, allow);
    } catch (...) {
        // The index could not be rebuilt; the root is still known by its mark.
        allow = !node || node->data(0, kKindRole).toInt() != kKindRegistry;
    }
    // Qt has no veto before collapsing, so a refused collapse is undone at once.
    if (!allow) node->setExpanded(true);
}
