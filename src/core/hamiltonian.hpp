// The canonical sparse Hamiltonian: a complex constant plus complex multiples of Pauli strings.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "common/complex.hpp"
#include "common/result.hpp"
#include "core/basis.hpp"
#include "core/operator_error.hpp"
#include "core/pauli.hpp"

namespace vendrel::core {

struct HamiltonianTerm {
    Complex coefficient;
    PauliString string;
};

/// One non-zero entry of a Hamiltonian's column: the connected state and its amplitude.
struct Transition {
    BasisState state;
    Complex amplitude;
};

/// Canonical form: finite coefficients, sites below the count, identity folded into the constant,
/// each string once, no exactly-zero term, terms in increasing string order. Equal term multisets
/// give identical Hamiltonians bit for bit, whatever order the terms were listed in.
class Hamiltonian {
public:
    static Result<Hamiltonian, OperatorError> create(SiteCount site_count, Complex constant,
                                                     std::vector<HamiltonianTerm> terms);
    /// `create`, then every coefficient (constant first) must have an imaginary part of exactly 0.0.
    static Result<Hamiltonian, OperatorError> create_hermitian(SiteCount site_count, Complex constant,
                                                               std::vector<HamiltonianTerm> terms);

    [[nodiscard]] SiteCount site_count() const { return site_count_; }
    [[nodiscard]] Complex constant() const { return constant_; }
    [[nodiscard]] std::span<const HamiltonianTerm> terms() const { return terms_; }

    /// The non-zero entries of the column of `state`, in increasing integer value of the connected
    /// state; amplitudes accumulate by plain addition in term order. StateLength for a wrong length.
    [[nodiscard]] Result<std::vector<Transition>, OperatorError> apply(const BasisState& state) const;

private:
    Hamiltonian(SiteCount site_count, Complex constant, std::vector<HamiltonianTerm> terms)
        : site_count_(site_count), constant_(constant), terms_(std::move(terms)) {}
    SiteCount site_count_;
    Complex constant_;
    std::vector<HamiltonianTerm> terms_;
};

/// Adds the coefficient to the first entry holding `state`, or appends a new entry.
void add_transition(std::vector<Transition>& result, const BasisState& state, Complex coefficient);

/// One byte per site from the highest site down to site 0: byte order is integer-value order.
[[nodiscard]] std::vector<std::uint8_t> basis_key(const BasisState& state);

}  // namespace vendrel::core
