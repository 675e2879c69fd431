// Canonicalisation of Hamiltonians and their action on basis states.
#include "core/hamiltonian.hpp"

#include <algorithm>

#include "core/complex_sum.hpp"

namespace vendrel::core {

Result<Hamiltonian, OperatorError> Hamiltonian::create(SiteCount site_count, Complex constant,
                                                       std::vector<HamiltonianTerm> terms) {
    if (!is_finite(constant)) return fail<OperatorError>(operator_error::NonFiniteCoefficient{constant});
    for (const HamiltonianTerm& term : terms) {
        if (!is_finite(term.coefficient)) {
            return fail<OperatorError>(operator_error::NonFiniteCoefficient{term.coefficient});
        }
        for (const PauliFactor& factor : term.string.factors()) {
            if (!site_count.validate(factor.site)) {
                return fail<OperatorError>(operator_error::SiteOutOfRange{factor.site, site_count.get()});
            }
        }
    }

    std::vector<Complex> constants{constant};
    std::vector<HamiltonianTerm> others;
    others.reserve(terms.size());
    for (HamiltonianTerm& term : terms) {
        if (term.string.is_identity()) {
            constants.push_back(term.coefficient);
        } else {
            others.push_back(std::move(term));
        }
    }

    // Sorting every group by a total order before summing makes the sums independent of input order.
    auto by_total_order = [](Complex a, Complex b) { return complex_total_cmp(a, b) < 0; };
    std::stable_sort(constants.begin(), constants.end(), by_total_order);
    const Complex merged_constant = deterministic_complex_sum(constants);

    std::stable_sort(others.begin(), others.end(), [](const HamiltonianTerm& a, const HamiltonianTerm& b) {
        const auto order = a.string <=> b.string;
        if (order != 0) return order < 0;
        return complex_total_cmp(a.coefficient, b.coefficient) < 0;
    });

    std::vector<HamiltonianTerm> merged;
    std::vector<Complex> run;
    for (std::size_t start = 0; start < others.size();) {
        std::size_t end = start;
        run.clear();
        while (end < others.size() && others[end].string == others[start].string) {
            run.push_back(others[end].coefficient);
            ++end;
        }
        const Complex sum = deterministic_complex_sum(run);
        if (!is_finite(sum)) return fail<OperatorError>(operator_error::NonFiniteCoefficient{sum});
        merged.push_back(HamiltonianTerm{sum, std::move(others[start].string)});
        start = end;
    }
    std::erase_if(merged, [](const HamiltonianTerm& term) { return is_exact_zero(term.coefficient); });

    if (!is_finite(merged_constant)) {
        return fail<OperatorError>(operator_error::NonFiniteCoefficient{merged_constant});
    }
    // The merged terms are already in string order.
    return Hamiltonian(site_count, merged_constant, std::move(merged));
}

Result<Hamiltonian, OperatorError> Hamiltonian::create_hermitian(SiteCount site_count, Complex constant,
                                                                 std::vector<HamiltonianTerm> terms) {
    auto hamiltonian = create(site_count, constant, std::move(terms));
    if (!hamiltonian) return hamiltonian;
    // No tolerance: any imaginary part other than exactly zero is refused.
    if (hamiltonian->constant_.im != 0.0) {
        return fail<OperatorError>(operator_error::NonHermitianCoefficient{hamiltonian->constant_});
    }
    for (const HamiltonianTerm& term : hamiltonian->terms_) {
        if (term.coefficient.im != 0.0) {
            return fail<OperatorError>(operator_error::NonHermitianCoefficient{term.coefficient});
        }
    }
    return hamiltonian;
}

void add_transition(std::vector<Transition>& result, const BasisState& state, Complex coefficient) {
    for (Transition& entry : result) {
        if (entry.state == state) {
            entry.amplitude += coefficient;
            return;
        }
    }
    result.push_back(Transition{state, coefficient});
}

std::vector<std::uint8_t> basis_key(const BasisState& state) {
    std::vector<std::uint8_t> key;
    key.reserve(state.len());
    const auto bits = state.bits();
    for (auto bit = bits.rbegin(); bit != bits.rend(); ++bit) key.push_back(as_u8(*bit));
    return key;
}

Result<std::vector<Transition>, OperatorError> Hamiltonian::apply(const BasisState& state) const {
    if (state.len() != site_count_.get()) {
        return fail<OperatorError>(operator_error::StateLength{site_count_.get(), state.len()});
    }
    std::vector<Transition> result;
    result.reserve(terms_.size() + 1);
    result.push_back(Transition{state, constant_});
    for (const HamiltonianTerm& term : terms_) {
        auto mapped = term.string.apply(state);
        if (!mapped) return fail(mapped.error());
        add_transition(result, mapped->first, term.coefficient * mapped->second);
    }
    std::erase_if(result, [](const Transition& entry) { return is_exact_zero(entry.amplitude); });
    // Comparing from the highest site down is comparing basis keys, without building them.
    std::stable_sort(result.begin(), result.end(), [](const Transition& a, const Transition& b) {
        const auto left = a.state.bits();
        const auto right = b.state.bits();
        return std::lexicographical_compare(left.rbegin(), left.rend(), right.rbegin(), right.rend());
    });
    return result;
}

}  // namespace vendrel::core
