#include "app/ListModel.h"

#include "app/Images.h"
#include "app/TextConv.h"
#include "report/ChangeColours.h"

#include <QAbstractItemView>
#include <QColor>
#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QStringMatcher>
#include <QToolTip>
#include <QTreeView>
#include <algorithm>

std::vector<TListColumn> ListColumns(const TPage& page) {
    std::vector<TListColumn> columns;
    for (const TColumn& column : page.Columns) {
        if (!column.Listed) continue;
        Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
        if (column.Align == TAlign::Right) alignment = Qt::AlignRight | Qt::AlignVCenter;
        if (column.Align == TAlign::Center) alignment = Qt::AlignCenter;
        columns.push_back({QString::fromStdString(column.Caption), column.Width, alignment});
    }
    return columns;
}

int ImageOf(TIconKind icon) {
    switch (icon) {
    case TIconKind::None:
        return -1;
    case TIconKind::Setup:
        return imgSetup;
    case TIconKind::Files:
        return imgFiles;
    case TIconKind::Shortcuts:
        return imgShortcuts;
    case TIconKind::Registry:
        return imgRegistry;
    case TIconKind::Key:
        return imgRegKey;
    case TIconKind::FileRow:
        return imgFileRow;
    case TIconKind::ShortcutRow:
        return imgShortcutRow;
    case TIconKind::StringValue:
        return imgRegString;
    case TIconKind::NumberValue:
        return imgRegNumber;
    case TIconKind::Warning:
        return imgWarning;
    case TIconKind::Notice:
        return imgNotice;
    case TIconKind::Info:
        return imgInfo;
    case TIconKind::Added:
        return imgAdded;
    case TIconKind::Removed:
        return imgRemoved;
    case TIconKind::Changed:
        return imgChanged;
    }
    return -1;
}

QVariant ColourOf(TIconKind icon) {
    const std::optional<TRgb> colour = ChangeColour(icon);
    if (!colour) return {};
    return QColor(colour->Red, colour->Green, colour->Blue);
}

namespace {
TListRow ListRow(const TPage& page, const TRow& row) {
    TListRow listed;
    listed.Source = static_cast<int>(row.Source);
    listed.Dimmed = row.Dimmed;
    listed.Texts.reserve(static_cast<qsizetype>(row.Cells.size()));
    for (size_t column = 0; column < row.Cells.size() && column < page.Columns.size(); ++column) {
        if (!page.Columns[column].Listed) continue;
        const TCell& cell = row.Cells[column];
        if (listed.Texts.isEmpty()) listed.Image = ImageOf(cell.Icon);
        listed.Texts << ToDisplay(cell.Text);
    }
    return listed;
}
} // namespace

std::vector<TListRow> ListRows(const TPage& page) {
    std::vector<TListRow> rows;
    rows.reserve(page.Rows.size());
    for (const TRow& row : page.Rows)
        rows.push_back(ListRow(page, row));
    return rows;
}

std::vector<TListRow> ListRows(const TPage& page, const std::vector<size_t>& indices) {
    std::vector<TListRow> rows;
    rows.reserve(indices.size());
    for (const size_t index : indices)
        if (index < page.Rows.size()) rows.push_back(ListRow(page, page.Rows[index]));
    return rows;
}

TListModel::TListModel(std::vector<TListColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), FColumns(std::move(columns)) {}

void TListModel::SetRows(std::vector<TListRow> rows) {
    beginResetModel();
    FMake = nullptr;
    FRows = std::move(rows);
    endResetModel();
}

void TListModel::SetColumnsAndRows(std::vector<TListColumn> columns, std::vector<TListRow> rows) {
    beginResetModel();
    FMake = nullptr;
    FColumns = std::move(columns);
    FRows = std::move(rows);
    endResetModel();
}

void TListModel::SetRowsLater(int count, std::function<std::vector<TListRow>()> make) {
    beginResetModel();
    FRows.clear();
    FMake = std::move(make);
    FPromised = FMake ? count : 0;
    endResetModel();
}

void TListModel::Settle() const {
    if (!FMake) return;
    const auto make = std::move(FMake);
    FMake = nullptr;
    // Asked from inside a view's painting, where nothing may be thrown: rows that could not be
    // made show empty, and the count the views know stays true.
    try {
        FRows = make();
    } catch (...) {
        FRows.clear();
    }
    FRows.resize(static_cast<size_t>(FPromised));
}

void TListModel::AppendRows(std::vector<TListRow> rows) {
    if (rows.empty()) return;
    Settle();
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    FRows.insert(FRows.end(), std::make_move_iterator(rows.begin()),
                 std::make_move_iterator(rows.end()));
    endInsertRows();
}

void TListModel::Clear() {
    SetRows({});
}

int TListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return FMake ? FPromised : static_cast<int>(FRows.size());
}

int TListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FColumns.size());
}

QVariant TListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
    Settle();
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
    case Qt::ForegroundRole:
        return row.Dimmed ? QVariant(QColor(Qt::gray)) : QVariant();
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
    // New rows: what was folded and decided belongs to the old ones. The reset reaches us
    // before the proxy asks filterAcceptsRow about the new rows.
    connect(source, &QAbstractItemModel::modelAboutToBeReset, this, [this] { Forget(); });
    connect(source, &QAbstractItemModel::modelReset, this, [this] {
        const QString text = FText;
        FText.clear();
        SetText(text);
    });
}

void TListFilter::Forget() {
    FFolded.clear();
    FAccepted.clear();
}

void TListFilter::SetText(const QString& text) {
    if (text == FText) return;
    const int rows = FSource->rowCount();
    const bool narrower = !FText.isEmpty() && text.contains(FText, Qt::CaseInsensitive) &&
                          FAccepted.size() == static_cast<size_t>(rows);
    FText = text;
    if (!text.isEmpty()) {
        if (FFolded.size() != static_cast<size_t>(rows)) {
            FFolded.clear();
            FFolded.reserve(static_cast<size_t>(rows));
            for (int row = 0; row < rows; ++row)
                FFolded.push_back(FSource->Row(row).Texts.join('\n').toCaseFolded());
        }
        if (!narrower) FAccepted.assign(static_cast<size_t>(rows), 1);
        const QStringMatcher matcher(text.toCaseFolded(), Qt::CaseSensitive);
        for (size_t row = 0; row < FAccepted.size(); ++row)
            if (FAccepted[row]) FAccepted[row] = matcher.indexIn(FFolded[row]) >= 0;
    }
    // One layout change for the whole list: filtering row by row would announce every gap
    // between the kept rows on its own, and the view relays itself out for each.
    invalidate();
}

bool TListFilter::filterAcceptsRow(int row, const QModelIndex& parent) const {
    if (FText.isEmpty() || parent.isValid()) return true;
    if (row < 0 || row >= FSource->rowCount()) return false;
    // A row added after the text was set is not in the caches; SetText folds it with the rest.
    if (static_cast<size_t>(row) >= FAccepted.size())
        return FSource->Row(row).Texts.join('\n').toCaseFolded().contains(FText.toCaseFolded());
    return FAccepted[static_cast<size_t>(row)];
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

void SetUpListView(QTreeView* list, const std::vector<TListColumn>& columns) {
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSortingEnabled(false);
    list->setAllColumnsShowFocus(true);
    list->header()->setSectionsClickable(false);
    // The design's widths, the last column's too; a cut text shows in its tool tip.
    list->header()->setStretchLastSection(false);
    list->setItemDelegate(new TCellTipDelegate(list));
    int index = 0;
    for (const TListColumn& column : columns)
        list->setColumnWidth(index++, column.Width);
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
