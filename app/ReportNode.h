#pragma once
// A project tree node beyond the design's four, backed by report pages: a list (one TPage) or a
// tree (a TTreePage and the page of its rows, one per node), and optionally a details pane
// that shows pages about the selected row. The window makes one per kind of node when it is
// created and lists it in the project tree only for setups that have something to show:
//
//   FFindings = AddReportNode("Findings", "lvFindings", BuildFindingsPage({}), imgAbout);
//   FFindings->SetDetails([this](const TRow* row) { return std::vector<TPage>{...}; });
//   // when a setup opens:
//   FFindings->SetPage(BuildFindingsPage(...));
//   ShowReportNode(FFindings);
//
// CloseSetup empties every node and takes it out of the project tree. A list follows the filter
// box and Copy like the design's lists; a tree follows the filter box too, showing a node that
// contains the text with its parents and everything below it.
#include "report/Page.h"

#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

class QModelIndex;
class QSplitter;
class QTextEdit;
class QTreeView;
class TListFilter;
class TListModel;
class TTreeFilter;
class TTreePageModel;

class TReportNode : public QWidget {
  public:
    enum class TView { List, Tree };
    // The pages the details pane shows, one below the other, for the selected row (null when
    // none is selected). Called on the window's thread; what it throws is shown in the pane.
    using TDetails = std::function<std::vector<TPage>(const TRow* selected)>;

    // name: the page's objectName ("Programs"); caption: the node's and the header's caption;
    // viewName: the view's objectName ("lvPrograms"); columns: a page giving the view its
    // columns (its rows are not shown); image: the node's picture from the image list.
    TReportNode(const QString& name, const QString& caption, const QString& viewName,
                const TPage& columns, TView view, int image, QWidget* parent = nullptr);
    ~TReportNode() override;

    // A list's rows, replacing any; the selected row stays selected if its Source is still
    // there.
    void SetPage(TPage page);
    // More rows for a list, with the page's columns, below the ones there.
    void AppendRows(TPage more);
    // A tree's nodes and their rows, replacing any.
    void SetTree(TTreePage tree, TPage rows);
    // Gives the node its details pane (`txt<name>Details`), below the view.
    void SetDetails(TDetails details);
    // Shown in the status bar while the node is selected.
    void SetStatusText(const QString& text);
    void Clear();

    // The rows shown (for a tree, the rows of its nodes).
    [[nodiscard]] const TPage& Page() const;
    [[nodiscard]] const TRow* SelectedRow() const;
    [[nodiscard]] const QString& Caption() const { return FCaption; }
    [[nodiscard]] int Image() const { return FImage; }
    // The picture the project tree shows for the node, from when it is next shown.
    void SetImage(int image) { FImage = image; }
    [[nodiscard]] const QString& StatusText() const { return FStatusText; }
    [[nodiscard]] QTreeView* View() const { return FView; }
    [[nodiscard]] QTextEdit* DetailsPane() const { return FDetailsPane; }
    // The list's filter; null for a tree.
    [[nodiscard]] TListFilter* Filter() const { return FFilter; }
    // The filter box's text, for a list or a tree.
    void SetFilterText(const QString& text);
    [[nodiscard]] const QString& FilterText() const;
    // The rows at the top level the filter lets through, and all of them.
    [[nodiscard]] int ShownRows() const;
    [[nodiscard]] int AllRows() const;

    // Selects and shows the row whose Source is source (in a tree, opening its parents);
    // nothing when no row has it or the filter hides it.
    void SelectSource(size_t source);

    // Told when the status text changes; the window shows it when the node is selected.
    std::function<void(TReportNode*)> OnStatusChanged;

  private:
    void ShowDetails();
    void ExpandToMatches(const QModelIndex& top);

    QString FCaption;
    int FImage;
    TView FKind;
    QString FStatusText;
    TPage FPage; // a list's rows
    TListModel* FList = nullptr;
    TListFilter* FFilter = nullptr;
    TTreePageModel* FTree = nullptr;
    TTreeFilter* FTreeFilter = nullptr;
    QTreeView* FView = nullptr;
    QSplitter* FSplitter = nullptr;
    QTextEdit* FDetailsPane = nullptr;
    TDetails FDetails;
};

// The pages as a read-only document: each page's caption, then a table of its listed columns
// with their captions on top; texts converted as the lists convert them.
void ShowPages(QTextEdit* pane, const std::vector<TPage>& pages);
