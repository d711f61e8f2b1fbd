#include "app/ReportNode.h"

#include "app/ListModel.h"
#include "app/TextConv.h"
#include "app/TreePageModel.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QSplitter>
#include <QTextCursor>
#include <QTextEdit>
#include <QTextTable>
#include <QTreeView>
#include <QVBoxLayout>
#include <exception>
#include <vector>

TReportNode::TReportNode(const QString& name, const QString& caption, const QString& viewName,
                         const TPage& columns, TView view, int image, QWidget* parent)
    : QWidget(parent), FCaption(caption), FImage(image), FKind(view) {
    setObjectName(name);
    FView = new QTreeView;
    FView->setObjectName(viewName);
    FView->setAccessibleName(caption);
    FView->setMinimumWidth(10);
    const std::vector<TListColumn> listed = ListColumns(columns);
    if (view == TView::List) {
        FPage.Columns = columns.Columns;
        FList = new TListModel(listed, this);
        FFilter = new TListFilter(FList, this);
        FView->setModel(FFilter);
        SetUpListView(FView, listed);
    } else {
        FTree = new TTreePageModel(this);
        TPage empty;
        empty.Columns = columns.Columns;
        FTree->SetPages({}, std::move(empty));
        FTreeFilter = new TTreeFilter(FTree, this);
        FView->setModel(FTreeFilter);
        SetUpListView(FView, listed);
        FView->setRootIsDecorated(true);
        FView->setItemsExpandable(true);
        FView->setSelectionMode(QAbstractItemView::SingleSelection);
        FView->setIndentation(12);
    }
    // A click on the current row changes only the selection, a key press may change only the
    // current row: the pane follows both.
    connect(FView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { ShowDetails(); });
    connect(FView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { ShowDetails(); });

    FSplitter = new QSplitter(Qt::Vertical);
    FSplitter->setObjectName("spl" + name);
    FSplitter->setChildrenCollapsible(false);
    FSplitter->addWidget(FView);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FSplitter);
}

TReportNode::~TReportNode() = default;

void TReportNode::SetPage(TPage page) {
    if (!FList) return;
    const TRow* selected = SelectedRow();
    const size_t source = selected ? selected->Source : kNoNode;
    FPage = std::move(page);
    // A page may gain a column (the Programs page's "On Device") or lose it again.
    std::vector<TListColumn> columns = ListColumns(FPage);
    if (columns.size() != FList->Columns().size()) {
        const int added = static_cast<int>(FList->Columns().size());
        FList->SetColumnsAndRows(std::move(columns), ListRows(FPage));
        for (int c = added; c < static_cast<int>(FList->Columns().size()); ++c)
            FView->setColumnWidth(c, FList->Columns()[static_cast<size_t>(c)].Width);
    } else {
        FList->SetRows(ListRows(FPage));
    }
    if (source != kNoNode) SelectSource(source);
    ShowDetails();
}

void TReportNode::AppendRows(TPage more) {
    if (!FList || more.Rows.empty()) return;
    std::vector<TListRow> rows = ListRows(more);
    for (TRow& row : more.Rows)
        FPage.Rows.push_back(std::move(row));
    FList->AppendRows(std::move(rows));
}

void TReportNode::SetTree(TTreePage tree, TPage rows) {
    if (!FTree) return;
    FTree->SetPages(std::move(tree), std::move(rows));
    // Nodes marked expanded open with the page, parents first.
    const TTreePage& shown = FTree->Tree();
    for (size_t node = 0; node < shown.Nodes.size(); ++node) {
        if (!shown.Nodes[node].Expanded || shown.Nodes[node].Children.empty()) continue;
        const size_t parent = shown.Nodes[node].Parent;
        if (parent == kNoNode ||
            FView->isExpanded(FTreeFilter->mapFromSource(FTree->IndexOf(parent))))
            FView->expand(FTreeFilter->mapFromSource(FTree->IndexOf(node)));
    }
    ShowDetails();
}

void TReportNode::SetFilterText(const QString& text) {
    if (FFilter) FFilter->SetText(text);
    if (FTreeFilter) {
        FTreeFilter->SetText(text);
        if (!text.isEmpty()) ExpandToMatches({});
    }
}

void TReportNode::ExpandToMatches(const QModelIndex& top) {
    // A node shown only for what is below it opens, down to the nodes that contain the text;
    // those stay as they were, however much is below them. A stack, not recursion: documents
    // nest tens of thousands deep.
    // So many nodes at most, a keystroke's worth: beyond, the user opens what they need.
    constexpr size_t kMaxOpened = 500;
    size_t opened = 0;
    std::vector<QModelIndex> open{top};
    while (!open.empty() && opened < kMaxOpened) {
        const QModelIndex parent = open.back();
        open.pop_back();
        for (int row = 0; row < FTreeFilter->rowCount(parent) && opened < kMaxOpened; ++row) {
            const QModelIndex index = FTreeFilter->index(row, 0, parent);
            if (FTreeFilter->MatchesItself(index)) continue;
            FView->expand(index);
            ++opened;
            open.push_back(index);
        }
    }
}

const QString& TReportNode::FilterText() const {
    return FFilter ? FFilter->Text() : FTreeFilter->Text();
}

int TReportNode::ShownRows() const {
    return FFilter ? FFilter->rowCount() : FTreeFilter->rowCount();
}

int TReportNode::AllRows() const {
    return FFilter ? FList->rowCount() : FTree->rowCount();
}

void TReportNode::SetDetails(TDetails details) {
    FDetails = std::move(details);
    if (!FDetailsPane) {
        FDetailsPane = new QTextEdit;
        FDetailsPane->setObjectName("txt" + objectName() + "Details");
        FDetailsPane->setAccessibleName(FCaption + ": details");
        FDetailsPane->setReadOnly(true);
        FDetailsPane->setMinimumHeight(10);
        FSplitter->addWidget(FDetailsPane);
        FSplitter->setStretchFactor(0, 3);
        FSplitter->setStretchFactor(1, 2);
    }
    ShowDetails();
}

void TReportNode::SetStatusText(const QString& text) {
    FStatusText = text;
    if (OnStatusChanged) OnStatusChanged(this);
}

void TReportNode::Clear() {
    if (FList) {
        FPage.Rows.clear();
        FList->Clear();
    }
    if (FTree) FTree->Clear();
    if (FDetailsPane) FDetailsPane->clear();
    FStatusText.clear();
}

const TPage& TReportNode::Page() const {
    return FTree ? FTree->Rows() : FPage;
}

const TRow* TReportNode::SelectedRow() const {
    const QModelIndex current = FView->selectionModel()->currentIndex();
    if (!current.isValid() || !FView->selectionModel()->isSelected(current.siblingAtColumn(0)))
        return nullptr;
    if (FTree) return FTree->RowOf(FTreeFilter->mapToSource(current));
    const int row = FFilter->mapToSource(current).row();
    if (row < 0 || static_cast<size_t>(row) >= FPage.Rows.size()) return nullptr;
    return &FPage.Rows[static_cast<size_t>(row)];
}

void TReportNode::SelectSource(size_t source) {
    if (FTree) {
        for (const TRow& row : FTree->Rows().Rows) {
            if (row.Source != source || row.Node == kNoNode) continue;
            const QModelIndex index = FTreeFilter->mapFromSource(FTree->IndexOf(row.Node));
            if (!index.isValid()) return;
            for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
                FView->expand(up);
            FView->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                                QItemSelectionModel::Rows);
            FView->scrollTo(index);
            return;
        }
        return;
    }
    for (size_t row = 0; row < FPage.Rows.size(); ++row) {
        if (FPage.Rows[row].Source != source) continue;
        const QModelIndex index = FFilter->mapFromSource(FList->index(static_cast<int>(row), 0));
        if (!index.isValid()) return;
        FView->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                            QItemSelectionModel::Rows);
        FView->scrollTo(index);
        return;
    }
}

void TReportNode::ShowDetails() {
    if (!FDetailsPane || !FDetails) return;
    // The pane says what went wrong rather than letting it reach the event loop.
    try {
        ShowPages(FDetailsPane, FDetails(SelectedRow()));
    } catch (const std::exception& e) {
        FDetailsPane->setPlainText(ToDisplay(e.what()));
    } catch (...) {
        FDetailsPane->setPlainText("Unknown error");
    }
}

void ShowPages(QTextEdit* pane, const std::vector<TPage>& pages) {
    pane->clear();
    QTextCursor cursor(pane->document());
    QTextCharFormat plain;
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    bool first = true;
    for (const TPage& page : pages) {
        if (!first) cursor.insertBlock();
        first = false;
        cursor.insertText(ToDisplay(page.Caption), bold);
        std::vector<size_t> listed;
        for (size_t column = 0; column < page.Columns.size(); ++column)
            if (page.Columns[column].Listed) listed.push_back(column);
        if (listed.empty()) continue;
        QTextTableFormat format;
        format.setBorder(0);
        format.setCellPadding(1);
        format.setCellSpacing(0);
        format.setHeaderRowCount(1);
        QTextTable* table = cursor.insertTable(static_cast<int>(page.Rows.size()) + 1,
                                               static_cast<int>(listed.size()), format);
        for (size_t c = 0; c < listed.size(); ++c)
            table->cellAt(0, static_cast<int>(c))
                .firstCursorPosition()
                .insertText(ToDisplay(page.Columns[listed[c]].Caption), bold);
        for (size_t r = 0; r < page.Rows.size(); ++r) {
            const std::vector<TCell>& cells = page.Rows[r].Cells;
            for (size_t c = 0; c < listed.size(); ++c)
                if (listed[c] < cells.size())
                    table->cellAt(static_cast<int>(r) + 1, static_cast<int>(c))
                        .firstCursorPosition()
                        .insertText(ToDisplay(cells[listed[c]].Text), plain);
        }
        cursor.movePosition(QTextCursor::End);
    }
    pane->moveCursor(QTextCursor::Start);
}
