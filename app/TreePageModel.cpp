#include "app/TreePageModel.h"

#include "app/Images.h"
#include "app/TextConv.h"

#include <QColor>
#include <algorithm>

TTreePageModel::TTreePageModel(QObject* parent) : QAbstractItemModel(parent) {}

void TTreePageModel::SetPages(TTreePage tree, TPage rows) {
    beginResetModel();
    FTree = std::move(tree);
    FRows = std::move(rows);
    FListed.clear();
    FColumns = ListColumns(FRows);
    for (size_t column = 0; column < FRows.Columns.size(); ++column)
        if (FRows.Columns[column].Listed) FListed.push_back(column);
    SortTopLevel();
    endResetModel();
}

void TTreePageModel::sort(int column, Qt::SortOrder order) {
    FSortColumn = column;
    FSortOrder = order;
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    SortTopLevel();
    // Indexes name their nodes; only the top level's rows moved.
    QModelIndexList after;
    for (const QModelIndex& index : before)
        after << createIndex(static_cast<int>(FTree.Nodes[index.internalId()].Row), index.column(),
                             index.internalId());
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

void TTreePageModel::SortTopLevel() {
    if (FSortColumn < 0 || FSortColumn >= columnCount()) return;
    const size_t column = FListed[static_cast<size_t>(FSortColumn)];
    const auto key = [&](size_t node) {
        const TTreeNode& n = FTree.Nodes[node];
        const TRow* row = n.Rows.empty() || n.Rows.front() >= FRows.Rows.size()
                              ? nullptr
                              : &FRows.Rows[n.Rows.front()];
        return row && column < row->Cells.size() ? row->Cells[column].SortKey
                                                 : std::variant<std::string, int64_t>();
    };
    const bool descending = FSortOrder == Qt::DescendingOrder;
    std::stable_sort(FTree.TopLevel.begin(), FTree.TopLevel.end(), [&](size_t a, size_t b) {
        return descending ? key(b) < key(a) : key(a) < key(b);
    });
    for (size_t i = 0; i < FTree.TopLevel.size(); ++i)
        FTree.Nodes[FTree.TopLevel[i]].Row = i;
}

void TTreePageModel::Clear() {
    TPage columns;
    columns.Columns = FRows.Columns;
    SetPages({}, std::move(columns));
}

const TRow* TTreePageModel::RowOf(const QModelIndex& index) const {
    if (!index.isValid() || index.internalId() >= FTree.Nodes.size()) return nullptr;
    const TTreeNode& node = FTree.Nodes[index.internalId()];
    if (node.Rows.empty() || node.Rows.front() >= FRows.Rows.size()) return nullptr;
    return &FRows.Rows[node.Rows.front()];
}

QModelIndex TTreePageModel::IndexOf(size_t node) const {
    if (node >= FTree.Nodes.size()) return {};
    return createIndex(static_cast<int>(FTree.Nodes[node].Row), 0, node);
}

const std::vector<size_t>& TTreePageModel::Children(const QModelIndex& parent) const {
    if (!parent.isValid()) return FTree.TopLevel;
    return FTree.Nodes[parent.internalId()].Children;
}

QModelIndex TTreePageModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column >= columnCount()) return {};
    if (parent.isValid() && (parent.column() != 0 || parent.internalId() >= FTree.Nodes.size()))
        return {};
    const std::vector<size_t>& children = Children(parent);
    if (static_cast<size_t>(row) >= children.size()) return {};
    return createIndex(row, column, children[static_cast<size_t>(row)]);
}

QModelIndex TTreePageModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() >= FTree.Nodes.size()) return {};
    const size_t parent = FTree.Nodes[child.internalId()].Parent;
    if (parent == kNoNode) return {};
    return IndexOf(parent);
}

int TTreePageModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && (parent.column() != 0 || parent.internalId() >= FTree.Nodes.size()))
        return 0;
    return static_cast<int>(Children(parent).size());
}

int TTreePageModel::columnCount(const QModelIndex&) const {
    return static_cast<int>(FListed.size());
}

bool TTreePageModel::hasChildren(const QModelIndex& parent) const {
    return rowCount(parent) > 0;
}

QVariant TTreePageModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.internalId() >= FTree.Nodes.size() ||
        index.column() >= columnCount())
        return {};
    const size_t column = FListed[static_cast<size_t>(index.column())];
    const TRow* row = RowOf(index);
    const TCell* cell = row && column < row->Cells.size() ? &row->Cells[column] : nullptr;
    switch (role) {
    case Qt::DisplayRole:
        if (cell) return ToDisplay(cell->Text);
        return index.column() == 0 ? ToDisplay(FTree.Nodes[index.internalId()].Caption) : QString();
    case Qt::TextAlignmentRole:
        return static_cast<int>(FColumns[static_cast<size_t>(index.column())].Alignment);
    case Qt::DecorationRole: {
        if (index.column() != 0) return {};
        const int image =
            ImageOf(cell && cell->Icon != TIconKind::None ? cell->Icon
                                                          : FTree.Nodes[index.internalId()].Icon);
        return image >= 0 ? QVariant(ImageListIcon(image)) : QVariant();
    }
    case Qt::ForegroundRole:
        if (row && row->Dimmed) return QColor(Qt::gray);
        return row && !row->Cells.empty() ? ColourOf(row->Cells[0].Icon) : QVariant();
    case kSourceRole:
        return row ? static_cast<int>(row->Source) : -1;
    default:
        return {};
    }
}

QVariant TTreePageModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
    const TColumn& column = FRows.Columns[FListed[static_cast<size_t>(section)]];
    if (role == Qt::DisplayRole) return QString::fromStdString(column.Caption);
    return {};
}

Qt::ItemFlags TTreePageModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

TTreeFilter::TTreeFilter(TTreePageModel* source, QObject* parent)
    : QSortFilterProxyModel(parent), FSource(source) {
    setSourceModel(source);
    setDynamicSortFilter(false);
    // New nodes: decided again for the text, before the view asks about them.
    connect(source, &QAbstractItemModel::modelReset, this, [this] {
        if (FText.isEmpty()) return;
        Decide();
        invalidateFilter();
    });
}

void TTreeFilter::SetText(const QString& text) {
    if (text == FText) return;
    FText = text;
    FFoldedText = text.toCaseFolded();
    Decide();
    invalidateFilter();
}

void TTreeFilter::sort(int column, Qt::SortOrder order) {
    // The tree orders its top level by the cells' sort keys (a severity by rank, not by name);
    // the rows shown follow it.
    FSource->sort(column, order);
}

bool TTreeFilter::NodeMatches(size_t node) const {
    const QModelIndex index = FSource->IndexOf(node);
    for (int column = 0; column < FSource->columnCount(); ++column) {
        const QString text = index.siblingAtColumn(column).data(Qt::DisplayRole).toString();
        if (text.toCaseFolded().contains(FFoldedText)) return true;
    }
    return false;
}

void TTreeFilter::Decide() {
    FShown.clear();
    if (FText.isEmpty()) return;
    const std::vector<TTreeNode>& nodes = FSource->Tree().Nodes;
    FShown.assign(nodes.size(), kHidden);
    for (size_t node = 0; node < nodes.size(); ++node) {
        if (NodeMatches(node)) {
            FShown[node] = kShown | kMatches;
            // Its parents show, up to one already shown.
            for (size_t up = nodes[node].Parent; up < nodes.size() && !(FShown[up] & kShown);
                 up = nodes[up].Parent)
                FShown[up] |= kShown;
        }
    }
    // Below a node that matches, everything shows: parents come before their children.
    std::vector<char> inside(nodes.size(), 0);
    for (size_t node = 0; node < nodes.size(); ++node) {
        const size_t parent = nodes[node].Parent;
        if (parent < node && ((FShown[parent] & kMatches) || inside[parent])) inside[node] = 1;
        if (inside[node]) FShown[node] |= kShown;
    }
}

bool TTreeFilter::MatchesItself(const QModelIndex& index) const {
    const QModelIndex source = mapToSource(index);
    if (!source.isValid()) return false;
    const size_t node = source.internalId();
    return node < FShown.size() ? (FShown[node] & kMatches) != 0 : !FText.isEmpty();
}

bool TTreeFilter::filterAcceptsRow(int row, const QModelIndex& parent) const {
    if (FText.isEmpty()) return true;
    const size_t node = FSource->index(row, 0, parent).internalId();
    return node < FShown.size() && (FShown[node] & kShown) != 0;
}
