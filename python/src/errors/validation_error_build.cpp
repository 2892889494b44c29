#include "errors/validation_error_build.hpp"

#include <string>

#include "errors/text_helpers.hpp"
#include "errors/validation_error.hpp"
#include "support/utf8_text.hpp"

namespace kestrune::py {

namespace {

PyRef convert_path_to_tuple(const ErrorPath& path) {
    PyRef tuple = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(path.size())));
    if (!tuple) return {};
    for (std::size_t i = 0; i < path.size(); ++i) {
        const PathSegment& segment = path[i];
        const auto* key = std::get_if<std::string>(&segment.step);
        PyRef item = key ? new_str(*key)
                         : PyRef::steal(PyLong_FromUnsignedLongLong(std::get<std::uint64_t>(segment.step)));
        if (!item) return {};
        PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), item.release());
    }
    return tuple;
}

bool set_item(PyObject* dict, const char* key, PyRef value) {
    return value && PyDict_SetItemString(dict, key, value.get()) == 0;
}

PyRef build_errors_tuple(const ErrorList& records) {
    PyRef tuple = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(records.size())));
    if (!tuple) return {};
    for (std::size_t i = 0; i < records.size(); ++i) {
        const ErrorRecord& record = records[i];
        PyRef dict = PyRef::steal(PyDict_New());
        if (!dict || !set_item(dict.get(), "code", new_str(record.code)) ||
            !set_item(dict.get(), "path", convert_path_to_tuple(record.path)) ||
            !set_item(dict.get(), "message", new_str(format_error_line(record))) ||
            !set_item(dict.get(), "expected", new_str(record.expected)) ||
            !set_item(dict.get(), "value", new_str(record.value))) {
            return {};
        }
        PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), dict.release());
    }
    return tuple;
}

bool set_attribute(PyObject* error, const char* name, PyRef value) {
    return value && PyObject_SetAttrString(error, name, value.get()) == 0;
}

}  // namespace

PyRef make_validation_error(const ErrorList& records) {
    std::string message;
    if (records.size() == 1) {
        message = format_error_line(records.front());
    } else {
        message = std::to_string(records.size()) + " validation errors:";
        for (const ErrorRecord& record : records) {
            message += '\n';
            message += format_error_line(record);
        }
    }
    PyObject* type = validation_error_type();
    if (type == nullptr) return {};
    PyRef message_object = new_str(message);
    if (!message_object) return {};
    PyRef error = PyRef::steal(PyObject_CallOneArg(type, message_object.get()));
    if (!error) return {};
    // No record to describe (Python code answered differently when the failure was
    // explained than when it was decided): the attributes say so instead of
    // describing a failure that was never recorded.
    const bool described = !records.empty();
    const ErrorRecord* first = described ? &records.front() : nullptr;
    auto text_or_none = [&](auto text_of) { return described ? new_str(text_of(*first)) : PyRef::borrow(Py_None); };
    if (!set_attribute(error.get(), "code", text_or_none([](const ErrorRecord& r) { return r.code; })) ||
        !set_attribute(error.get(), "expected",
                       text_or_none([](const ErrorRecord& r) -> std::string_view { return r.expected; })) ||
        !set_attribute(error.get(), "value",
                       text_or_none([](const ErrorRecord& r) -> std::string_view { return r.value; })) ||
        !set_attribute(error.get(), "message",
                       text_or_none([](const ErrorRecord& r) { return format_error_line(r); })) ||
        !set_attribute(error.get(), "path", described ? convert_path_to_tuple(first->path) : PyRef::steal(PyTuple_New(0))) ||
        !set_attribute(error.get(), "errors", build_errors_tuple(records))) {
        return {};
    }
    return error;
}

PyRef make_json_invalid_error(std::string_view reader_text) {
    ErrorList records;
    records.push_back(ErrorRecord{{}, "valid JSON", truncate_chars(reader_text, kValueTextLimit), "json_invalid"});
    return make_validation_error(records);
}

}  // namespace kestrune::py
