// Total order and order-independent compensated summation of complex coefficients.
#pragma once

#include <bit>
#include <compare>
#include <cstdint>
#include <span>

#include "common/complex.hpp"

namespace vendrel::core {

/// IEEE 754 totalOrder of doubles: -NaN < -inf < ... < -0.0 < +0.0 < ... < +inf < +NaN.
[[nodiscard]] inline std::strong_ordering total_cmp(double a, double b) {
    auto key = [](double value) {
        auto bits = std::bit_cast<std::int64_t>(value);
        // Negative values have their magnitude bits reversed so that larger magnitudes sort first.
        return bits ^ static_cast<std::int64_t>(static_cast<std::uint64_t>(bits >> 63) >> 1);
    };
    return key(a) <=> key(b);
}

/// Real parts by the total order, then imaginary parts.
[[nodiscard]] inline std::strong_ordering complex_total_cmp(Complex a, Complex b) {
    const auto real = total_cmp(a.re, b.re);
    return real != 0 ? real : total_cmp(a.im, b.im);
}

/// Neumaier-compensated sum of the values in the given order, each part separately.
[[nodiscard]] Complex deterministic_complex_sum(std::span<const Complex> values);

/// Both parts compare equal to 0.0 (so -0.0 counts as zero and NaN does not).
[[nodiscard]] constexpr bool is_exact_zero(Complex value) { return value.re == 0.0 && value.im == 0.0; }

}  // namespace vendrel::core
