// Compiled into the test-only module variant alone (walk_probe.hpp).
#include "walk/walk_probe.hpp"

#include "support/py_ref.hpp"

namespace kestrune::py {

namespace {

thread_local bool tl_reuse_disabled = false;
thread_local std::uint64_t tl_expansions = 0;

PyObject* walk_test_hook(PyObject*, PyObject* reuse) {
    const int enabled = PyObject_IsTrue(reuse);
    if (enabled < 0) return nullptr;
    tl_reuse_disabled = enabled == 0;
    const std::uint64_t count = tl_expansions;
    tl_expansions = 0;
    return PyLong_FromUnsignedLongLong(count);
}

PyMethodDef walk_test_hook_definition{"_walk_test_hook", walk_test_hook, METH_O, nullptr};

}  // namespace

bool walk_reuse_enabled() { return !tl_reuse_disabled; }

void count_expansions(std::uint64_t count) { tl_expansions += count; }

bool add_walk_probe(PyObject* module) {
    PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
    if (!module_name) return false;
    PyRef function = PyRef::steal(PyCFunction_NewEx(&walk_test_hook_definition, module, module_name.get()));
    return function && PyObject_SetAttrString(module, walk_test_hook_definition.ml_name, function.get()) == 0;
}

}  // namespace kestrune::py
