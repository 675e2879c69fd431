// Canonicalisation of Pauli strings and their action on basis states.
#include "core/pauli.hpp"

#include <algorithm>

namespace vendrel::core {

Result<PauliString, OperatorError> PauliString::create(std::vector<PauliFactor> factors) {
    std::erase_if(factors, [](const PauliFactor& factor) { return factor.pauli == Pauli::I; });
    std::stable_sort(factors.begin(), factors.end(),
                     [](const PauliFactor& a, const PauliFactor& b) { return a.site < b.site; });
    // Two factors on one site are refused even where they could be multiplied out.
    for (std::size_t index = 1; index < factors.size(); ++index) {
        if (factors[index - 1].site == factors[index].site) {
            return fail<OperatorError>(operator_error::DuplicateSupport{factors[index].site});
        }
    }
    return PauliString(std::move(factors));
}

Result<std::pair<BasisState, Complex>, OperatorError> PauliString::apply(const BasisState& state) const {
    std::vector<BasisBit> bits(state.bits().begin(), state.bits().end());
    Complex coefficient{1.0, 0.0};
    for (const PauliFactor& factor : factors_) {
        const std::uint32_t site = factor.site.get();
        if (site >= bits.size()) {
            return fail<OperatorError>(operator_error::SiteOutOfRange{factor.site, bits.size()});
        }
        BasisBit& bit = bits[site];
        switch (factor.pauli) {
            case Pauli::I:
                break;
            case Pauli::X:
                bit = flip(bit);
                break;
            case Pauli::Y:
                coefficient = coefficient * (bit == BasisBit::Zero ? Complex{0.0, 1.0} : Complex{0.0, -1.0});
                bit = flip(bit);
                break;
            case Pauli::Z:
                coefficient = coefficient * Complex{static_cast<double>(pauli_eigenvalue(bit)), 0.0};
                break;
        }
    }
    auto mapped = BasisState::from_bits(bits);
    if (!mapped) return fail<OperatorError>(operator_error::StateLength{state.len(), 0});
    return std::pair<BasisState, Complex>{std::move(*mapped), coefficient};
}

}  // namespace vendrel::core
