// Opening and closing every record of a tree.
//
// An open record admits undeclared keys with any value (its one rule is Anything
// to Anything); a closed record admits only its declared keys (no rule). Mappings
// and objects are never opened or closed themselves, and back edges are not
// followed, so records reached only through a definition keep their rules.
#pragma once

#include <vector>

#include "kestrune/core/schema_node.hpp"

namespace kestrune {

// A new tree of the same structure; `open` true opens, false closes.
NodePtr set_open(const SchemaNode& node, bool open);
SequenceShape set_open_in_shape(const SequenceShape& shape, bool open);
std::vector<NodePtr> set_open_in_members(const std::vector<NodePtr>& members, bool open);
std::vector<Field> set_open_in_fields(const std::vector<Field>& fields, bool open);
std::vector<KeyRule> set_open_in_key_rules(const std::vector<KeyRule>& rules, bool open);

}  // namespace kestrune
