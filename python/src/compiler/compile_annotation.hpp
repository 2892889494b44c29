// The schema compiler's single entry: any Python object to a schema node.
#pragma once

#include <Python.h>

#include <string_view>
#include <vector>

#include "compiler/constants_pool.hpp"
#include "kestrune/core/schema_node.hpp"
#include "support/py_ref.hpp"

namespace kestrune::py {

// Compiles `obj` (borrowed), interning the objects the node refers to into `pool` and
// appending the definitions of embedded validators. Returns null with an exception
// set on failure; user-code exceptions propagate unchanged.
NodePtr compile_annotation(PyObject* obj, ConstantsPool& pool, std::vector<NodePtr>& definitions);

// Raises the compiler's NotImplementedError with `text` and returns null.
NodePtr make_schema_error(std::string_view text);

// The attribute's truth value; false when reading it or taking its truth raises.
bool is_attribute_truthy(PyObject* obj, const char* name);

// Attribute presence: 1 present, 0 absent, -1 with an exception other than
// AttributeError set.
int has_attribute(PyObject* obj, const char* name);

// The module through the interpreter's import function (answered from the module
// cache after the first time); null with the import's exception set.
PyRef import_module(const char* name);

}  // namespace kestrune::py
