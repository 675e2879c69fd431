// From the diagonalised real embedding of a Hermitian matrix to its eigensystem: the sorted diagonal,
// the eigenvectors accepted pair by pair, and the residual check.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "core/complex_sum.hpp"
#include "exact/eigensolver.hpp"

namespace vendrel::exact::detail {

inline constexpr double kResidualThreshold = 1e-8;

/// A diagonal entry of the embedding and its position.
struct DiagonalEntry {
    double value;
    std::uint64_t index;
};

/// The entries stably sorted by the total order: equal values keep their order of position.
inline void sort_diagonal(std::vector<DiagonalEntry>& pairs) {
    std::stable_sort(pairs.begin(), pairs.end(), [](const DiagonalEntry& left, const DiagonalEntry& right) {
        return core::total_cmp(left.value, right.value) < 0;
    });
}

/// The system as it is, or NonConvergent carrying the rotations made when a residual exceeds 1e-8.
[[nodiscard]] inline Result<Eigensystem, ExactError> check_residuals(Eigensystem system, std::uint64_t rotations) {
    for (double residual : system.residuals) {
        // Written as a negated <= so that a NaN residual fails instead of passing as converged.
        if (!(residual <= kResidualThreshold)) return fail<ExactError>(exact_error::NonConvergent{rotations});
    }
    return system;
}

/// The eigensystem of `matrix` (dimension n) from its embedding of size 2n after `rotations`
/// rotations: `diagonal(i)` is the embedding's diagonal entry i and `column(i)` points at the 2n
/// elements of its vector i. Each eigenvalue of H appears twice on the diagonal; from each pair of
/// sorted entries one candidate u + iw independent of the vectors accepted so far is kept, the first
/// index tried first, with the pair's midpoint as its value.
template <class Diagonal, class Column>
[[nodiscard]] Result<Eigensystem, ExactError> eigensystem_from_embedding(const DenseMatrix& matrix,
                                                                         Diagonal&& diagonal, Column&& column,
                                                                         std::uint64_t rotations) {
    const std::uint64_t n = matrix.dimension();
    const std::uint64_t rn = 2 * n;
    std::vector<DiagonalEntry> pairs;
    pairs.reserve(rn);
    for (std::uint64_t i = 0; i < rn; ++i) pairs.push_back(DiagonalEntry{diagonal(i), i});
    sort_diagonal(pairs);

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
            const double* elements = column(pairs[j].index);
            std::vector<Complex> candidate(n);
            for (std::uint64_t k = 0; k < n; ++k) candidate[k] = Complex{elements[k], elements[k + n]};
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
    return check_residuals(Eigensystem{std::move(values), std::move(eigenvectors), std::move(residuals)}, rotations);
}

}  // namespace vendrel::exact::detail
