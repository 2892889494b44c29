// The decisions' questions about leaves, answered with the Python classes and
// constants a pool holds.
#pragma once

#include <Python.h>

#include <vector>

#include "compiler/constants_pool.hpp"
#include "kestrune/core/leaf_oracle.hpp"
#include "kestrune/core/schema_node.hpp"

namespace kestrune::py {

// Borrows the pool and its definitions for one decision. User code runs inside
// every operation (subclass hooks, comparisons, floor and ceiling); each exception
// it raises, fatal ones included, only costs the decision a proof.
class PoolOracle final : public LeafOracle {
public:
    PoolOracle(const ConstantsPool& constants, const std::vector<NodePtr>& definitions)
        : constants_(constants), definitions_(definitions) {}

    LeafAnswer is_leaf_subtype(const SchemaNode& lhs, const SchemaNode& rhs) override;
    ConstantOrder compare_constants(std::uint64_t a, std::uint64_t b) override;
    LeafAnswer is_int_range_empty(std::uint64_t lower, bool lower_strict, std::uint64_t upper,
                                  bool upper_strict) override;

private:
    const ConstantsPool& constants_;
    const std::vector<NodePtr>& definitions_;
};

}  // namespace kestrune::py
