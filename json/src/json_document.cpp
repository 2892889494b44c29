#include "kestrune/json/json_document.hpp"

#include <cstddef>
#include <cstring>
#include <limits>

namespace kestrune::json {

// The reader's sink. Values wait in `pending_` until their container closes; then
// they move, all at once, into storage of the exact size.
class JsonDocument::Builder {
public:
    explicit Builder(JsonDocument& document) : document_(document) {}

    bool null_value() { return add(JsonValue::null()); }
    bool bool_value(bool value) { return add(JsonValue::of_bool(value)); }
    bool int_value(std::int64_t value) { return add(JsonValue::of_int(value)); }
    bool big_int_value(std::string_view digits) { return add(JsonValue::of_big_int(digits)); }
    bool float_value(double value) { return add(JsonValue::of_float(value)); }
    bool string_value(std::string_view text, JsonTextOrigin origin) {
        return add(JsonValue::of_str(kept(text, origin)));
    }
    bool member_key(std::string_view text, JsonTextOrigin origin) { return string_value(text, origin); }

    bool start_array() { return open(); }
    bool start_object() { return open(); }

    bool end_array() {
        const std::size_t first = close();
        const std::size_t count = document_.pending_.size() - first;
        auto* items = static_cast<JsonValue*>(storage(count * sizeof(JsonValue)));
        if (count != 0) std::memcpy(static_cast<void*>(items), &document_.pending_[first], count * sizeof(JsonValue));
        document_.pending_.resize(first);
        return add(JsonValue::of_array({items, count}));
    }

    bool end_object() {
        const std::size_t first = close();
        const std::size_t count = (document_.pending_.size() - first) / 2;
        auto* members = static_cast<JsonMember*>(storage(count * sizeof(JsonMember)));
        // The pending keys and values alternate, which is a member's own layout.
        static_assert(sizeof(JsonMember) == 2 * sizeof(JsonValue) && offsetof(JsonMember, value) == sizeof(JsonValue));
        if (count != 0) {
            std::memcpy(static_cast<void*>(members), &document_.pending_[first], count * sizeof(JsonMember));
        }
        document_.pending_.resize(first);
        return add(JsonValue::of_object({members, count}));
    }

private:
    bool add(JsonValue value) {
        document_.pending_.push_back(value);
        return true;
    }

    bool open() {
        document_.open_.push_back(document_.pending_.size());
        return true;
    }

    std::size_t close() {
        const std::size_t first = document_.open_.back();
        document_.open_.pop_back();
        return first;
    }

    void* storage(std::size_t bytes) { return bytes == 0 ? nullptr : document_.arena_.allocate(bytes); }

    // A decoded text lives in the reader's scratch buffer only until the next event.
    std::string_view kept(std::string_view text, JsonTextOrigin origin) {
        if (origin == JsonTextOrigin::Document || text.empty()) return text;
        void* const copy = document_.arena_.allocate(text.size());
        std::memcpy(copy, text.data(), text.size());
        return {static_cast<const char*>(copy), text.size()};
    }

    JsonDocument& document_;
};

std::optional<JsonError> JsonDocument::read(std::string_view document, JsonSource source) {
    clear(std::numeric_limits<std::size_t>::max());
    Builder builder(*this);
    std::optional<JsonError> error = read_json(document, source, builder);
    if (!error) root_ = pending_.back();
    return error;
}

void JsonDocument::clear(std::size_t retained_bytes) {
    root_ = JsonValue();
    // Assigning an empty vector would keep the capacity: a vector that does not fit
    // is swapped out to give its storage back.
    const auto keep_within = [&retained_bytes]<class T>(std::vector<T>& values) {
        const std::size_t bytes = values.capacity() * sizeof(T);
        if (bytes > retained_bytes) {
            std::vector<T>().swap(values);
        } else {
            values.clear();
            retained_bytes -= bytes;
        }
    };
    keep_within(pending_);
    keep_within(open_);
    arena_.reset(retained_bytes);
}

std::size_t JsonDocument::retained_bytes() const {
    return pending_.capacity() * sizeof(JsonValue) + open_.capacity() * sizeof(std::size_t) +
           arena_.block_bytes();
}

}  // namespace kestrune::json
