// Normal forms of unions, intersections and complements.
#include <algorithm>
#include <compare>

#include "kestrune/core/atom_mask.hpp"
#include "kestrune/core/kind_class.hpp"
#include "kestrune/core/member_pairs.hpp"
#include "kestrune/core/native_stack.hpp"
#include "kestrune/core/simplify.hpp"
#include "kestrune/core/structure.hpp"
#include "member_gathering.hpp"

namespace kestrune {

namespace detail {

MemberGathering::MemberGathering(NodeKind lattice_kind)
    : kind_(lattice_kind),
      identity_(lattice_kind == NodeKind::Union ? NodeKind::Nothing : NodeKind::Anything),
      absorbing_(lattice_kind == NodeKind::Union ? NodeKind::Anything : NodeKind::Nothing) {}

bool MemberGathering::add(NodePtr member) {
    if (absorbed_) return false;
    if (member && member->kind == identity_) return true;
    if (member && member->kind == absorbing_) {
        absorbed_ = true;
        members_.clear();
        return false;
    }
    if (member && member->kind == kind_) {
        for (NodePtr& inner : member->members) members_.push_back(std::move(inner));
        return true;
    }
    members_.push_back(std::move(member));
    return true;
}

NodePtr MemberGathering::finish() && {
    if (absorbed_) return make_leaf(absorbing_);
    return kind_ == NodeKind::Union ? normalize_union(std::move(members_))
                                    : normalize_intersection(std::move(members_));
}

}  // namespace detail

namespace {

// A hole in a hand-built tree orders before every node and equals only a hole.
std::strong_ordering compare_members(const NodePtr& a, const NodePtr& b) {
    if (a && b) return compare_nodes(*a, *b);
    return (a != nullptr) <=> (b != nullptr);
}

void sort_and_deduplicate(std::vector<NodePtr>& members) {
    std::stable_sort(members.begin(), members.end(),
                     [](const NodePtr& a, const NodePtr& b) { return compare_members(a, b) < 0; });
    const auto last = std::unique(members.begin(), members.end(),
                                  [](const NodePtr& a, const NodePtr& b) { return compare_members(a, b) == 0; });
    members.erase(last, members.end());
}

// The classes of the exact members together; the others contribute nothing.
std::uint8_t exact_classes_together(const std::vector<NodePtr>& members) {
    std::uint8_t classes = 0;
    for (const NodePtr& member : members) {
        if (!member) continue;
        const AtomMask mask = atom_mask(*member);
        if (mask.exact) classes |= mask.classes;
    }
    return classes;
}

// The classes every member may hold; a member that is not exact may hold any.
std::uint8_t classes_in_common(const std::vector<NodePtr>& members) {
    std::uint8_t classes = atom_class::kAll;
    for (const NodePtr& member : members) {
        const AtomMask mask = member ? atom_mask(*member) : AtomMask{};
        if (mask.exact) classes &= mask.classes;
    }
    return classes;
}

// The complements of two sets that share no value cover everything.
bool has_disjoint_complemented_children(const std::vector<NodePtr>& members) {
    DisjointPairFinder finder;
    for (const NodePtr& member : members) {
        if (member && member->kind == NodeKind::Complement && member->child) finder.add(*member->child);
    }
    return finder.found();
}

NodePtr lattice_node(NodeKind kind, std::vector<NodePtr> members) {
    if (members.size() == 1) return std::move(members.front());
    return kind == NodeKind::Union ? make_union(std::move(members)) : make_intersection(std::move(members));
}

NodePtr push_complement_here(NodePtr node) {
    switch (node->kind) {
        case NodeKind::Anything: return make_leaf(NodeKind::Nothing);
        case NodeKind::Nothing: return make_leaf(NodeKind::Anything);
        case NodeKind::Complement:
            if (!node->child) break;
            return std::move(node->child);
        case NodeKind::Union:
        case NodeKind::Intersection: {
            detail::MemberGathering gathering(node->kind == NodeKind::Union ? NodeKind::Intersection
                                                                            : NodeKind::Union);
            for (NodePtr& member : push_complement_members(std::move(node->members))) {
                if (!gathering.add(std::move(member))) break;
            }
            return std::move(gathering).finish();
        }
        default: break;
    }
    return make_complement(std::move(node));
}

}  // namespace

NodePtr normalize_union(std::vector<NodePtr> members) {
    sort_and_deduplicate(members);
    if (members.empty()) return make_leaf(NodeKind::Nothing);
    if (has_complement_pair(members) || exact_classes_together(members) == atom_class::kAll ||
        has_disjoint_complemented_children(members)) {
        return make_leaf(NodeKind::Anything);
    }
    return lattice_node(NodeKind::Union, std::move(members));
}

NodePtr normalize_intersection(std::vector<NodePtr> members) {
    sort_and_deduplicate(members);
    if (members.empty()) return make_leaf(NodeKind::Anything);
    if (has_complement_pair(members) || has_disjoint_kinds(members) || classes_in_common(members) == 0) {
        return make_leaf(NodeKind::Nothing);
    }
    return lattice_node(NodeKind::Intersection, std::move(members));
}

NodePtr push_complement(NodePtr node) {
    if (!node) return make_complement(nullptr);
    return with_native_stack([&] { return push_complement_here(std::move(node)); });
}

std::vector<NodePtr> push_complement_members(std::vector<NodePtr> members) {
    for (NodePtr& member : members) {
        if (member) member = push_complement(std::move(member));
    }
    return members;
}

}  // namespace kestrune
