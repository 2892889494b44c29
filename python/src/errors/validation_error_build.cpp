#include "errors/validation_error_build.hpp"

#include <string>
#include <vector>

#include "errors/text_helpers.hpp"
#include "errors/validation_error.hpp"
#include "support/once_cell.hpp"
#include "support/utf8_text.hpp"

namespace kestrune::py {

namespace {

// The attribute names and dict keys every ValidationError is given, made once for
// the process: interned, they cost neither a conversion nor a hash per error.
struct ErrorNames {
    PyObject* code;
    PyObject* path;
    PyObject* message;
    PyObject* expected;
    PyObject* value;
    PyObject* errors;
};

OnceCell<ErrorNames> error_names_cell;

const ErrorNames* error_names() {
    return error_names_cell.get_or_init([]() -> ErrorNames* {
        PyObject* names[6];
        const char* texts[6] = {"code", "path", "message", "expected", "value", "errors"};
        for (int i = 0; i < 6; ++i) {
            names[i] = PyUnicode_InternFromString(texts[i]);
            if (names[i] == nullptr) {
                for (int j = 0; j < i; ++j) Py_DECREF(names[j]);
                return nullptr;
            }
        }
        return new ErrorNames{names[0], names[1], names[2], names[3], names[4], names[5]};
    });
}

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

// The texts of one record as str objects, each made once: the first record's serve
// both its dict and the exception's attributes, and a text equal to the previous
// record's (the same code, expected text or value again) is that record's str.
struct RecordTexts {
    PyRef code;
    PyRef message;
    PyRef expected;
    PyRef value;

    // `before` and `before_texts`: the previous record and its texts, or both null.
    bool make(const ErrorRecord& record, std::string_view line, const ErrorRecord* before,
              const RecordTexts* before_texts) {
        const bool has_before = before != nullptr;
        code = reuse_or_make(record.code, has_before ? before->code : "", has_before ? &before_texts->code : nullptr);
        message = code ? new_str(line) : PyRef();
        if (message) {
            expected = reuse_or_make(record.expected, has_before ? before->expected : "",
                                     has_before ? &before_texts->expected : nullptr);
        }
        if (expected) {
            value = reuse_or_make(record.value, has_before ? before->value : "",
                                  has_before ? &before_texts->value : nullptr);
        }
        return static_cast<bool>(value);
    }

private:
    static PyRef reuse_or_make(std::string_view text, std::string_view previous, const PyRef* previous_object) {
        return previous_object != nullptr && text == previous ? previous_object->copy() : new_str(text);
    }
};

bool set_item(PyObject* dict, PyObject* key, PyObject* value) {
    return value != nullptr && PyDict_SetItem(dict, key, value) == 0;
}

PyRef build_error_dict(const ErrorNames& names, const ErrorRecord& record, const RecordTexts& texts) {
    PyRef dict = PyRef::steal(PyDict_New());
    PyRef path = dict ? convert_path_to_tuple(record.path) : PyRef();
    if (!path || !set_item(dict.get(), names.code, texts.code.get()) ||
        !set_item(dict.get(), names.path, path.get()) || !set_item(dict.get(), names.message, texts.message.get()) ||
        !set_item(dict.get(), names.expected, texts.expected.get()) ||
        !set_item(dict.get(), names.value, texts.value.get())) {
        return {};
    }
    return dict;
}

bool set_attribute(PyObject* error, PyObject* name, PyObject* value) {
    return value != nullptr && PyObject_SetAttr(error, name, value) == 0;
}

}  // namespace

PyRef make_validation_error(const ErrorList& records) {
    std::vector<std::string> lines;
    lines.reserve(records.size());
    for (const ErrorRecord& record : records) lines.push_back(format_error_line(record));
    const ErrorNames* names = error_names();
    PyObject* type = names != nullptr ? validation_error_type() : nullptr;
    if (type == nullptr) return {};
    RecordTexts first;
    if (!records.empty() && !first.make(records.front(), lines.front(), nullptr, nullptr)) return {};
    PyRef message_object;
    if (records.size() == 1) {
        message_object = first.message.copy();
    } else {
        std::string message = std::to_string(records.size()) + " validation errors:";
        for (const std::string& line : lines) {
            message += '\n';
            message += line;
        }
        message_object = new_str(message);
        if (!message_object) return {};
    }
    PyRef error = PyRef::steal(PyObject_CallOneArg(type, message_object.get()));
    if (!error) return {};
    // No record to describe (Python code answered differently when the failure was
    // explained than when it was decided): the attributes say so instead of
    // describing a failure that was never recorded.
    PyRef path;
    if (records.empty()) {
        for (PyObject* name : {names->code, names->expected, names->value, names->message}) {
            if (!set_attribute(error.get(), name, Py_None)) return {};
        }
        path = PyRef::steal(PyTuple_New(0));
    } else {
        if (!set_attribute(error.get(), names->code, first.code.get()) ||
            !set_attribute(error.get(), names->expected, first.expected.get()) ||
            !set_attribute(error.get(), names->value, first.value.get()) ||
            !set_attribute(error.get(), names->message, first.message.get())) {
            return {};
        }
        path = convert_path_to_tuple(records.front().path);
    }
    if (!set_attribute(error.get(), names->path, path.get())) return {};
    PyRef tuple = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(records.size())));
    if (!tuple) return {};
    RecordTexts previous;
    for (std::size_t i = 0; i < records.size(); ++i) {
        RecordTexts texts;
        if (i > 0 && !texts.make(records[i], lines[i], &records[i - 1], i == 1 ? &first : &previous)) return {};
        PyRef dict = build_error_dict(*names, records[i], i == 0 ? first : texts);
        if (!dict) return {};
        PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), dict.release());
        if (i > 0) previous = std::move(texts);
    }
    if (!set_attribute(error.get(), names->errors, tuple.get())) return {};
    return error;
}

PyRef make_json_invalid_error(std::string_view reader_text) {
    ErrorList records;
    records.push_back(ErrorRecord{{}, "valid JSON", truncate_chars(reader_text, kValueTextLimit), "json_invalid"});
    return make_validation_error(records);
}

}  // namespace kestrune::py
