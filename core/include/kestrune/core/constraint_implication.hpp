// Whether one constraint list follows from another.
#pragma once

#include <vector>

#include "kestrune/core/leaf_oracle.hpp"
#include "kestrune/core/schema_node.hpp"

namespace kestrune {

// Every right constraint is equal to a left one or implied by one through an order
// of bounds (or of lengths) that the oracle proves; an empty right list follows
// from anything.
bool implies_constraints(const std::vector<Constraint>& rhs, const std::vector<Constraint>& lhs,
                         LeafOracle& oracle);

}  // namespace kestrune
