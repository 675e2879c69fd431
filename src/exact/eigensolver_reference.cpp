// The Jacobi eigensolver transcribed rotation by rotation, with a full pivot scan per rotation.
#include "exact/eigensolver_reference.hpp"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "exact/embedding_eigenpairs.hpp"

namespace vendrel::exact::reference {

namespace {

constexpr double kHermitianTolerance = 1e-10;
constexpr double kDiagonalThreshold = 1e-13;

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

    return detail::eigensystem_from_embedding(
        matrix, [&](std::uint64_t i) { return a[i * rn + i]; },
        [&](std::uint64_t i) { return vectors.data() + i * rn; }, rotations);
}

}  // namespace vendrel::exact::reference
