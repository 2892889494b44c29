// Constraint checks are not built yet; no refinement can be compiled before them.
#include "check/walk/constraint_check.hpp"
#include "support/entry_point.hpp"

namespace kestrune::py {

bool check_constraint(const Constraint&, PyObject*, const ErrorPath&, const WalkState&, ErrorList&) {
    throw InvariantFailure("constraint checks are not built yet");
}

}  // namespace kestrune::py
