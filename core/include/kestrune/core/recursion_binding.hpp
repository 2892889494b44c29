// Binding the self-reference of a recursive body, and the contractiveness test.
//
// `recursive(builder)` compiles the builder's result around a Placeholder; binding
// turns that placeholder into a BackEdge to the definition the body becomes, and the
// body is accepted only when that back edge lies under a structural constructor.
#pragma once

#include <cstdint>
#include <vector>

#include "kestrune/core/schema_node.hpp"

namespace kestrune {

// A new tree in which every Placeholder `id` is BackEdge `target`. Only the body's
// own tree is rewritten: back edges are copied without visiting their definitions.
NodePtr substitute_placeholder(const SchemaNode& node, std::uint64_t id, std::uint64_t target);
SequenceShape substitute_placeholder_in_shape(const SequenceShape& shape, std::uint64_t id,
                                              std::uint64_t target);
std::vector<NodePtr> substitute_placeholder_in_members(const std::vector<NodePtr>& members, std::uint64_t id,
                                                       std::uint64_t target);

// Whether BackEdge `target` is reachable through Union, Intersection, Complement and
// Refinement alone while `guarded` is false. Sequence items, set elements, dict
// fields and rules, and object attributes guard everything below them.
bool occurs_unguarded(const SchemaNode& node, std::uint64_t target, bool guarded);
bool occurs_unguarded_in_shape(const SequenceShape& shape, std::uint64_t target, bool guarded);

}  // namespace kestrune
