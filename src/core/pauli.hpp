// Single-site Pauli operators and canonical Pauli strings with their action on basis states.
#pragma once

#include <compare>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "common/complex.hpp"
#include "common/result.hpp"
#include "core/basis.hpp"
#include "core/operator_error.hpp"

namespace vendrel::core {

/// Ordered I < X < Y < Z.
enum class Pauli : std::uint8_t { I = 0, X = 1, Y = 2, Z = 3 };

/// One non-identity factor of a string.
struct PauliFactor {
    SiteId site;
    Pauli pauli;
    friend constexpr auto operator<=>(const PauliFactor&, const PauliFactor&) = default;
};

[[nodiscard]] constexpr BasisBit flip(BasisBit bit) { return bit == BasisBit::Zero ? BasisBit::One : BasisBit::Zero; }

/// A tensor product of Pauli operators: no I factors, strictly increasing sites. Ordered by the factor
/// lists compared lexicographically (site, then operator; a prefix first), the identity smallest.
class PauliString {
public:
    /// Drops I factors, sorts by site, and fails with DuplicateSupport at the lowest repeated site.
    static Result<PauliString, OperatorError> create(std::vector<PauliFactor> factors);
    /// The identity string.
    PauliString() = default;

    [[nodiscard]] std::span<const PauliFactor> factors() const { return factors_; }
    [[nodiscard]] bool is_identity() const { return factors_.empty(); }

    /// The state the string maps `state` to and the phase (1, -1, i or -i); SiteOutOfRange for a
    /// factor at or beyond the state's length.
    [[nodiscard]] Result<std::pair<BasisState, Complex>, OperatorError> apply(const BasisState& state) const;

    friend bool operator==(const PauliString&, const PauliString&) = default;
    friend auto operator<=>(const PauliString& a, const PauliString& b) {
        return std::lexicographical_compare_three_way(a.factors_.begin(), a.factors_.end(), b.factors_.begin(),
                                                      b.factors_.end());
    }

private:
    explicit PauliString(std::vector<PauliFactor> factors) : factors_(std::move(factors)) {}
    std::vector<PauliFactor> factors_;
};

}  // namespace vendrel::core
