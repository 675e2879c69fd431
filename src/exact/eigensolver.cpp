// Classical Jacobi diagonalisation of the real embedding of a Hermitian matrix, rotation by rotation.
#include "exact/eigensolver.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "core/complex_sum.hpp"

namespace vendrel::exact {

namespace {

constexpr double kHermitianTolerance = 1e-10;
constexpr double kDiagonalThreshold = 1e-13;
constexpr double kDependenceThreshold = 1e-12;
constexpr double kResidualThreshold = 1e-8;

std::optional<std::uint64_t> checked_multiply(std::uint64_t left, std::uint64_t right) {
    std::uint64_t product = 0;
    if (__builtin_mul_overflow(left, right, &product)) return std::nullopt;
    return product;
}

}  // namespace

Pivot max_off_diagonal(std::span<const double> a, std::uint64_t n) {
    const std::uint64_t last = n == 0 ? 0 : n - 1;
    Pivot best{0, std::min<std::uint64_t>(1, last), 0.0};
    for (std::uint64_t row = 0; row < n; ++row) {
        for (std::uint64_t column = row + 1; column < n; ++column) {
            const double magnitude = std::abs(a[row * n + column]);
            // Strictly greater: the first maximum stays, and a NaN compares false.
            if (magnitude > best.magnitude) best = Pivot{row, column, magnitude};
        }
    }
    return best;
}

void jacobi_rotate(std::span<double> a, std::span<double> vectors, std::uint64_t n, std::uint64_t p,
                   std::uint64_t q) {
    const double app = a[p * n + p];
    const double aqq = a[q * n + q];
    const double apq = a[p * n + q];
    const double phi = 0.5 * std::atan2(2.0 * apq, aqq - app);
    const double c = std::cos(phi);
    const double s = std::sin(phi);

    for (std::uint64_t k = 0; k < n; ++k) {
        const double akp = a[k * n + p];
        const double akq = a[k * n + q];
        a[k * n + p] = c * akp - s * akq;
        a[k * n + q] = s * akp + c * akq;
    }
    for (std::uint64_t k = 0; k < n; ++k) {
        const double apk = a[p * n + k];
        const double aqk = a[q * n + k];
        a[p * n + k] = c * apk - s * aqk;
        a[q * n + k] = s * apk + c * aqk;
    }
    double* column_p = vectors.data() + p * n;
    double* column_q = vectors.data() + q * n;
    for (std::uint64_t k = 0; k < n; ++k) {
        const double old_p = column_p[k];
        const double old_q = column_q[k];
        column_p[k] = c * old_p - s * old_q;
        column_q[k] = s * old_p + c * old_q;
    }
}

std::optional<std::vector<Complex>> orthonormalize(std::vector<Complex> candidate,
                                                   std::span<const std::vector<Complex>> prior) {
    for (const std::vector<Complex>& accepted : prior) {
        // Projected on the candidate as already reduced by the earlier vectors (modified Gram-Schmidt).
        const Complex projection = dot(accepted, candidate);
        const std::size_t length = std::min(accepted.size(), candidate.size());
        for (std::size_t k = 0; k < length; ++k) candidate[k] = candidate[k] - accepted[k] * projection;
    }
    const double length = norm(candidate);
    if (length <= kDependenceThreshold) return std::nullopt;
    for (Complex& element : candidate) element = divide(element, length);
    return candidate;
}

Result<double, ExactError> residual_norm(const DenseMatrix& matrix, std::span<const Complex> vector, double value) {
    auto applied = matrix.apply(vector);
    if (!applied) return fail(std::move(applied.error()));
    double sum = 0.0;
    for (std::size_t i = 0; i < vector.size(); ++i) {
        const Complex scaled{vector[i].re * value, vector[i].im * value};
        sum += norm_squared((*applied)[i] - scaled);
    }
    return std::sqrt(sum);
}

Result<Eigensystem, ExactError> diagonalize_hermitian(const DenseMatrix& matrix) {
    auto hermitian = matrix.validate_hermitian(kHermitianTolerance);
    if (!hermitian) return fail(std::move(hermitian.error()));

    const std::uint64_t n = matrix.dimension();
    if (n == 0) return fail<ExactError>(exact_error::DimensionOverflow{});
    const auto real_n = checked_multiply(2, n);
    if (!real_n) return fail<ExactError>(exact_error::DimensionOverflow{});
    const auto real_dimension = checked_multiply(*real_n, *real_n);
    if (!real_dimension) return fail<ExactError>(exact_error::DimensionOverflow{});
    // Checked before the working storage is allocated, so that an absurd size fails as an error.
    const auto max_iterations = checked_multiply(100, *real_dimension);
    if (!max_iterations) return fail<ExactError>(exact_error::DimensionOverflow{});
    const std::uint64_t rn = *real_n;

    // Re H on both diagonal blocks, -Im H upper right, Im H lower left.
    std::vector<double> a(*real_dimension, 0.0);
    for (std::uint64_t r = 0; r < n; ++r) {
        for (std::uint64_t c = 0; c < n; ++c) {
            const Complex entry = matrix.data()[r * n + c];
            a[r * rn + c] = entry.re;
            a[r * rn + (c + n)] = -entry.im;
            a[(r + n) * rn + c] = entry.im;
            a[(r + n) * rn + (c + n)] = entry.re;
        }
    }
    // Column i of `vectors` lives at vectors[i * rn .. i * rn + rn).
    std::vector<double> vectors(*real_dimension, 0.0);
    for (std::uint64_t i = 0; i < rn; ++i) vectors[i * rn + i] = 1.0;

    std::uint64_t rotations = 0;
    for (std::uint64_t iteration = 0; iteration < *max_iterations; ++iteration) {
        const Pivot pivot = max_off_diagonal(a, rn);
        if (pivot.magnitude < kDiagonalThreshold) {
            rotations = iteration;
            break;
        }
        jacobi_rotate(a, vectors, rn, pivot.p, pivot.q);
        if (iteration + 1 == *max_iterations) {
            return fail<ExactError>(exact_error::NonConvergent{*max_iterations});
        }
    }

    struct DiagonalEntry {
        double value;
        std::uint64_t index;
    };
    std::vector<DiagonalEntry> pairs;
    pairs.reserve(rn);
    for (std::uint64_t i = 0; i < rn; ++i) pairs.push_back(DiagonalEntry{a[i * rn + i], i});
    std::stable_sort(pairs.begin(), pairs.end(), [](const DiagonalEntry& left, const DiagonalEntry& right) {
        return core::total_cmp(left.value, right.value) < 0;
    });

    // Each eigenvalue of H appears twice on the diagonal; from each pair one candidate that is
    // independent of the vectors accepted so far is kept, the first index tried first.
    std::vector<double> values;
    std::vector<std::vector<Complex>> eigenvectors;
    values.reserve(n);
    eigenvectors.reserve(n);
    std::uint64_t cursor = 0;
    while (cursor < rn && eigenvectors.size() < n) {
        const std::uint64_t end = std::min(cursor + 2, rn);
        const double low = pairs[cursor].value;
        const double high = pairs[end - 1].value;
        const double physical_value = low + (high - low) * 0.5;
        for (std::uint64_t j = cursor; j < end; ++j) {
            const double* column = vectors.data() + pairs[j].index * rn;
            std::vector<Complex> candidate(n);
            for (std::uint64_t k = 0; k < n; ++k) candidate[k] = Complex{column[k], column[k + n]};
            auto accepted = orthonormalize(std::move(candidate), eigenvectors);
            if (accepted) {
                values.push_back(physical_value);
                eigenvectors.push_back(std::move(*accepted));
                break;
            }
        }
        cursor = end;
    }
    if (eigenvectors.size() < n) return fail<ExactError>(exact_error::InvalidParameter{"degenerate eigenbasis"});

    std::vector<double> residuals;
    residuals.reserve(n);
    for (std::uint64_t i = 0; i < n; ++i) {
        auto residual = residual_norm(matrix, eigenvectors[i], values[i]);
        if (!residual) return fail(std::move(residual.error()));
        residuals.push_back(*residual);
    }
    for (double residual : residuals) {
        // Written as a negated <= so that a NaN residual fails instead of passing as converged.
        if (!(residual <= kResidualThreshold)) return fail<ExactError>(exact_error::NonConvergent{rotations});
    }
    return Eigensystem{std::move(values), std::move(eigenvectors), std::move(residuals)};
}

Result<GroundState, ExactError> GroundState::from_spectrum(const Eigensystem& spectrum) {
    const auto& values = spectrum.values;
    if (values.empty()) return fail<ExactError>(exact_error::DimensionOverflow{});
    std::size_t position = 0;
    for (std::size_t i = 1; i < values.size(); ++i) {
        if (core::total_cmp(values[i], values[position]) < 0) position = i;
    }
    const std::size_t paired = std::min(spectrum.vectors.size(), spectrum.residuals.size());
    if (paired != values.size()) return fail<ExactError>(exact_error::Shape{values.size(), paired});
    return GroundState(values[position], spectrum.vectors[position], spectrum.residuals[position]);
}

}  // namespace vendrel::exact
