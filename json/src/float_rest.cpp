// The fraction and exponent of number tokens, and the rounding of the common floats.
#include <cstdint>

#include "kestrune/json/detail/number_reader.hpp"

namespace kestrune::json::detail {

namespace {

// A float whose decimal digits fit a double exactly and whose power of ten is
// itself exact is rounded once, by the one operation, hence correctly.
bool finish_exact_float(std::uint64_t mantissa, std::size_t mantissa_digits, std::int64_t power, bool negative,
                        double& value) {
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

}  // namespace

const char* read_float_rest(const char* start, const char* cursor, const char* end, std::uint64_t mantissa,
                            std::size_t integer_digits, double& value, ReadFailure& failure) {
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
    std::size_t mantissa_digits = integer_digits;
    std::int64_t power = 0;
    if (*cursor == '.') {
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
    const bool negative = *start == '-';
    if (!finish_exact_float(mantissa, mantissa_digits, power, negative, value) &&
        !(mantissa_digits <= 19 && finish_float_by_products(mantissa, power, negative, value))) {
        value = parse_float_token(std::string_view(start, static_cast<std::size_t>(cursor - start)));
    }
    return cursor;
}

}  // namespace kestrune::json::detail
