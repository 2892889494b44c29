#include "json_bridge/json_python_builder.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

#include "errors/text_helpers.hpp"
#include "kestrune/json/detail/system_block.hpp"
#include "kestrune/json/json_reader.hpp"
#include "json_bridge/json_string_cache.hpp"
#include "json_bridge/json_text_str.hpp"
#include "json_bridge/thread_spare.hpp"
#include "support/entry_point.hpp"
#include "support/utf8_text.hpp"

#if PY_VERSION_HEX >= 0x030D0000 && PY_VERSION_HEX < 0x030E0000
// The interpreter's own builder of dict displays (exported, not in the public
// headers; its form is known for this minor version only).
extern "C" PyObject* _PyDict_FromItems(PyObject* const* keys, Py_ssize_t keys_offset, PyObject* const* values,
                                       Py_ssize_t values_offset, Py_ssize_t length);
#endif

namespace kestrune::py {

namespace {

using json::JsonTextOrigin;

// A new dict of `count` keys and values lying alternately at `members`, inserted in
// that order (a later duplicate replaces the earlier value where it stands); the
// references stay with the caller. Null with an exception set on failure.
PyRef new_dict_of_members(PyObject* const* members, std::size_t count) {
#if PY_VERSION_HEX >= 0x030D0000 && PY_VERSION_HEX < 0x030E0000
    // Sized once for all the members: growing by steps would rebuild the table at
    // the sixth key of every record.
    return PyRef::steal(_PyDict_FromItems(members, 2, members + 1, 2, static_cast<Py_ssize_t>(count)));
#else
    PyRef dict = PyRef::steal(PyDict_New());
    for (std::size_t i = 0; dict && i < count; ++i) {
        if (PyDict_SetItem(dict.get(), members[2 * i], members[2 * i + 1]) < 0) dict = PyRef();
    }
    return dict;
#endif
}

// The `__name__` of an exception's class. A built-in class's name is read from the
// type itself: reading `__name__` makes a new str, which fails when memory has run
// out, the very time the name is needed here.
std::string exception_class_name(PyObject* exception) {
    PyTypeObject* const type = Py_TYPE(exception);
    if (PyType_HasFeature(type, Py_TPFLAGS_HEAPTYPE)) return format_class_name(reinterpret_cast<PyObject*>(type));
    const char* const dot = std::strrchr(type->tp_name, '.');
    return dot == nullptr ? type->tp_name : dot + 1;
}

// Values waiting for their container, each a reference the stack owns. Plain
// pointers keep pushing and handing over cheap; whatever is still on the stack when
// it goes (a failed read) is released. Each thread keeps the storage of its last
// stack, so a long array does not regrow it (copying every pointer on the way) in
// every read; a read that starts while another holds that storage gets its own.
class PendingValues {
public:
    PendingValues() : storage_(Spare::take()) {
        if (!storage_) storage_ = std::make_unique<json::detail::SystemBlock>();
        base_ = top_ = reinterpret_cast<PyObject**>(storage_->data());
        limit_ = base_ + storage_->size() / sizeof(PyObject*);
    }
    PendingValues(const PendingValues&) = delete;
    PendingValues& operator=(const PendingValues&) = delete;
    ~PendingValues() {
        release_from(0);
        if (storage_->size() <= kRetainedBytes) Spare::keep(std::move(storage_));
    }

    void push(PyRef value) {
        if (top_ == limit_) [[unlikely]] grow();
        *top_++ = value.release();
    }
    std::size_t size() const { return static_cast<std::size_t>(top_ - base_); }
    // A view taken once: a release may run a destructor, after which the compiler
    // would otherwise reload the stack's bounds at every step.
    std::span<PyObject* const> from(std::size_t first) const { return {base_ + first, top_}; }

    // The references from `first` on now belong to someone else.
    void forget_from(std::size_t first) { top_ = base_ + first; }
    void release_from(std::size_t first) {
        for (PyObject* value : from(first)) Py_DECREF(value);
        forget_from(first);
    }
    PyRef take_last() { return PyRef::steal(*--top_); }

private:
    using Spare = ThreadSpare<json::detail::SystemBlock>;
    // 8 MiB of pointers at most stay with a thread between reads.
    static constexpr std::size_t kRetainedBytes = std::size_t{8} << 20;
    static constexpr std::size_t kFirstCapacity = 256;

    [[gnu::noinline]] void grow() {
        const std::size_t size = this->size();
        const std::size_t capacity = std::max(kFirstCapacity, 2 * static_cast<std::size_t>(limit_ - base_));
        storage_->grow(capacity * sizeof(PyObject*), size * sizeof(PyObject*));
        base_ = reinterpret_cast<PyObject**>(storage_->data());
        top_ = base_ + size;
        limit_ = base_ + capacity;
    }

    std::unique_ptr<json::detail::SystemBlock> storage_;
    PyObject** base_;
    PyObject** top_;
    PyObject** limit_;
};

// The sink: finished values wait on one stack until their container closes, which
// then takes them over in one go (a list of exactly their number, a dict filled in
// document order so that a later duplicate replaces the earlier value).
class PythonObjectBuilder {
public:
    bool null_value() { return push(PyRef::borrow(Py_None)); }
    bool bool_value(bool value) { return push(PyRef::borrow(value ? Py_True : Py_False)); }
    bool int_value(std::int64_t value) { return push(PyRef::steal(PyLong_FromLongLong(value))); }
    bool big_int_value(std::string_view digits) {
        const std::string text(digits);
        return push(PyRef::steal(PyLong_FromString(text.c_str(), nullptr, 10)));
    }
    bool float_value(double value) { return push(PyRef::steal(PyFloat_FromDouble(value))); }
    bool string_value(std::string_view text, JsonTextOrigin) { return push(str_of(text)); }
    bool member_key(std::string_view text, JsonTextOrigin) { return push(str_of(text)); }
    bool start_array() { return open(); }
    bool start_object() { return open(); }

    bool end_array() {
        const std::size_t first = close();
        const std::span<PyObject* const> items = values_.from(first);
        PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(items.size())));
        if (!list) return failed();
        Py_ssize_t at = 0;
        for (PyObject* item : items) PyList_SET_ITEM(list.get(), at++, item);  // steals
        values_.forget_from(first);
        return push(std::move(list));
    }

    bool end_object() {
        const std::size_t first = close();
        const std::span<PyObject* const> members = values_.from(first);
        PyRef dict = new_dict_of_members(members.data(), members.size() / 2);
        if (!dict) return failed();
        values_.release_from(first);
        return push(std::move(dict));
    }

    PyRef take_root() { return values_.take_last(); }

    // Why a sink event stopped the read: the interpreter's exception, described.
    std::string failure_text() const { return "Internal error: " + quote_text(failure_); }

private:
    // Keys and string values alike: only texts of 2 to 63 bytes go through the cache,
    // which keeps what it holds for the life of the process.
    static PyRef str_of(std::string_view text) {
        const bool cached = text.size() >= kCachedStringMinBytes && text.size() <= kCachedStringMaxBytes;
        return cached ? cached_string(text) : new_str_of_json_text(text);
    }

    bool push(PyRef value) {
        if (!value) return failed();
        values_.push(std::move(value));
        return true;
    }

    // The reader opens at most kJsonMaxDepth + 1 containers at once.
    bool open() {
        starts_[open_count_++] = values_.size();
        return true;
    }

    std::size_t close() { return starts_[--open_count_]; }

    // Keeps a description of the pending exception and clears it.
    bool failed() {
        PyRef exception = PyRef::steal(PyErr_GetRaisedException());
        if (!exception) throw InvariantFailure("a JSON value could not be built without an exception");
        failure_ = exception_class_name(exception.get());
        if (PyRef message = PyRef::steal(PyObject_Str(exception.get()))) {
            failure_ += ": " + utf8_text(message.get());
        }
        PyErr_Clear();
        return false;
    }

    PendingValues values_;
    std::array<std::size_t, json::kJsonMaxDepth + 1> starts_;
    std::size_t open_count_ = 0;
    std::string failure_;
};

}  // namespace

JsonReadResult read_json_to_python(std::string_view document, bool from_str) {
    PythonObjectBuilder builder;
    const auto source = from_str ? json::JsonSource::Str : json::JsonSource::Bytes;
    if (const std::optional<json::JsonError> error = json::read_json(document, source, builder)) {
        if (error->kind == json::JsonErrorKind::SinkStopped) {
            return builder.failure_text() + " at " + json::json_position_text(document, error->index);
        }
        return json::format_json_error(document, *error);
    }
    return builder.take_root();
}

}  // namespace kestrune::py
