// Dict literals, TypedDicts, and dataclass and NamedTuple classes: the record-like
// schemas, compiled field by field.
#include <optional>
#include <string>
#include <utility>

#include "compiler/compile_annotation.hpp"
#include "compiler/compile_forms.hpp"
#include "support/argument_binding.hpp"
#include "support/dict_entries.hpp"
#include "support/py_ref.hpp"

namespace kestrune::py {

namespace {

// The UTF-8 text of a str (subclasses read by their stored text, not their
// __str__). A lone surrogate cannot be a record key: whatever the conversion
// raised is replaced by one ValueError.
std::optional<std::string> extract_field_name(PyObject* text) {
    Py_ssize_t length = 0;
    const char* data = PyUnicode_AsUTF8AndSize(text, &length);
    if (data == nullptr) {
        PyErr_SetString(PyExc_ValueError,
                        "a record key must be valid Unicode; a field name cannot contain a lone surrogate");
        return std::nullopt;
    }
    return std::string(data, static_cast<std::size_t>(length));
}

// typing.get_type_hints(cls, include_extras=True): the extras keep Annotated,
// Required and NotRequired wrappers, so the hints reach the compiler as written.
PyRef fetch_type_hints(PyObject* cls) {
    PyRef keywords = PyRef::steal(PyDict_New());
    if (!keywords || PyDict_SetItemString(keywords.get(), "include_extras", Py_True) < 0) return PyRef();
    PyRef typing = import_module("typing");
    if (!typing) return PyRef();
    PyRef get_type_hints = PyRef::steal(PyObject_GetAttrString(typing.get(), "get_type_hints"));
    if (!get_type_hints) return PyRef();
    PyObject* args[] = {cls};
    return PyRef::steal(PyObject_VectorcallDict(get_type_hints.get(), args, 1, keywords.get()));
}

PyRef fetch_hints_dict(PyObject* cls) {
    PyRef hints = fetch_type_hints(cls);
    if (hints && !PyDict_Check(hints.get())) {
        raise_not_instance(hints.get(), "dict");
        return PyRef();
    }
    return hints;
}

// Calls `visit(name, node, key)` for each hint, the name being str(key) as UTF-8.
template <class Visit>
bool for_each_hint(PyObject* hints, ConstantsPool& pool, std::vector<NodePtr>& definitions, Visit&& visit) {
    return for_each_dict_entry(hints, [&](PyObject* key, PyObject* annotation) {
        PyRef key_text = PyRef::steal(PyObject_Str(key));
        if (!key_text) return false;
        std::optional<std::string> name = extract_field_name(key_text.get());
        if (!name) return false;
        NodePtr node = compile_annotation(annotation, pool, definitions);
        return node && visit(std::move(*name), std::move(node), key);
    });
}

}  // namespace

NodePtr compile_dict_literal(PyObject* dict, ConstantsPool& pool, std::vector<NodePtr>& definitions) {
    std::vector<Field> fields;
    std::vector<KeyRule> rules;
    bool complete = for_each_dict_entry(dict, [&](PyObject* key, PyObject* value) {
        if (PyUnicode_Check(key)) {
            std::optional<std::string> name = extract_field_name(key);
            if (!name) return false;
            // Only one trailing '?' marks the field optional; '??' keeps one in the name.
            bool required = name->empty() || name->back() != '?';
            if (!required) name->pop_back();
            NodePtr node = compile_annotation(value, pool, definitions);
            if (!node) return false;
            fields.push_back(Field{std::move(*name), std::move(node), required});
            return true;
        }
        NodePtr key_node = compile_annotation(key, pool, definitions);
        if (!key_node) return false;
        NodePtr value_node = compile_annotation(value, pool, definitions);
        if (!value_node) return false;
        rules.push_back(KeyRule{std::move(key_node), std::move(value_node)});
        return true;
    });
    return complete ? make_dict(std::move(fields), std::move(rules)) : nullptr;
}

NodePtr compile_typed_dict(PyObject* cls, ConstantsPool& pool, std::vector<NodePtr>& definitions) {
    PyRef hints = fetch_hints_dict(cls);
    if (!hints) return nullptr;
    PyRef required_keys = PyRef::steal(PyObject_GetAttrString(cls, "__required_keys__"));
    if (!required_keys) return nullptr;
    std::vector<Field> fields;
    // Required[...] / NotRequired[...] compile to their inner node; whether a key is
    // required is the class's own verdict, asked with the hint's key object.
    bool complete = for_each_hint(hints.get(), pool, definitions, [&](std::string name, NodePtr node, PyObject* key) {
        int required = PySequence_Contains(required_keys.get(), key);
        if (required < 0) return false;
        fields.push_back(Field{std::move(name), std::move(node), required == 1});
        return true;
    });
    return complete ? make_dict(std::move(fields), {}) : nullptr;
}

NodePtr compile_object_class(PyObject* cls, ConstantsPool& pool, std::vector<NodePtr>& definitions) {
    PyRef hints = fetch_hints_dict(cls);
    if (!hints) return nullptr;
    // Pooled before any field so its index precedes everything the fields add.
    std::uint64_t class_index = pool.intern(cls);
    std::vector<Field> attributes;
    // Every hint is a required attribute: defaults don't make one optional, and a
    // ClassVar hint is compiled (and refused) like any other.
    bool complete = for_each_hint(hints.get(), pool, definitions, [&](std::string name, NodePtr node, PyObject*) {
        attributes.push_back(Field{std::move(name), std::move(node), true});
        return true;
    });
    return complete ? make_object(class_index, std::move(attributes)) : nullptr;
}

}  // namespace kestrune::py
