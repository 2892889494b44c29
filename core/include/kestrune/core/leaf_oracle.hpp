// What the decisions ask of the host.
//
// The core cannot resolve pool indexes: class relations, the order of two pooled
// constants and integer intervals are answered by the holder of the pool. Only a
// definite answer is ever relied on; undecided is always safe and proves nothing.
#pragma once

#include <cstdint>

#include "kestrune/core/schema_node.hpp"

namespace kestrune {

enum class LeafAnswer : std::uint8_t { No = 0, Yes = 1, Undecided = 2 };

// Greater means the first constant is greater than the second.
enum class ConstantOrder : std::int8_t { Less = -1, Equal = 0, Greater = 1, Undecided = 2 };

// Borrowed for one top-level decision. The three operations are the whole table of
// the interface, in this order; the core never destroys an oracle, so the
// destructor is not part of the table.
class LeafOracle {
public:
    // Whether every value of `lhs` is a value of `rhs`.
    virtual LeafAnswer is_leaf_subtype(const SchemaNode& lhs, const SchemaNode& rhs) = 0;
    // The order of constant `a` relative to constant `b`.
    virtual ConstantOrder compare_constants(std::uint64_t a, std::uint64_t b) = 0;
    // Whether no integer x has lower <= x (lower < x when strict) and x <= upper
    // (x < upper when strict).
    virtual LeafAnswer is_int_range_empty(std::uint64_t lower, bool lower_strict, std::uint64_t upper,
                                          bool upper_strict) = 0;

protected:
    LeafOracle() = default;
    LeafOracle(const LeafOracle&) = default;
    LeafOracle& operator=(const LeafOracle&) = default;
    ~LeafOracle() = default;
};

}  // namespace kestrune
