// Pauli expectations, magnetisations and correlations over the full basis without dense matrices.
#pragma once

#include <cstdint>
#include <span>

#include "common/complex.hpp"
#include "common/result.hpp"
#include "core/identifiers.hpp"
#include "core/pauli.hpp"
#include "exact/exact_error.hpp"
#include "exact/observables.hpp"

namespace vendrel::exact {

/// pauli_expectation over ExactBasis::full of `sites` sites: the same checks, errors and bits (the
/// sign of a zero aside), in O(2^sites) time and memory.
[[nodiscard]] Result<Complex, ExactError> full_basis_pauli_expectation(const core::PauliString& pauli_operator,
                                                                       std::uint64_t sites,
                                                                       std::span<const Complex> state);

/// magnetization_expectation over the full basis of `sites` sites, without dense matrices.
[[nodiscard]] Result<ObservableValue, ExactError> full_basis_magnetization(core::PhysicalAxis axis,
                                                                           std::uint64_t sites,
                                                                           std::span<const Complex> state);

/// correlation_expectation over the full basis of `sites` sites, without dense matrices.
[[nodiscard]] Result<Complex, ExactError> full_basis_correlation(core::PhysicalAxis axis, std::uint64_t first,
                                                                 std::uint64_t second, std::uint64_t sites,
                                                                 std::span<const Complex> state);

}  // namespace vendrel::exact
