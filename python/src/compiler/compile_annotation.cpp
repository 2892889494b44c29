#include "compiler/compile_annotation.hpp"

#include <cstdint>
#include <string>
#include <utility>

#include "compiler/compile_forms.hpp"
#include "compiler/typing_names.hpp"
#include "errors/text_helpers.hpp"
#include "kestrune/core/relocate.hpp"
#include "validator/validator.hpp"
#include "support/argument_binding.hpp"
#include "support/py_ref.hpp"
#include "support/utf8_text.hpp"

namespace kestrune::py {

namespace {

constexpr std::uint64_t kMaxCompileDepth = 100;

thread_local std::uint64_t compile_depth = 0;

// Holds one level of the thread's nesting count for the duration of a call.
class DepthLevel {
public:
    DepthLevel() : entered_(compile_depth < kMaxCompileDepth) {
        if (entered_) ++compile_depth;
    }
    ~DepthLevel() {
        if (entered_) --compile_depth;
    }
    DepthLevel(const DepthLevel&) = delete;
    DepthLevel& operator=(const DepthLevel&) = delete;
    bool entered() const { return entered_; }

private:
    bool entered_;
};

constexpr std::string_view kTooDeep =
    "schema nesting is too deep to compile; a class whose own type appears in its fields is recursive and "
    "must be written with recursive(...), which ties the fixpoint explicitly";

NodePtr special_form_error(PyObject* obj) {
    return make_schema_error(format_repr(obj) +
                             " is a typing special form, not a value; write a concrete type (for a union, X | Y "
                             "or Union[X, Y])");
}

NodePtr typing_construct_error(PyObject* obj) {
    return make_schema_error(format_repr(obj) +
                             " is a typing construct, not a value: a type variable, ParamSpec, TypeVarTuple, or "
                             "special form (such as Final or ClassVar) cannot be a schema; use a concrete type");
}

// 1 when `obj` is a type variable, ParamSpec, TypeVarTuple or special form; 0 when
// not; -1 with the exception of an instance test.
int is_typing_construct(PyObject* obj) {
    PyRef typing = import_module("typing");
    if (!typing) return -1;
    for (const char* name : {"TypeVar", "ParamSpec", "TypeVarTuple", "_SpecialForm"}) {
        PyRef construct = PyRef::steal(PyObject_GetAttrString(typing.get(), name));
        if (!construct) {
            PyErr_Clear();
            continue;
        }
        int matched = PyObject_IsInstance(obj, construct.get());
        if (matched != 0) return matched;
    }
    return 0;
}

PyRef call_typing(PyObject* typing, const char* function, PyObject* obj) {
    PyRef callable = PyRef::steal(PyObject_GetAttrString(typing, function));
    return callable ? PyRef::steal(PyObject_CallOneArg(callable.get(), obj)) : PyRef();
}

bool require_tuple(PyObject* value) {
    if (PyTuple_Check(value)) return true;
    raise_not_instance(value, "tuple");
    return false;
}

NodePtr compile_attribute(PyObject* obj, const char* name, ConstantsPool& pool,
                          std::vector<NodePtr>& definitions) {
    PyRef value = PyRef::steal(PyObject_GetAttrString(obj, name));
    return value ? compile_annotation(value.get(), pool, definitions) : nullptr;
}

// The embedded validator is only read; its constants are interned here and its
// definitions appended behind ours, so every index of its tree is renumbered.
NodePtr embed_validator(const ValidatorValue& embedded, ConstantsPool& pool, std::vector<NodePtr>& definitions) {
    std::uint64_t offset = definitions.size();
    std::vector<std::uint64_t> constant_index_map;
    constant_index_map.reserve(embedded.constants.size());
    for (std::size_t i = 0; i < embedded.constants.size(); ++i) {
        constant_index_map.push_back(pool.intern(embedded.constants.at(i)));
    }
    definitions.reserve(definitions.size() + embedded.definitions.size());
    for (const NodePtr& definition : embedded.definitions) {
        definitions.push_back(relocate(*definition, constant_index_map, offset));
    }
    return relocate(*embedded.schema, constant_index_map, offset);
}

NodePtr compile_class(PyObject* cls, const TypingNames& names, ConstantsPool& pool,
                      std::vector<NodePtr>& definitions) {
    if (cls == reinterpret_cast<PyObject*>(&PyBool_Type)) return make_leaf(NodeKind::Bool);
    if (cls == reinterpret_cast<PyObject*>(&PyLong_Type)) return make_leaf(NodeKind::Int);
    if (cls == reinterpret_cast<PyObject*>(&PyFloat_Type)) return make_leaf(NodeKind::Float);
    if (cls == reinterpret_cast<PyObject*>(&PyUnicode_Type)) return make_leaf(NodeKind::Str);
    if (cls == reinterpret_cast<PyObject*>(&PyBytes_Type)) return make_leaf(NodeKind::Bytes);
    if (cls == reinterpret_cast<PyObject*>(Py_TYPE(Py_None))) return make_leaf(NodeKind::NoneType);
    if (cls == names.object.get()) return make_leaf(NodeKind::Anything);
    if (cls == names.union_.get()) return special_form_error(cls);

    int found = has_attribute(cls, "__required_keys__");
    if (found < 0) return nullptr;
    if (found) return compile_typed_dict(cls, pool, definitions);

    int is_enum = PyObject_IsSubclass(cls, names.enum_.get());
    if (is_enum < 0) return nullptr;
    if (is_enum) return make_instance(pool.intern(cls));

    PyRef dataclasses = import_module("dataclasses");
    if (!dataclasses) return nullptr;
    PyRef is_dataclass = call_typing(dataclasses.get(), "is_dataclass", cls);
    if (!is_dataclass) return nullptr;
    int dataclass_truth = PyObject_IsTrue(is_dataclass.get());
    if (dataclass_truth < 0) return nullptr;
    if (dataclass_truth) return compile_object_class(cls, pool, definitions);

    int is_tuple = PyObject_IsSubclass(cls, reinterpret_cast<PyObject*>(&PyTuple_Type));
    if (is_tuple < 0) return nullptr;
    if (is_tuple) {
        int has_fields = has_attribute(cls, "_fields");
        if (has_fields < 0) return nullptr;
        if (has_fields) return compile_object_class(cls, pool, definitions);
    }

    if (is_attribute_truthy(cls, "_is_protocol")) {
        if (!is_attribute_truthy(cls, "_is_runtime_protocol")) {
            return make_schema_error("a Protocol must be @runtime_checkable to be used as a schema");
        }
    }
    return make_instance(pool.intern(cls));
}

NodePtr compile_non_class(PyObject* obj, PyObject* typing, const TypingNames& names, ConstantsPool& pool,
                          std::vector<NodePtr>& definitions) {
    int found = has_attribute(obj, "__metadata__");
    if (found < 0) return nullptr;
    if (found) {
        PyRef origin = PyRef::steal(PyObject_GetAttrString(obj, "__origin__"));
        if (!origin) return nullptr;
        PyRef metadata = PyRef::steal(PyObject_GetAttrString(obj, "__metadata__"));
        if (!metadata || !require_tuple(metadata.get())) return nullptr;
        return compile_annotated(origin.get(), metadata.get(), pool, definitions);
    }

    PyRef origin = call_typing(typing, "get_origin", obj);
    if (!origin) return nullptr;
    if (origin.get() != Py_None) {
        PyRef args = call_typing(typing, "get_args", obj);
        if (!args || !require_tuple(args.get())) return nullptr;
        return compile_typing_form(origin.get(), args.get(), pool, definitions);
    }

    if (names.type_alias_type) {
        int is_alias = PyObject_IsInstance(obj, names.type_alias_type.get());
        if (is_alias < 0) return nullptr;
        if (is_alias) return compile_attribute(obj, "__value__", pool, definitions);
    }

    found = has_attribute(obj, "__supertype__");
    if (found < 0) return nullptr;
    if (found) return compile_attribute(obj, "__supertype__", pool, definitions);

    if (PyList_Check(obj)) return compile_list_literal(obj, pool, definitions);
    if (PyTuple_Check(obj)) {
        return make_schema_error(
            "a tuple literal is not a schema; write a fixed-length tuple as tuple[A, B] (the list literal [A, B] "
            "is the fixed-length list)");
    }
    if (PySet_Check(obj)) return make_schema_error("a set literal is not a schema; write a set as set[T]");
    if (PyDict_Check(obj)) return compile_dict_literal(obj, pool, definitions);
    if (is_validator(obj)) return embed_validator(validator_value(obj), pool, definitions);

    // Before 3.14 typing.Union is a special form rather than a class; it still gets
    // the special-form error that the class gets above.
    if (obj == names.optional.get() || obj == names.union_.get()) return special_form_error(obj);
    int construct = is_typing_construct(obj);
    if (construct < 0) return nullptr;
    if (construct) return typing_construct_error(obj);
    return make_literal(pool.intern(obj));
}

}  // namespace

NodePtr make_schema_error(std::string_view text) {
    PyRef message = new_str(text);
    if (message) PyErr_SetObject(PyExc_NotImplementedError, message.get());
    return nullptr;
}

bool is_attribute_truthy(PyObject* obj, const char* name) {
    PyRef value = PyRef::steal(PyObject_GetAttrString(obj, name));
    int truth = value ? PyObject_IsTrue(value.get()) : -1;
    if (truth < 0) PyErr_Clear();
    return truth == 1;
}

int has_attribute(PyObject* obj, const char* name) { return PyObject_HasAttrStringWithError(obj, name); }

PyRef import_module(const char* name) {
    PyRef text = PyRef::steal(PyUnicode_FromString(name));
    return text ? PyRef::steal(PyImport_Import(text.get())) : PyRef();
}

NodePtr compile_annotation(PyObject* obj, ConstantsPool& pool, std::vector<NodePtr>& definitions) {
    DepthLevel level;
    if (!level.entered()) return make_schema_error(kTooDeep);
    if (obj == Py_None) return make_leaf(NodeKind::NoneType);

    const TypingNames* names = typing_names();
    if (names == nullptr) return nullptr;
    PyRef typing = import_module("typing");
    if (!typing) return nullptr;
    if (obj == names->any.get()) return make_leaf(NodeKind::Any);
    if ((names->never && obj == names->never.get()) || (names->no_return && obj == names->no_return.get())) {
        return make_leaf(NodeKind::Nothing);
    }
    if (PyType_Check(obj)) return compile_class(obj, *names, pool, definitions);
    return compile_non_class(obj, typing.get(), *names, pool, definitions);
}

}  // namespace kestrune::py
