// A LeafOracle whose answers a test scripts: pooled numbers it can order, and the
// leaf inclusions it will confirm. Everything else is undecided.
#pragma once

#include <cmath>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "kestrune/core/decision_context.hpp"
#include "kestrune/core/leaf_oracle.hpp"
#include "kestrune/core/structure.hpp"

namespace kestrune::testing {

class ScriptedOracle final : public LeafOracle {
public:
    // Pools a number and returns its index.
    std::uint64_t number(double value) {
        const std::uint64_t index = next_index_++;
        numbers_[index] = value;
        return index;
    }
    // Pools a constant that orders against nothing (a string among numbers).
    std::uint64_t unordered() { return next_index_++; }

    // is_leaf_subtype answers yes for exactly this pair (structurally).
    void confirm(NodePtr lhs, NodePtr rhs) { confirmed_.emplace_back(std::move(lhs), std::move(rhs)); }

    LeafAnswer is_leaf_subtype(const SchemaNode& lhs, const SchemaNode& rhs) override {
        ++leaf_calls;
        for (const auto& [left, right] : confirmed_) {
            if (equal_nodes(*left, lhs) && equal_nodes(*right, rhs)) return LeafAnswer::Yes;
        }
        return LeafAnswer::Undecided;
    }

    ConstantOrder compare_constants(std::uint64_t a, std::uint64_t b) override {
        ++compare_calls;
        const auto x = numbers_.find(a);
        const auto y = numbers_.find(b);
        if (x == numbers_.end() || y == numbers_.end()) return ConstantOrder::Undecided;
        if (x->second < y->second) return ConstantOrder::Less;
        if (x->second > y->second) return ConstantOrder::Greater;
        return ConstantOrder::Equal;
    }

    LeafAnswer is_int_range_empty(std::uint64_t lower, bool lower_strict, std::uint64_t upper,
                                  bool upper_strict) override {
        ++range_calls;
        const auto x = numbers_.find(lower);
        const auto y = numbers_.find(upper);
        if (x == numbers_.end() || y == numbers_.end()) return LeafAnswer::Undecided;
        const double low = lower_strict ? std::floor(x->second) + 1 : std::ceil(x->second);
        const double high = upper_strict ? std::ceil(y->second) - 1 : std::floor(y->second);
        return low > high ? LeafAnswer::Yes : LeafAnswer::No;
    }

    int leaf_calls = 0;
    int compare_calls = 0;
    int range_calls = 0;

private:
    std::uint64_t next_index_ = 100;  // far from the small indexes tests use for literals and classes
    std::map<std::uint64_t, double> numbers_;
    std::vector<std::pair<NodePtr, NodePtr>> confirmed_;
};

// One top-level decision's frame: an oracle, definitions and a fresh budget.
struct DecisionFixture {
    ScriptedOracle oracle;
    std::vector<NodePtr> definitions;
    WorkBudget budget;

    DecisionContext context() { return DecisionContext{oracle, definitions, budget}; }
};

}  // namespace kestrune::testing
