// Complex numbers as a pair of doubles with the plain textbook arithmetic.
#pragma once

#include <cmath>

namespace vendrel {

/// A complex number, real part first. Unlike std::complex, multiplication is exactly
/// (ac - bd) + (ad + bc)i with no NaN recovery, so results match the written formulas bit for bit.
struct Complex {
    double re = 0.0;
    double im = 0.0;

    friend constexpr Complex operator+(Complex a, Complex b) { return {a.re + b.re, a.im + b.im}; }
    friend constexpr Complex operator-(Complex a, Complex b) { return {a.re - b.re, a.im - b.im}; }
    friend constexpr Complex operator*(Complex a, Complex b) {
        return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
    }
    constexpr Complex& operator+=(Complex b) {
        re = re + b.re;
        im = im + b.im;
        return *this;
    }
    /// Bitwise-insensitive value equality (0.0 == -0.0, NaN != NaN), as for doubles.
    friend constexpr bool operator==(Complex a, Complex b) { return a.re == b.re && a.im == b.im; }
};

[[nodiscard]] constexpr Complex conj(Complex z) { return {z.re, -z.im}; }

/// Both parts divided by a real number.
[[nodiscard]] constexpr Complex divide(Complex z, double d) { return {z.re / d, z.im / d}; }

/// re^2 + im^2, the squared modulus, in that order of operations.
[[nodiscard]] constexpr double norm_squared(Complex z) { return z.re * z.re + z.im * z.im; }

[[nodiscard]] inline bool is_finite(Complex z) { return std::isfinite(z.re) && std::isfinite(z.im); }

}  // namespace vendrel
