// Reading strings that the reader's inline look does not settle, and decoding
// those that hold escapes.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "kestrune/json/detail/string_reader.hpp"

namespace kestrune::json::detail {

namespace {

constexpr std::uint32_t kHighSurrogateFirst = 0xd800;
constexpr std::uint32_t kLowSurrogateFirst = 0xdc00;
constexpr std::uint32_t kLowSurrogateLast = 0xdfff;

constexpr std::array<signed char, 256> kHexDigitValues = [] {
    std::array<signed char, 256> values{};
    values.fill(-1);
    for (int digit = 0; digit < 10; ++digit) values['0' + digit] = static_cast<signed char>(digit);
    for (int digit = 0; digit < 6; ++digit) {
        values['a' + digit] = static_cast<signed char>(10 + digit);
        values['A' + digit] = static_cast<signed char>(10 + digit);
    }
    return values;
}();

int hex_digit_value(char digit) { return kHexDigitValues[static_cast<unsigned char>(digit)]; }

// The byte each one-letter escape stands for, by the letter; 0 for every other byte.
constexpr std::array<char, 256> kEscapedBytes = [] {
    std::array<char, 256> bytes{};
    bytes['"'] = '"';
    bytes['\\'] = '\\';
    bytes['/'] = '/';
    bytes['b'] = '\b';
    bytes['f'] = '\f';
    bytes['n'] = '\n';
    bytes['r'] = '\r';
    bytes['t'] = '\t';
    return bytes;
}();

bool is_low_surrogate(std::uint32_t unit) { return unit >= kLowSurrogateFirst && unit <= kLowSurrogateLast; }
bool is_high_surrogate(std::uint32_t unit) { return unit >= kHighSurrogateFirst && unit < kLowSurrogateFirst; }

// The scratch string used as raw storage: its size is the room reserved, `used_`
// the decoded length. Growing zero-fills only the new part, and the buffer lives as
// long as the reader, so steady reading writes straight into it.
class ScratchWriter {
public:
    explicit ScratchWriter(std::string& buffer) : buffer_(buffer) {}

    // Room for at least `bytes` more bytes at the end of the text.
    char* room(std::size_t bytes) {
        if (buffer_.size() - used_ < bytes) buffer_.resize(std::max(buffer_.size() * 2, used_ + bytes + 64));
        return buffer_.data() + used_;
    }
    void commit(std::size_t bytes) { used_ += bytes; }

    void append(const char* bytes, std::size_t count) {
        std::memcpy(room(count), bytes, count);
        commit(count);
    }
    void push(char byte) {
        *room(1) = byte;
        commit(1);
    }

    std::string_view text() const { return {buffer_.data(), used_}; }

private:
    std::string& buffer_;
    std::size_t used_ = 0;
};

void append_utf8(ScratchWriter& out, std::uint32_t code_point) {
    char* const bytes = out.room(4);
    if (code_point < 0x80) {
        bytes[0] = static_cast<char>(code_point);
        out.commit(1);
    } else if (code_point < 0x800) {
        bytes[0] = static_cast<char>(0xc0 | (code_point >> 6));
        bytes[1] = static_cast<char>(0x80 | (code_point & 0x3f));
        out.commit(2);
    } else if (code_point < 0x10000) {
        bytes[0] = static_cast<char>(0xe0 | (code_point >> 12));
        bytes[1] = static_cast<char>(0x80 | ((code_point >> 6) & 0x3f));
        bytes[2] = static_cast<char>(0x80 | (code_point & 0x3f));
        out.commit(3);
    } else {
        bytes[0] = static_cast<char>(0xf0 | (code_point >> 18));
        bytes[1] = static_cast<char>(0x80 | ((code_point >> 12) & 0x3f));
        bytes[2] = static_cast<char>(0x80 | ((code_point >> 6) & 0x3f));
        bytes[3] = static_cast<char>(0x80 | (code_point & 0x3f));
        out.commit(4);
    }
}

// The four hexadecimal digits at `cursor`; returns the position after them.
const char* read_hex_unit(const char* cursor, const char* end, std::uint32_t& unit, ReadFailure& failure) {
    if (end - cursor >= 4) {
        const int digits[] = {hex_digit_value(cursor[0]), hex_digit_value(cursor[1]), hex_digit_value(cursor[2]),
                              hex_digit_value(cursor[3])};
        if ((digits[0] | digits[1] | digits[2] | digits[3]) >= 0) {
            unit = static_cast<std::uint32_t>(digits[0] << 12 | digits[1] << 8 | digits[2] << 4 | digits[3]);
            return cursor + 4;
        }
    }
    // Digit by digit, to find where the escape goes wrong.
    unit = 0;
    for (int count = 0; count < 4; ++count, ++cursor) {
        if (cursor == end) {
            failure = {JsonErrorKind::EofWhileParsingString, end};
            return nullptr;
        }
        const int value = hex_digit_value(*cursor);
        if (value < 0) {
            failure = {JsonErrorKind::InvalidEscape, cursor};
            return nullptr;
        }
        unit = unit << 4 | static_cast<std::uint32_t>(value);
    }
    return cursor;
}

// After a high surrogate escape, the low one that must complete the pair.
const char* read_low_surrogate(const char* cursor, const char* end, std::uint32_t& unit, ReadFailure& failure) {
    for (const char expected : {'\\', 'u'}) {
        if (cursor == end) {
            failure = {JsonErrorKind::EofWhileParsingString, end};
            return nullptr;
        }
        if (*cursor != expected) {
            failure = {JsonErrorKind::UnexpectedEndOfHexEscape, cursor};
            return nullptr;
        }
        ++cursor;
    }
    cursor = read_hex_unit(cursor, end, unit, failure);
    if (cursor != nullptr && !is_low_surrogate(unit)) {
        failure = {JsonErrorKind::LoneLeadingSurrogate, cursor - 1};
        return nullptr;
    }
    return cursor;
}

// `cursor` is at the letter after a backslash \u; appends the character it stands for.
const char* decode_unicode_escape(const char* cursor, const char* end, ScratchWriter& out, ReadFailure& failure) {
    std::uint32_t unit;
    cursor = read_hex_unit(cursor + 1, end, unit, failure);
    if (cursor == nullptr) return nullptr;
    if (is_low_surrogate(unit)) {
        failure = {JsonErrorKind::LoneLeadingSurrogate, cursor - 1};
        return nullptr;
    }
    if (is_high_surrogate(unit)) {
        std::uint32_t low;
        cursor = read_low_surrogate(cursor, end, low, failure);
        if (cursor == nullptr) return nullptr;
        unit = 0x10000 + ((unit - kHighSurrogateFirst) << 10) + (low - kLowSurrogateFirst);
    }
    append_utf8(out, unit);
    return cursor;
}

// `cursor` is at a backslash; appends what the escape stands for.
const char* decode_escape(const char* cursor, const char* end, ScratchWriter& out, ReadFailure& failure) {
    ++cursor;
    if (cursor == end) {
        failure = {JsonErrorKind::EofWhileParsingString, end};
        return nullptr;
    }
    if (const char decoded = kEscapedBytes[static_cast<unsigned char>(*cursor)]; decoded != 0) {
        out.push(decoded);
        return cursor + 1;
    }
    if (*cursor == 'u') return decode_unicode_escape(cursor, end, out, failure);
    failure = {JsonErrorKind::InvalidEscape, cursor};
    return nullptr;
}

// Copies the plain run at `cursor` while finding where it stops (as skip_plain_run
// does): sixteen bytes at a time are stored unconditionally and as many kept as
// belong to the run, so short runs between escapes cost no copy call.
const char* copy_plain_run(const char* cursor, const char* end, bool check_utf8, ScratchWriter& out,
                           ReadFailure& failure) {
#if defined(__SSE2__)
    while (end - cursor >= 16) {
        const __m128i chunk = vector_scan::load_vector(cursor);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out.room(16)), chunk);
        const unsigned stops = vector_scan::string_run_stops(chunk, check_utf8);
        const unsigned kept = stops == 0 ? 16 : static_cast<unsigned>(__builtin_ctz(stops));
        out.commit(kept);
        cursor += kept;
        if (kept == 16) continue;
        const int sequence = classify_run_stop(cursor, end, failure);
        if (sequence <= 0) return sequence == 0 ? cursor : nullptr;
        out.append(cursor, static_cast<std::size_t>(sequence));
        cursor += sequence;
    }
#endif
    const char* const run = cursor;
    cursor = skip_plain_run(cursor, end, check_utf8, failure);
    if (cursor != nullptr) out.append(run, static_cast<std::size_t>(cursor - run));
    return cursor;
}

// Decodes a string from its first escape on; `body` is just after the opening quote
// and `cursor` at the first backslash.
const char* read_escaped_string(const char* body, const char* cursor, const char* end, bool check_utf8,
                                std::string& scratch, StringToken& token, ReadFailure& failure) {
    ScratchWriter out(scratch);
    out.append(body, static_cast<std::size_t>(cursor - body));
    for (;;) {
        cursor = decode_escape(cursor, end, out, failure);
        if (cursor == nullptr) return nullptr;
        cursor = copy_plain_run(cursor, end, check_utf8, out, failure);
        if (cursor == nullptr) return nullptr;
        if (*cursor == '"') break;
    }
    token = {out.text(), JsonTextOrigin::Scratch};
    return cursor + 1;
}

}  // namespace

const char* read_any_string(const char* cursor, const char* end, bool check_utf8, std::string& scratch,
                            StringToken& token, ReadFailure& failure) {
    const char* const body = cursor;
    cursor = skip_plain_run(cursor, end, check_utf8, failure);
    if (cursor == nullptr) return nullptr;
    if (*cursor == '"') {
        token = {std::string_view(body, static_cast<std::size_t>(cursor - body)), JsonTextOrigin::Document};
        return cursor + 1;
    }
    return read_escaped_string(body, cursor, end, check_utf8, scratch, token, failure);
}

}  // namespace kestrune::json::detail
