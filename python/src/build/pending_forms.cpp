// Forms whose compilation is not built yet.
#include "build/compile_annotation.hpp"
#include "build/compile_forms.hpp"

namespace kestrune::py {

namespace {
NodePtr not_built(const char* form) {
    PyErr_Format(PyExc_NotImplementedError, "%s schemas cannot be compiled yet", form);
    return nullptr;
}
}  // namespace

NodePtr compile_typed_dict(PyObject*, ConstantsPool&, std::vector<NodePtr>&) { return not_built("TypedDict"); }
NodePtr compile_object_class(PyObject*, ConstantsPool&, std::vector<NodePtr>&) {
    return not_built("dataclass and NamedTuple");
}
NodePtr compile_dict_literal(PyObject*, ConstantsPool&, std::vector<NodePtr>&) { return not_built("dict literal"); }
NodePtr compile_typing_form(PyObject*, PyObject*, ConstantsPool&, std::vector<NodePtr>&) {
    return not_built("parameterised typing form");
}
NodePtr compile_list_literal(PyObject*, ConstantsPool&, std::vector<NodePtr>&) { return not_built("list literal"); }
NodePtr compile_annotated(PyObject*, PyObject*, ConstantsPool&, std::vector<NodePtr>&) {
    return not_built("Annotated");
}

}  // namespace kestrune::py
