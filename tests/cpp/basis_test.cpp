// Basis states, packing, increment and the full and fixed-weight enumerations.
#include <gtest/gtest.h>

#include <vector>

#include "core/basis.hpp"

namespace vendrel::core {
namespace {

constexpr BasisBit O = BasisBit::Zero;
constexpr BasisBit I = BasisBit::One;

SiteCount count(std::uint64_t n) { return *SiteCount::create(n); }

PackedState packed(std::uint64_t sites, std::vector<std::uint64_t> words) {
    return PackedState::from_words(count(sites), std::move(words));
}

TEST(BasisState, RefusesEmptyAndPacksSiteZeroAsLowestBit) {
    EXPECT_EQ(to_string(BasisState::from_bits({}).error()), "a system must contain at least one site");
    EXPECT_EQ(to_string(PackedState::from_bits({}).error()), "a system must contain at least one site");

    const BasisBit bits[] = {I, O, I};
    auto state = BasisState::from_bits(bits);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->len(), 3u);
    auto packed_state = state->pack();
    ASSERT_TRUE(packed_state);
    EXPECT_EQ(packed_state->site_count(), 3u);
    ASSERT_EQ(packed_state->words_le().size(), 1u);
    EXPECT_EQ(packed_state->words_le()[0], 5u);
    EXPECT_EQ(packed_state->bit(0).value(), I);
    EXPECT_EQ(packed_state->bit(1).value(), O);
    EXPECT_EQ(to_string(packed_state->bit(3).error()), "site 3 is outside a 3-site system");
    EXPECT_EQ(to_string(packed_state->bit(4294967296u).error()), "site identifier 4294967296 does not fit in u32");
}

TEST(PackedState, WordLayoutAcrossWordBoundaries) {
    struct Case {
        std::uint64_t sites, words, mask;
    };
    const Case cases[] = {{0, 0, ~0ull}, {1, 1, 1}, {3, 1, 0b111}, {63, 1, ~0ull >> 1},
                          {64, 1, ~0ull}, {65, 2, 1}, {128, 2, ~0ull}, {130, 3, 0b11}};
    for (const Case& c : cases) {
        EXPECT_EQ(word_count(c.sites), c.words) << c.sites;
        EXPECT_EQ(valid_mask(c.sites), c.mask) << c.sites;
    }
    std::vector<BasisBit> bits(65, O);
    bits[64] = I;
    auto state = PackedState::from_bits(bits);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->words_le()[0], 0u);
    EXPECT_EQ(state->words_le()[1], 1u);
    EXPECT_EQ(state->bit(64).value(), I);
}

TEST(PackedState, IncrementCarriesAndWrapsAtTheSiteCount) {
    struct Case {
        std::uint64_t sites;
        std::vector<std::uint64_t> before, after;
        bool wrapped;
    };
    const Case cases[] = {
        {3, {0b011}, {0b100}, false},
        {3, {0b111}, {0}, true},
        {64, {~0ull}, {0}, true},
        {65, {~0ull, 0}, {0, 1}, false},
        {65, {~0ull, 1}, {0, 0}, true},
        {128, {~0ull, ~0ull}, {0, 0}, true},
        {1, {0}, {1}, false},
    };
    for (const Case& c : cases) {
        PackedState state = packed(c.sites, c.before);
        EXPECT_EQ(state.increment(), c.wrapped) << c.sites;
        EXPECT_EQ(std::vector<std::uint64_t>(state.words_le().begin(), state.words_le().end()), c.after) << c.sites;
    }
}

std::vector<std::uint64_t> drain_low_words(auto enumeration) {
    std::vector<std::uint64_t> values;
    while (auto state = enumeration.next()) values.push_back(state->words_le()[0]);
    EXPECT_FALSE(enumeration.next().has_value()) << "an ended enumeration must stay ended";
    EXPECT_FALSE(enumeration.next().has_value());
    return values;
}

TEST(FullBasis, ListsEveryValueInIncreasingOrder) {
    EXPECT_EQ(drain_low_words(*FullBasis::create(count(1))), (std::vector<std::uint64_t>{0, 1}));
    EXPECT_EQ(drain_low_words(*FullBasis::create(count(3))), (std::vector<std::uint64_t>{0, 1, 2, 3, 4, 5, 6, 7}));
    auto ten = drain_low_words(*FullBasis::create(count(10)));
    ASSERT_EQ(ten.size(), 1024u);
    for (std::uint64_t k = 0; k < ten.size(); ++k) ASSERT_EQ(ten[k], k);
}

TEST(FullBasis, StopsAtSixtyThreeSites) {
    auto largest = FullBasis::create(count(63));
    ASSERT_TRUE(largest);
    EXPECT_EQ(largest->next()->words_le()[0], 0u);
    EXPECT_EQ(largest->next()->words_le()[0], 1u);
    for (std::uint64_t sites : {64u, 65u, 1000u}) {
        auto refused = FullBasis::create(count(sites));
        ASSERT_FALSE(refused);
        EXPECT_EQ(to_string(refused.error()), "checked full basis dimension dimension overflowed");
    }
}

std::uint64_t binomial(std::uint64_t n, std::uint64_t k) {
    std::uint64_t result = 1;
    for (std::uint64_t i = 1; i <= k; ++i) result = result * (n - k + i) / i;
    return result;
}

TEST(SectorBasis, ListsFixedWeightStatesInIncreasingOrder) {
    EXPECT_EQ(drain_low_words(*SectorBasis::create(count(4), 2)), (std::vector<std::uint64_t>{3, 5, 6, 9, 10, 12}));
    EXPECT_EQ(drain_low_words(*SectorBasis::create(count(3), 0)), (std::vector<std::uint64_t>{0}));
    EXPECT_EQ(drain_low_words(*SectorBasis::create(count(3), 3)), (std::vector<std::uint64_t>{7}));
    for (std::uint64_t n = 1; n <= 12; ++n) {
        for (std::uint64_t k = 0; k <= n; ++k) {
            auto values = drain_low_words(*SectorBasis::create(count(n), k));
            ASSERT_EQ(values.size(), binomial(n, k)) << n << " " << k;
            for (std::size_t i = 0; i < values.size(); ++i) {
                ASSERT_EQ(static_cast<std::uint64_t>(__builtin_popcountll(values[i])), k);
                if (i > 0) {
                    ASSERT_LT(values[i - 1], values[i]);
                }
            }
        }
    }
    EXPECT_EQ(to_string(SectorBasis::create(count(3), 4).error()), "Hamming weight 4 exceeds the 3-site system");
}

TEST(SectorBasis, WorksBeyondSixtyFourSites) {
    auto sector = SectorBasis::create(count(70), 1);
    ASSERT_TRUE(sector);
    std::vector<PackedState> states;
    while (auto state = sector->next()) states.push_back(*state);
    ASSERT_EQ(states.size(), 70u);
    for (std::size_t k = 0; k < states.size(); ++k) {
        ASSERT_EQ(states[k].words_le().size(), 2u);
        EXPECT_EQ(states[k].bit(k).value(), BasisBit::One);
    }
    EXPECT_EQ(states.back().words_le()[0], 0u);
    EXPECT_EQ(states.back().words_le()[1], 1u << 5);

    // Two Ones straddling the word boundary, in increasing integer order.
    auto pairs = SectorBasis::create(count(66), 2);
    std::vector<PackedState> all;
    while (auto state = pairs->next()) all.push_back(*state);
    ASSERT_EQ(all.size(), binomial(66, 2));
    for (std::size_t i = 1; i < all.size(); ++i) {
        const auto a = all[i - 1].words_le();
        const auto b = all[i].words_le();
        ASSERT_TRUE(a[1] < b[1] || (a[1] == b[1] && a[0] < b[0])) << i;
    }
}

}  // namespace
}  // namespace vendrel::core
