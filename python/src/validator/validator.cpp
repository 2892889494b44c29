#include "validator/validator.hpp"

#include <new>
#include <utility>

#include "compiler/compile_annotation.hpp"
#include "validator/membership.hpp"
#include "validator/validator_methods.hpp"
#include "validator/validator_slots.hpp"
#include "render/render_schema.hpp"
#include "support/argument_binding.hpp"
#include "support/entry_point.hpp"
#include "support/once_cell.hpp"
#include "support/utf8_text.hpp"

namespace kestrune::py {

namespace {

constexpr const char kValidatorDoc[] =
    "Validator(schema)\n--\n\n"
    "A compiled, immutable schema validator.\n\n"
    "Build one by calling Validator(schema), or with a combinator such as union,\n"
    "intersection or recursive. Test values with validate, is_valid or ensure, and\n"
    "JSON documents with validate_json or is_valid_json. Validation is a membership\n"
    "test against the set the schema denotes: the value is never copied or coerced.\n"
    "A validator never changes after it is built and is safe to share across threads.\n"
    "Its repr is the annotation that produces it, and it can be copied with copy.copy\n"
    "and copy.deepcopy.";

PyObject* validator_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
    return guard_object_entry([&]() -> PyObject* {
        static constexpr const char* kParameters[] = {"schema"};
        static constexpr Signature kSignature{"Validator.__new__()", kParameters, 1};
        PyObject* schema = nullptr;
        if (!bind_arguments(kSignature, args, kwargs, &schema)) return nullptr;
        ValidatorValue value;
        value.schema = compile_annotation(schema, value.constants, value.definitions);
        if (!value.schema) return nullptr;
        return create_validator(std::move(value));
    });
}

void validator_dealloc(PyObject* self) {
    guard_entry<int>(0, [&] {
        PyTypeObject* type = Py_TYPE(self);
        ValidatorValue& value = reinterpret_cast<ValidatorObject*>(self)->value;
        // Released in declaration order: the tree, the pooled objects, the definitions.
        value.schema.reset();
        value.constants.clear();
        value.definitions.clear();
        value.~ValidatorValue();
        auto free_function = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
        free_function(self);
        Py_DECREF(type);
        return 0;
    });
}

PyObject* validator_repr(PyObject* self) {
    return guard_object_entry([&]() -> PyObject* {
        const ValidatorValue& value = validator_value(self);
        RenderGuard guard;
        std::optional<std::string> text = render_schema(*value.schema, value.constants, value.definitions, guard);
        if (!text) return nullptr;
        return new_str(*text).release();
    });
}

int validator_contains(PyObject* self, PyObject* value) {
    return guard_int_entry([&] { return is_member(self, WalkValue::python(value)); });
}

PyObject* create_validator_type() {
    PyType_Slot slots[] = {
        {Py_tp_doc, const_cast<char*>(kValidatorDoc)},
        {Py_tp_dealloc, reinterpret_cast<void*>(validator_dealloc)},
        {Py_tp_new, reinterpret_cast<void*>(validator_new)},
        {Py_tp_repr, reinterpret_cast<void*>(validator_repr)},
        {Py_sq_contains, reinterpret_cast<void*>(validator_contains)},
        {Py_tp_hash, reinterpret_cast<void*>(validator_hash)},
        {Py_nb_or, reinterpret_cast<void*>(validator_or)},
        {Py_tp_richcompare, reinterpret_cast<void*>(validator_richcompare)},
        {Py_tp_methods, validator_methods()},
        {0, nullptr},
    };
    PyType_Spec spec{
        "kestrune._kestrune.Validator",
        static_cast<int>(sizeof(ValidatorObject)),
        0,
        Py_TPFLAGS_DEFAULT,
        slots,
    };
    return PyType_FromSpec(&spec);
}

OnceCell<PyObject> type_cell;

}  // namespace

PyTypeObject* validator_type() {
    return reinterpret_cast<PyTypeObject*>(type_cell.get_or_init(create_validator_type));
}

PyObject* create_validator(ValidatorValue value) {
    PyTypeObject* type = validator_type();
    if (type == nullptr) return nullptr;
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) return nullptr;  // `value` is destroyed on return
    new (&reinterpret_cast<ValidatorObject*>(self)->value) ValidatorValue(std::move(value));
    return self;
}

PyObject* validator_from_node(NodePtr node) {
    ValidatorValue value;
    value.schema = std::move(node);
    return create_validator(std::move(value));
}

}  // namespace kestrune::py
