#pragma once
// The "Registry" page: the key tree built from the model's flat list of registry values, and the
// value list of the selected key.
//
// How the window uses it:
//   FRegistryTree = std::make_unique<TRegistryTree>(tvRegistry, lvRegistry);
//     The constructor gives both views their models and the page's look (columns, widths,
//     alignment, indent, no sorting, read-only, sideways scrolling of the key tree) and
//     connects the signals itself, so the window connects nothing.
//   OpenSetup: FRegistryTree->Fill(*FSetup) after the shortcuts list. Fill expands "Device
//     Registry" one level and selects HKEY_CURRENT_USER, which fills the value list.
//   CloseSetup: FRegistryTree->Clear().
// The object must not outlive the two views. Nothing here throws into the event loop: the
// slots catch everything.
#include <QObject>
#include <QPersistentModelIndex>

#include <string>
#include <vector>

class QTreeView;
class TCESetupBase;
class TListFilter;
class TListModel;
class TRegistryKeyModel;

// A QObject only so that its connections end with it; it needs no moc.
class TRegistryTree : public QObject {
  public:
    TRegistryTree(QTreeView* tvRegistry, QTreeView* lvRegistry, QObject* parent = nullptr);
    ~TRegistryTree() override;

    // Builds the tree from the model's registry values, in model order. The values are copied,
    // so the setup may be freed before Clear. Throws only when memory runs out, leaving both
    // views empty.
    void Fill(const TCESetupBase& setup);
    void Clear();

    // The key path of a node: captions from its root key down, each followed by "\".
    [[nodiscard]] std::string RegistryNodePath(const QModelIndex& node) const;
    // The node whose key path equals path ignoring ASCII case, or an invalid index.
    [[nodiscard]] QModelIndex FindRegistryNode(const std::string& path) const;
    // The node for the key path (root name first), created with any missing ancestors.
    QModelIndex AddRegistryKey(const std::string& path);

    QPersistentModelIndex FNodeRegistry; // "Device Registry"
    QPersistentModelIndex FNodeClassesRoot;
    QPersistentModelIndex FNodeCurrentUser;
    QPersistentModelIndex FNodeLocalMachine;

    // Fills the value list for the node; "Device Registry" moves the selection to
    // HKEY_CURRENT_USER first.
    void tvRegistryChange(const QModelIndex& node);
    // Clears allowCollapse for "Device Registry" only.
    void tvRegistryCollapsing(const QModelIndex& node, bool& allowCollapse) const;

    [[nodiscard]] TRegistryKeyModel* KeyModel() const { return FKeys; }
    [[nodiscard]] TListModel* ValueModel() const { return FValues; }
    [[nodiscard]] TListFilter* ValueFilter() const { return FValueFilter; }

  private:
    void OnCollapsed(const QModelIndex& node);
    void FillValueList(const QModelIndex& node);

    QTreeView* tvRegistry;
    QTreeView* lvRegistry;
    TRegistryKeyModel* FKeys;
    TListModel* FValues;
    TListFilter* FValueFilter;
    bool FChanging = false;
};
