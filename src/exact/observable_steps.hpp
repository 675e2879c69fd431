// The steps of magnetisations and correlations, shared by the dense route and the full-basis route.
#pragma once

#include <cmath>
#include <cstdint>
#include <span>

#include "core/pauli.hpp"
#include "core/basis.hpp"
#include "exact/dense_matrix.hpp"
#include "exact/observables.hpp"

namespace vendrel::exact::observable_steps {

inline core::Pauli pauli_of(core::PhysicalAxis axis) {
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

inline bool is_admissible_norm(double norm_squared_value) {
    return std::isfinite(norm_squared_value) && norm_squared_value != 0.0;
}

/// The sum over sites of the expectation of the axis's Pauli operator, each taken by
/// `pauli_expectation(string)`; an imaginary part beyond 1e-10 is refused.
template <class PauliExpectation>
Result<ObservableValue, ExactError> magnetization(core::PhysicalAxis axis, std::uint64_t sites,
                                                  PauliExpectation&& pauli_expectation) {
    const core::Pauli pauli = pauli_of(axis);
    double total = 0.0;
    for (std::uint64_t site = 0; site < sites; ++site) {
        auto site_id = core::SiteId::try_from_usize(site);
        if (!site_id) return fail<ExactError>(exact_error::Basis{std::move(site_id.error())});
        auto string = core::PauliString::create({core::PauliFactor{*site_id, pauli}});
        if (!string) return fail<ExactError>(exact_error::Operator{std::move(string.error())});
        auto value = pauli_expectation(*string);
        if (!value) return fail(std::move(value.error()));
        if (std::abs(value->im) > 1e-10) return fail<ExactError>(exact_error::InvalidParameter{"non-real magnetization"});
        total += value->re;
    }
    return observable_value(total, sites);
}

/// The plain two-point function of the axis's Pauli operator on two sites of a basis of
/// `dimension` states; equal sites need no operator, since a Pauli operator squares to 1.
template <class PauliExpectation>
Result<Complex, ExactError> correlation(core::PhysicalAxis axis, std::uint64_t first, std::uint64_t second,
                                        std::uint64_t sites, std::uint64_t dimension, std::span<const Complex> state,
                                        PauliExpectation&& pauli_expectation) {
    if (first >= sites || second >= sites) return fail<ExactError>(exact_error::InvalidParameter{"correlation site"});
    if (dimension != state.size()) return fail<ExactError>(exact_error::Shape{dimension, state.size()});
    if (first == second) {
        if (!is_admissible_norm(dot(state, state).re)) return fail<ExactError>(exact_error::InvalidParameter{"state norm"});
        return Complex{1.0, 0.0};
    }
    const core::Pauli pauli = pauli_of(axis);
    auto first_id = core::SiteId::try_from_usize(first);
    if (!first_id) return fail<ExactError>(exact_error::Basis{std::move(first_id.error())});
    auto second_id = core::SiteId::try_from_usize(second);
    if (!second_id) return fail<ExactError>(exact_error::Basis{std::move(second_id.error())});
    auto string = core::PauliString::create({core::PauliFactor{*first_id, pauli}, core::PauliFactor{*second_id, pauli}});
    if (!string) return fail<ExactError>(exact_error::Operator{std::move(string.error())});
    return pauli_expectation(*string);
}

/// The Hermitian Hamiltonian 1 * P on `sites` sites, as the expectation of a Pauli string builds it.
inline Result<core::Hamiltonian, ExactError> single_string_hamiltonian(const core::PauliString& pauli_operator,
                                                                       std::uint64_t sites) {
    auto site_count = core::SiteCount::create(sites);
    if (!site_count) return fail<ExactError>(exact_error::Basis{std::move(site_count.error())});
    std::vector<core::HamiltonianTerm> terms;
    terms.push_back(core::HamiltonianTerm{Complex{1.0, 0.0}, pauli_operator});
    auto hamiltonian = core::Hamiltonian::create_hermitian(*site_count, Complex{0.0, 0.0}, std::move(terms));
    if (!hamiltonian) return fail<ExactError>(exact_error::Operator{std::move(hamiltonian.error())});
    return std::move(*hamiltonian);
}

}  // namespace vendrel::exact::observable_steps
