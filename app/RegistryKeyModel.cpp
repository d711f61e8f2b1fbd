#include "app/RegistryKeyModel.h"

#include "app/DisplayFormat.h"
#include "app/Images.h"
#include "app/TextConv.h"
#include "setup/CECAB.h"
#include "setup/SetupFuncs.h"

#include <cstring>

TRegistryKeyModel::TRegistryKeyModel(QObject* parent) : QAbstractItemModel(parent) {
    FKeyIcon.addPixmap(ImageListIcon(imgRegKey).pixmap(16, 16), QIcon::Normal);
    FKeyIcon.addPixmap(ImageListIcon(imgRegKeySelected).pixmap(16, 16), QIcon::Selected);
}

void TRegistryKeyModel::Build(const TCESetupBase& setup) {
    beginResetModel();
    FBuilding = true;
    try {
        FNodes.clear();
        FChildren.clear();
        FNodes.push_back({"Device Registry", QStringLiteral("Device Registry")});
        for (const int root : {kRootClassesRoot, kRootCurrentUser, kRootLocalMachine})
            EnsureRoot(root);
        // The table rather than GetRegEntry: the accessor narrows root and type to one byte,
        // which would file root 256 under HKEY_CLASSES_ROOT.
        for (size_t i = 0; i < setup.RegValues.size(); ++i) {
            const TCEINFRegValue& value = setup.RegValues[i];
            EnsureRoot(value.Root);
            const int node =
                AddKey(RegistryRootName(value.Root) + "\\" + ExcludeBackslash(value.KeyPath));
            FNodes[static_cast<size_t>(node)].Values.push_back(static_cast<int>(i));
        }
    } catch (...) {
        FNodes.clear();
        FChildren.clear();
        FBuilding = false;
        endResetModel();
        throw;
    }
    FBuilding = false;
    endResetModel();
}

void TRegistryKeyModel::Clear() {
    beginResetModel();
    FNodes.clear();
    FChildren.clear();
    endResetModel();
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

int TRegistryKeyModel::NewNode(int parent, const std::string& caption) {
    const int node = static_cast<int>(FNodes.size());
    TNode& up = FNodes[static_cast<size_t>(parent)];
    const int row = static_cast<int>(up.Children.size());
    if (!FBuilding) beginInsertRows(IndexOf(parent), row, row);
    FNodes.push_back({caption, ToDisplay(caption), parent, row});
    FNodes[static_cast<size_t>(parent)].Children.push_back(node);
    FChildren.emplace(ChildKey(parent, caption), node);
    if (!FBuilding) endInsertRows();
    return node;
}

int TRegistryKeyModel::EnsureRoot(int root) {
    const std::string caption = RegistryRootName(root);
    int node = Child(kDeviceRegistry, caption);
    if (node != kNone) return node;
    node = NewNode(kDeviceRegistry, caption);
    FNodes[static_cast<size_t>(node)].IsRoot = true;
    FNodes[static_cast<size_t>(node)].Root = root;
    return node;
}

int TRegistryKeyModel::RootNode(int root) const {
    if (FNodes.empty()) return kNone;
    return Child(kDeviceRegistry, RegistryRootName(root));
}

int TRegistryKeyModel::AddKey(const std::string& path) {
    if (FNodes.empty()) return kNone;
    int parent = kDeviceRegistry;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) {
            const std::string component = path.substr(start, end - start);
            const int node = Child(parent, component);
            parent = node != kNone ? node : NewNode(parent, component);
        }
        start = end + 1;
    }
    return parent == kDeviceRegistry ? kNone : parent;
}

int TRegistryKeyModel::FindNode(const std::string& path) const {
    if (FNodes.empty()) return kNone;
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
    std::vector<const std::string*> captions;
    for (int at = node; at > kDeviceRegistry && at < static_cast<int>(FNodes.size());
         at = FNodes[static_cast<size_t>(at)].Parent)
        captions.push_back(&FNodes[static_cast<size_t>(at)].Raw);
    std::string path;
    for (auto it = captions.rbegin(); it != captions.rend(); ++it)
        path += **it + "\\";
    return path;
}

const std::vector<int>& TRegistryKeyModel::Values(int node) const {
    static const std::vector<int> none;
    if (node < 0 || node >= static_cast<int>(FNodes.size())) return none;
    return FNodes[static_cast<size_t>(node)].Values;
}

int TRegistryKeyModel::NodeOf(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) return kNone;
    return static_cast<int>(index.internalId());
}

QModelIndex TRegistryKeyModel::IndexOf(int node) const {
    if (node < 0 || node >= static_cast<int>(FNodes.size())) return {};
    return createIndex(FNodes[static_cast<size_t>(node)].Row, 0, static_cast<quintptr>(node));
}

QModelIndex TRegistryKeyModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0 || FNodes.empty()) return {};
    if (!parent.isValid()) return row == 0 ? IndexOf(kDeviceRegistry) : QModelIndex();
    const int up = NodeOf(parent);
    if (up == kNone || parent.column() != 0) return {};
    const std::vector<int>& children = FNodes[static_cast<size_t>(up)].Children;
    if (row >= static_cast<int>(children.size())) return {};
    return createIndex(row, 0, static_cast<quintptr>(children[static_cast<size_t>(row)]));
}

QModelIndex TRegistryKeyModel::parent(const QModelIndex& child) const {
    const int node = NodeOf(child);
    if (node == kNone) return {};
    return IndexOf(FNodes[static_cast<size_t>(node)].Parent);
}

int TRegistryKeyModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return FNodes.empty() ? 0 : 1;
    const int node = NodeOf(parent);
    if (node == kNone || parent.column() != 0) return 0;
    return static_cast<int>(FNodes[static_cast<size_t>(node)].Children.size());
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
    const TNode& at = FNodes[static_cast<size_t>(node)];
    const bool registry = node == kDeviceRegistry;
    switch (role) {
    case Qt::DisplayRole:
        return at.Caption;
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
    case kRootNumberRole:
        return at.IsRoot ? QVariant(at.Root) : QVariant();
    default:
        return {};
    }
}

Qt::ItemFlags TRegistryKeyModel::flags(const QModelIndex& index) const {
    if (NodeOf(index) == kNone) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
