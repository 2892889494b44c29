// The switch the tests of walk reuse need: a module built with KESTRUNE_WALK_PROBE
// (a test-only build, never installed) adds the function `_walk_test_hook(reuse)`,
// which switches reuse of finished walks on the calling thread and answers the
// expansions this thread's checks walked since the last call. The shipped module
// has neither the function nor the switch: there, reuse is always on.
//
// Only the files compiled once per module variant include this header (module
// start-up and the membership entry points), so each variant sees one definition.
#pragma once

#include <Python.h>

#include <cstdint>

namespace kestrune::py {

#ifdef KESTRUNE_WALK_PROBE

bool walk_reuse_enabled();
void count_expansions(std::uint64_t count);
bool add_walk_probe(PyObject* module);

#else

constexpr bool walk_reuse_enabled() { return true; }
inline void count_expansions(std::uint64_t) {}
inline bool add_walk_probe(PyObject*) { return true; }

#endif

}  // namespace kestrune::py
