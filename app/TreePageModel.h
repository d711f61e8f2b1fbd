#pragma once
// A report tree page as an item model with the columns of its companion page: each node shows
// the cells of the first row listed under it. Texts are converted when asked for and nothing
// walks the tree, so a document of 200,000 nodes opens as fast as a small one.
#include "app/ListModel.h"
#include "report/Page.h"

#include <QAbstractItemModel>
#include <QSortFilterProxyModel>

class TTreePageModel : public QAbstractItemModel {
  public:
    static constexpr int kSourceRole = Qt::UserRole + 4; // int: the row's Source, -1 for none

    explicit TTreePageModel(QObject* parent = nullptr);

    void SetPages(TTreePage tree, TPage rows);
    void Clear();
    [[nodiscard]] const TTreePage& Tree() const { return FTree; }
    [[nodiscard]] const TPage& Rows() const { return FRows; }
    // The row of the companion page the index shows, or null.
    [[nodiscard]] const TRow* RowOf(const QModelIndex& index) const;
    [[nodiscard]] QModelIndex IndexOf(size_t node) const;

    [[nodiscard]] QModelIndex index(int row, int column,
                                    const QModelIndex& parent = {}) const override;
    [[nodiscard]] QModelIndex parent(const QModelIndex& child) const override;
    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] bool hasChildren(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Orders the top-level nodes by the cells of a column (stable; their children keep their
    // order); a column below 0 leaves the order the page gave. Kept for the next pages.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

  private:
    void SortTopLevel();
    int FSortColumn = -1;
    Qt::SortOrder FSortOrder = Qt::AscendingOrder;
    [[nodiscard]] const std::vector<size_t>& Children(const QModelIndex& parent) const;

    TTreePage FTree;
    TPage FRows;
    std::vector<size_t> FListed;       // the page's listed columns
    std::vector<TListColumn> FColumns; // and how they show
};

// A tree page under the filter box: a node shows when its own cells or those of a node below it
// contain the text (case folded), and a node that matches shows everything below it, so a
// finding's group opens into all its places. Sorting is the tree's own (see sort above). What
// shows is worked out once per text over the whole tree, without recursion: documents nest
// tens of thousands deep.
class TTreeFilter : public QSortFilterProxyModel {
  public:
    explicit TTreeFilter(TTreePageModel* source, QObject* parent = nullptr);
    void SetText(const QString& text);
    [[nodiscard]] const QString& Text() const { return FText; }
    [[nodiscard]] const TTreePageModel* Source() const { return FSource; }
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    // Whether the node at index (of this model) shows for its own cells, not for a node below.
    [[nodiscard]] bool MatchesItself(const QModelIndex& index) const;

  protected:
    [[nodiscard]] bool filterAcceptsRow(int row, const QModelIndex& parent) const override;

  private:
    enum : char { kHidden = 0, kShown = 1, kMatches = 2 };
    void Decide();
    [[nodiscard]] bool NodeMatches(size_t node) const;

    TTreePageModel* FSource;
    QString FText;
    QString FFoldedText;
    std::vector<char> FShown; // per node of the tree: kHidden, kShown or kShown | kMatches
};
