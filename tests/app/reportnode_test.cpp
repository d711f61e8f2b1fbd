// Project tree nodes backed by report pages: listed only while shown for an open setup, their
// page, status, filter, details pane, rows added while shown, and the tree page's model.
#include "app/ReportNode.h"
#include "app/TreePageModel.h"
#include "tests/app/AppFixtures.h"

#include <QAbstractItemModelTester>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTest>
#include <QTextEdit>
#include <QTreeView>

namespace {
TPage Colours(std::initializer_list<const char*> names) {
    TPage page;
    page.Caption = "Colours";
    page.Columns = {{"Name", 100}, {"Hidden", 50, TAlign::Left, false}, {"Code", 60}};
    for (const char* name : names) {
        TRow& row = page.Rows.emplace_back();
        row.Source = page.Rows.size() - 1;
        row.Cells = {TextCell(name), TextCell("x"), TextCell(std::string(name) + "-code")};
    }
    return page;
}
} // namespace

class ReportNodeTest : public QObject {
    Q_OBJECT

  private slots:
    void ListNodeShowsItsPageWhileTheSetupIsOpen() {
        TempDir dir;
        const QString cabinet = Q(WriteSetup(dir.File("a.cab"), SmallSetup().Plan()));
        TWindowFixture f;
        TReportNode* node = f.Window->AddReportNode("Colours", "lvColours", Colours({}));
        node->SetDetails([](const TRow* row) {
            TPage page;
            page.Caption = row ? row->Cells[0].Text : "none";
            return std::vector<TPage>{page};
        });
        f.Window->OpenSetup(cabinet);
        const QStringList before = f.ProjectNodes();
        QVERIFY(!before.contains("Colours"));
        node->SetPage(Colours({"red", "green"}));
        node->SetStatusText("Total of colours: 2");
        f.Window->ShowReportNode(node);
        f.Window->ShowReportNode(node); // listed once
        QCOMPARE(f.ProjectNodes(), before + QStringList{"Colours"});

        f.SelectProjectNode("Colours");
        auto* viewers = f.Window->findChild<QStackedWidget*>("ntbViewers");
        QVERIFY(viewers->currentWidget()->isAncestorOf(node));
        QCOMPARE(f.Status(), QString("Total of colours: 2"));
        QCOMPARE(f.View("lvColours")->model()->columnCount(), 2); // the unlisted one left out
        QCOMPARE(f.Column("lvColours", 1), QStringList({"red-code", "green-code"}));
        auto* details = f.Window->findChild<QTextEdit*>("txtColoursDetails");
        QVERIFY(details);
        QCOMPARE(details->toPlainText(), QString("none"));
        f.SelectRow("lvColours", 1);
        QCOMPARE(details->toPlainText(), QString("green"));

        // Rows added while shown keep the selection and follow the filter box.
        node->AppendRows(Colours({"blue", "grey"}));
        QCOMPARE(node->SelectedRow()->Cells[0].Text, std::string("green"));
        f.Window->findChild<QLineEdit*>("edtFilter")->setText("GR");
        node->AppendRows(Colours({"greige", "teal"}));
        QCOMPARE(f.Column("lvColours", 0), QStringList({"green", "grey", "greige"}));
        f.Window->findChild<QLineEdit*>("edtFilter")->clear();

        // A new page keeps the selected row by its Source.
        node->SetPage(Colours({"black", "white"}));
        QCOMPARE(details->toPlainText(), QString("white"));

        f.Window->CloseSetup();
        QCOMPARE(f.View("lvColours")->model()->rowCount(), 0);
        QCOMPARE(node->StatusText(), QString());
        f.Window->OpenSetup(cabinet);
        QCOMPARE(f.ProjectNodes(), before);
    }

    void TreePageModelFollowsItsNodes() {
        TTreePage tree;
        TPage rows = Colours({"warm", "red", "orange", "cold", "blue"});
        const size_t warm = tree.Add(kNoNode, "warm", TIconKind::None);
        tree.Add(warm, "red", TIconKind::None);
        const size_t orange = tree.Add(warm, "orange", TIconKind::None);
        const size_t cold = tree.Add(kNoNode, "cold", TIconKind::None);
        tree.Add(cold, "blue", TIconKind::None);
        for (size_t i = 0; i < tree.Nodes.size(); ++i)
            tree.Nodes[i].Rows = {i};
        tree.Nodes[warm].Expanded = true;
        TTreePageModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
        model.SetPages(tree, rows);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.columnCount(), 2);
        const QModelIndex index = model.IndexOf(orange);
        QCOMPARE(index.parent(), model.index(0, 0));
        QCOMPARE(model.index(1, 1, index.parent()).data().toString(), QString("orange-code"));
        QCOMPARE(model.RowOf(index)->Source, orange);

        TReportNode node("Colours", "Colours", "tvColours", rows, TReportNode::TView::Tree, -1);
        node.SetTree(tree, rows);
        QVERIFY(node.View()->isExpanded(node.View()->model()->index(0, 0)));
        QVERIFY(!node.View()->isExpanded(node.View()->model()->index(1, 0)));

        // The filter: a match shows its parents, opened down to it, and all below it.
        node.SetFilterText("ORANGE");
        QAbstractItemModel* shown = node.View()->model();
        QCOMPARE(node.ShownRows(), 1);
        QCOMPARE(node.AllRows(), 2);
        QCOMPARE(shown->rowCount(shown->index(0, 0)), 1);
        QCOMPARE(shown->index(0, 0, shown->index(0, 0)).data().toString(), QString("orange"));
        node.SetFilterText("cold");
        QCOMPARE(shown->rowCount(), 1);
        QCOMPARE(shown->rowCount(shown->index(0, 0)), 1); // blue, below the match
        node.SetFilterText("");
        QCOMPARE(shown->rowCount(), 2);
    }

    // A document nested as deep as one may be: filtering it neither recurses nor loses the one
    // match at its bottom.
    void TreeFilterReachesTheBottomOfADeepTree() {
        constexpr size_t kDepth = 100000;
        TTreePage tree;
        TPage rows;
        rows.Columns = {{"Name", 100}};
        size_t parent = kNoNode;
        for (size_t i = 0; i < kDepth; ++i) {
            parent = tree.Add(parent, "", TIconKind::None);
            tree.Nodes[parent].Rows = {i};
            TRow& row = rows.Rows.emplace_back();
            row.Source = i;
            row.Cells = {TextCell(i + 1 == kDepth ? "needle" : "hay")};
        }
        TReportNode node("Deep", "Deep", "tvDeep", rows, TReportNode::TView::Tree, -1);
        node.SetTree(std::move(tree), std::move(rows));
        node.SetFilterText("needle");
        QAbstractItemModel* shown = node.View()->model();
        QModelIndex at = shown->index(0, 0);
        size_t depth = 1;
        while (shown->rowCount(at) > 0) {
            QCOMPARE(shown->rowCount(at), 1);
            // The first levels are opened for the user; not a hundred thousand of them.
            if (depth <= 100) QVERIFY(node.View()->isExpanded(at));
            at = shown->index(0, 0, at);
            ++depth;
        }
        QCOMPARE(depth, kDepth);
        QVERIFY(!node.View()->isExpanded(at.parent()));
        QCOMPARE(at.data().toString(), QString("needle"));
        node.SetFilterText("nothing");
        QCOMPARE(node.ShownRows(), 0);
    }
};

QTEST_MAIN(ReportNodeTest)
#include "reportnode_test.moc"
