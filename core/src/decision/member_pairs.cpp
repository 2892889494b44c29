#include "kestrune/core/member_pairs.hpp"

#include <algorithm>

#include "kestrune/core/kind_class.hpp"
#include "kestrune/core/structure.hpp"

namespace kestrune {

bool has_complement_pair(const std::vector<NodePtr>& members) {
    for (const NodePtr& member : members) {
        if (!member || member->kind != NodeKind::Complement) continue;
        const SchemaNode* child = member->child.get();
        if (!child || child->kind == NodeKind::Any) continue;
        const bool paired = std::any_of(members.begin(), members.end(), [&](const NodePtr& other) {
            return other && equal_nodes(*child, *other);
        });
        if (paired) return true;
    }
    return false;
}

bool has_disjoint_kinds(const std::vector<NodePtr>& members) {
    DisjointPairFinder finder;
    for (const NodePtr& member : members) {
        if (member) finder.add(*member);
    }
    return finder.found();
}

}  // namespace kestrune
