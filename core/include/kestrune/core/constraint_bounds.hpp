// Whether the bounds and lengths of a constraint list leave no value.
//
// Only what the oracle proves counts: bounds it cannot order keep the earlier one,
// and an undecided comparison proves nothing.
#pragma once

#include <vector>

#include "kestrune/core/leaf_oracle.hpp"
#include "kestrune/core/schema_node.hpp"

namespace kestrune {

// The constraints of the members that are themselves Refinements, taken together
// (refinements inside a member's base do not contribute).
bool are_member_bounds_unsat(const std::vector<NodePtr>& members, LeafOracle& oracle);

// The same over one refinement's own constraints; with `is_int` (an Int base) a
// non-empty interval is also asked whether it holds an integer.
bool is_refinement_unsat(const std::vector<Constraint>& constraints, LeafOracle& oracle, bool is_int);

}  // namespace kestrune
