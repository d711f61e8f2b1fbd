#pragma once
// File > Open Collection...: an index of setups (tessary-info --index) in a window of its own.
// A list of its setups that a search box narrows (the index's full-text search), a "Which setups
// contain..." search over files, registry values and certificates, and counts below; a double
// click (or Enter) on a setup opens it in the main window.
#include "collection/Collection.h"

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QTreeView;
class TListFilter;
class TListModel;

class TfrmCollection : public QDialog {
  public:
    using TOpenSetup = std::function<void(const QString& path)>;
    // Reads the index at path; throws collection::TCollectionError when it is no index of ours
    // or cannot be read.
    TfrmCollection(const QString& path, TOpenSetup openSetup, QWidget* parent = nullptr);

    // The setups holding every word (all of them for none); a failure is said in the status.
    void Search(const QString& words);
    // The setups' files, registry values and certificates that contain text.
    void SearchContains(const QString& text);
    [[nodiscard]] QString StatusText() const;

  private:
    void OpenRow(const QModelIndex& index);

    std::string FDatabase;
    TOpenSetup FOpenSetup;
    std::vector<collection::TSetupRow> FRows;
    std::vector<collection::TContainsHit> FHits;
    size_t FTotal = 0;
    QLineEdit* edtCollectionSearch = nullptr;
    QTreeView* lvCollection = nullptr;
    TListModel* FSetups = nullptr;
    TListFilter* FSetupsFilter = nullptr;
    QLineEdit* edtContains = nullptr;
    QTreeView* lvContains = nullptr;
    TListModel* FContains = nullptr;
    TListFilter* FContainsFilter = nullptr;
    QLabel* lblCollectionStatus = nullptr;
};
