// Expectation values of exact states, each Pauli operator expanded into its own dense matrix.
#include "exact/observables.hpp"

#include <cmath>
#include <utility>
#include <vector>

#include "core/hamiltonian.hpp"

namespace vendrel::exact {

namespace {

constexpr double kImaginaryTolerance = 1e-10;

core::Pauli pauli_of(core::PhysicalAxis axis) {
    switch (axis) {
        case core::PhysicalAxis::X:
            return core::Pauli::X;
        case core::PhysicalAxis::Y:
            return core::Pauli::Y;
        case core::PhysicalAxis::Z:
            return core::Pauli::Z;
    }
    return core::Pauli::Z;  // unreachable: every axis is listed above
}

// The number of sites of a basis is the length of its first state.
std::uint64_t sites_of(const ExactBasis& basis) { return basis.states().front().len(); }

bool is_admissible_norm(double norm_squared_value) {
    return std::isfinite(norm_squared_value) && norm_squared_value != 0.0;
}

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
    auto site_count = core::SiteCount::create(sites_of(basis));
    if (!site_count) return fail<ExactError>(exact_error::Basis{std::move(site_count.error())});
    std::vector<core::HamiltonianTerm> terms;
    terms.push_back(core::HamiltonianTerm{Complex{1.0, 0.0}, pauli_operator});
    auto hamiltonian = core::Hamiltonian::create_hermitian(*site_count, Complex{0.0, 0.0}, std::move(terms));
    if (!hamiltonian) return fail<ExactError>(exact_error::Operator{std::move(hamiltonian.error())});
    auto matrix = DenseMatrix::from_hamiltonian(*hamiltonian, basis);
    if (!matrix) return fail(std::move(matrix.error()));
    return expectation(*matrix, state);
}

Result<ObservableValue, ExactError> magnetization_expectation(core::PhysicalAxis axis, const ExactBasis& basis,
                                                              std::span<const Complex> state) {
    const core::Pauli pauli = pauli_of(axis);
    const std::uint64_t sites = sites_of(basis);
    double total = 0.0;
    for (std::uint64_t site = 0; site < sites; ++site) {
        auto site_id = core::SiteId::try_from_usize(site);
        if (!site_id) return fail<ExactError>(exact_error::Basis{std::move(site_id.error())});
        auto string = core::PauliString::create({core::PauliFactor{*site_id, pauli}});
        if (!string) return fail<ExactError>(exact_error::Operator{std::move(string.error())});
        auto value = pauli_expectation(*string, basis, state);
        if (!value) return fail(std::move(value.error()));
        if (std::abs(value->im) > kImaginaryTolerance) {
            return fail<ExactError>(exact_error::InvalidParameter{"non-real magnetization"});
        }
        total += value->re;
    }
    return observable_value(total, sites);
}

Result<Complex, ExactError> correlation_expectation(core::PhysicalAxis axis, std::uint64_t first,
                                                    std::uint64_t second, const ExactBasis& basis,
                                                    std::span<const Complex> state) {
    const std::uint64_t sites = sites_of(basis);
    if (first >= sites || second >= sites) {
        return fail<ExactError>(exact_error::InvalidParameter{"correlation site"});
    }
    if (basis.dimension() != state.size()) {
        return fail<ExactError>(exact_error::Shape{basis.dimension(), state.size()});
    }
    if (first == second) {
        // A Pauli operator squares to the identity: no matrix is needed.
        if (!is_admissible_norm(dot(state, state).re)) {
            return fail<ExactError>(exact_error::InvalidParameter{"state norm"});
        }
        return Complex{1.0, 0.0};
    }
    const core::Pauli pauli = pauli_of(axis);
    auto first_id = core::SiteId::try_from_usize(first);
    if (!first_id) return fail<ExactError>(exact_error::Basis{std::move(first_id.error())});
    auto second_id = core::SiteId::try_from_usize(second);
    if (!second_id) return fail<ExactError>(exact_error::Basis{std::move(second_id.error())});
    auto string = core::PauliString::create({core::PauliFactor{*first_id, pauli}, core::PauliFactor{*second_id, pauli}});
    if (!string) return fail<ExactError>(exact_error::Operator{std::move(string.error())});
    return pauli_expectation(*string, basis, state);
}

}  // namespace vendrel::exact
