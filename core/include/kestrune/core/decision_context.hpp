// What every nested call of one top-level decision shares.
#pragma once

#include <cstdint>
#include <span>

#include "kestrune/core/leaf_oracle.hpp"
#include "kestrune/core/schema_node.hpp"

namespace kestrune {

// Bounds one top-level decision: each call of decide_empty and decide_subtype costs
// one step. Once spent it stays spent, so every later call answers conservatively;
// running out can turn a true answer into false, never the other way. The two
// directions of an equivalence share one budget.
struct WorkBudget {
    static constexpr std::uint32_t kSteps = 1'000'000;

    std::uint32_t remaining = kSteps;

    // Spends one step; false (and nothing spent) when none is left.
    bool try_spend() {
        if (remaining == 0) return false;
        --remaining;
        return true;
    }
};

// Everything is borrowed from the top-level caller and outlives the decision.
// `definitions` is what BackEdge targets index.
struct DecisionContext {
    LeafOracle& oracle;
    std::span<const NodePtr> definitions;
    WorkBudget& budget;
};

// The definition a back edge names, or null when the target is out of range (or the
// slot is empty): such an edge proves nothing.
inline const SchemaNode* resolve_back_edge(std::span<const NodePtr> definitions, std::uint64_t target) {
    return target < definitions.size() ? definitions[target].get() : nullptr;
}

}  // namespace kestrune
