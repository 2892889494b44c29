// The general case of float tokens: long mantissas and large powers of ten.
#include <charconv>
#include <cstdint>
#include <limits>

#include "kestrune/json/detail/number_reader.hpp"

namespace kestrune::json::detail {

namespace {

// Whether a token whose value is out of the double range is too large (else too
// small): its leading significant digit stands at 10^(order - 1), and only
// magnitudes of at least 0.1 can overflow while no such magnitude can underflow.
bool overflows(std::string_view token) {
    std::size_t at = token.front() == '-' ? 1 : 0;
    std::int64_t order = 0;
    if (token[at] == '0') {
        ++at;
        if (at < token.size() && token[at] == '.') {
            ++at;
            while (at < token.size() && token[at] == '0') {
                --order;
                ++at;
            }
        }
    } else {
        while (at < token.size() && is_digit(token[at])) {
            ++order;
            ++at;
        }
    }
    while (at < token.size() && token[at] != 'e' && token[at] != 'E') ++at;
    if (at == token.size()) return order > 0;
    ++at;
    const bool negative_exponent = token[at] == '-';
    if (token[at] == '+' || token[at] == '-') ++at;
    // Saturates: the order is already beyond the double range either way.
    constexpr std::int64_t kExponentCap = std::numeric_limits<std::int64_t>::max() / 100;
    std::int64_t exponent = 0;
    for (; at < token.size() && exponent < kExponentCap; ++at) exponent = exponent * 10 + (token[at] - '0');
    return (negative_exponent ? order - exponent : order + exponent) > 0;
}

}  // namespace

double parse_float_token(std::string_view token) {
    double value = 0.0;
    if (std::from_chars(token.data(), token.data() + token.size(), value).ec == std::errc()) return value;
    const double magnitude = overflows(token) ? std::numeric_limits<double>::infinity() : 0.0;
    return token.front() == '-' ? -magnitude : magnitude;
}

}  // namespace kestrune::json::detail
