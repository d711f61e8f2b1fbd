#pragma once
// The flat lists of the window (properties, files, shortcuts, registry values) as item models:
// rows are built once when a setup opens and only read afterwards. A filter proxy narrows a
// list to the rows containing a text without reordering them, and a delegate shows the whole
// text of a cell that its column cuts.
#include "report/Page.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QStringList>
#include <QStyledItemDelegate>

#include <functional>
#include <vector>

class QAbstractItemView;
class QTreeView;

struct TListColumn {
    QString Caption;
    int Width = 100;
    Qt::Alignment Alignment = Qt::AlignLeft | Qt::AlignVCenter;
};

struct TListRow {
    QStringList Texts;   // one per column, as shown
    int Image = -1;      // image list index shown in the first column; -1 for none
    int Source = -1;     // index of the record in the setup model this row shows
    bool Dimmed = false; // greyed: a finding that a baseline accepts
};

// The columns of a page that the window lists, with their captions, widths and alignments.
[[nodiscard]] std::vector<TListColumn> ListColumns(const TPage& page);
// The image list index of an icon kind; -1 for none.
[[nodiscard]] int ImageOf(TIconKind icon);
// The text colour of a row whose first cell shows that icon: a comparison's added, removed and
// changed rows; invalid (the view's own) for every other.
[[nodiscard]] QVariant ColourOf(TIconKind icon);
// The rows of a page as the window lists them: the listed columns' texts, converted for the
// screen, in the page's order.
[[nodiscard]] std::vector<TListRow> ListRows(const TPage& page);
// The same for the rows of a page that a tree node lists, in the node's order.
[[nodiscard]] std::vector<TListRow> ListRows(const TPage& page, const std::vector<size_t>& rows);

class TListModel : public QAbstractTableModel {
  public:
    static constexpr int kImageRole = Qt::UserRole + 1;  // int: image list index
    static constexpr int kSourceRole = Qt::UserRole + 4; // int: record index in the setup model

    explicit TListModel(std::vector<TListColumn> columns, QObject* parent = nullptr);

    void SetRows(std::vector<TListRow> rows);
    // Other columns with their rows, for a page that gains or loses a column.
    void SetColumnsAndRows(std::vector<TListColumn> columns, std::vector<TListRow> rows);
    // count rows that make gives when they are first read (a cell's data, a Row): a large list
    // that nobody looks at costs a setup's open nothing. make must give exactly count rows.
    void SetRowsLater(int count, std::function<std::vector<TListRow>()> make);
    // Adds rows below the ones there; views keep their selection and position.
    void AppendRows(std::vector<TListRow> rows);
    void Clear();
    [[nodiscard]] const TListRow& Row(int row) const {
        Settle();
        return FRows[static_cast<size_t>(row)];
    }
    [[nodiscard]] const std::vector<TListColumn>& Columns() const { return FColumns; }

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    // Makes the rows SetRowsLater promised, if they are still to be made.
    void Settle() const;

    std::vector<TListColumn> FColumns;
    mutable std::vector<TListRow> FRows;
    mutable std::function<std::vector<TListRow>()> FMake;
    int FPromised = 0;
};

// Keeps the rows of which any cell contains the filter text, ignoring case, in source order.
// Each row's texts are case-folded once, when filtering is first asked for; a longer text that
// contains the previous one only looks again at the rows still shown.
class TListFilter : public QSortFilterProxyModel {
  public:
    explicit TListFilter(TListModel* source, QObject* parent = nullptr);
    void SetText(const QString& text);
    [[nodiscard]] const QString& Text() const { return FText; }
    [[nodiscard]] const TListModel* Source() const { return FSource; }

  protected:
    [[nodiscard]] bool filterAcceptsRow(int row, const QModelIndex& parent) const override;

  private:
    void Forget();

    TListModel* FSource;
    QString FText;
    std::vector<QString> FFolded; // per source row: its cells, case-folded, joined by a newline
    std::vector<char> FAccepted;  // per source row, for FText
};

// Shows a cell's whole text as its tool tip when the column is too narrow for it; a tool tip
// the model gives itself is shown always.
class TCellTipDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
    // The text to show as tool tip of the cell, or an empty text when none is due.
    [[nodiscard]] static QString CellToolTip(const QAbstractItemView* view,
                                             const QModelIndex& index);
};

// The selected rows of a view, top to bottom, cells separated by tabs, each row ending in a
// line break; the texts as shown.
[[nodiscard]] QString SelectedRowsText(const QAbstractItemView* view);

// The look of every flat list: no tree decoration, whole rows selected, read-only, unsorted,
// the columns' widths, cut cells' texts as tool tips.
void SetUpListView(QTreeView* list, const std::vector<TListColumn>& columns);
