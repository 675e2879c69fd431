// The Jacobi eigensolver transcribed rotation by rotation, with a full pivot scan per rotation.
#include "exact/eigensolver_reference.hpp"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "core/complex_sum.hpp"

namespace vendrel::exact::reference {

namespace {

constexpr double kHermitianTolerance = 1e-10;
constexpr double kDiagonalThreshold = 1e-13;
constexpr double kResidualThreshold = 1e-8;

}  // namespace

Result<Eigensystem, ExactError> diagonalize_hermitian(const DenseMatrix& matrix) {
    auto hermitian = matrix.validate_hermitian(kHermitianTolerance);
    if (!hermitian) return fail(std::move(hermitian.error()));

    const std::uint64_t n = matrix.dimension();
    // Checked before the working storage is allocated, so that an absurd size fails as an error.
    const auto size = embedding_size(n);
    if (!size) return fail(std::move(size.error()));
    const std::uint64_t rn = size->real_n;

    // Re H on both diagonal blocks, -Im H upper right, Im H lower left.
    std::vector<double> a(size->real_dimension, 0.0);
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
    std::vector<double> vectors(size->real_dimension, 0.0);
    for (std::uint64_t i = 0; i < rn; ++i) vectors[i * rn + i] = 1.0;

    std::uint64_t rotations = 0;
    for (std::uint64_t iteration = 0; iteration < size->max_iterations; ++iteration) {
        const Pivot pivot = max_off_diagonal(a, rn);
        if (pivot.magnitude < kDiagonalThreshold) {
            rotations = iteration;
            break;
        }
        jacobi_rotate(a, vectors, rn, pivot.p, pivot.q);
        if (iteration + 1 == size->max_iterations) {
            return fail<ExactError>(exact_error::NonConvergent{size->max_iterations});
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

}  // namespace vendrel::exact::reference
