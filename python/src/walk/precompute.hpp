// The lookup tables a validator builds once, on its first check, and then shares
// read-only between threads. They hold no Python object but the field names of
// `field_names` (immutable strs, below): other names and texts are copies,
// integers native values, and records and unions are keyed by the address of
// their `fields` or `members` storage, which never moves once the validator
// exists.
#pragma once

#include <Python.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "compiler/pattern_engine.hpp"
#include "walk/field_test.hpp"
#include "walk/identity_map.hpp"
#include "walk/json_field_test.hpp"
#include "walk/walk_value.hpp"
#include "kestrune/core/fxhash.hpp"
#include "kestrune/core/schema_node.hpp"
#include "support/py_ref.hpp"
#include "support/utf8_text.hpp"

namespace kestrune::py {

struct ValidatorValue;

template <class Value>
using TextMap = std::unordered_map<std::string, Value, FxTextHash, std::equal_to<>>;

struct RecordIndex {
    TextMap<std::uint64_t> names;  // the last position of each name
    std::uint64_t required = 0;    // required fields, namesakes included
    std::vector<JsonFieldTest> json_tests;  // by position
    std::vector<FieldTest> tests;           // by position, for Python values
};

// The exactly-int constants that fit 64 bits and the exactly-str constants of a
// union of literals.
struct LiteralSets {
    std::unordered_set<std::int64_t, FxIntegerHash> ints;
    std::unordered_set<std::string, FxTextHash, std::equal_to<>> strs;
};

// Whether a recursive validator's walks may meet one value with one definition
// twice: answering ones when two parts of a node can both walk into the same value
// (union members that admit the same kind of value, intersection members, namesake
// fields, several key rules); collecting ones also when explaining a failure walks
// again what deciding it walked (a union's members, a record's fields).
struct WalkRevisits {
    bool answering = false;
    bool collecting = false;
};

struct FieldTable {
    std::vector<PyRef> names;
    std::vector<FieldTest> tests;  // by position, for an object class's fields only
};

struct Precompute {
    IdentityMap<RecordIndex> field_index;
    IdentityMap<LiteralSets> literal_sets;
    TextMap<PatternPtr> pattern_cache;
    // The field names of every record and object class as str objects, by position:
    // the one table that holds Python objects. A name made afresh for each check
    // costs a conversion and a hash, and an attribute fetched by it misses the
    // type's attribute cache and the instance dict's identity test. The strs are
    // made, or for an object class taken from the interned strs the class already
    // holds (which instance dicts find by identity; nothing new is interned),
    // without running Python code; they are immutable, held by the validator
    // through this table and released with it (attached, like every release);
    // checks on any thread only borrow them. A record or class whose names could
    // not be made has no entry, and its checks make them as they go.
    IdentityMap<FieldTable> field_names;
    // Which walks may expand one definition for one value more than once; only those
    // keep a memo of finished walks (walk_memo.hpp).
    WalkRevisits revisits;
};

// Runs no Python code (the interpreter calls convert exact ints and strs, and read
// the namespaces of object classes) and cannot fail.
Precompute build_precompute(const ValidatorValue& validator);

enum class LiteralAnswer { Member, NotMember, NotApplicable };

// A union of literals' verdict by one set lookup, for exact ints and strs.
LiteralAnswer lookup_literal_union(const LiteralSets& sets, WalkValue value);

// The identity key of a node's fields or members storage.
template <class Vector>
std::uint64_t storage_identity(const Vector& vector) {
    return reinterpret_cast<std::uintptr_t>(vector.data());
}

// The names of one record's or class's fields as str objects, for one visit: the
// validator's own, or (when the table has none) each made as it is asked for.
class FieldNameObjects {
public:
    FieldNameObjects(const Precompute& tables, const std::vector<Field>& fields)
        : fields_(fields), names_(tables.field_names.find(storage_identity(fields))) {}

    // Borrowed until the next call; null with an exception set when it cannot be made.
    PyObject* at(std::size_t position) {
        if (names_ != nullptr) return names_->names[position].get();
        made_ = new_str(fields_[position].name);
        return made_.get();
    }

    // The settled tests of an object class's fields, by position; null when there
    // are none.
    const FieldTest* tests() const {
        return names_ != nullptr && !names_->tests.empty() ? names_->tests.data() : nullptr;
    }

private:
    const std::vector<Field>& fields_;
    const FieldTable* names_;
    PyRef made_;
};

}  // namespace kestrune::py
