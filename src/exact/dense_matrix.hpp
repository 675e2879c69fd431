// Dense complex matrices of Hamiltonians in an exact basis, with the complex vector helpers dot and norm.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "common/complex.hpp"
#include "common/result.hpp"
#include "core/hamiltonian.hpp"
#include "exact/exact_basis.hpp"
#include "exact/exact_error.hpp"

namespace vendrel::exact {

/// A square complex matrix, row-major: entry (row, column) is element row * dimension + column, the
/// amplitude of basis state `row` in the Hamiltonian applied to basis state `column`.
class DenseMatrix {
public:
    /// Expands `h` over `basis`, one basis state (column) at a time; see expand_hamiltonian_into.
    static Result<DenseMatrix, ExactError> from_hamiltonian(const core::Hamiltonian& h, const ExactBasis& basis);
    /// Takes over row-major entries. DimensionOverflow when dimension^2 overflows; Shape (expected
    /// dimension^2, actual data.size()) when the entry count differs. Dimension 0 is accepted here.
    static Result<DenseMatrix, ExactError> from_data(std::uint64_t dimension, std::vector<Complex> data);

    [[nodiscard]] std::uint64_t dimension() const { return dimension_; }
    /// The entry, or nothing when row or column is not below the dimension.
    [[nodiscard]] std::optional<Complex> get(std::uint64_t row, std::uint64_t column) const;
    /// The matrix-vector product, each row summed in column order by plain addition.
    /// Shape for a wrong length; NonFiniteValue ("vector") at the first non-finite element.
    [[nodiscard]] Result<std::vector<Complex>, ExactError> apply(std::span<const Complex> vector) const;
    /// Every |entry(r, c) - conj(entry(c, r))| must be finite and at most `tolerance`; the first
    /// failing pair in row-major order is reported. InvalidParameter "tolerance" for a negative or
    /// non-finite tolerance.
    [[nodiscard]] Result<void, ExactError> validate_hermitian(double tolerance) const;

    [[nodiscard]] std::span<const Complex> data() const { return data_; }
    /// Hands the row-major entries over to the caller.
    [[nodiscard]] std::vector<Complex> take_data() && { return std::move(data_); }

private:
    DenseMatrix(std::uint64_t dimension, std::vector<Complex> data) : dimension_(dimension), data_(std::move(data)) {}
    std::uint64_t dimension_;
    std::vector<Complex> data_;
};

/// The number of entries the dense matrix of `h` over `basis` has, with every check that precedes the
/// expansion: Shape when the Hamiltonian's site count differs from the first basis state's length,
/// DimensionOverflow when dimension^2 overflows.
[[nodiscard]] Result<std::uint64_t, ExactError> dense_entry_count(const core::Hamiltonian& h,
                                                                  const ExactBasis& basis);

/// Expands `h` over `basis` into caller-owned row-major storage of exactly dimension^2 entries that the
/// caller has set to zero, with the checks, order and errors of DenseMatrix::from_hamiltonian; a
/// storage of another size fails with Shape (expected dimension^2, actual its size) before anything is
/// written. On failure the storage holds a partial expansion and must be discarded.
[[nodiscard]] Result<void, ExactError> expand_hamiltonian_into(const core::Hamiltonian& h, const ExactBasis& basis,
                                                               std::span<Complex> zeroed_storage);

/// Sum over the common positions of conj(left[i]) * right[i], in index order from 0 + 0i.
[[nodiscard]] Complex dot(std::span<const Complex> left, std::span<const Complex> right);

/// sqrt(Re dot(vector, vector)).
[[nodiscard]] double norm(std::span<const Complex> vector);

}  // namespace vendrel::exact
