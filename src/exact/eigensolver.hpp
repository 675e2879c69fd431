// The Jacobi eigensolver for dense complex Hermitian matrices and the selection of the ground state.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "common/complex.hpp"
#include "common/result.hpp"
#include "exact/dense_matrix.hpp"
#include "exact/exact_error.hpp"

namespace vendrel::exact {

/// A complete eigendecomposition: values non-decreasing, vectors[i] the unit eigenvector of values[i]
/// in basis order, residuals[i] = |H v - lambda v| (each at most 1e-8). The vectors carry whatever
/// phase the rotations produced.
struct Eigensystem {
    std::vector<double> values;
    std::vector<std::vector<Complex>> vectors;
    std::vector<double> residuals;
};

/// The lowest eigenpair of an Eigensystem.
class GroundState {
public:
    /// The first smallest value by the IEEE total order, with a copy of its vector and its residual.
    /// DimensionOverflow for an empty spectrum; Shape (expected the value count, actual the shorter
    /// count) when the vectors or residuals do not match the values one to one.
    static Result<GroundState, ExactError> from_spectrum(const Eigensystem& spectrum);

    [[nodiscard]] double energy() const { return energy_; }
    [[nodiscard]] std::span<const Complex> vector() const { return vector_; }
    [[nodiscard]] double residual() const { return residual_; }

private:
    GroundState(double energy, std::vector<Complex> vector, double residual)
        : energy_(energy), vector_(std::move(vector)), residual_(residual) {}
    double energy_;
    std::vector<Complex> vector_;
    double residual_;
};

/// All eigenpairs of a Hermitian matrix (checked at 1e-10) by classical Jacobi rotations on its real
/// symmetric embedding of size 2n. Errors: the NonHermitian of the check; DimensionOverflow for
/// dimension 0 or an overflowing size; NonConvergent(100 (2n)^2) when the rotation budget runs out;
/// InvalidParameter "degenerate eigenbasis" when fewer than n independent vectors emerge;
/// NonConvergent(rotations made) when a residual is above 1e-8 or not finite.
[[nodiscard]] Result<Eigensystem, ExactError> diagonalize_hermitian(const DenseMatrix& matrix);

/// The sizes of the real embedding of an n-by-n matrix: 2n, (2n)^2 and the rotation budget
/// 100 (2n)^2. DimensionOverflow for n = 0 or when any of them overflows.
struct EmbeddingSize {
    std::uint64_t real_n;
    std::uint64_t real_dimension;
    std::uint64_t max_iterations;
};
[[nodiscard]] Result<EmbeddingSize, ExactError> embedding_size(std::uint64_t n);

/// The pivot of a Jacobi rotation: p < q and |a(p, q)|.
struct Pivot {
    std::uint64_t p;
    std::uint64_t q;
    double magnitude;
};

/// The largest |a(row, column)| over the strict upper triangle of the row-major n-by-n matrix `a`:
/// ties go to the first in row-major order and NaN never wins; (0, min(1, n - 1), 0.0) when nothing
/// beats 0.0.
[[nodiscard]] Pivot max_off_diagonal(std::span<const double> a, std::uint64_t n);

/// One plane rotation in the (p, q) plane that zeroes a(p, q): `a` becomes J^T a J (columns first,
/// then rows) and the columns p and q of `vectors` are rotated alike. `vectors` holds n columns of
/// length n, column i contiguous at vectors[i * n .. i * n + n).
void jacobi_rotate(std::span<double> a, std::span<double> vectors, std::uint64_t n, std::uint64_t p,
                   std::uint64_t q);

/// One pass of modified Gram-Schmidt of `candidate` against the accepted vectors, in order, then
/// normalisation; nothing when the remaining length is at most 1e-12.
[[nodiscard]] std::optional<std::vector<Complex>> orthonormalize(std::vector<Complex> candidate,
                                                                 std::span<const std::vector<Complex>> prior);

/// |matrix * vector - value * vector|, the squared moduli summed in index order; the errors of
/// DenseMatrix::apply.
[[nodiscard]] Result<double, ExactError> residual_norm(const DenseMatrix& matrix, std::span<const Complex> vector,
                                                       double value);

}  // namespace vendrel::exact
