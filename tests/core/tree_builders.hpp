// Small helpers for building trees by hand in tests.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "kestrune/core/schema_node.hpp"
#include "kestrune/core/siphash.hpp"
#include "kestrune/core/structure.hpp"

namespace kestrune::testing {

// Move-only elements cannot go through an initializer_list.
template <class T, class... Items>
std::vector<T> list_of(Items&&... items) {
    std::vector<T> out;
    out.reserve(sizeof...(items));
    (out.push_back(std::forward<Items>(items)), ...);
    return out;
}

inline NodePtr leaf(NodeKind kind) { return make_leaf(kind); }

inline Field field(std::string name, NodePtr schema, bool required = true) {
    return Field{std::move(name), std::move(schema), required};
}

inline KeyRule rule(NodePtr key, NodePtr value) { return KeyRule{std::move(key), std::move(value)}; }

inline SequenceShape item(NodePtr node) { return SequenceShape::of_item(std::move(node)); }

inline Constraint bound(ConstraintKind kind, std::uint64_t operand) {
    return Constraint::with_operand(kind, operand);
}

inline std::uint64_t hash_of(const SchemaNode& node) {
    SipHash13 hasher;
    hash_node(node, hasher);
    return hasher.finish();
}

}  // namespace kestrune::testing
