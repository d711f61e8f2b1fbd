#pragma once
// The "Registry" page: the key tree built from the model's flat list of registry values, and
// every value as a row listed under its key's node.
#include "report/Page.h"
#include "setup/CABData.h"

#include <cstdint>
#include <string>

class TCESetupBase;

// Node indices of the key tree.
inline constexpr size_t kRegistryNodeDevice = 0; // "Device Registry"
inline constexpr size_t kRegistryNodeClassesRoot = 1;
inline constexpr size_t kRegistryNodeCurrentUser = 2; // selected when the page opens
inline constexpr size_t kRegistryNodeLocalMachine = 3;

struct TRegistryPages {
    // "Device Registry" (expanded) with HKEY_CLASSES_ROOT, HKEY_CURRENT_USER and
    // HKEY_LOCAL_MACHINE, then every key in the order its first value names it. A root number
    // other than 0 to 2 gets a further root node "(Unknown root N)". Key paths equal but for
    // ASCII case share one node, which keeps the case of its first appearance.
    TTreePage Keys;
    // "Device Registry Entries": every value in model order, each listed under its key's node.
    // Columns "Key" (reports only), "Value Name", "Type", "Value". Records: Id, Root, KeyPath,
    // DataType, Name, Data.
    TPage Values;
};

// A value's record, the one its row on the page carries and the JSON writes: field(name, value)
// for each member in order, value an int64_t or the model's own text. Visited rather than built,
// so that a writer of many thousands of values makes no record per value.
template <class TField> void VisitRegValueRecord(const TCEINFRegValue& value, TField&& field) {
    field("Id", static_cast<int64_t>(value.Id));
    field("Root", static_cast<int64_t>(value.Root));
    field("KeyPath", value.KeyPath);
    field("DataType", static_cast<int64_t>(value.DataType));
    field("Name", value.Name);
    field("Data", value.Data);
}

// Built in one pass, in time linear in the length of all key paths, however deep the keys.
[[nodiscard]] TRegistryPages BuildRegistryPages(const TCESetupBase& setup);

// The key path of a node: captions from its root key down, each followed by "\"; empty for
// "Device Registry". Walks the node's ancestors, so it is meant for one node at a time.
[[nodiscard]] std::string RegistryNodePath(const TTreePage& keys, size_t node);
