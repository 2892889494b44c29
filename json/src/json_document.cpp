#include "kestrune/json/json_document.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <limits>

namespace kestrune::json {

namespace {

constexpr std::size_t kFirstPendingCapacity = 256;

// Copies a closed container's values. They are mostly few, so fixed-size copies
// (which the compiler keeps inline) do better than a call of memcpy.
void copy_values(JsonValue* to, const JsonValue* from, std::size_t count) {
    for (; count >= 4; count -= 4, to += 4, from += 4) std::memcpy(static_cast<void*>(to), from, 4 * sizeof(JsonValue));
    for (; count != 0; --count, ++to, ++from) std::memcpy(static_cast<void*>(to), from, sizeof(JsonValue));
}

}  // namespace

// The reader's sink. Values wait on the pending stack until their container closes;
// then they move, all at once, into storage of the exact size. The stack lives in
// the document, so its storage serves the next read too; the builder works on it
// through its own pointers.
class JsonDocument::Builder {
public:
    explicit Builder(JsonDocument& document)
        : document_(document),
          base_(reinterpret_cast<JsonValue*>(document.pending_.data())),
          top_(base_),
          limit_(base_ + document.pending_.size() / sizeof(JsonValue)) {}

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
        JsonValue* const first = close();
        const auto count = static_cast<std::size_t>(top_ - first);
        auto* items = static_cast<JsonValue*>(storage(count * sizeof(JsonValue)));
        copy_values(items, first, count);
        top_ = first;
        return add(JsonValue::of_array({items, count}));
    }

    bool end_object() {
        JsonValue* const first = close();
        // The pending keys and values alternate, which is a member's own layout.
        static_assert(sizeof(JsonMember) == 2 * sizeof(JsonValue) && offsetof(JsonMember, value) == sizeof(JsonValue));
        const auto count = static_cast<std::size_t>(top_ - first) / 2;
        auto* members = static_cast<JsonMember*>(storage(count * sizeof(JsonMember)));
        copy_values(reinterpret_cast<JsonValue*>(members), first, 2 * count);
        top_ = first;
        return add(JsonValue::of_object({members, count}));
    }

    // The top-level value, once the reader has accepted the document.
    JsonValue root() const { return *base_; }

private:
    bool add(JsonValue value) {
        if (top_ == limit_) [[unlikely]] grow();
        *top_++ = value;
        return true;
    }

    // An index, not a pointer: the stack may move when it grows.
    bool open() {
        open_[depth_++] = static_cast<std::size_t>(top_ - base_);
        return true;
    }
    JsonValue* close() { return base_ + open_[--depth_]; }

    [[gnu::noinline]] void grow() {
        const auto size = static_cast<std::size_t>(top_ - base_);
        const std::size_t capacity = std::max(kFirstPendingCapacity, 2 * static_cast<std::size_t>(limit_ - base_));
        document_.pending_.grow(capacity * sizeof(JsonValue), size * sizeof(JsonValue));
        base_ = reinterpret_cast<JsonValue*>(document_.pending_.data());
        top_ = base_ + size;
        limit_ = base_ + capacity;
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
    JsonValue* base_;
    JsonValue* top_;
    JsonValue* limit_;
    // Where the contents of each open container start on the stack; the reader
    // opens at most one container more than the deepest admitted depth.
    std::array<std::size_t, kJsonMaxDepth + 1> open_;
    std::size_t depth_ = 0;
};

std::optional<JsonError> JsonDocument::read(std::string_view document, JsonSource source) {
    clear(std::numeric_limits<std::size_t>::max());
    Builder builder(*this);
    std::optional<JsonError> error = read_json(document, source, builder);
    if (!error) root_ = builder.root();
    return error;
}

void JsonDocument::clear(std::size_t retained_bytes) {
    root_ = JsonValue();
    const std::size_t pending_bytes = pending_.size();
    if (pending_bytes > retained_bytes) {
        pending_ = detail::SystemBlock();
    } else {
        retained_bytes -= pending_bytes;
    }
    arena_.reset(retained_bytes);
}

std::size_t JsonDocument::retained_bytes() const {
    return pending_.size() + arena_.block_bytes();
}

}  // namespace kestrune::json
