// Observables over the full basis, each Pauli operator applied directly instead of as a dense matrix.
#include "exact/full_basis_observables.hpp"

#include <optional>

#include "exact/full_basis_operator.hpp"
#include "exact/observable_steps.hpp"

namespace vendrel::exact {

namespace {

// The steps of `expectation`, with the operator in place of its dense matrix; `squared_norm()` gives
// dot(state, state).re.
template <class SquaredNorm>
Result<Complex, ExactError> pauli_expectation_with(const core::PauliString& pauli_operator, std::uint64_t sites,
                                                   std::span<const Complex> state, SquaredNorm&& squared_norm) {
    auto hamiltonian = observable_steps::single_string_hamiltonian(pauli_operator, sites);
    if (!hamiltonian) return fail(std::move(hamiltonian.error()));
    auto op = FullBasisOperator::compile(*hamiltonian);
    if (!op) return fail(std::move(op.error()));
    if (state.size() != op->dimension()) return fail<ExactError>(exact_error::Shape{op->dimension(), state.size()});
    const double norm_squared_value = squared_norm();
    if (!observable_steps::is_admissible_norm(norm_squared_value)) {
        return fail<ExactError>(exact_error::InvalidParameter{"state norm"});
    }
    auto inner = op->inner_with_applied(state);
    if (!inner) return fail(std::move(inner.error()));
    return divide(*inner, norm_squared_value);
}

}  // namespace

Result<Complex, ExactError> full_basis_pauli_expectation(const core::PauliString& pauli_operator, std::uint64_t sites,
                                                         std::span<const Complex> state) {
    return pauli_expectation_with(pauli_operator, sites, state, [&] { return dot(state, state).re; });
}

Result<ObservableValue, ExactError> full_basis_magnetization(core::PhysicalAxis axis, std::uint64_t sites,
                                                             std::span<const Complex> state) {
    // Every site divides by the same squared norm: it is summed once, when first needed.
    std::optional<double> squared_norm;
    const auto squared_norm_once = [&] {
        if (!squared_norm) squared_norm = dot(state, state).re;
        return *squared_norm;
    };
    return observable_steps::magnetization(axis, sites, [&](const core::PauliString& string) {
        return pauli_expectation_with(string, sites, state, squared_norm_once);
    });
}

Result<Complex, ExactError> full_basis_correlation(core::PhysicalAxis axis, std::uint64_t first, std::uint64_t second,
                                                   std::uint64_t sites, std::span<const Complex> state) {
    // A full basis of 64 sites or more cannot exist; its refusal is the dense route's first error.
    auto count = core::SiteCount::create(sites);
    if (!count) return fail<ExactError>(exact_error::Basis{std::move(count.error())});
    if (auto enumeration = core::FullBasis::create(*count); !enumeration) {
        return fail<ExactError>(exact_error::Basis{std::move(enumeration.error())});
    }
    const std::uint64_t dimension = std::uint64_t{1} << sites;
    return observable_steps::correlation(axis, first, second, sites, dimension, state,
                                         [&](const core::PauliString& string) {
                                             return full_basis_pauli_expectation(string, sites, state);
                                         });
}

}  // namespace vendrel::exact
