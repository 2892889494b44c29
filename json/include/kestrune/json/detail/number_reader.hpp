// Reading a number token in one pass: the grammar is checked and the digits are
// accumulated as they go by, up to eight at a time. Integers are read inline; the
// fraction and exponent of floats are read out of line (float_rest.cpp), where the
// common ones are finished with one exact multiplication or division.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kestrune/json/detail/byte_scan.hpp"
#include "kestrune/json/detail/read_failure.hpp"

namespace kestrune::json::detail {

// Longest integer part, minus sign included, a number may have.
inline constexpr std::size_t kMaxIntegerPartLength = 4300;
// Integers with more digits are handed on as their exact digits.
inline constexpr std::size_t kMaxSmallIntegerDigits = 18;
// Digits read one by one before the word-wide loop takes over.
inline constexpr int kBytewiseDigits = 4;

enum class NumberKind : unsigned char { Int, BigInt, Float };

// Only the field of its kind is set.
struct NumberToken {
    NumberKind kind;
    std::int64_t integer;     // Int
    double number;            // Float
    std::string_view digits;  // BigInt: the whole token
};

// Correctly rounded value of a float token the fast path cannot finish; values
// beyond the finite range become infinities, values below the smallest subnormal
// zeros, each of the token's sign.
double parse_float_token(std::string_view token);

// The nearest double to mantissa * 10^power (the mantissa exact, so of at most 19
// digits) when two 64-bit products settle it; false when they do not (ties,
// subnormals, overflow, powers past the table), leaving `value` untouched.
bool finish_float_by_products(std::uint64_t mantissa, std::int64_t power, bool negative, double& value);

inline bool is_digit(char byte) { return static_cast<unsigned char>(byte - '0') < 10; }

// The high bit of every byte of a little-endian `word` that is not a digit, exact up
// to the first such byte: a byte is a digit when neither it minus '0' nor it plus
// (0x80 - ':') borrows into or sets its high bit, and digits below it carry nothing.
inline std::uint64_t non_digit_bytes(std::uint64_t word) {
    return ((word + 0x4646464646464646ull) | (word - 0x3030303030303030ull)) & 0x8080808080808080ull;
}

// The number written by eight digit values, one per byte, the first in the lowest.
inline std::uint32_t eight_digit_value(std::uint64_t word) {
    word = word * 10 + (word >> 8);  // pairs of digits in every other byte
    constexpr std::uint64_t kPairs = 0x000000FF000000FFull;
    word = (((word & kPairs) * (100 + (1000000ull << 32))) + (((word >> 16) & kPairs) * (1 + (10000ull << 32)))) >> 32;
    return static_cast<std::uint32_t>(word);
}

inline constexpr bool kDigitWords = std::endian::native == std::endian::little;

struct DigitWord {
    unsigned count;       // digits at the start of the word, 8 when all are
    std::uint32_t value;  // the number they write
};

// The digits that start the eight bytes at `cursor` (little-endian targets only).
inline DigitWord read_digit_word(const char* cursor) {
    const std::uint64_t word = word_scan::load_word(cursor);
    const std::uint64_t stops = non_digit_bytes(word);
    const unsigned count = stops == 0 ? 8 : static_cast<unsigned>(std::countr_zero(stops)) / 8;
    if (count == 0) return {0, 0};
    // The bytes from the first non-digit on leave the word; zeros come in before
    // the digits.
    return {count, eight_digit_value((word - 0x3030303030303030ull) << (8 * (8 - count)))};
}

// Adds the digits from `cursor` on (up to `limit`) to `mantissa`, which wraps past
// 19 digits; returns the position after them.
inline const char* accumulate_digits(const char* cursor, const char* limit, std::uint64_t& mantissa) {
    static constexpr std::uint64_t kScales[] = {1,       10,        100,        1'000,      10'000,
                                                100'000, 1'000'000, 10'000'000, 100'000'000};
    if constexpr (kDigitWords) {
        while (limit - cursor >= 8) {
            const DigitWord word = read_digit_word(cursor);
            mantissa = mantissa * kScales[word.count] + word.value;
            cursor += word.count;
            if (word.count < 8) return cursor;
        }
    }
    while (cursor != limit && is_digit(*cursor)) {
        mantissa = mantissa * 10 + static_cast<unsigned>(*cursor - '0');
        ++cursor;
    }
    return cursor;
}

// The rest of a number whose integer part runs from `start` (its minus sign
// included) to `cursor`, which is at a "." or an exponent letter; `mantissa` holds
// the value of the integer part's `integer_digits` digits (wrapped past 19 of them).
// Kept out of line: most numbers are integers.
// The value is stored in `value`, not in a token, so that the caller's token never
// has its address taken.
const char* read_float_rest(const char* start, const char* cursor, const char* end, std::uint64_t mantissa,
                            std::size_t integer_digits, double& value, ReadFailure& failure);

// Reads a number starting at `cursor` (a minus sign or a digit). Returns the
// position after it, or nullptr with `failure` set.
inline const char* read_number(const char* cursor, const char* end, NumberToken& token, ReadFailure& failure) {
    const char* const start = cursor;
    const bool negative = *cursor == '-';
    if (negative) ++cursor;
    if (cursor == end) {
        failure = {JsonErrorKind::EofWhileParsingValue, end};
        return nullptr;
    }
    // Wraps past 19 digits; only read when the digit count says it cannot have.
    std::uint64_t mantissa = 0;
    std::size_t mantissa_digits = 0;
    if (*cursor == '0') {
        ++cursor;
        if (cursor != end && is_digit(*cursor)) {
            failure = {JsonErrorKind::InvalidNumber, cursor};
            return nullptr;
        }
    } else if (is_digit(*cursor)) {
        const char* const digits = cursor;
        // Most integers are short: their first digits are taken one at a time, far
        // within the length limit, and only a longer one goes on to the word-wide
        // loop, bounded by the limit.
        mantissa = static_cast<unsigned>(*cursor - '0');
        ++cursor;
        for (int taken = 1; taken < kBytewiseDigits && cursor != end && is_digit(*cursor); ++taken, ++cursor) {
            mantissa = mantissa * 10 + static_cast<unsigned>(*cursor - '0');
        }
        if (cursor != end && is_digit(*cursor)) {
            const std::size_t room = static_cast<std::size_t>(end - start);
            const char* const limit = room > kMaxIntegerPartLength ? start + kMaxIntegerPartLength + 1 : end;
            cursor = accumulate_digits(cursor, limit, mantissa);
            if (static_cast<std::size_t>(cursor - start) > kMaxIntegerPartLength) {
                failure = {JsonErrorKind::NumberOutOfRange, start + kMaxIntegerPartLength + 1};
                return nullptr;
            }
        }
        mantissa_digits = static_cast<std::size_t>(cursor - digits);
    } else {
        failure = {JsonErrorKind::InvalidNumber, cursor};
        return nullptr;
    }
    if (cursor != end && (*cursor == '.' || *cursor == 'e' || *cursor == 'E')) {
        double value;
        cursor = read_float_rest(start, cursor, end, mantissa, mantissa_digits, value, failure);
        if (cursor != nullptr) {
            token.kind = NumberKind::Float;
            token.number = value;
        }
        return cursor;
    }
    // Only the fields of the token's kind are written.
    if (mantissa_digits <= kMaxSmallIntegerDigits) {
        const auto magnitude = static_cast<std::int64_t>(mantissa);
        token.kind = NumberKind::Int;
        token.integer = negative ? -magnitude : magnitude;
    } else {
        token.kind = NumberKind::BigInt;
        token.digits = std::string_view(start, static_cast<std::size_t>(cursor - start));
    }
    return cursor;
}

}  // namespace kestrune::json::detail
