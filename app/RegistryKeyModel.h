#pragma once
// The key tree of the "Registry" page as an item model: "Device Registry", below it the root
// keys, below those every key of a value's path. Built once from the model's registry values in
// time linear in the total length of their key paths; no step walks the tree, so a key many
// thousand levels deep costs no more than as many siblings.
#include <QAbstractItemModel>
#include <QIcon>

#include <string>
#include <unordered_map>
#include <vector>

class TCESetupBase;

class TRegistryKeyModel : public QAbstractItemModel {
  public:
    static constexpr int kImageRole = Qt::UserRole + 1;         // int: image index
    static constexpr int kSelectedImageRole = Qt::UserRole + 2; // int: selected image index
    static constexpr int kRootNumberRole = Qt::UserRole + 3;    // int on root-key nodes

    static constexpr int kNone = -1;
    static constexpr int kDeviceRegistry = 0; // the node "Device Registry"

    explicit TRegistryKeyModel(QObject* parent = nullptr);

    // Builds the tree from the setup's registry values, in model order; the values of each key
    // are kept with its node.
    void Build(const TCESetupBase& setup);
    void Clear();

    // The node for the key path (root name first), created with any missing ancestors; empty
    // components are dropped. kNone when the model is empty.
    int AddKey(const std::string& path);
    // The node whose key path equals path ignoring ASCII case, or kNone.
    [[nodiscard]] int FindNode(const std::string& path) const;
    // Captions from the root key down to the node, each followed by "\"; the bytes as held.
    [[nodiscard]] std::string NodePath(int node) const;
    // The node of a root number (0 to 2, or any other number read from a descriptor).
    [[nodiscard]] int RootNode(int root) const;
    [[nodiscard]] const std::vector<int>& Values(int node) const;

    [[nodiscard]] int NodeOf(const QModelIndex& index) const;
    [[nodiscard]] QModelIndex IndexOf(int node) const;

    [[nodiscard]] QModelIndex index(int row, int column,
                                    const QModelIndex& parent = {}) const override;
    [[nodiscard]] QModelIndex parent(const QModelIndex& child) const override;
    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] bool hasChildren(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    struct TNode {
        std::string Raw; // caption bytes as the model held them
        QString Caption;
        int Parent = kNone;
        int Row = 0;
        bool IsRoot = false;
        int Root = 0; // root number on root-key nodes
        std::vector<int> Children;
        std::vector<int> Values;
    };

    int NewNode(int parent, const std::string& caption);
    int EnsureRoot(int root);
    [[nodiscard]] int Child(int parent, const std::string& caption) const;
    [[nodiscard]] static std::string ChildKey(int parent, const std::string& caption);

    std::vector<TNode> FNodes;
    // Parent node and upper-cased caption -> the first child so captioned.
    std::unordered_map<std::string, int> FChildren;
    bool FBuilding = false;
    QIcon FKeyIcon; // normal and selected pictures in one icon
};
