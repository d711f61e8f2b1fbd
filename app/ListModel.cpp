#include "app/ListModel.h"

#include "app/Images.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QToolTip>
#include <algorithm>

TListModel::TListModel(std::vector<TListColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), FColumns(std::move(columns)) {}

void TListModel::SetRows(std::vector<TListRow> rows) {
    beginResetModel();
    FRows = std::move(rows);
    endResetModel();
}

void TListModel::Clear() {
    SetRows({});
}

int TListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FColumns.size());
}

QVariant TListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
    const TListRow& row = FRows[static_cast<size_t>(index.row())];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return column < row.Texts.size() ? row.Texts[column] : QString();
    case Qt::TextAlignmentRole:
        return static_cast<int>(FColumns[static_cast<size_t>(column)].Alignment);
    case Qt::DecorationRole:
        if (column == 0 && row.Image >= 0) return ImageListIcon(row.Image);
        return {};
    case kImageRole:
        return column == 0 ? QVariant(row.Image) : QVariant();
    case kSourceRole:
        return row.Source;
    default:
        return {};
    }
}

QVariant TListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
    const TListColumn& column = FColumns[static_cast<size_t>(section)];
    if (role == Qt::DisplayRole) return column.Caption;
    if (role == Qt::TextAlignmentRole) return static_cast<int>(column.Alignment);
    return {};
}

Qt::ItemFlags TListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

TListFilter::TListFilter(TListModel* source, QObject* parent)
    : QSortFilterProxyModel(parent), FSource(source) {
    setSourceModel(source);
    setDynamicSortFilter(false);
}

void TListFilter::SetText(const QString& text) {
    if (text == FText) return;
    FText = text;
    // Columns never filter, so only the rows are looked at again.
    invalidateRowsFilter();
}

bool TListFilter::filterAcceptsRow(int row, const QModelIndex& parent) const {
    if (FText.isEmpty() || parent.isValid()) return true;
    const QStringList& texts = FSource->Row(row).Texts;
    return std::any_of(texts.begin(), texts.end(), [this](const QString& text) {
        return text.contains(FText, Qt::CaseInsensitive);
    });
}

bool TCellTipDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                 const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (!event || !view || event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString tip = CellToolTip(view, index);
    if (tip.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
        return false;
    }
    QToolTip::showText(event->globalPos(), tip, view, view->visualRect(index));
    return true;
}

QString TCellTipDelegate::CellToolTip(const QAbstractItemView* view, const QModelIndex& index) {
    if (!view || !index.isValid()) return {};
    const QString own = index.data(Qt::ToolTipRole).toString();
    if (!own.isEmpty()) return own;
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.font = view->font();
    option.fontMetrics = view->fontMetrics();
    option.rect = view->visualRect(index);
    option.decorationSize = view->iconSize().isValid() ? view->iconSize() : QSize(16, 16);
    TCellTipDelegate delegate;
    delegate.initStyleOption(&option, index);
    if (option.text.isEmpty()) return {};
    const QStyle* style = view->style();
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &option, view);
    // The item view leaves this margin on either side of the text.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    const bool cut =
        option.fontMetrics.horizontalAdvance(option.text) > textRect.width() - 2 * margin;
    return cut ? option.text : QString();
}

QString SelectedRowsText(const QAbstractItemView* view) {
    if (!view || !view->model() || !view->selectionModel()) return {};
    QModelIndexList rows = view->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    const QAbstractItemModel* model = view->model();
    QString text;
    for (const QModelIndex& row : rows) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(row.parent()); ++column)
            cells << model->index(row.row(), column, row.parent()).data().toString();
        text += cells.join('\t') + '\n';
    }
    return text;
}
