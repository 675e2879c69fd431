// Exact bases: canonical order, state lookup, unpacking and the messages of ExactError.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/basis.hpp"
#include "exact/exact_basis.hpp"
#include "exact/exact_error.hpp"

namespace vendrel::exact {
namespace {

using core::BasisBit;
using core::BasisState;

core::SiteCount count(std::uint64_t n) { return *core::SiteCount::create(n); }

// The state of `sites` sites whose integer value is `value` (site 0 the lowest bit).
BasisState state_of(std::uint64_t sites, std::uint64_t value) {
    std::vector<BasisBit> bits(sites, BasisBit::Zero);
    for (std::uint64_t site = 0; site < sites && site < 64; ++site) {
        if ((value >> site) & 1u) bits[site] = BasisBit::One;
    }
    return *BasisState::from_bits(bits);
}

std::uint64_t value_of(const BasisState& state) {
    std::uint64_t value = 0;
    const auto bits = state.bits();
    for (std::size_t site = 0; site < bits.size(); ++site) {
        if (bits[site] == BasisBit::One) value |= std::uint64_t{1} << site;
    }
    return value;
}

std::vector<std::uint64_t> values_of(const ExactBasis& basis) {
    std::vector<std::uint64_t> values;
    for (const BasisState& state : basis.states()) values.push_back(value_of(state));
    return values;
}

TEST(ExactBasis, ListsStatesInCanonicalOrderAndFindsEachOne) {
    struct Case {
        std::uint64_t sites;
        std::optional<std::uint64_t> weight;
        std::vector<std::uint64_t> values;
    };
    const Case cases[] = {
        {1, std::nullopt, {0, 1}},
        {3, std::nullopt, {0, 1, 2, 3, 4, 5, 6, 7}},
        {4, 2, {3, 5, 6, 9, 10, 12}},
        {3, 0, {0}},
        {3, 3, {7}},
        {1, 1, {1}},
    };
    for (const Case& c : cases) {
        auto basis = c.weight ? ExactBasis::fixed_weight(count(c.sites), *c.weight) : ExactBasis::full(count(c.sites));
        ASSERT_TRUE(basis) << c.sites;
        EXPECT_EQ(values_of(*basis), c.values) << c.sites;
        EXPECT_EQ(basis->dimension(), c.values.size());
        for (std::uint64_t position = 0; position < c.values.size(); ++position) {
            EXPECT_EQ(basis->states()[position].len(), c.sites);
            EXPECT_EQ(basis->index_of(state_of(c.sites, c.values[position])), position) << c.sites;
        }
    }
}

TEST(ExactBasis, LookupIsExactOverLargeBasesAndRefusesOtherStates) {
    auto full = ExactBasis::full(count(12));
    ASSERT_TRUE(full);
    ASSERT_EQ(full->dimension(), 4096u);
    for (std::uint64_t position = 0; position < full->dimension(); ++position) {
        ASSERT_EQ(value_of(full->states()[position]), position);
        ASSERT_EQ(full->index_of(full->states()[position]), position);
    }

    auto sector = ExactBasis::fixed_weight(count(4), 2);
    ASSERT_TRUE(sector);
    EXPECT_EQ(sector->index_of(state_of(4, 0b0001)), std::nullopt);
    EXPECT_EQ(sector->index_of(state_of(4, 0b0111)), std::nullopt);
    EXPECT_EQ(sector->index_of(state_of(4, 0b1001)), 3u);

    // Only the packed words are compared: the 2-site state (One, Zero) shares its key with (One, Zero, Zero).
    auto three = ExactBasis::full(count(3));
    ASSERT_TRUE(three);
    EXPECT_EQ(three->index_of(state_of(2, 0b01)), 1u);
    EXPECT_EQ(three->index_of(state_of(4, 0b1000)), std::nullopt);
}

TEST(ExactBasis, SectorsBeyondOneWordKeepEveryStateDistinct) {
    auto basis = ExactBasis::fixed_weight(count(70), 1);
    ASSERT_TRUE(basis);
    ASSERT_EQ(basis->dimension(), 70u);
    for (std::uint64_t site = 0; site < 70; ++site) {
        const BasisState& state = basis->states()[site];
        ASSERT_EQ(state.len(), 70u);
        for (std::uint64_t other = 0; other < 70; ++other) {
            ASSERT_EQ(state.bits()[other], other == site ? BasisBit::One : BasisBit::Zero);
        }
        EXPECT_EQ(basis->index_of(state), site);
    }

    auto pairs = ExactBasis::fixed_weight(count(66), 2);
    ASSERT_TRUE(pairs);
    ASSERT_EQ(pairs->dimension(), 66u * 65u / 2u);
    for (std::uint64_t position = 0; position < pairs->dimension(); ++position) {
        ASSERT_EQ(pairs->index_of(pairs->states()[position]), position);
    }
}

TEST(ExactBasis, FromStatesKeepsTheListAndMapsRepeatsToTheLastPosition) {
    const BasisState a = state_of(2, 0b01);
    const BasisState b = state_of(2, 0b10);
    auto basis = ExactBasis::from_states({a, b, a});
    ASSERT_TRUE(basis);
    EXPECT_EQ(basis->dimension(), 3u);
    EXPECT_EQ(basis->states()[0], a);
    EXPECT_EQ(basis->states()[2], a);
    EXPECT_EQ(basis->index_of(a), 2u);
    EXPECT_EQ(basis->index_of(b), 1u);
    EXPECT_EQ(basis->index_of(state_of(2, 0b11)), std::nullopt);

    // Neither equal lengths nor distinctness is required.
    auto mixed = ExactBasis::from_states({state_of(1, 0), state_of(5, 0b10110)});
    ASSERT_TRUE(mixed);
    EXPECT_EQ(mixed->index_of(state_of(5, 0b10110)), 1u);
}

TEST(ExactBasis, RefusalsCarryTheWrappedErrors) {
    auto empty = ExactBasis::from_states({});
    ASSERT_FALSE(empty);
    EXPECT_EQ(empty.error(), ExactError{exact_error::DimensionOverflow{}});
    EXPECT_EQ(to_string(empty.error()), "exact dimension overflowed");

    auto too_large = ExactBasis::full(count(64));
    ASSERT_FALSE(too_large);
    EXPECT_EQ(too_large.error(),
              ExactError{exact_error::Basis{core::basis_error::DimensionOverflow{"full basis dimension"}}});
    EXPECT_EQ(to_string(too_large.error()), "checked full basis dimension dimension overflowed");

    auto heavy = ExactBasis::fixed_weight(count(3), 4);
    ASSERT_FALSE(heavy);
    EXPECT_EQ(heavy.error(), (ExactError{exact_error::Basis{core::basis_error::WeightOutOfRange{4, 3}}}));
    EXPECT_EQ(to_string(heavy.error()), "Hamming weight 4 exceeds the 3-site system");
}

TEST(ExactBasis, PackedToDenseUnpacksAcrossWordBoundaries) {
    struct Case {
        std::uint64_t sites;
        std::vector<std::uint64_t> words;
        std::vector<std::uint64_t> one_sites;
    };
    const Case cases[] = {
        {1, {0}, {}},
        {3, {0b101}, {0, 2}},
        {64, {std::uint64_t{1} << 63}, {63}},
        {65, {1, 1}, {0, 64}},
        {130, {0, 0, 0b10}, {129}},
    };
    for (const Case& c : cases) {
        auto state = packed_to_dense(core::PackedState::from_words(count(c.sites), c.words));
        ASSERT_TRUE(state) << c.sites;
        ASSERT_EQ(state->len(), c.sites);
        std::vector<std::uint64_t> ones;
        for (std::uint64_t site = 0; site < c.sites; ++site) {
            if (state->bits()[site] == BasisBit::One) ones.push_back(site);
        }
        EXPECT_EQ(ones, c.one_sites) << c.sites;
        auto repacked = state->pack();
        ASSERT_TRUE(repacked);
        EXPECT_EQ(std::vector<std::uint64_t>(repacked->words_le().begin(), repacked->words_le().end()), c.words);
    }
}

TEST(ExactError, RendersEveryVariantWithItsFields) {
    const BasisState three = state_of(3, 0b101);
    struct Case {
        ExactError error;
        std::string text;
    };
    const Case cases[] = {
        {exact_error::Basis{core::basis_error::EmptySystem{}}, "a system must contain at least one site"},
        {exact_error::Basis{core::basis_error::SiteOutOfRange{3, 3}}, "site 3 is outside a 3-site system"},
        {exact_error::Operator{core::operator_error::SiteOutOfRange{core::SiteId::create(4), 4}},
         "operator site 4 is outside 4 sites"},
        {exact_error::Operator{core::operator_error::NonFiniteCoefficient{Complex{INFINITY, 0.0}}},
         "operator coefficient Complex { re: inf, im: 0.0 } is non-finite"},
        {exact_error::DimensionOverflow{}, "exact dimension overflowed"},
        {exact_error::Shape{4, 3}, "expected length 4, received 3"},
        {exact_error::NonHermitian{0, 1, Complex{0.5, 0.0}},
         "matrix entry (0,1)=Complex { re: 0.5, im: 0.0 } violates Hermiticity"},
        {exact_error::NonHermitian{12, 3, Complex{0.0, -4e-10}},
         "matrix entry (12,3)=Complex { re: 0.0, im: -4e-10 } violates Hermiticity"},
        {exact_error::StateOutsideBasis{three}, "Hamiltonian action leaves supplied exact basis (3 sites)"},
        {exact_error::NonFiniteValue{"vector", 2, Complex{NAN, 0.0}},
         "non-finite vector scalar at index 2: Complex { re: NaN, im: 0.0 }"},
        {exact_error::NonFiniteValue{"vector", 0, Complex{1.0, -INFINITY}},
         "non-finite vector scalar at index 0: Complex { re: 1.0, im: -inf }"},
        {exact_error::NonConvergent{400}, "Hermitian eigensolver did not converge in 400 iterations"},
        {exact_error::InvalidParameter{"tolerance"}, "invalid exact parameter tolerance"},
        {exact_error::InvalidParameter{"non-real magnetization"}, "invalid exact parameter non-real magnetization"},
    };
    for (const Case& c : cases) EXPECT_EQ(to_string(c.error), c.text);
}

}  // namespace
}  // namespace vendrel::exact
