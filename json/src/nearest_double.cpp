// Rounding a decimal w * 10^q (w of at most 19 digits) to the nearest double with
// two 64-bit products instead of big numbers: w is multiplied by the 128 leading
// bits of 10^q, and the result is used only when the bits below the double's
// mantissa show that the digits the table leaves out cannot change the rounding;
// otherwise the caller takes the slow, exact road.
#include <bit>
#include <cstdint>
#include <cstring>

#include "kestrune/json/detail/number_reader.hpp"

namespace kestrune::json::detail {

namespace {

struct Bits128 {
    std::uint64_t high;
    std::uint64_t low;
};

constexpr std::int64_t kLowestPower = -348;
constexpr std::int64_t kHighestPower = 347;

// 10^q for q from kLowestPower on, its top bit at bit 127, rounded down.
constexpr Bits128 kPowersOfTen[] = {
#include "decimal_powers.inc"
};
static_assert(std::size(kPowersOfTen) == kHighestPower - kLowestPower + 1);

Bits128 multiply(std::uint64_t a, std::uint64_t b) {
    const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
    return {static_cast<std::uint64_t>(product >> 64), static_cast<std::uint64_t>(product)};
}

}  // namespace

bool finish_float_by_products(std::uint64_t mantissa, std::int64_t power, bool negative, double& value) {
    constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;
    if (mantissa == 0) {
        value = negative ? -0.0 : 0.0;
        return true;
    }
    if (power < kLowestPower || power > kHighestPower) return false;
    const int leading_zeros = std::countl_zero(mantissa);
    mantissa <<= leading_zeros;
    // floor(power * log2(10)) for every power in the table, plus the bias and the
    // 64 bits the product is shifted by.
    constexpr std::int64_t kExponentBias = 1023;
    std::uint64_t exponent = static_cast<std::uint64_t>(((217706 * power) >> 16) + 64 + kExponentBias - leading_zeros);

    const Bits128& ten = kPowersOfTen[power - kLowestPower];
    Bits128 product = multiply(mantissa, ten.high);
    // The table's missing bits add less than `mantissa` to the low half: only when
    // that could carry into the bits that decide the rounding is the low half of
    // the power needed.
    if ((product.high & 0x1FF) == 0x1FF && product.low + mantissa < mantissa) {
        const Bits128 lower = multiply(mantissa, ten.low);
        Bits128 merged{product.high, product.low + lower.high};
        if (merged.low < product.low) ++merged.high;
        if ((merged.high & 0x1FF) == 0x1FF && merged.low + 1 == 0 && lower.low + mantissa < mantissa) return false;
        product = merged;
    }
    const std::uint64_t top_bit = product.high >> 63;
    std::uint64_t bits = product.high >> (top_bit + 9);  // 54 bits: the mantissa and one more
    exponent -= 1 ^ top_bit;
    // Exactly half-way between two doubles, as far as these bits tell: the tie
    // rule needs the exact value.
    if (product.low == 0 && (product.high & 0x1FF) == 0 && (bits & 3) == 1) return false;
    bits += bits & 1;
    bits >>= 1;
    if (bits >> 53 != 0) {
        bits >>= 1;
        ++exponent;
    }
    // Subnormals, infinities and overflow take the exact road.
    if (exponent - 1 >= 0x7FF - 1) return false;
    std::uint64_t word = exponent << 52 | (bits & ((std::uint64_t{1} << 52) - 1));
    if (negative) word |= kSignBit;
    std::memcpy(&value, &word, sizeof value);
    return true;
}

}  // namespace kestrune::json::detail
