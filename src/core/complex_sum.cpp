// Neumaier summation of complex values, part by part.
#include "core/complex_sum.hpp"

#include <cmath>

namespace vendrel::core {
namespace {

// One Neumaier step on one part: the correction collects the low-order bits lost by s + v.
void compensated_add(double& sum, double& correction, double value) {
    const double total = sum + value;
    if (std::fabs(sum) >= std::fabs(value)) {
        correction = correction + ((sum - total) + value);
    } else {
        correction = correction + ((value - total) + sum);
    }
    sum = total;
}

}  // namespace

Complex deterministic_complex_sum(std::span<const Complex> values) {
    Complex sum{0.0, 0.0};
    Complex correction{0.0, 0.0};
    for (const Complex& value : values) {
        compensated_add(sum.re, correction.re, value.re);
        compensated_add(sum.im, correction.im, value.im);
    }
    return sum + correction;
}

}  // namespace vendrel::core
