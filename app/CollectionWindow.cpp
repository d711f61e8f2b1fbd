#include "app/CollectionWindow.h"

#include "app/ListModel.h"
#include "app/TextConv.h"
#include "collection/BrowsePages.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

QTreeView* NewList(const char* name, TListModel* model, TListFilter*& filter, QWidget* parent) {
    filter = new TListFilter(model, parent);
    auto* list = new QTreeView(parent);
    list->setObjectName(name);
    list->setModel(filter);
    SetUpListView(list, model->Columns());
    return list;
}

} // namespace

TfrmCollection::TfrmCollection(const QString& path, TOpenSetup openSetup, QWidget* parent)
    : QDialog(parent), FDatabase(ToLocalPath(path)), FOpenSetup(std::move(openSetup)) {
    setObjectName("frmCollection");
    setWindowTitle("Collection - " + QFileInfo(path).fileName());
    // Read before any control is made: an index that does not open makes no window.
    FRows = collection::ListSetups(FDatabase, {});
    FTotal = FRows.size();

    edtCollectionSearch = new QLineEdit(this);
    edtCollectionSearch->setObjectName("edtCollectionSearch");
    edtCollectionSearch->setPlaceholderText("Search the setups");
    FSetups = new TListModel(ListColumns(collection::BuildSetupsPage({})), this);
    lvCollection = NewList("lvCollection", FSetups, FSetupsFilter, this);
    edtContains = new QLineEdit(this);
    edtContains->setObjectName("edtContains");
    edtContains->setPlaceholderText("Which setups contain...");
    FContains = new TListModel(ListColumns(collection::BuildContainsPage({})), this);
    lvContains = NewList("lvContains", FContains, FContainsFilter, this);
    lblCollectionStatus = new QLabel(this);
    lblCollectionStatus->setObjectName("lblCollectionStatus");

    auto* splitter = new QSplitter(Qt::Vertical, this);
    auto* top = new QWidget(splitter);
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->addWidget(edtCollectionSearch);
    topLayout->addWidget(lvCollection, 1);
    auto* bottom = new QWidget(splitter);
    auto* bottomLayout = new QVBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    bottomLayout->addWidget(edtContains);
    bottomLayout->addWidget(lvContains, 1);
    splitter->addWidget(top);
    splitter->addWidget(bottom);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addWidget(lblCollectionStatus);
    resize(900, 560);

    connect(edtCollectionSearch, &QLineEdit::returnPressed, this,
            [this] { Search(edtCollectionSearch->text()); });
    connect(edtContains, &QLineEdit::returnPressed, this,
            [this] { SearchContains(edtContains->text()); });
    connect(lvCollection, &QTreeView::activated, this, &TfrmCollection::OpenRow);
    connect(lvContains, &QTreeView::activated, this, &TfrmCollection::OpenRow);
    FSetups->SetRows(ListRows(collection::BuildSetupsPage(FRows)));
    lblCollectionStatus->setText(
        QString::fromStdString(collection::SetupsStatusText(FRows.size(), FTotal, false)));
}

void TfrmCollection::Search(const QString& words) {
    try {
        const std::vector<std::string> searched = collection::SearchWords(words.toStdString());
        FRows = collection::ListSetups(FDatabase, searched);
        FSetups->SetRows(ListRows(collection::BuildSetupsPage(FRows)));
        lblCollectionStatus->setText(QString::fromStdString(
            collection::SetupsStatusText(FRows.size(), FTotal, !searched.empty())));
    } catch (const std::exception& e) {
        lblCollectionStatus->setText(ToDisplay(e.what()));
    }
}

void TfrmCollection::SearchContains(const QString& text) {
    try {
        FHits.clear();
        if (!text.isEmpty())
            FHits = collection::WhichSetupsContain(FDatabase, text.toStdString(),
                                                   collection::kContainsRowLimit);
        FContains->SetRows(ListRows(collection::BuildContainsPage(FHits)));
        lblCollectionStatus->setText(QString::fromStdString(
            collection::ContainsStatusText(FHits, collection::kContainsRowLimit)));
    } catch (const std::exception& e) {
        lblCollectionStatus->setText(ToDisplay(e.what()));
    }
}

QString TfrmCollection::StatusText() const {
    return lblCollectionStatus->text();
}

void TfrmCollection::OpenRow(const QModelIndex& index) {
    const QVariant source = index.data(TListModel::kSourceRole);
    if (!source.isValid() || source.toInt() < 0) return;
    const auto at = static_cast<size_t>(source.toInt());
    const std::string* path = nullptr;
    if (index.model() == lvCollection->model() && at < FRows.size()) path = &FRows[at].Path;
    if (index.model() == lvContains->model() && at < FHits.size()) path = &FHits[at].Path;
    if (path && FOpenSetup) FOpenSetup(QFile::decodeName(path->c_str()));
}
