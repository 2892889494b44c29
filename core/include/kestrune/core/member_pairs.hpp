// Pairs of members that prove an intersection empty (or a union everything).
#pragma once

#include <vector>

#include "kestrune/core/schema_node.hpp"

namespace kestrune {

// Some member is Complement(x) with x also a member. A complement of Any is passed
// over: Any is opaque to the decisions.
bool has_complement_pair(const std::vector<NodePtr>& members);

// Two members at different positions are disjoint by kind (are_kinds_disjoint).
bool has_disjoint_kinds(const std::vector<NodePtr>& members);

}  // namespace kestrune
