// Construction of exact bases from the basis enumerations, and the state-to-position lookup.
#include "exact/exact_basis.hpp"

#include <algorithm>
#include <numeric>
#include <utility>

namespace vendrel::exact {

namespace {

// splitmix64 finaliser: every input bit reaches every output bit, so consecutive states spread out.
std::uint64_t mix(std::uint64_t value) {
    value ^= value >> 30;
    value *= 0xbf58476d1ce4e5b9ULL;
    value ^= value >> 27;
    value *= 0x94d049bb133111ebULL;
    value ^= value >> 31;
    return value;
}

template <class Enumeration>
Result<ExactBasis, ExactError> drain(Enumeration enumeration, std::uint64_t expected_dimension) {
    std::vector<core::BasisState> states;
    states.reserve(expected_dimension);
    while (auto packed = enumeration.next()) {
        auto state = packed_to_dense(std::move(*packed));
        if (!state) return fail(std::move(state.error()));
        states.push_back(std::move(*state));
    }
    return ExactBasis::from_states(std::move(states));
}

// C(n, k) when it stays below 2^64, else 0 (then the list simply grows as it is filled).
std::uint64_t binomial_or_zero(std::uint64_t n, std::uint64_t k) {
    k = std::min(k, n - k);
    std::uint64_t result = 1;
    for (std::uint64_t i = 1; i <= k; ++i) {
        // result * (n - k + i) / i is a whole number; dividing out gcd(result, i) first keeps every
        // step exact, since the rest of i then divides n - k + i.
        const std::uint64_t common = std::gcd(result, i);
        std::uint64_t next = 0;
        if (__builtin_mul_overflow(result / common, (n - k + i) / (i / common), &next)) return 0;
        result = next;
    }
    return result;
}

}  // namespace

std::size_t PackedWordsHash::operator()(std::span<const std::uint64_t> words) const noexcept {
    std::uint64_t hash = mix(words.size());
    for (std::uint64_t word : words) hash = mix(hash ^ mix(word));
    return static_cast<std::size_t>(hash);
}

bool PackedWordsEqual::operator()(std::span<const std::uint64_t> left,
                                  std::span<const std::uint64_t> right) const noexcept {
    return std::ranges::equal(left, right);
}

Result<ExactBasis, ExactError> ExactBasis::from_states(std::vector<core::BasisState> states) {
    if (states.empty()) return fail<ExactError>(exact_error::DimensionOverflow{});
    Lookup lookup;
    lookup.reserve(states.size());
    for (std::uint64_t position = 0; position < states.size(); ++position) {
        auto packed = states[position].pack();
        if (!packed) return fail<ExactError>(exact_error::Basis{std::move(packed.error())});
        const auto words = packed->words_le();
        // A repeated state keeps the list entry but moves its lookup to the later position.
        lookup.insert_or_assign(std::vector<std::uint64_t>(words.begin(), words.end()), position);
    }
    return ExactBasis(std::move(states), std::move(lookup));
}

Result<ExactBasis, ExactError> ExactBasis::full(core::SiteCount site_count) {
    auto enumeration = core::FullBasis::create(site_count);
    if (!enumeration) return fail<ExactError>(exact_error::Basis{std::move(enumeration.error())});
    // Below 64 sites, so 2^n fits.
    return drain(std::move(*enumeration), std::uint64_t{1} << site_count.get());
}

Result<ExactBasis, ExactError> ExactBasis::fixed_weight(core::SiteCount site_count, std::uint64_t weight) {
    auto enumeration = core::SectorBasis::create(site_count, weight);
    if (!enumeration) return fail<ExactError>(exact_error::Basis{std::move(enumeration.error())});
    return drain(std::move(*enumeration), binomial_or_zero(site_count.get(), weight));
}

std::optional<std::uint64_t> ExactBasis::index_of(const core::BasisState& state) const {
    auto packed = state.pack();
    if (!packed) return std::nullopt;
    const auto found = lookup_.find(packed->words_le());
    if (found == lookup_.end()) return std::nullopt;
    return found->second;
}

Result<core::BasisState, ExactError> packed_to_dense(core::PackedState packed) {
    std::vector<core::BasisBit> bits;
    bits.reserve(packed.site_count());
    for (std::uint64_t site = 0; site < packed.site_count(); ++site) {
        auto bit = packed.bit(site);
        if (!bit) return fail<ExactError>(exact_error::Basis{std::move(bit.error())});
        bits.push_back(*bit == core::BasisBit::One ? core::BasisBit::One : core::BasisBit::Zero);
    }
    auto state = core::BasisState::from_bits(bits);
    if (!state) return fail<ExactError>(exact_error::Basis{std::move(state.error())});
    return std::move(*state);
}

}  // namespace vendrel::exact
