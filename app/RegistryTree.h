#pragma once
// The "Registry" page: the key tree built from the model's flat list of registry values, and the
// value list of the selected key.
//
// How the window uses it:
//   FRegistryTree = std::make_unique<TRegistryTree>(tvRegistry, lvRegistry, images);
//     images is the shared image list as a QList<QIcon> indexed as the window's table (6 root,
//     7/8 key and selected key, 11 string value, 12 numeric value); missing icons stay blank.
//     The constructor applies the page's look to both controls (columns, widths, alignment,
//     indent, no sorting, read-only) and connects the signals itself:
//       tvRegistry currentItemChanged -> tvRegistryChange
//       tvRegistry itemSelectionChanged -> tvRegistryChange when "Device Registry" got selected
//       tvRegistry itemCollapsed      -> tvRegistryCollapsing (a refused collapse is undone)
//     so the window connects nothing.
//   OpenSetup: FRegistryTree->Fill(*FSetup) after the shortcuts list. Fill expands "Device
//     Registry" one level and selects HKEY_CURRENT_USER, which fills the value list.
//   CloseSetup: FRegistryTree->Clear() (empties both controls, forgets the three root nodes).
// The object must not outlive the two controls; destroy it before them (or give it the same
// parent order). Nothing here throws into the event loop: the slots catch everything.
#include <QIcon>
#include <QList>
#include <QObject>

#include <string>
#include <unordered_map>
#include <vector>

class QTreeWidget;
class QTreeWidgetItem;
class TCESetupBase;

// A QObject only so that its connections end with it; it needs no moc.
class TRegistryTree : public QObject {
  public:
    // Item data roles, for tests and for anyone who needs the image list index of a row.
    static constexpr int kImageRole = Qt::UserRole + 1;         // int: image index
    static constexpr int kSelectedImageRole = Qt::UserRole + 2; // int: selected image index
    static constexpr int kRootNumberRole = Qt::UserRole + 3;    // int on root-key nodes
    static constexpr int kValueIndexRole = Qt::UserRole + 4;    // int on value rows: model index
    static constexpr int kValuesRole = Qt::UserRole + 5;        // QList<int> on key nodes

    TRegistryTree(QTreeWidget* tvRegistry, QTreeWidget* lvRegistry, const QList<QIcon>& images,
                  QObject* parent = nullptr);
    ~TRegistryTree() override;

    // Builds the tree from the model's registry values, in model order. The model is copied,
    // so the setup may be freed before Clear. Throws only when memory runs out, leaving both
    // controls empty.
    void Fill(const TCESetupBase& setup);
    // Empties both controls and forgets the root nodes.
    void Clear();

    // The key path of a node: captions from its root key down, each followed by "\".
    [[nodiscard]] std::string RegistryNodePath(const QTreeWidgetItem* node) const;
    // The node whose key path equals path ignoring ASCII case, or null; path ends in "\".
    [[nodiscard]] QTreeWidgetItem* FindRegistryNode(const std::string& path);
    // The node for the key path (root name first), created with any missing ancestors.
    QTreeWidgetItem* AddRegistryKey(const std::string& path);

    QTreeWidgetItem* FNodeRegistry = nullptr; // "Device Registry"
    QTreeWidgetItem* FNodeClassesRoot = nullptr;
    QTreeWidgetItem* FNodeCurrentUser = nullptr;
    QTreeWidgetItem* FNodeLocalMachine = nullptr;

    // Fills the value list for the node; "Device Registry" moves the selection to
    // HKEY_CURRENT_USER first.
    void tvRegistryChange(QTreeWidgetItem* node);
    // Clears allowCollapse for "Device Registry" only.
    void tvRegistryCollapsing(const QTreeWidgetItem* node, bool& allowCollapse);

  private:
    struct TRow {
        std::string Name;
        std::string Data;
        int DataType = 0;
    };

    void OnItemCollapsed(QTreeWidgetItem* node);
    void ForgetNodes();
    void RebuildIndex();
    QTreeWidgetItem* NewKeyNode(QTreeWidgetItem* parent, const std::string& caption);
    QTreeWidgetItem* RootKeyNode(int root);
    void FillValueList(const QTreeWidgetItem* node);

    QTreeWidget* tvRegistry;
    QTreeWidget* lvRegistry;
    QIcon FRootIcon;
    QIcon FKeyIcon; // normal and selected pictures in one icon
    QIcon FStringIcon;
    QIcon FNumberIcon;

    std::vector<TRow> FRows; // the model's registry values, in model order
    // Upper-cased key path -> first node with that path; rebuilt when the tree changes behind
    // our back (a cleared or removed row).
    std::unordered_map<std::string, QTreeWidgetItem*> FIndex;
    bool FIndexValid = true;
    bool FChanging = false;
};
