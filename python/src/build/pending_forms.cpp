// Forms whose compilation is not built yet.
#include "build/compile_annotation.hpp"
#include "build/compile_forms.hpp"

namespace kestrune::py {

NodePtr compile_annotated(PyObject*, PyObject*, ConstantsPool&, std::vector<NodePtr>&) {
    PyErr_SetString(PyExc_NotImplementedError, "Annotated schemas cannot be compiled yet");
    return nullptr;
}

}  // namespace kestrune::py
