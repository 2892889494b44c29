#include "check/walk/precompute.hpp"

namespace kestrune::py {

// The tables start empty: every reader falls back to working per call, so filling
// them changes speed, never answers.
Precompute build_precompute(const ValidatorValue&) { return {}; }

}  // namespace kestrune::py
