// The dense QGT (validation, product, shifted solve), the guarded dot product and conjugate gradients.
#include "variational/qgt.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vendrel::variational {

namespace {

// Smallest positive normal double: the floor of the symmetry tolerance for an all-zero matrix.
constexpr double kSmallestNormal = 2.2250738585072014e-308;
constexpr double kSymmetryTolerance = 1e-12;

}  // namespace

Result<DenseQgt, TDVPError> DenseQgt::create(std::uint64_t parameters, std::vector<double> data) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    if (parameters == 0 || parameters > kMax / parameters) {
        return fail(TDVPError{tdvp_error::InvalidParameter{"QGT dimension"}});
    }
    const std::uint64_t elements = parameters * parameters;
    if (data.size() != elements) {
        return fail(TDVPError{tdvp_error::Shape{elements, data.size()}});
    }
    if (!std::ranges::all_of(data, [](double value) { return std::isfinite(value); })) {
        return fail(TDVPError{tdvp_error::NonFinite{"QGT"}});
    }
    double scale = 0.0;
    for (const double value : data) {
        scale = std::max(scale, std::fabs(value));
    }
    const double tolerance = std::max(scale, kSmallestNormal) * kSymmetryTolerance;
    for (std::uint64_t row = 0; row < parameters; ++row) {
        for (std::uint64_t column = row + 1; column < parameters; ++column) {
            if (std::fabs(data[row * parameters + column] - data[column * parameters + row]) > tolerance) {
                return fail(TDVPError{tdvp_error::InvalidParameter{"symmetric QGT"}});
            }
        }
    }
    return DenseQgt(parameters, std::move(data));
}

Result<std::vector<double>, TDVPError> DenseQgt::matvec(std::span<const double> vector) const {
    if (vector.size() != parameters_) {
        return fail(TDVPError{tdvp_error::Shape{parameters_, vector.size()}});
    }
    if (!std::ranges::all_of(vector, [](double value) { return std::isfinite(value); })) {
        return fail(TDVPError{tdvp_error::NonFinite{"QGT vector"}});
    }
    std::vector<double> product(parameters_);
    for (std::uint64_t row = 0; row < parameters_; ++row) {
        const double* elements = data_.data() + row * parameters_;
        double sum = -0.0;
        for (std::uint64_t column = 0; column < parameters_; ++column) {
            sum = sum + elements[column] * vector[column];
        }
        product[row] = sum;
    }
    if (!std::ranges::all_of(product, [](double value) { return std::isfinite(value); })) {
        return fail(TDVPError{tdvp_error::NonFinite{"QGT matvec"}});
    }
    return product;
}

Result<CGResult, TDVPError> DenseQgt::solve(std::span<const double> rhs, double lambda, double tolerance,
                                            std::uint64_t max_iterations) const {
    if (!std::isfinite(lambda) || lambda < 0.0) {
        return fail(TDVPError{tdvp_error::InvalidParameter{"Tikhonov lambda"}});
    }
    const auto shifted = [this, lambda](std::span<const double> vector) -> MatvecResult {
        auto product = matvec(vector);
        if (!product) {
            return product;
        }
        std::vector<double>& w = *product;
        for (std::size_t i = 0; i < w.size(); ++i) {
            w[i] = lambda * vector[i] + w[i];
        }
        return product;
    };
    auto result = solve_cg(shifted, rhs, tolerance, max_iterations);
    // A nonzero right-hand side of the wrong length already fails in the first product with this very
    // error; an all-zero one would return early with a direction of the wrong length as a success.
    if (result && rhs.size() != parameters_) {
        return fail(TDVPError{tdvp_error::Shape{parameters_, rhs.size()}});
    }
    return result;
}

Result<double, TDVPError> dot(std::span<const double> left, std::span<const double> right) {
    if (left.size() != right.size()) {
        return fail(TDVPError{tdvp_error::Shape{left.size(), right.size()}});
    }
    double sum = -0.0;
    for (std::size_t i = 0; i < left.size(); ++i) {
        sum = sum + left[i] * right[i];
    }
    if (!std::isfinite(sum)) {
        return fail(TDVPError{tdvp_error::NonFinite{"dot product"}});
    }
    return sum;
}

Result<CGResult, TDVPError> solve_cg(MatvecRef matvec_fn, std::span<const double> rhs, double tolerance,
                                     std::uint64_t max_iterations) {
    if (rhs.empty() || !std::isfinite(tolerance) || tolerance <= 0.0 || max_iterations == 0) {
        return fail(TDVPError{tdvp_error::InvalidParameter{"CG options"}});
    }
    if (!std::ranges::all_of(rhs, [](double value) { return std::isfinite(value); })) {
        return fail(TDVPError{tdvp_error::NonFinite{"CG right-hand side"}});
    }
    const std::size_t n = rhs.size();
    std::vector<double> x(n, 0.0);
    std::vector<double> r(rhs.begin(), rhs.end());
    std::vector<double> d = r;

    const auto rr_first = dot(r, r);
    if (!rr_first) {
        return fail(rr_first.error());
    }
    double rr = *rr_first;
    if (std::sqrt(rr) == 0.0) {
        return CGResult(std::move(x), 0.0, 0, true);
    }
    const double target = tolerance * std::sqrt(rr);

    for (std::uint64_t iteration = 0; iteration < max_iterations; ++iteration) {
        const auto q = matvec_fn(d);
        if (!q) {
            return fail(q.error());
        }
        const auto denominator = dot(d, *q);
        if (!denominator) {
            return fail(denominator.error());
        }
        // d.Ad <= 0: the operator is not positive definite along d, so the step is meaningless.
        if (!std::isfinite(*denominator) || *denominator <= 0.0) {
            return CGResult(std::move(x), std::sqrt(rr), iteration, false);
        }
        const double alpha = rr / *denominator;
        const std::vector<double>& qv = *q;
        for (std::size_t i = 0; i < n; ++i) {
            x[i] = alpha * d[i] + x[i];
            r[i] = r[i] - alpha * qv[i];
        }
        const auto rr_next = dot(r, r);
        if (!rr_next) {
            return fail(rr_next.error());
        }
        if (target >= std::sqrt(*rr_next)) {
            return CGResult(std::move(x), std::sqrt(*rr_next), iteration + 1, true);
        }
        const double beta = *rr_next / rr;
        for (std::size_t i = 0; i < n; ++i) {
            d[i] = r[i] + beta * d[i];
        }
        rr = *rr_next;
    }
    return CGResult(std::move(x), std::sqrt(rr), max_iterations, false);
}

}  // namespace vendrel::variational
