// Structural equality, total order, hash feed and deep copies of schema trees.
//
// Trees are seen exactly as built: nothing is normalised, indexes are compared as
// numbers and never resolved, and the order of every array counts.
#pragma once

#include <compare>
#include <vector>

#include "kestrune/core/schema_node.hpp"
#include "kestrune/core/siphash.hpp"

namespace kestrune {

bool equal_nodes(const SchemaNode& a, const SchemaNode& b);
bool equal_shapes(const SequenceShape& a, const SequenceShape& b);
bool equal_constraint(const Constraint& a, const Constraint& b);
bool equal_constraint_lists(const std::vector<Constraint>& a, const std::vector<Constraint>& b);

// Kind number first, then the payload in declaration order; equal exactly when
// equal_nodes is true.
std::strong_ordering compare_nodes(const SchemaNode& a, const SchemaNode& b);
std::strong_ordering compare_shapes(const SequenceShape& a, const SequenceShape& b);
std::strong_ordering compare_field_lists(const std::vector<Field>& a, const std::vector<Field>& b);
std::strong_ordering compare_key_rule_lists(const std::vector<KeyRule>& a, const std::vector<KeyRule>& b);
std::strong_ordering compare_constraint(const Constraint& a, const Constraint& b);
std::strong_ordering compare_constraint_lists(const std::vector<Constraint>& a,
                                              const std::vector<Constraint>& b);

// Integers as 8 little-endian bytes, booleans as one byte, texts as their bytes
// followed by 0xff; parts are handed to the hasher as they are produced.
void hash_node(const SchemaNode& node, SipHash13& hasher);
void hash_shape(const SequenceShape& shape, SipHash13& hasher);

// Deep copies that share no storage with their source.
NodePtr clone_node(const SchemaNode& node);
NodePtr clone_boxed_node(const NodePtr& node);  // null stays null
std::vector<NodePtr> clone_nodes(const std::vector<NodePtr>& nodes);
SequenceShape clone_shape(const SequenceShape& shape);
ShapePtr clone_boxed_shape(const ShapePtr& shape);  // null stays null
std::vector<SequenceShape> clone_shapes(const std::vector<SequenceShape>& shapes);
std::vector<Field> clone_fields(const std::vector<Field>& fields);
std::vector<Constraint> clone_constraints(const std::vector<Constraint>& constraints);

}  // namespace kestrune
