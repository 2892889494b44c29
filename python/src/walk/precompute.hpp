// The lookup tables a validator builds once, on its first check, and then shares
// read-only between threads. They hold no Python object: names and texts are
// copies, integers native values, and records and unions are keyed by the address
// of their `fields` or `members` storage, which never moves once the validator
// exists.
#pragma once

#include <Python.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "compiler/pattern_engine.hpp"
#include "walk/identity_map.hpp"
#include "walk/walk_value.hpp"
#include "kestrune/core/fxhash.hpp"

namespace kestrune::py {

struct ValidatorValue;

template <class Value>
using TextMap = std::unordered_map<std::string, Value, FxTextHash, std::equal_to<>>;

struct RecordIndex {
    TextMap<std::uint64_t> names;  // the last position of each name
    std::uint64_t required = 0;    // required fields, namesakes included
};

// The exactly-int constants that fit 64 bits and the exactly-str constants of a
// union of literals.
struct LiteralSets {
    std::unordered_set<std::int64_t, FxIntegerHash> ints;
    std::unordered_set<std::string, FxTextHash, std::equal_to<>> strs;
};

struct Precompute {
    IdentityMap<RecordIndex> field_index;
    IdentityMap<LiteralSets> literal_sets;
    TextMap<PatternPtr> pattern_cache;
};

// Runs no Python code (the only interpreter calls convert exact ints and strs) and
// cannot fail.
Precompute build_precompute(const ValidatorValue& validator);

enum class LiteralAnswer { Member, NotMember, NotApplicable };

// A union of literals' verdict by one set lookup, for exact ints and strs.
LiteralAnswer lookup_literal_union(const LiteralSets& sets, WalkValue value);

// The identity key of a node's fields or members storage.
template <class Vector>
std::uint64_t storage_identity(const Vector& vector) {
    return reinterpret_cast<std::uintptr_t>(vector.data());
}

}  // namespace kestrune::py
