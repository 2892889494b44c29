#include "compiler/typing_names.hpp"

#include <memory>

#include "support/once_cell.hpp"

namespace kestrune::py {

namespace {

PyRef import(const char* name) {
    PyRef text = PyRef::steal(PyUnicode_FromString(name));
    return text ? PyRef::steal(PyImport_Import(text.get())) : PyRef();
}

bool fetch(PyObject* module, const char* name, PyRef& out) {
    out = PyRef::steal(PyObject_GetAttrString(module, name));
    return static_cast<bool>(out);
}

void fetch_optional(PyObject* module, const char* name, PyRef& out) {
    if (!fetch(module, name, out)) PyErr_Clear();
}

TypingNames* load_typing_names() {
    auto names = std::make_unique<TypingNames>();
    PyRef typing = import("typing");
    if (!typing) return nullptr;
    PyRef builtins = import("builtins");
    if (!builtins || !fetch(typing.get(), "Any", names->any)) return nullptr;
    fetch_optional(typing.get(), "Never", names->never);
    fetch_optional(typing.get(), "NoReturn", names->no_return);
    fetch_optional(typing.get(), "TypeAliasType", names->type_alias_type);
    if (!fetch(typing.get(), "Union", names->union_) || !fetch(typing.get(), "Optional", names->optional)) {
        return nullptr;
    }
    PyRef types = import("types");
    if (!types || !fetch(types.get(), "UnionType", names->union_type)) return nullptr;
    if (!fetch(typing.get(), "Literal", names->literal) || !fetch(builtins.get(), "object", names->object)) {
        return nullptr;
    }
    PyRef enum_module = import("enum");
    if (!enum_module || !fetch(enum_module.get(), "Enum", names->enum_)) return nullptr;
    PyRef abc = import("collections.abc");
    if (!abc || !fetch(abc.get(), "Callable", names->callable)) return nullptr;
    if (!fetch(builtins.get(), "Ellipsis", names->ellipsis)) return nullptr;
    if (PyRef re = import("re")) {
        fetch_optional(re.get(), "Pattern", names->re_pattern);
    } else {
        PyErr_Clear();
    }
    return names.release();
}

OnceCell<TypingNames> cell;

}  // namespace

const TypingNames* typing_names() { return cell.get_or_init(load_typing_names); }

}  // namespace kestrune::py
