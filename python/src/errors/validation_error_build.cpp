#include "errors/validation_error_build.hpp"

#include <algorithm>
#include <cstdint>
#include <iterator>
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

// The texts that most records carry (the fixed codes, the atoms' expected texts, the
// words shown for values), each one str for the process, found through a small
// open-addressing table.
constexpr std::string_view kCommonTexts[] = {
    "False", "None", "True", "bool", "bool_type", "bytes", "bytes_type", "dict", "dict_type",
    "extra_forbidden", "float", "float_type", "frozen_set_type", "frozenset", "greater_than",
    "greater_than_equal", "instance_type", "int", "int_type", "json_invalid", "less_than", "less_than_equal",
    "list", "list_length", "list_type", "literal_error", "missing", "missing_attribute", "missing_key",
    "multiple_of", "no_match", "none_type", "predicate_failed", "set", "set_type", "str",
    "string_pattern_mismatch", "string_type", "too_long", "too_short", "tuple", "tuple_length", "tuple_type",
    "unexpected_match", "union_error", "valid JSON",
};
constexpr std::size_t kCommonTextCount = std::size(kCommonTexts);
constexpr std::size_t kCommonSlots = 128;  // a power of two, well above the count
static_assert(kCommonTextCount < kCommonSlots / 2);

constexpr std::size_t common_slot(std::string_view text) {
    const auto first = static_cast<unsigned char>(text.front());
    const auto last = static_cast<unsigned char>(text.back());
    return (text.size() * 131 + first * 31 + last * 7) & (kCommonSlots - 1);
}

struct CommonTexts {
    PyObject* objects[kCommonTextCount];
    // Index into kCommonTexts plus one; 0 for an empty slot.
    std::uint8_t slots[kCommonSlots];
};

OnceCell<CommonTexts> common_texts_cell;

const CommonTexts* common_texts() {
    return common_texts_cell.get_or_init([]() -> CommonTexts* {
        auto* common = new CommonTexts{};
        for (std::size_t i = 0; i < kCommonTextCount; ++i) {
            // Interned, and so immortal: shared by every thread at no reference-count cost.
            common->objects[i] =
                PyUnicode_InternFromString(std::string(kCommonTexts[i]).c_str());
            if (common->objects[i] == nullptr) {
                for (std::size_t j = 0; j < i; ++j) Py_DECREF(common->objects[j]);
                delete common;
                return nullptr;
            }
            std::size_t slot = common_slot(kCommonTexts[i]);
            while (common->slots[slot] != 0) slot = (slot + 1) & (kCommonSlots - 1);
            common->slots[slot] = static_cast<std::uint8_t>(i + 1);
        }
        return common;
    });
}

// The str of a text: the shared one of a common text, otherwise a new one.
PyRef text_object(const CommonTexts& common, std::string_view text) {
    if (text.empty()) return new_str(text);
    for (std::size_t slot = common_slot(text); common.slots[slot] != 0; slot = (slot + 1) & (kCommonSlots - 1)) {
        const std::size_t index = common.slots[slot] - 1u;
        if (kCommonTexts[index] == text) return PyRef::borrow(common.objects[index]);
    }
    return new_str(text);
}

// A path as a tuple. Its leading segments that equal those of `before` (the path of
// `before_tuple`) take that tuple's elements rather than new ones.
PyRef convert_path_to_tuple(const ErrorPath& path, const ErrorPath* before, PyObject* before_tuple) {
    PyRef tuple = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(path.size())));
    if (!tuple) return {};
    std::size_t shared = 0;
    if (before != nullptr) {
        const std::size_t common = std::min(path.size(), before->size());
        while (shared < common && path[shared].step == (*before)[shared].step) ++shared;
    }
    for (std::size_t i = 0; i < path.size(); ++i) {
        PyRef item;
        if (i < shared) {
            item = PyRef::borrow(PyTuple_GET_ITEM(before_tuple, static_cast<Py_ssize_t>(i)));
        } else if (const auto* key = std::get_if<std::string>(&path[i].step)) {
            item = new_str(*key);
        } else {
            item = PyRef::steal(PyLong_FromUnsignedLongLong(std::get<std::uint64_t>(path[i].step)));
        }
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
    bool make(const CommonTexts& common, const ErrorRecord& record, std::string_view line,
              const ErrorRecord* before, const RecordTexts* before_texts) {
        const bool has_before = before != nullptr;
        code = reuse_or_make(common, record.code, has_before ? before->code : "",
                             has_before ? &before_texts->code : nullptr);
        message = code ? new_str(line) : PyRef();
        if (message) {
            expected = reuse_or_make(common, record.expected, has_before ? before->expected : "",
                                     has_before ? &before_texts->expected : nullptr);
        }
        if (expected) {
            value = reuse_or_make(common, record.value, has_before ? before->value : "",
                                  has_before ? &before_texts->value : nullptr);
        }
        return static_cast<bool>(value);
    }

private:
    static PyRef reuse_or_make(const CommonTexts& common, std::string_view text, std::string_view previous,
                               const PyRef* previous_object) {
        return previous_object != nullptr && text == previous ? previous_object->copy() : text_object(common, text);
    }
};

bool set_item(PyObject* dict, PyObject* key, PyObject* value) {
    return value != nullptr && PyDict_SetItem(dict, key, value) == 0;
}

PyRef build_error_dict(const ErrorNames& names, PyObject* path, const RecordTexts& texts) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict || !set_item(dict.get(), names.code, texts.code.get()) || !set_item(dict.get(), names.path, path) ||
        !set_item(dict.get(), names.message, texts.message.get()) ||
        !set_item(dict.get(), names.expected, texts.expected.get()) ||
        !set_item(dict.get(), names.value, texts.value.get())) {
        return {};
    }
    return dict;
}

bool set_attribute(PyObject* error, PyObject* name, PyObject* value) {
    return value != nullptr && PyObject_SetAttr(error, name, value) == 0;
}

// The message and every record's line in one text: for one record the message is
// its line; otherwise a header, then each line after a line feed.
class MessageText {
public:
    explicit MessageText(const ErrorList& records) : several_(records.size() != 1) {
        std::size_t size = 32;
        for (const ErrorRecord& record : records) size += 1 + error_line_size_bound(record);
        text_.reserve(size);
        if (!several_) {
            if (!records.empty()) format_error_line(text_, records.front());
            return;
        }
        text_ += std::to_string(records.size());
        text_ += " validation errors:";
        spans_.reserve(records.size());
        for (const ErrorRecord& record : records) {
            text_ += '\n';
            const std::size_t start = text_.size();
            format_error_line(text_, record);
            spans_.push_back({start, text_.size() - start});
        }
    }

    std::string_view message() const { return text_; }
    std::string_view line(std::size_t i) const {
        if (!several_) return text_;
        return std::string_view(text_).substr(spans_[i].start, spans_[i].size);
    }

private:
    struct Span {
        std::size_t start, size;
    };
    bool several_;
    std::string text_;
    std::vector<Span> spans_;
};

}  // namespace

PyRef make_validation_error(const ErrorList& records) {
    const MessageText text(records);
    const ErrorNames* names = error_names();
    const CommonTexts* common = names != nullptr ? common_texts() : nullptr;
    PyObject* type = common != nullptr ? validation_error_type() : nullptr;
    if (type == nullptr) return {};
    RecordTexts first;
    if (!records.empty() && !first.make(*common, records.front(), text.line(0), nullptr, nullptr)) return {};
    PyRef message_object = records.size() == 1 ? first.message.copy() : new_str(text.message());
    if (!message_object) return {};
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
        path = convert_path_to_tuple(records.front().path, nullptr, nullptr);
    }
    if (!set_attribute(error.get(), names->path, path.get())) return {};
    PyRef tuple = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(records.size())));
    if (!tuple) return {};
    RecordTexts previous;
    // Each dict's path is a new tuple; the first one's elements are those of `path`.
    PyRef record_path = path.copy();
    for (std::size_t i = 0; i < records.size(); ++i) {
        RecordTexts texts;
        if (i > 0 && !texts.make(*common, records[i], text.line(i), &records[i - 1], i == 1 ? &first : &previous)) {
            return {};
        }
        record_path = convert_path_to_tuple(records[i].path, &records[i == 0 ? 0 : i - 1].path, record_path.get());
        if (!record_path) return {};
        PyRef dict = build_error_dict(*names, record_path.get(), i == 0 ? first : texts);
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
