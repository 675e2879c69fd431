// Expectation values of exact states, each Pauli operator expanded into its own dense matrix.
#include "exact/observables.hpp"

#include <cmath>
#include <utility>
#include <vector>

#include "core/hamiltonian.hpp"
#include "exact/observable_steps.hpp"

namespace vendrel::exact {

using observable_steps::is_admissible_norm;

namespace {

// The number of sites of a basis is the length of its first state.
std::uint64_t sites_of(const ExactBasis& basis) { return basis.states().front().len(); }

}  // namespace

Result<ObservableValue, ExactError> observable_value(double total, std::uint64_t sites) {
    if (sites == 0) return fail<ExactError>(exact_error::InvalidParameter{"site count"});
    if (!std::isfinite(total)) return fail<ExactError>(exact_error::InvalidParameter{"observable"});
    return ObservableValue(total, total / static_cast<double>(sites));
}

Result<Complex, ExactError> expectation(const DenseMatrix& matrix, std::span<const Complex> state) {
    if (state.size() != matrix.dimension()) {
        return fail<ExactError>(exact_error::Shape{matrix.dimension(), state.size()});
    }
    const double norm_squared_value = dot(state, state).re;
    if (!is_admissible_norm(norm_squared_value)) {
        return fail<ExactError>(exact_error::InvalidParameter{"state norm"});
    }
    auto applied = matrix.apply(state);
    if (!applied) return fail(std::move(applied.error()));
    return divide(dot(state, *applied), norm_squared_value);
}

Result<Complex, ExactError> pauli_expectation(const core::PauliString& pauli_operator, const ExactBasis& basis,
                                              std::span<const Complex> state) {
    auto hamiltonian = observable_steps::single_string_hamiltonian(pauli_operator, sites_of(basis));
    if (!hamiltonian) return fail(std::move(hamiltonian.error()));
    auto matrix = DenseMatrix::from_hamiltonian(*hamiltonian, basis);
    if (!matrix) return fail(std::move(matrix.error()));
    return expectation(*matrix, state);
}

Result<ObservableValue, ExactError> magnetization_expectation(core::PhysicalAxis axis, const ExactBasis& basis,
                                                              std::span<const Complex> state) {
    return observable_steps::magnetization(axis, sites_of(basis), [&](const core::PauliString& string) {
        return pauli_expectation(string, basis, state);
    });
}

Result<Complex, ExactError> correlation_expectation(core::PhysicalAxis axis, std::uint64_t first,
                                                    std::uint64_t second, const ExactBasis& basis,
                                                    std::span<const Complex> state) {
    return observable_steps::correlation(axis, first, second, sites_of(basis), basis.dimension(), state,
                                         [&](const core::PauliString& string) {
                                             return pauli_expectation(string, basis, state);
                                         });
}

}  // namespace vendrel::exact
