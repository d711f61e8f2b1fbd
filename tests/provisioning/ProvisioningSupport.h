#pragma once
#include "provisioning/Meaning.h"
#include "provisioning/Provisioning.h"

#include <string>
#include <string_view>
#include <vector>

// One node as the tests compare it: its kind, depth and name.
struct NodeShape {
    provisioning::TNodeKind Kind;
    uint32_t Depth;
    std::string Name;
    bool operator==(const NodeShape&) const = default;
};

inline std::vector<NodeShape> Shapes(const provisioning::TProvisioningTree& tree) {
    std::vector<NodeShape> shapes;
    for (size_t i = 1; i < tree.Nodes.size(); ++i)
        shapes.push_back({tree.Nodes[i].Kind, tree.Nodes[i].Depth, tree.Nodes[i].Name});
    return shapes;
}

// The first node below the root with this kind and name.
inline const provisioning::TNode* FindNode(const provisioning::TProvisioningTree& tree,
                                           provisioning::TNodeKind kind, std::string_view name) {
    for (const provisioning::TNode& node : tree.Nodes)
        if (node.Kind == kind && node.Name == name) return &node;
    return nullptr;
}

inline size_t IndexOf(const provisioning::TProvisioningTree& tree,
                      const provisioning::TNode* node) {
    return static_cast<size_t>(node - tree.Nodes.data());
}

inline std::string Repeat(std::string_view piece, size_t times) {
    std::string text;
    text.reserve(piece.size() * times);
    for (size_t i = 0; i < times; ++i)
        text += piece;
    return text;
}

// Parents come before their children, depths step by one, and every subtree ends inside its
// parent's: what any front end walking the rows relies on.
inline bool WellFormed(const provisioning::TProvisioningTree& tree) {
    const auto& n = tree.Nodes;
    if (n.empty() || n[0].Parent != -1 || n[0].End != n.size()) return false;
    for (size_t i = 1; i < n.size(); ++i) {
        const auto parent = static_cast<size_t>(n[i].Parent);
        if (n[i].Parent < 0 || parent >= i || n[i].Depth != n[parent].Depth + 1) return false;
        if (n[i].End <= i || n[i].End > n[parent].End) return false;
    }
    return true;
}
