// The dense QGT (validation, product, shifted solve), the guarded dot product and conjugate gradients.
#include "variational/qgt.hpp"

#include "common/interrupt.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "variational/tdvp_kernels.hpp"

namespace vendrel::variational {

namespace {

// Smallest positive normal double: the floor of the symmetry tolerance for an all-zero matrix.
constexpr double kSmallestNormal = 2.2250738585072014e-308;
constexpr double kSymmetryTolerance = 1e-12;
// The product from which the shifted solve switches to a layout prepared for it; preparing costs
// about one product, so a solve that stops after one iteration does not pay for it.
constexpr std::uint64_t kPackFromProduct = 2;
// From this dimension on S no longer fits the level-2 cache: products are bound by memory, a packed
// copy no longer pays, and reading half of an exactly symmetric S does.
constexpr std::uint64_t kLargeFrom = 512;

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
    // One pass, in blocks, finds whether every element is finite, the largest magnitude and the
    // largest difference between an element and its mirror. Maxima are exact in any order, and some
    // pair differs by more than the tolerance exactly when the largest difference does, so this
    // decides as an element-by-element walk would. Whether S is symmetric bit for bit is noted for
    // the solve.
    const kernels::SymmetrySurvey survey = kernels::best().survey_symmetry(data.data(), parameters);
    if (!survey.finite) {
        return fail(TDVPError{tdvp_error::NonFinite{"QGT"}});
    }
    const double tolerance = std::max(survey.scale, kSmallestNormal) * kSymmetryTolerance;
    if (survey.largest_asymmetry > tolerance) {
        return fail(TDVPError{tdvp_error::InvalidParameter{"symmetric QGT"}});
    }
    return DenseQgt(parameters, std::move(data), survey.exact);
}

namespace {

// The checks and the finiteness test around one product; `compute` writes the P elements of S v
// into a buffer of `length` >= P doubles, of which the first P are kept.
template <class Compute>
MatvecResult checked_product(std::uint64_t parameters, std::span<const double> vector, std::size_t length,
                             Compute&& compute) {
    if (vector.size() != parameters) {
        return fail(TDVPError{tdvp_error::Shape{parameters, vector.size()}});
    }
    if (!std::ranges::all_of(vector, [](double value) { return std::isfinite(value); })) {
        return fail(TDVPError{tdvp_error::NonFinite{"QGT vector"}});
    }
    std::vector<double> product(length);
    compute(product.data());
    product.resize(parameters);
    if (!std::ranges::all_of(product, [](double value) { return std::isfinite(value); })) {
        return fail(TDVPError{tdvp_error::NonFinite{"QGT matvec"}});
    }
    return product;
}

// S as panels of `height` rows, column after column within a panel (rows past P are zero), so that
// the product can run down the columns with the rows side by side in vector lanes.
// Every element is written (padding included), so the storage is left uninitialised until then.
std::unique_ptr<double[]> pack_panels(std::span<const double> data, std::size_t parameters, std::size_t height,
                                      std::size_t stride) {
    auto packed = std::make_unique_for_overwrite<double[]>(stride * parameters);
    double* out = packed.get();
    for (std::size_t first = 0; first < stride; first += height) {
        const std::size_t rows = std::min(height, parameters - std::min(first, parameters));
        for (std::size_t column = 0; column < parameters; ++column) {
            std::size_t j = 0;
            for (; j < rows; ++j) {
                out[j] = data[(first + j) * parameters + column];
            }
            for (; j < height; ++j) {
                out[j] = 0.0;
            }
            out += height;
        }
    }
    return packed;
}

}  // namespace

Result<std::vector<double>, TDVPError> DenseQgt::matvec(std::span<const double> vector) const {
    return checked_product(parameters_, vector, parameters_, [&](double* out) {
        kernels::best().row_matvec(data_.data(), parameters_, vector.data(), out);
    });
}

Result<CGResult, TDVPError> solve_shifted(MatvecRef product, std::uint64_t parameters, std::span<const double> rhs,
                                          double lambda, double tolerance, std::uint64_t max_iterations) {
    if (!std::isfinite(lambda) || lambda < 0.0) {
        return fail(TDVPError{tdvp_error::InvalidParameter{"Tikhonov lambda"}});
    }
    const auto shifted = [&](std::span<const double> vector) -> MatvecResult {
        auto image = product(vector);
        if (!image) {
            return image;
        }
        std::vector<double>& w = *image;
        for (std::size_t i = 0; i < w.size(); ++i) {
            w[i] = lambda * vector[i] + w[i];
        }
        return image;
    };
    auto result = solve_cg(shifted, rhs, tolerance, max_iterations);
    // A nonzero right-hand side of the wrong length already fails in the first product with this very
    // error; an all-zero one would return early with a direction of the wrong length as a success.
    if (result && rhs.size() != parameters) {
        return fail(TDVPError{tdvp_error::Shape{parameters, rhs.size()}});
    }
    return result;
}

Result<CGResult, TDVPError> DenseQgt::solve(std::span<const double> rhs, double lambda, double tolerance,
                                            std::uint64_t max_iterations) const {
    const kernels::Kernels& kernel = kernels::best();
    const std::size_t height = kernel.panel_height;
    const std::size_t stride = (parameters_ + height - 1) / height * height;
    // A small S is read as stored by the first product and from a copy packed once by the later ones;
    // a large one (beyond the level-2 cache, where every product streams S from memory) is always read
    // as stored, only above its diagonal blocks when it is symmetric bit for bit.
    enum class Layout : std::uint8_t { Undecided, Packed, Rows, UpperTriangle };
    Layout layout = Layout::Undecided;
    std::unique_ptr<double[]> packed;
    std::uint64_t products = 0;
    const auto product_into = [&](std::span<const double> vector, double* out) {
        if (layout == Layout::Undecided) {
            if (parameters_ < kLargeFrom) {
                packed = pack_panels(data_, parameters_, height, stride);
                layout = Layout::Packed;
            } else if (exactly_symmetric_ && kernel.symmetric_matvec != nullptr) {
                layout = Layout::UpperTriangle;
            } else {
                layout = Layout::Rows;
            }
        }
        switch (layout) {
            case Layout::Packed:
                kernel.packed_matvec(packed.get(), stride, parameters_, vector.data(), out);
                break;
            case Layout::UpperTriangle:
                kernel.symmetric_matvec(data_.data(), parameters_, vector.data(), out);
                break;
            case Layout::Rows:
            case Layout::Undecided:
                kernel.row_matvec(data_.data(), parameters_, vector.data(), out);
                break;
        }
    };
    const auto product = [&](std::span<const double> vector) -> MatvecResult {
        ++products;
        const auto plain_rows = [&](double* out) {
            kernel.row_matvec(data_.data(), parameters_, vector.data(), out);
        };
        const auto prepared = [&](double* out) { product_into(vector, out); };
        // A large S needs no preparation, so its own layout serves from the first product on.
        const bool first_of_small = products < kPackFromProduct && parameters_ < kLargeFrom;
        return first_of_small ? checked_product(parameters_, vector, parameters_, plain_rows)
                              : checked_product(parameters_, vector, stride, prepared);
    };
    return solve_shifted(product, parameters_, rhs, lambda, tolerance, max_iterations);
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

    InterruptPoll poll(16);
    for (std::uint64_t iteration = 0; iteration < max_iterations; ++iteration) {
        poll();
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
