// Expectation values of exact states: dense matrices, Pauli strings, magnetisations and two-site correlations.
#pragma once

#include <cstdint>
#include <span>

#include "common/complex.hpp"
#include "common/result.hpp"
#include "core/identifiers.hpp"
#include "core/pauli.hpp"
#include "exact/dense_matrix.hpp"
#include "exact/exact_basis.hpp"
#include "exact/exact_error.hpp"

namespace vendrel::exact {

/// An observable summed over the sites and its per-site density; the total is finite.
class ObservableValue {
public:
    [[nodiscard]] double total() const { return total_; }
    [[nodiscard]] double density() const { return density_; }

private:
    friend Result<ObservableValue, ExactError> observable_value(double total, std::uint64_t sites);
    ObservableValue(double total, double density) : total_(total), density_(density) {}
    double total_;
    double density_;
};

/// total and total / sites. InvalidParameter "site count" for 0 sites, "observable" for a
/// non-finite total.
[[nodiscard]] Result<ObservableValue, ExactError> observable_value(double total, std::uint64_t sites);

/// The Rayleigh quotient (psi, M psi) / (psi, psi); the state need not be normalised. Shape for a
/// wrong length, InvalidParameter "state norm" for a zero or non-finite squared norm.
[[nodiscard]] Result<Complex, ExactError> expectation(const DenseMatrix& matrix, std::span<const Complex> state);

/// The expectation of one Pauli string, by expanding it into a dense matrix over the basis.
/// Operator for a site outside the basis's sites; StateOutsideBasis when the string leaves the basis.
[[nodiscard]] Result<Complex, ExactError> pauli_expectation(const core::PauliString& pauli_operator,
                                                            const ExactBasis& basis, std::span<const Complex> state);

/// The sum over sites of the expectation of the axis's Pauli operator (eigenvalues +1 and -1), and its
/// density. InvalidParameter "non-real magnetization" when a site's value has |Im| above 1e-10.
[[nodiscard]] Result<ObservableValue, ExactError> magnetization_expectation(core::PhysicalAxis axis,
                                                                           const ExactBasis& basis,
                                                                           std::span<const Complex> state);

/// The plain two-point value (psi, P_first P_second psi) / (psi, psi) of the axis's Pauli operator;
/// 1 when first equals second. InvalidParameter "correlation site" for a site at or beyond the
/// basis's sites, then Shape for a wrong state length, then "state norm".
[[nodiscard]] Result<Complex, ExactError> correlation_expectation(core::PhysicalAxis axis, std::uint64_t first,
                                                                  std::uint64_t second, const ExactBasis& basis,
                                                                  std::span<const Complex> state);

}  // namespace vendrel::exact
