// Rewriting a schema into an equivalent, simpler one by the lattice laws.
//
// Unions and intersections come out flattened, sorted and deduplicated with their
// identities and absorbing elements applied, complements in negation-normal form,
// and chains of refinements merged into one sorted, deduplicated constraint list.
// The rewrite is purely structural: no oracle, no budget, back edges are opaque
// leaves and pool indexes are never resolved.
#pragma once

#include <vector>

#include "kestrune/core/schema_node.hpp"

namespace kestrune {

// A new tree; the input is untouched.
NodePtr simplify_node(const SchemaNode& node);
SequenceShape simplify_shape(const SequenceShape& shape);

// The members are already simplified and taken over.
NodePtr normalize_union(std::vector<NodePtr> members);
NodePtr normalize_intersection(std::vector<NodePtr> members);

// The complement of an already simplified node, pushed inward (De Morgan).
NodePtr push_complement(NodePtr node);
std::vector<NodePtr> push_complement_members(std::vector<NodePtr> members);

}  // namespace kestrune
