// libFuzzer target: a Hamiltonian built from any term list in any order has the same bits.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/hamiltonian.hpp"

namespace {

using namespace vendrel;
using namespace vendrel::core;

bool same_bits(Complex a, Complex b) {
    return std::bit_cast<std::uint64_t>(a.re) == std::bit_cast<std::uint64_t>(b.re) &&
           std::bit_cast<std::uint64_t>(a.im) == std::bit_cast<std::uint64_t>(b.im);
}

bool same(const Result<Hamiltonian, OperatorError>& a, const Result<Hamiltonian, OperatorError>& b) {
    if (a.has_value() != b.has_value()) return false;
    // A refusal names the first offending term in input order, so only the outcome must agree.
    if (!a) return true;
    if (!same_bits(a->constant(), b->constant()) || a->terms().size() != b->terms().size()) return false;
    for (std::size_t k = 0; k < a->terms().size(); ++k) {
        if (!(a->terms()[k].string == b->terms()[k].string)) return false;
        if (!same_bits(a->terms()[k].coefficient, b->terms()[k].coefficient)) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Layout: one byte of site count, then records of 1 byte string code + 16 bytes coefficient.
    if (size < 1) return 0;
    const std::uint32_t sites = 1 + data[0] % 3;
    std::vector<HamiltonianTerm> terms;
    std::size_t offset = 1;
    while (offset + 17 <= size && terms.size() < 64) {
        std::vector<PauliFactor> factors;
        std::uint8_t code = data[offset];
        for (std::uint32_t site = 0; site < sites; ++site, code >>= 2) {
            factors.push_back({SiteId::create(site), static_cast<Pauli>(code & 3)});
        }
        Complex coefficient;
        std::memcpy(&coefficient.re, data + offset + 1, 8);
        std::memcpy(&coefficient.im, data + offset + 9, 8);
        terms.push_back({coefficient, *PauliString::create(std::move(factors))});
        offset += 17;
    }
    const SiteCount count = *SiteCount::create(sites);
    const auto reference = Hamiltonian::create(count, Complex{0.5, -0.0}, terms);
    std::reverse(terms.begin(), terms.end());
    if (!same(reference, Hamiltonian::create(count, Complex{0.5, -0.0}, terms))) __builtin_trap();
    // A rotation by the remaining bytes gives a third order.
    if (!terms.empty()) {
        std::rotate(terms.begin(), terms.begin() + (size % terms.size()), terms.end());
        if (!same(reference, Hamiltonian::create(count, Complex{0.5, -0.0}, terms))) __builtin_trap();
    }
    return 0;
}
