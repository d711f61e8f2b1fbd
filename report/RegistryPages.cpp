#include "report/RegistryPages.h"

#include "report/DisplayFormat.h"
#include "setup/CECAB.h"
#include "setup/SetupFuncs.h"

#include <functional>
#include <map>
#include <string_view>
#include <unordered_map>

namespace {

// A child of a node, found by its caption with ASCII case folded.
struct TChildKey {
    size_t Parent;
    std::string Folded;
    bool operator==(const TChildKey&) const = default;
};

struct TChildKeyHash {
    size_t operator()(const TChildKey& key) const {
        return std::hash<std::string>()(key.Folded) ^ (key.Parent * 0x9E3779B97F4A7C15ull);
    }
};

class TKeyTreeBuilder {
  public:
    explicit TKeyTreeBuilder(TTreePage& keys) : FKeys(keys) {
        FKeys.Add(kNoNode, "Device Registry", TIconKind::Registry);
        FKeys.Nodes[kRegistryNodeDevice].Expanded = true;
        for (int32_t root = kRootClassesRoot; root <= kRootLocalMachine; ++root)
            RootNode(root);
    }

    // The node of a root number, made on first use under "Device Registry".
    size_t RootNode(int32_t root) {
        const auto found = FRoots.find(root);
        if (found != FRoots.end()) return found->second;
        const size_t node = Child(kRegistryNodeDevice, RegistryRootName(root));
        FRoots.emplace(root, node);
        return node;
    }

    // The node of a key path below a root node; components are split at "\" and empty ones
    // dropped, so a leading, trailing or doubled backslash changes nothing.
    size_t KeyNode(size_t node, std::string_view path) {
        size_t start = 0;
        while (start <= path.size()) {
            size_t end = path.find('\\', start);
            if (end == std::string_view::npos) end = path.size();
            if (end > start) node = Child(node, std::string(path.substr(start, end - start)));
            start = end + 1;
        }
        return node;
    }

  private:
    size_t Child(size_t parent, std::string caption) {
        TChildKey key{parent, UpperCaseAscii(caption)};
        const auto found = FChildren.find(key);
        if (found != FChildren.end()) return found->second;
        const size_t node = FKeys.Add(parent, std::move(caption), TIconKind::Key);
        FChildren.emplace(std::move(key), node);
        return node;
    }

    TTreePage& FKeys;
    std::unordered_map<TChildKey, size_t, TChildKeyHash> FChildren;
    std::map<int32_t, size_t> FRoots;
};

TRecord RegValueRecord(const TCEINFRegValue& value) {
    TRecord record;
    record.reserve(6);
    VisitRegValueRecord(value, TRecordFields{record});
    return record;
}

} // namespace

TRegistryPages BuildRegistryPages(const TCESetupBase& setup) {
    TRegistryPages pages;
    pages.Keys.Caption = "Device Registry Entries";
    pages.Values.Caption = "Device Registry Entries";
    pages.Values.Columns = {{"Key", 0, TAlign::Left, false},
                            {"Value Name", 120, TAlign::Left, true},
                            {"Type", 70, TAlign::Center, true},
                            {"Value", 200, TAlign::Left, true}};
    TKeyTreeBuilder builder(pages.Keys);
    // The table rather than GetRegEntry: the accessor narrows root and type to one byte, which
    // would file root 256 under HKEY_CLASSES_ROOT.
    pages.Values.Rows.reserve(setup.RegValues.size());
    for (size_t i = 0; i < setup.RegValues.size(); ++i) {
        const TCEINFRegValue& value = setup.RegValues[i];
        const size_t node = builder.KeyNode(builder.RootNode(value.Root), value.KeyPath);
        pages.Keys.Nodes[node].Rows.push_back(pages.Values.Rows.size());

        std::string key = RegistryRootName(value.Root);
        if (!value.KeyPath.empty()) key += "\\" + ExcludeBackslash(value.KeyPath);
        const bool text = value.DataType == kTypeString || value.DataType == kTypeMultiString;
        TRow& row = pages.Values.Rows.emplace_back();
        row.Source = i;
        row.Node = node;
        row.Cells.reserve(4);
        row.Cells.push_back(TextCell(std::move(key)));
        row.Cells.push_back(TextCell(value.Name.empty() ? "(Default)" : value.Name, TAlign::Left,
                                     text ? TIconKind::StringValue : TIconKind::NumberValue));
        row.Cells.push_back(TextCell(RegistryTypeName(value.DataType), TAlign::Center));
        row.Cells.push_back(TextCell(value.Data));
        row.Record = RegValueRecord(value);
    }
    return pages;
}

std::string RegistryNodePath(const TTreePage& keys, size_t node) {
    std::vector<size_t> chain;
    for (size_t at = node; at != kNoNode && at != kRegistryNodeDevice && at < keys.Nodes.size();
         at = keys.Nodes[at].Parent)
        chain.push_back(at);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        path += keys.Nodes[*it].Caption + "\\";
    return path;
}
