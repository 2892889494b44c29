// Module start-up.
#include <Python.h>

#include <utility>

#include "kestrune/core/native_stack.hpp"
#include "kestrune/core/schema_node.hpp"
#include "validator/combinators.hpp"
#include "errors/validation_error.hpp"
#include "validator/validator.hpp"
#include "support/entry_point.hpp"
#include "support/py_ref.hpp"
#include "walk/walk_probe.hpp"

namespace kestrune::py {

namespace {

constexpr const char kModuleDoc[] =
    "Native core of kestrune: schemas compiled into immutable validators.\n\n"
    "kestrune._kestrune declares itself free-threading-ready, so a free-threaded\n"
    "interpreter keeps the global interpreter lock disabled when it imports it. That\n"
    "is sound because every surface shared between threads is immutable or internally\n"
    "synchronised: a validator never changes after construction (its schema, constants\n"
    "pool and definitions); its only lazy state is a one-time cell of precomputed\n"
    "tables that hold no Python objects and whose initialisation is serialised; and\n"
    "the validation walk keeps its recursion guard in per-call state, so no two\n"
    "threads share mutable walk state.";

// Sets the attribute and appends its name to `__all__` (created when absent).
bool add_name(PyObject* module, const char* name, PyRef value) {
    if (!value) return false;
    PyRef all = PyRef::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        all = PyRef::steal(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return false;
    }
    if (!PyList_Check(all.get())) {
        PyErr_Format(PyExc_TypeError, "__all__ must be a list, not '%s'", Py_TYPE(all.get())->tp_name);
        return false;
    }
    PyRef text = PyRef::steal(PyUnicode_FromString(name));
    if (!text) return false;
    if (PyList_Append(all.get(), text.get()) < 0) throw InvariantFailure("could not append __name__ to __all__");
    return PyObject_SetAttrString(module, name, value.get()) == 0;
}

// Each function is added under its own __name__, owned by the module and carrying
// the module's name as its __module__; METH_STATIC keeps the module out of self.
bool add_functions(PyObject* module, PyMethodDef* functions) {
    PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
    if (!module_name) return false;
    for (PyMethodDef* definition = functions; definition->ml_name != nullptr; ++definition) {
        PyRef function = PyRef::steal(PyCFunction_NewEx(definition, module, module_name.get()));
        if (!function) return false;
        PyRef name = PyRef::steal(PyObject_GetAttrString(function.get(), "__name__"));
        if (!name) return false;
        if (!PyUnicode_Check(name.get())) throw InvariantFailure("a module function's __name__ is not a str");
        const char* text = PyUnicode_AsUTF8(name.get());
        if (text == nullptr || !add_name(module, text, std::move(function))) return false;
    }
    return true;
}

int module_exec(PyObject* module) {
    return guard_int_entry([&]() -> int {
        // The importing thread, usually the main one, learns its stack bounds now:
        // for the main thread that means reading the process's memory map (tens of
        // microseconds), which would otherwise fall on the first check or decision.
        static_cast<void>(native_stack_floor());
        bool added = add_name(module, "ValidationError", PyRef::borrow(validation_error_type())) &&
                     add_name(module, "Validator", PyRef::borrow(reinterpret_cast<PyObject*>(validator_type()))) &&
                     add_functions(module, combinator_functions()) &&
                     add_name(module, "anything", PyRef::steal(validator_from_node(make_leaf(NodeKind::Anything)))) &&
                     add_name(module, "nothing", PyRef::steal(validator_from_node(make_leaf(NodeKind::Nothing)))) &&
                     add_walk_probe(module);
        return added ? 0 : -1;
    });
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "_kestrune",
    kModuleDoc,
    0,
    nullptr,
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

}  // namespace kestrune::py

PyMODINIT_FUNC PyInit__kestrune() { return PyModuleDef_Init(&kestrune::py::module_definition); }
