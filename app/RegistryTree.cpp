#include "app/RegistryTree.h"

#include "app/Images.h"
#include "app/ListModel.h"
#include "app/RegistryKeyModel.h"
#include "report/RegistryPages.h"
#include "setup/CABData.h"
#include "setup/CECAB.h"

#include <QHeaderView>
#include <QTreeView>

namespace {
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

TRegistryTree::TRegistryTree(QTreeView* tvRegistry, QTreeView* lvRegistry, QObject* parent)
    : QObject(parent), tvRegistry(tvRegistry), lvRegistry(lvRegistry),
      FKeys(new TRegistryKeyModel(this)),
      FValues(new TListModel(ListColumns(BuildRegistryPages(TCESetupBase()).Values), this)),
      FValueFilter(new TListFilter(FValues, this)) {
    tvRegistry->setModel(FKeys);
    tvRegistry->setHeaderHidden(true);
    tvRegistry->setRootIsDecorated(true);
    tvRegistry->setIndentation(19);
    tvRegistry->setIconSize(QSize(16, 16));
    tvRegistry->setSortingEnabled(false);
    tvRegistry->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvRegistry->setSelectionMode(QAbstractItemView::SingleSelection);
    tvRegistry->setUniformRowHeights(true);
    // Deep keys run off the pane's right edge: the column grows with them and scrolls sideways.
    tvRegistry->header()->setStretchLastSection(false);
    tvRegistry->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    tvRegistry->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    tvRegistry->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    tvRegistry->setItemDelegate(new TCellTipDelegate(tvRegistry));

    lvRegistry->setModel(FValueFilter);
    for (int column = 0; column < FValues->columnCount(); ++column)
        lvRegistry->setColumnWidth(column, FValues->Columns()[static_cast<size_t>(column)].Width);
    lvRegistry->setRootIsDecorated(false);
    lvRegistry->setItemsExpandable(false);
    lvRegistry->setIconSize(QSize(16, 16));
    lvRegistry->setSortingEnabled(false);
    lvRegistry->header()->setSectionsClickable(false);
    lvRegistry->header()->setStretchLastSection(false);
    lvRegistry->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvRegistry->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvRegistry->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvRegistry->setUniformRowHeights(true);
    lvRegistry->setItemDelegate(new TCellTipDelegate(lvRegistry));

    connect(tvRegistry->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { tvRegistryChange(current); });
    // A mouse press makes the node current before it selects it, so the move to
    // HKEY_CURRENT_USER must also follow the selection, or "Device Registry" stays selected.
    connect(tvRegistry->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (FChanging || !FNodeRegistry.isValid()) return;
        if (this->tvRegistry->selectionModel()->isSelected(FNodeRegistry))
            tvRegistryChange(FNodeRegistry);
    });
    connect(tvRegistry, &QTreeView::collapsed, this, &TRegistryTree::OnCollapsed);
}

TRegistryTree::~TRegistryTree() = default;

void TRegistryTree::Fill(const TCESetupBase& setup) {
    Clear();
    TFlagScope changing(FChanging);
    try {
        FKeys->SetPages(BuildRegistryPages(setup));
        FNodeRegistry = FKeys->IndexOf(TRegistryKeyModel::kDeviceRegistry);
        FNodeClassesRoot = FKeys->IndexOf(FKeys->RootNode(kRootClassesRoot));
        FNodeCurrentUser = FKeys->IndexOf(FKeys->RootNode(kRootCurrentUser));
        FNodeLocalMachine = FKeys->IndexOf(FKeys->RootNode(kRootLocalMachine));
        tvRegistry->expand(FNodeRegistry);
        tvRegistry->selectionModel()->setCurrentIndex(FNodeCurrentUser,
                                                      QItemSelectionModel::ClearAndSelect);
    } catch (...) {
        Clear();
        throw;
    }
    FillValueList(FNodeCurrentUser);
}

void TRegistryTree::Clear() {
    TFlagScope changing(FChanging);
    FValues->Clear();
    FKeys->Clear();
}

std::string TRegistryTree::RegistryNodePath(const QModelIndex& node) const {
    return FKeys->NodePath(FKeys->NodeOf(node));
}

QModelIndex TRegistryTree::FindRegistryNode(const std::string& path) const {
    return FKeys->IndexOf(FKeys->FindNode(path));
}

QModelIndex TRegistryTree::AddRegistryKey(const std::string& path) {
    return FKeys->IndexOf(FKeys->AddKey(path));
}

void TRegistryTree::tvRegistryChange(const QModelIndex& current) {
    if (FChanging) return;
    TFlagScope changing(FChanging);
    try {
        QModelIndex node = current;
        if (node.isValid() && node == FNodeRegistry) {
            node = FNodeCurrentUser;
            if (node.isValid())
                tvRegistry->selectionModel()->setCurrentIndex(node,
                                                              QItemSelectionModel::ClearAndSelect);
        }
        FillValueList(node);
    } catch (...) {
        FValues->Clear();
    }
}

void TRegistryTree::FillValueList(const QModelIndex& node) {
    FValues->SetRows(ListRows(FKeys->Pages().Values, FKeys->Values(FKeys->NodeOf(node))));
}

void TRegistryTree::tvRegistryCollapsing(const QModelIndex& node, bool& allowCollapse) const {
    if (node.isValid() && node == FNodeRegistry) allowCollapse = false;
}

void TRegistryTree::OnCollapsed(const QModelIndex& node) {
    bool allow = true;
    tvRegistryCollapsing(node, allow);
    // Qt has no veto before collapsing, so a refused collapse is undone at once.
    if (!allow) tvRegistry->expand(node);
}
