// One condition of a refinement, checked against the refined value.
#pragma once

#include <Python.h>

#include "walk/walk_state.hpp"
#include "errors/error_record.hpp"
#include "kestrune/core/schema_node.hpp"

namespace kestrune::py {

// Makes its own records when collecting; interpreter exceptions go through
// absorb_call_error.
bool check_constraint(const Constraint& constraint, PyObject* object, const ErrorPath& path,
                      const WalkState& state, ErrorList& errors);

}  // namespace kestrune::py
