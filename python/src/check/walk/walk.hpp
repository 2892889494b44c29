// The validation walk: whether a value is a member of a node's set and, when
// collecting, every independent reason why it is not.
#pragma once

#include <span>

#include "check/walk/walk_state.hpp"
#include "check/walk/walk_value.hpp"
#include "errors/error_record.hpp"
#include "kestrune/core/schema_node.hpp"

namespace kestrune::py {

// One node visit. `path` is the same on return as on entry; records are appended to
// `errors` only when `state.collect` is set. Never raises: interpreter exceptions
// become verdicts, fatal ones are kept in `state.fatal`.
bool walk_node(const SchemaNode& node, WalkValue value, ErrorPath& path, const WalkState& state,
               ErrorList& errors);

// A sub-walk that only asks membership: fresh, empty path and records (which
// allocate nothing), collect off, fail_fast on, the call's guard and slot shared.
bool is_member_of(const SchemaNode& node, WalkValue value, const WalkState& state);

// Appends the node's kind record when `verdict` is false and collecting.
bool push_kind_error(bool verdict, const SchemaNode& node, WalkValue value, const ErrorPath& path,
                     bool collect, ErrorList& errors);

// Sequences, sets and frozensets (walk_containers.cpp).
bool walk_sequence(const SchemaNode& node, WalkValue value, ErrorPath& path, const WalkState& state,
                   ErrorList& errors);
bool walk_set(const SchemaNode& node, WalkValue value, ErrorPath& path, const WalkState& state,
              ErrorList& errors);

// Records and mappings (record_matching.cpp).
bool walk_dict(const SchemaNode& node, WalkValue value, ErrorPath& path, const WalkState& state,
               ErrorList& errors);

}  // namespace kestrune::py
