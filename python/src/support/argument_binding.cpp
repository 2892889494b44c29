#include "support/argument_binding.hpp"

#include <string>

#include "support/py_ref.hpp"

namespace kestrune::py {

namespace {

std::size_t slot_count(const Signature& signature) {
    return signature.positional.size() + signature.keyword_only.size();
}

const char* slot_name(const Signature& signature, std::size_t slot) {
    if (slot < signature.positional.size()) return signature.positional[slot];
    return signature.keyword_only[slot - signature.positional.size()];
}

// The slot a keyword names, or -1. A name that cannot be encoded matches nothing.
Py_ssize_t find_keyword_slot(const Signature& signature, PyObject* name) {
    for (std::size_t slot = 0; slot < slot_count(signature); ++slot) {
        if (PyUnicode_Check(name) && PyUnicode_EqualToUTF8(name, slot_name(signature, slot))) {
            return static_cast<Py_ssize_t>(slot);
        }
    }
    return -1;
}

bool fail_surplus(const Signature& signature, Py_ssize_t given) {
    PyErr_Format(PyExc_TypeError, "%s takes %zu positional arguments but %zd %s given",
                 signature.callable, signature.positional.size(), given, given == 1 ? "was" : "were");
    return false;
}

bool fill_keyword(const Signature& signature, PyObject* name, PyObject* value, PyObject** slots) {
    Py_ssize_t slot = find_keyword_slot(signature, name);
    if (slot < 0) {
        PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'", signature.callable,
                     name);
        return false;
    }
    if (slots[slot] != nullptr) {
        PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'", signature.callable,
                     slot_name(signature, slot));
        return false;
    }
    slots[slot] = value;
    return true;
}

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'".
std::string quoted_name_list(const Signature& signature, PyObject** slots) {
    std::string list;
    std::size_t missing = 0, total = 0;
    for (std::size_t slot = 0; slot < signature.required; ++slot) total += slots[slot] == nullptr;
    for (std::size_t slot = 0; slot < signature.required; ++slot) {
        if (slots[slot] != nullptr) continue;
        ++missing;
        if (missing > 1) list += total == 2 ? " and " : (missing == total ? ", and " : ", ");
        list += '\'';
        list += slot_name(signature, slot);
        list += '\'';
    }
    return list;
}

bool check_required(const Signature& signature, PyObject** slots) {
    std::size_t missing = 0;
    for (std::size_t slot = 0; slot < signature.required; ++slot) missing += slots[slot] == nullptr;
    if (missing == 0) return true;
    std::string names = quoted_name_list(signature, slots);
    PyErr_Format(PyExc_TypeError, "%s missing %zu required positional %s: %s", signature.callable, missing,
                 missing == 1 ? "argument" : "arguments", names.c_str());
    return false;
}

bool fill_positional(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                     PyObject** slots) {
    for (std::size_t slot = 0; slot < slot_count(signature); ++slot) slots[slot] = nullptr;
    if (static_cast<std::size_t>(nargs) > signature.positional.size()) return fail_surplus(signature, nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = args[i];
    return true;
}

}  // namespace

bool bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** slots) {
    if (!fill_positional(signature, args, nargs, slots)) return false;
    if (kwnames != nullptr) {
        Py_ssize_t count = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t i = 0; i < count; ++i) {
            if (!fill_keyword(signature, PyTuple_GET_ITEM(kwnames, i), args[nargs + i], slots)) return false;
        }
    }
    return check_required(signature, slots);
}

bool bind_arguments(const Signature& signature, PyObject* args, PyObject* kwargs, PyObject** slots) {
    if (!fill_positional(signature, &PyTuple_GET_ITEM(args, 0), PyTuple_GET_SIZE(args), slots)) return false;
    if (kwargs != nullptr) {
        Py_ssize_t position = 0;
        PyObject *name, *value;
        while (PyDict_Next(kwargs, &position, &name, &value)) {
            if (!fill_keyword(signature, name, value, slots)) return false;
        }
    }
    return check_required(signature, slots);
}

bool reject_keywords(const char* callable, PyObject* kwnames) {
    if (kwnames == nullptr || PyTuple_GET_SIZE(kwnames) == 0) return true;
    PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'", callable,
                 PyTuple_GET_ITEM(kwnames, 0));
    return false;
}

namespace {

bool is_numpy_bool(PyObject* value) {
    PyTypeObject* type = Py_TYPE(value);
    PyRef module = PyRef::steal(PyType_GetModuleName(type));
    PyRef name = PyRef::steal(PyType_GetName(type));
    if (!module || !name || !PyUnicode_Check(module.get()) || !PyUnicode_Check(name.get())) {
        PyErr_Clear();
        return false;
    }
    return PyUnicode_EqualToUTF8(module.get(), "numpy") &&
           (PyUnicode_EqualToUTF8(name.get(), "bool_") || PyUnicode_EqualToUTF8(name.get(), "bool"));
}

void add_note(const char* name) {
    PyObject* raised = PyErr_GetRaisedException();
    PyRef note = PyRef::steal(PyUnicode_FromFormat("while processing '%s'", name));
    if (note) {
        PyRef result = PyRef::steal(PyObject_CallMethod(raised, "add_note", "O", note.get()));
    }
    PyErr_Clear();  // a failure to attach the note is ignored
    PyErr_SetRaisedException(raised);
}

}  // namespace

void raise_not_instance(PyObject* value, const char* expected) {
    if (value == Py_None) {
        PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", expected);
        return;
    }
    PyRef type_name = PyRef::steal(PyType_GetQualName(Py_TYPE(value)));
    if (type_name) {
        PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of '%s'", type_name.get(), expected);
    }
}

bool convert_flag(PyObject* value, const char* name, bool* out) {
    if (value == nullptr || value == Py_False) {
        *out = false;
        return true;
    }
    if (value == Py_True) {
        *out = true;
        return true;
    }
    if (is_numpy_bool(value)) {
        int truth = PyObject_IsTrue(value);
        if (truth >= 0) {
            *out = truth == 1;
            return true;
        }
    } else {
        raise_not_instance(value, "bool");
    }
    add_note(name);
    return false;
}

}  // namespace kestrune::py
