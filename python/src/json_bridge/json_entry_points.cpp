#include "json_bridge/json_entry_points.hpp"

#include <memory>
#include <optional>
#include <string_view>

#include "errors/validation_error_build.hpp"
#include "kestrune/json/json_document.hpp"
#include "json_bridge/json_python_builder.hpp"
#include "json_bridge/thread_spare.hpp"
#include "validator/membership.hpp"
#include "support/argument_binding.hpp"
#include "support/entry_point.hpp"
#include "support/py_ref.hpp"
#include "support/utf8_text.hpp"

namespace kestrune::py {

namespace {

enum class JsonInputKind { Text, NotUtf8, NotText };

// The document argument: its bytes, borrowed from the argument for the call.
struct JsonInput {
    JsonInputKind kind;
    std::string_view bytes;
    bool from_str = false;
};

// The tree is_valid_json reads into. Each thread keeps the storage of its last
// one, so checking document after document does not fetch (and fault in) fresh
// memory each time. The walk may run Python code that checks another document on
// the same thread; that check gets a tree of its own.
class ThreadTree {
public:
    ThreadTree() : tree_(Spare::take()) {
        if (!tree_) tree_ = std::make_unique<json::JsonDocument>();
    }
    ~ThreadTree() {
        tree_->clear(kRetainedBytes);
        Spare::keep(std::move(tree_));
    }
    ThreadTree(const ThreadTree&) = delete;
    ThreadTree& operator=(const ThreadTree&) = delete;

    json::JsonDocument& get() { return *tree_; }

private:
    using Spare = ThreadSpare<json::JsonDocument>;
    static constexpr std::size_t kRetainedBytes = 16 * 1024 * 1024;
    std::unique_ptr<json::JsonDocument> tree_;
};

JsonInput view_json_input(PyObject* data) {
    if (PyUnicode_Check(data)) {
        // The string value itself, never __str__ of a subclass.
        const std::optional<std::string_view> text = utf8_view(data);
        if (!text) return {JsonInputKind::NotUtf8, {}};
        return {JsonInputKind::Text, *text, true};
    }
    if (PyBytes_Check(data)) {
        return {JsonInputKind::Text,
                std::string_view(PyBytes_AS_STRING(data), static_cast<std::size_t>(PyBytes_GET_SIZE(data)))};
    }
    return {JsonInputKind::NotText, {}};
}

void raise_json_invalid(std::string_view reader_text) {
    if (PyRef error = make_json_invalid_error(reader_text)) PyErr_SetRaisedException(error.release());
}

// A new object read from the document, or null with TypeError or a "json_invalid"
// ValidationError set.
PyRef parse_json_input(PyObject* data) {
    const JsonInput input = view_json_input(data);
    switch (input.kind) {
        case JsonInputKind::NotText:
            PyErr_SetString(PyExc_TypeError, "JSON input must be a str or bytes object");
            return {};
        case JsonInputKind::NotUtf8:
            raise_json_invalid("input string is not valid UTF-8 (contains a lone surrogate)");
            return {};
        case JsonInputKind::Text: break;
    }
    JsonReadResult result = read_json_to_python(input.bytes, input.from_str);
    if (auto* object = std::get_if<PyRef>(&result)) return std::move(*object);
    raise_json_invalid(std::get<std::string>(result));
    return {};
}

// Binds (data, *, fail_fast) and converts fail_fast before the document is read.
bool bind_document(const char* callable, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   PyObject** data, bool* fail_fast) {
    static constexpr const char* kParameters[] = {"data"};
    static constexpr const char* kKeywordOnly[] = {"fail_fast"};
    const Signature signature{callable, kParameters, 1, kKeywordOnly};
    PyObject* slots[2] = {nullptr, nullptr};
    if (!bind_arguments(signature, args, nargs, kwnames, slots)) return false;
    *data = slots[0];
    return convert_flag(slots[1], "fail_fast", fail_fast);
}

// The checked object read from the document; null with the exception set.
PyRef load_document(PyObject* self, const char* callable, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames) {
    PyObject* data = nullptr;
    bool fail_fast = false;
    if (!bind_document(callable, args, nargs, kwnames, &data, &fail_fast)) return {};
    PyRef object = parse_json_input(data);
    if (!object || validate_value(self, object.get(), fail_fast) < 0) return {};
    return object;
}

}  // namespace

PyObject* validator_load(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard_object_entry(
        [&]() -> PyObject* { return load_document(self, "Validator.load()", args, nargs, kwnames).release(); });
}

PyObject* validator_validate_json(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard_object_entry([&]() -> PyObject* {
        if (!load_document(self, "Validator.validate_json()", args, nargs, kwnames)) return nullptr;
        Py_RETURN_NONE;
    });
}

PyObject* validator_is_valid_json(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guard_object_entry([&]() -> PyObject* {
        static constexpr const char* kParameters[] = {"data"};
        static constexpr Signature kSignature{"Validator.is_valid_json()", kParameters, 1};
        PyObject* data = nullptr;
        if (!bind_arguments(kSignature, args, nargs, kwnames, &data)) return nullptr;
        const JsonInput input = view_json_input(data);
        if (input.kind != JsonInputKind::Text) Py_RETURN_FALSE;
        ThreadTree tree;
        const auto source = input.from_str ? json::JsonSource::Str : json::JsonSource::Bytes;
        if (tree.get().read(input.bytes, source)) Py_RETURN_FALSE;
        const int member = is_member(self, WalkValue::of_json(tree.get().root()));
        if (member < 0) return nullptr;
        return PyBool_FromLong(member);
    });
}

}  // namespace kestrune::py
