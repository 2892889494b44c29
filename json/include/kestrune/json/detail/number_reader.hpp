// Reading a number token in one pass: the grammar is checked, the digits are
// accumulated as they go by, and the common floats are finished with one exact
// multiplication or division.
#pragma once

#include <bit>
#include <cstddef>
#include <cstring>
#include <cstdint>
#include <string_view>

#include "kestrune/json/detail/read_failure.hpp"

namespace kestrune::json::detail {

// Longest integer part, minus sign included, a number may have.
inline constexpr std::size_t kMaxIntegerPartLength = 4300;
// Integers with more digits are handed on as their exact digits.
inline constexpr std::size_t kMaxSmallIntegerDigits = 18;

enum class NumberKind : unsigned char { Int, BigInt, Float };

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

// Eight digits at `cursor` as their value, read as one little-endian word; false
// when some byte is not a digit.
inline bool read_eight_digits(const char* cursor, std::uint32_t& value) {
    if constexpr (std::endian::native != std::endian::little) return false;
    std::uint64_t word;
    std::memcpy(&word, cursor, sizeof word);
    // A byte is a digit when neither it minus '0' nor it plus (0x80 - ':') borrows
    // into or sets its high bit.
    if ((((word + 0x4646464646464646ull) | (word - 0x3030303030303030ull)) & 0x8080808080808080ull) != 0) return false;
    word -= 0x3030303030303030ull;
    word = word * 10 + (word >> 8);  // pairs of digits in every other byte
    constexpr std::uint64_t kPairs = 0x000000FF000000FFull;
    word = (((word & kPairs) * (100 + (1000000ull << 32))) + (((word >> 16) & kPairs) * (1 + (10000ull << 32)))) >> 32;
    value = static_cast<std::uint32_t>(word);
    return true;
}

// Adds the digits from `cursor` on (up to `limit`) to `mantissa`, which wraps past
// 19 digits; returns the position after them.
inline const char* accumulate_digits(const char* cursor, const char* limit, std::uint64_t& mantissa) {
    std::uint32_t eight;
    while (limit - cursor >= 8 && read_eight_digits(cursor, eight)) {
        mantissa = mantissa * 100'000'000 + eight;
        cursor += 8;
    }
    while (cursor != limit && is_digit(*cursor)) {
        mantissa = mantissa * 10 + static_cast<unsigned>(*cursor - '0');
        ++cursor;
    }
    return cursor;
}

// A float whose decimal digits fit a double exactly and whose power of ten is
// itself exact is rounded once, by the one operation, hence correctly.
inline bool finish_exact_float(std::uint64_t mantissa, std::size_t mantissa_digits, std::int64_t power,
                               bool negative, double& value) {
    constexpr std::uint64_t kExactMantissaLimit = std::uint64_t{1} << 53;
    static constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                       1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    constexpr std::int64_t kLargestExactPower = 22;
    // More than 19 digits may have wrapped the accumulator.
    if (mantissa_digits > 19 || mantissa > kExactMantissaLimit) return false;
    if (power < -kLargestExactPower || power > kLargestExactPower) return false;
    const auto magnitude = static_cast<double>(mantissa);
    value = power < 0 ? magnitude / kExactPowers[-power] : magnitude * kExactPowers[power];
    if (negative) value = -value;
    return true;
}

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
        const std::size_t room = static_cast<std::size_t>(end - start);
        const char* const limit = room > kMaxIntegerPartLength ? start + kMaxIntegerPartLength + 1 : end;
        cursor = accumulate_digits(cursor, limit, mantissa);
        if (static_cast<std::size_t>(cursor - start) > kMaxIntegerPartLength) {
            failure = {JsonErrorKind::NumberOutOfRange, start + kMaxIntegerPartLength + 1};
            return nullptr;
        }
        mantissa_digits = static_cast<std::size_t>(cursor - digits);
    } else {
        failure = {JsonErrorKind::InvalidNumber, cursor};
        return nullptr;
    }
    const std::size_t integer_digits = mantissa_digits;

    // The fraction and the exponent each need at least one digit.
    const auto expect_digit = [&]() {
        if (cursor == end) {
            failure = {JsonErrorKind::EofWhileParsingValue, end};
            return false;
        }
        if (!is_digit(*cursor)) {
            failure = {JsonErrorKind::InvalidNumber, cursor};
            return false;
        }
        return true;
    };
    bool is_float = false;
    std::int64_t power = 0;
    if (cursor != end && *cursor == '.') {
        is_float = true;
        ++cursor;
        if (!expect_digit()) return nullptr;
        const char* const fraction = cursor;
        cursor = accumulate_digits(cursor, end, mantissa);
        const auto fraction_digits = static_cast<std::size_t>(cursor - fraction);
        mantissa_digits += fraction_digits;
        // Only used when the digits are few; a long fraction fails the fast path anyway.
        power = -static_cast<std::int64_t>(fraction_digits > 19 ? 20 : fraction_digits);
    }
    if (cursor != end && (*cursor == 'e' || *cursor == 'E')) {
        is_float = true;
        ++cursor;
        bool negative_exponent = false;
        if (cursor != end && (*cursor == '+' || *cursor == '-')) {
            negative_exponent = *cursor == '-';
            ++cursor;
        }
        if (!expect_digit()) return nullptr;
        // Saturates well past any exponent a double can use.
        constexpr std::int64_t kExponentCap = 1'000'000;
        std::int64_t exponent = 0;
        do {
            if (exponent < kExponentCap) exponent = exponent * 10 + (*cursor - '0');
            ++cursor;
        } while (cursor != end && is_digit(*cursor));
        power += negative_exponent ? -exponent : exponent;
    }

    if (!is_float) {
        if (integer_digits <= kMaxSmallIntegerDigits) {
            const auto magnitude = static_cast<std::int64_t>(mantissa);
            token = {NumberKind::Int, negative ? -magnitude : magnitude, 0.0, {}};
        } else {
            token = {NumberKind::BigInt, 0, 0.0, std::string_view(start, static_cast<std::size_t>(cursor - start))};
        }
        return cursor;
    }
    double value;
    if (!finish_exact_float(mantissa, mantissa_digits, power, negative, value) &&
        !(mantissa_digits <= 19 && finish_float_by_products(mantissa, power, negative, value))) {
        value = parse_float_token(std::string_view(start, static_cast<std::size_t>(cursor - start)));
    }
    token = {NumberKind::Float, 0, value, {}};
    return cursor;
}

}  // namespace kestrune::json::detail
