// The forms the dispatch hands over to; each compiles its inner annotations back
// through compile_annotation. All return null with an exception set on failure.
#pragma once

#include <Python.h>

#include <vector>

#include "compiler/constants_pool.hpp"
#include "kestrune/core/schema_node.hpp"

namespace kestrune::py {

NodePtr compile_typed_dict(PyObject* cls, ConstantsPool& pool, std::vector<NodePtr>& definitions);
NodePtr compile_object_class(PyObject* cls, ConstantsPool& pool, std::vector<NodePtr>& definitions);
NodePtr compile_dict_literal(PyObject* dict, ConstantsPool& pool, std::vector<NodePtr>& definitions);
NodePtr compile_typing_form(PyObject* origin, PyObject* args, ConstantsPool& pool,
                            std::vector<NodePtr>& definitions);
NodePtr compile_list_literal(PyObject* list, ConstantsPool& pool, std::vector<NodePtr>& definitions);
NodePtr compile_annotated(PyObject* origin, PyObject* metadata, ConstantsPool& pool,
                          std::vector<NodePtr>& definitions);

}  // namespace kestrune::py
