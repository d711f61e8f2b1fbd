#include "app/RegistryKeyModel.h"

#include "app/Images.h"
#include "app/TextConv.h"
#include "report/DisplayFormat.h"
#include "setup/SetupFuncs.h"

#include <cstring>

TRegistryKeyModel::TRegistryKeyModel(QObject* parent) : QAbstractItemModel(parent) {
    FKeyIcon.addPixmap(ImageListIcon(imgRegKey).pixmap(16, 16), QIcon::Normal);
    FKeyIcon.addPixmap(ImageListIcon(imgRegKeySelected).pixmap(16, 16), QIcon::Selected);
}

void TRegistryKeyModel::SetPages(TRegistryPages pages) {
    beginResetModel();
    try {
        FPages = std::move(pages);
        FCaptions.clear();
        FChildren.clear();
        FCaptions.reserve(FPages.Keys.Nodes.size());
        for (size_t node = 0; node < FPages.Keys.Nodes.size(); ++node)
            Index(node);
    } catch (...) {
        FPages = {};
        FCaptions.clear();
        FChildren.clear();
        endResetModel();
        throw;
    }
    endResetModel();
}

void TRegistryKeyModel::Clear() {
    beginResetModel();
    FPages = {};
    FCaptions.clear();
    FChildren.clear();
    endResetModel();
}

void TRegistryKeyModel::Index(size_t node) {
    const TTreeNode& at = FPages.Keys.Nodes[node];
    FCaptions.push_back(ToDisplay(at.Caption));
    if (at.Parent != kNoNode)
        FChildren.emplace(ChildKey(static_cast<int>(at.Parent), at.Caption),
                          static_cast<int>(node));
}

std::string TRegistryKeyModel::ChildKey(int parent, const std::string& caption) {
    std::string key(sizeof parent, '\0');
    std::memcpy(key.data(), &parent, sizeof parent);
    return key + UpperCaseAscii(caption);
}

int TRegistryKeyModel::Child(int parent, const std::string& caption) const {
    const auto found = FChildren.find(ChildKey(parent, caption));
    return found == FChildren.end() ? kNone : found->second;
}

int TRegistryKeyModel::RootNode(int root) const {
    if (FPages.Keys.Nodes.empty()) return kNone;
    return Child(kDeviceRegistry, RegistryRootName(root));
}

int TRegistryKeyModel::AddKey(const std::string& path) {
    if (FPages.Keys.Nodes.empty()) return kNone;
    int parent = kDeviceRegistry;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) {
            const std::string component = path.substr(start, end - start);
            int node = Child(parent, component);
            if (node == kNone) {
                const int row = rowCount(IndexOf(parent));
                beginInsertRows(IndexOf(parent), row, row);
                node = static_cast<int>(
                    FPages.Keys.Add(static_cast<size_t>(parent), component, TIconKind::Key));
                Index(static_cast<size_t>(node));
                endInsertRows();
            }
            parent = node;
        }
        start = end + 1;
    }
    return parent == kDeviceRegistry ? kNone : parent;
}

int TRegistryKeyModel::FindNode(const std::string& path) const {
    if (FPages.Keys.Nodes.empty()) return kNone;
    int node = kDeviceRegistry;
    size_t start = 0;
    while (start <= path.size() && node != kNone) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) node = Child(node, path.substr(start, end - start));
        start = end + 1;
    }
    return node == kDeviceRegistry ? kNone : node;
}

std::string TRegistryKeyModel::NodePath(int node) const {
    if (node < 0 || node >= NodeCount()) return {};
    return RegistryNodePath(FPages.Keys, static_cast<size_t>(node));
}

const std::vector<size_t>& TRegistryKeyModel::Values(int node) const {
    static const std::vector<size_t> none;
    if (node < 0 || node >= NodeCount()) return none;
    return FPages.Keys.Nodes[static_cast<size_t>(node)].Rows;
}

int TRegistryKeyModel::NodeOf(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) return kNone;
    return static_cast<int>(index.internalId());
}

QModelIndex TRegistryKeyModel::IndexOf(int node) const {
    if (node < 0 || node >= NodeCount()) return {};
    return createIndex(static_cast<int>(FPages.Keys.Nodes[static_cast<size_t>(node)].Row), 0,
                       static_cast<quintptr>(node));
}

QModelIndex TRegistryKeyModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) return {};
    const std::vector<size_t>* children = &FPages.Keys.TopLevel;
    if (parent.isValid()) {
        const int up = NodeOf(parent);
        if (up == kNone || parent.column() != 0) return {};
        children = &FPages.Keys.Nodes[static_cast<size_t>(up)].Children;
    }
    if (row >= static_cast<int>(children->size())) return {};
    return createIndex(row, 0, static_cast<quintptr>((*children)[static_cast<size_t>(row)]));
}

QModelIndex TRegistryKeyModel::parent(const QModelIndex& child) const {
    const int node = NodeOf(child);
    if (node == kNone) return {};
    const size_t up = FPages.Keys.Nodes[static_cast<size_t>(node)].Parent;
    return up == kNoNode ? QModelIndex() : IndexOf(static_cast<int>(up));
}

int TRegistryKeyModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return static_cast<int>(FPages.Keys.TopLevel.size());
    const int node = NodeOf(parent);
    if (node == kNone || parent.column() != 0) return 0;
    return static_cast<int>(FPages.Keys.Nodes[static_cast<size_t>(node)].Children.size());
}

int TRegistryKeyModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool TRegistryKeyModel::hasChildren(const QModelIndex& parent) const {
    return rowCount(parent) > 0;
}

QVariant TRegistryKeyModel::data(const QModelIndex& index, int role) const {
    const int node = NodeOf(index);
    if (node == kNone) return {};
    const bool registry = node == kDeviceRegistry;
    switch (role) {
    case Qt::DisplayRole:
        return FCaptions[static_cast<size_t>(node)];
    case Qt::ToolTipRole:
        // Deep keys are cut by the pane, so every key tells its whole path.
        if (registry) return {};
        return ToDisplay(ExcludeBackslash(NodePath(node)));
    case Qt::DecorationRole:
        return registry ? ImageListIcon(imgRegistry) : FKeyIcon;
    case kImageRole:
        return registry ? imgRegistry : imgRegKey;
    case kSelectedImageRole:
        return registry ? imgRegistry : imgRegKeySelected;
    default:
        return {};
    }
}

Qt::ItemFlags TRegistryKeyModel::flags(const QModelIndex& index) const {
    if (NodeOf(index) == kNone) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
