// Whether the set of a schema is provably empty.
//
// Sound and incomplete: empty only with a proof. Beside the verdict the node's atom
// mask is computed as far as the budget allows, so that an enclosing union,
// intersection or complement decides by bit operations.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "kestrune/core/atom_mask.hpp"
#include "kestrune/core/decision_context.hpp"
#include "kestrune/core/leaf_oracle.hpp"
#include "kestrune/core/schema_node.hpp"

namespace kestrune {

// `atoms.exact` agrees with atom_mask except below a call that found the budget spent.
struct Emptiness {
    bool empty = false;
    AtomMask atoms;
};

// The BackEdge targets the current path is inside of, innermost last. A target met
// again from inside itself contributes no value of its own (the least fixed point).
// Each top-level question starts with a fresh, empty trail.
using DefinitionTrail = std::vector<std::uint64_t>;

Emptiness decide_empty(const SchemaNode& node, LeafOracle& oracle, std::span<const NodePtr> definitions,
                       DefinitionTrail& trail, WorkBudget& budget);

// Whether no item sequence matches the shape.
bool decide_shape_empty(const SequenceShape& shape, LeafOracle& oracle, std::span<const NodePtr> definitions,
                        DefinitionTrail& trail, WorkBudget& budget);

// A whole top-level question with a fresh trail, as the inclusion decision asks it.
bool is_provably_empty(const SchemaNode& node, const DecisionContext& context);

}  // namespace kestrune
