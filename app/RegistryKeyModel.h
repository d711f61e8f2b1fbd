#pragma once
// The key tree of the "Registry" page as an item model over the report's key tree: "Device
// Registry", below it the root keys, below those every key of a value's path. Nothing here walks
// the tree, so a key many thousand levels deep costs no more than as many siblings.
#include "report/RegistryPages.h"

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

    static constexpr int kNone = -1;
    static constexpr int kDeviceRegistry = 0; // the node "Device Registry"

    explicit TRegistryKeyModel(QObject* parent = nullptr);

    // Shows the key tree of the pages; the values of each key are the value rows its node lists.
    void SetPages(TRegistryPages pages);
    void Clear();
    [[nodiscard]] const TRegistryPages& Pages() const { return FPages; }

    // The node for the key path (root name first), created with any missing ancestors; empty
    // components are dropped. kNone when the model is empty.
    int AddKey(const std::string& path);
    // The node whose key path equals path ignoring ASCII case, or kNone.
    [[nodiscard]] int FindNode(const std::string& path) const;
    // Captions from the root key down to the node, each followed by "\"; the bytes as held.
    [[nodiscard]] std::string NodePath(int node) const;
    // The node of a root number (0 to 2, or any other number read from a descriptor).
    [[nodiscard]] int RootNode(int root) const;
    // The rows of the values page that the node lists.
    [[nodiscard]] const std::vector<size_t>& Values(int node) const;

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
    void Index(size_t node);
    [[nodiscard]] int Child(int parent, const std::string& caption) const;
    [[nodiscard]] static std::string ChildKey(int parent, const std::string& caption);
    [[nodiscard]] int NodeCount() const { return static_cast<int>(FPages.Keys.Nodes.size()); }

    TRegistryPages FPages;
    std::vector<QString> FCaptions; // per node, as shown
    // Parent node and upper-cased caption -> the first child so captioned, for lookups by path.
    std::unordered_map<std::string, int> FChildren;
    QIcon FKeyIcon; // normal and selected pictures in one icon
};
