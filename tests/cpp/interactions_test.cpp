// Interaction channels, tables (check order, canonical order) and dense couplings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "core/dense_couplings.hpp"

namespace vendrel::core {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

SiteCount count(std::uint64_t n) { return *SiteCount::create(n); }
Bond bond(std::uint32_t a, std::uint32_t b) { return *Bond::create(SiteId::create(a), SiteId::create(b)); }
InteractionChannel zz() { return InteractionChannel::ising_zz(); }
InteractionChannel generic(std::string id) { return InteractionChannel::generic(std::move(id)); }

TEST(InteractionChannel, TextFormsAndOrder) {
    EXPECT_EQ(to_string(zz()), "IsingZZ");
    EXPECT_EQ(to_string(InteractionChannel::heisenberg_exchange()), "HeisenbergExchange");
    EXPECT_EQ(to_string(InteractionChannel::rydberg_density_density()), "RydbergDensityDensity");
    EXPECT_EQ(to_string(generic("dimer")), R"(Generic("dimer"))");
    EXPECT_EQ(to_string(generic("a\tb")), R"(Generic("a\tb"))");

    const InteractionChannel ascending[] = {zz(), InteractionChannel::heisenberg_exchange(),
                                            InteractionChannel::rydberg_density_density(), generic("a"),
                                            generic("ab"), generic("b"), generic("\xc3\xa9")};
    for (std::size_t i = 0; i < std::size(ascending); ++i) {
        for (std::size_t j = 0; j < std::size(ascending); ++j) {
            EXPECT_EQ((ascending[i] <=> ascending[j]) < 0, i < j) << i << " " << j;
        }
    }
}

TEST(InteractionChannel, GenericIdentifiersMustBeNonEmptyWithoutWhiteSpace) {
    for (const char* valid : {"dimer", "a-b_c9", "\xc3\xa9t\xc3\xa9", "x\xe2\x80\x8by" /* U+200B is not White_Space */}) {
        EXPECT_TRUE(generic(valid).is_valid()) << valid;
    }
    for (const char* invalid : {"", " ", "a b", " a", "a ", "a\t", "a\xc2\xa0" "b", "a\xe3\x80\x80", "\xe2\x80\xa8",
                                "a\xc2\x85", "\x0b"}) {
        EXPECT_FALSE(generic(invalid).is_valid()) << invalid;
    }
}

TEST(WeightedInteraction, ChecksChannelBeforeCoefficient) {
    auto bad_channel = WeightedInteraction::create(bond(0, 1), generic(" "), kNaN);
    ASSERT_FALSE(bad_channel);
    EXPECT_EQ(to_string(bad_channel.error()), R"(interaction channel " " is not a stable non-empty identifier)");
    EXPECT_EQ(to_string(WeightedInteraction::create(bond(0, 1), zz(), -kInf).error()),
              "interaction coefficient -inf is non-finite");
    EXPECT_EQ(WeightedInteraction::create(bond(0, 1), zz(), 0.0)->coefficient(), 0.0);
}

TEST(InteractionTable, SortsByIdentity) {
    auto table = InteractionTable::create(
        count(3), {{bond(1, 2), zz(), 1.0}, {bond(0, 1), generic("b"), 2.0}, {bond(0, 1), generic("a"), 3.0},
                   {bond(0, 1), InteractionChannel::rydberg_density_density(), 4.0}, {bond(0, 1), zz(), 0.0}});
    ASSERT_TRUE(table);
    std::vector<double> coefficients;
    for (const auto& entry : table->interactions()) coefficients.push_back(entry.coefficient());
    EXPECT_EQ(coefficients, (std::vector<double>{0.0, 4.0, 3.0, 2.0, 1.0}));
    EXPECT_TRUE(InteractionTable::create(count(5), {})->interactions().empty());
}

TEST(InteractionTable, IsIndependentOfTermOrder) {
    std::vector<InteractionTerm> terms;
    for (std::uint32_t i = 0; i < 6; ++i) {
        for (std::uint32_t j = i + 1; j < 6; ++j) terms.push_back({bond(i, j), zz(), i * 10.0 + j});
    }
    auto reference = InteractionTable::create(count(6), terms);
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        std::shuffle(terms.begin(), terms.end(), rng);
        auto again = InteractionTable::create(count(6), terms);
        ASSERT_EQ(again->interactions().size(), reference->interactions().size());
        for (std::size_t k = 0; k < terms.size(); ++k) {
            EXPECT_EQ(again->interactions()[k].identity(), reference->interactions()[k].identity());
            EXPECT_EQ(again->interactions()[k].coefficient(), reference->interactions()[k].coefficient());
        }
    }
}

TEST(InteractionTable, ReportsTheFirstFailureInCheckOrder) {
    struct Case {
        const char* what;
        std::vector<InteractionTerm> terms;
        const char* message;
    };
    std::vector<Case> cases;
    cases.push_back({"channel before site", {{bond(1, 7), generic(""), 1.0}},
                     R"(interaction channel "" is not a stable non-empty identifier)"});
    cases.push_back({"site before coefficient", {{bond(1, 3), zz(), kNaN}},
                     "site 3 is outside a 3-site interaction table"});
    cases.push_back({"first site first", {{bond(4, 5), zz(), 1.0}}, "site 4 is outside a 3-site interaction table"});
    cases.push_back({"coefficient", {{bond(0, 1), zz(), kNaN}}, "interaction coefficient NaN is non-finite"});
    cases.push_back({"terms in input order", {{bond(0, 1), zz(), kInf}, {bond(0, 9), zz(), 1.0}},
                     "interaction coefficient inf is non-finite"});
    cases.push_back({"duplicates only after every term",
                     {{bond(0, 1), zz(), 1.0}, {bond(0, 1), zz(), 2.0}, {bond(0, 5), zz(), 1.0}},
                     "site 5 is outside a 3-site interaction table"});
    cases.push_back({"smallest duplicate",
                     {{bond(0, 2), zz(), 1.0}, {bond(0, 2), zz(), 1.0}, {bond(0, 1), zz(), 1.0}, {bond(0, 1), zz(), 2.0}},
                     "duplicate interaction identity (0, 1) on IsingZZ"});
    cases.push_back({"generic duplicate", {{bond(1, 2), generic("d"), 1.0}, {bond(1, 2), generic("d"), 1.0}},
                     R"(duplicate interaction identity (1, 2) on Generic("d"))"});
    for (Case& c : cases) {
        auto table = InteractionTable::create(count(3), std::move(c.terms));
        ASSERT_FALSE(table) << c.what;
        EXPECT_EQ(to_string(table.error()), c.message) << c.what;
    }
    EXPECT_TRUE(InteractionTable::create(count(3), {{bond(0, 1), zz(), 1.0},
                                                    {bond(0, 1), InteractionChannel::heisenberg_exchange(), 1.0}}));
}

TEST(DenseCouplings, ResolvesEveryPairInRowMajorOrderWithTheUpperEntry) {
    auto couplings = DenseCouplings::create(count(4), {0, 1, 2, 3, 1, 0, 4, 5, 2, 4, 0, 6, 3, 5, 6, 0});
    ASSERT_TRUE(couplings);
    auto pairs = couplings->to_interactions(zz());
    ASSERT_TRUE(pairs);
    const std::pair<std::uint32_t, std::uint32_t> expected[] = {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}};
    ASSERT_EQ(pairs->size(), 6u);
    for (std::size_t k = 0; k < 6; ++k) {
        EXPECT_EQ((*pairs)[k].bond(), bond(expected[k].first, expected[k].second));
        EXPECT_EQ((*pairs)[k].coefficient(), k + 1.0);
    }

    auto zeros = DenseCouplings::create(count(3), std::vector<double>(9, 0.0))->to_interactions(zz());
    ASSERT_EQ(zeros->size(), 3u);
    for (const auto& entry : *zeros) EXPECT_EQ(entry.coefficient(), 0.0);

    auto near = DenseCouplings::create(count(2), {0, 1, 1 + 1e-13, 0});
    ASSERT_TRUE(near);
    EXPECT_EQ(near->to_interactions(zz())->front().coefficient(), 1.0);

    auto single = DenseCouplings::create(count(1), {-0.0});
    ASSERT_TRUE(single);
    EXPECT_TRUE(single->to_interactions(generic(""))->empty());
    EXPECT_EQ(to_string(DenseCouplings::create(count(2), {0, 1, 1, 0})->to_interactions(generic("")).error()),
              R"(interaction channel "" is not a stable non-empty identifier)");
}

TEST(DenseCouplings, ReportsTheFirstFailureOfTheRowByRowScan) {
    // A difference that overflows to infinity exceeds any tolerance; plain form has no exponent.
    const std::string huge = "17" + std::string(307, '0');
    const std::string kOverflowingDifference =
        "dense coupling matrix differs at (0, 1): " + huge + " versus -" + huge;
    struct Case {
        std::uint64_t sites;
        std::vector<double> values;
        double tolerance;
        const char* message;
    };
    const Case cases[] = {
        {2, {0, 1, 1}, 1e-12, "dense coupling matrix needs 4 entries, received 3"},
        {2, {0, 1, 1.5, 0}, 1e-12, "dense coupling matrix differs at (0, 1): 1 versus 1.5"},
        {2, {0, 1, 1 + 1e-12, 0}, 0.0, "dense coupling matrix differs at (0, 1): 1 versus 1.000000000001"},
        {2, {0, 1e20, -1e20, 0}, 1e-12,
         "dense coupling matrix differs at (0, 1): 100000000000000000000 versus -100000000000000000000"},
        {2, {0, 1, 1, 2}, 1e-12, "dense coupling diagonal 1 is 2, not zero"},
        {2, {kNaN, 1, 1, 2}, 1e-12, "interaction coefficient NaN is non-finite"},
        {2, {0, 1, kInf, 0}, 1e-12, "interaction coefficient inf is non-finite"},
        {2, {0, -kInf, kNaN, 0}, 1e-12, "interaction coefficient -inf is non-finite"},
        {2, {0, 1.7e308, -1.7e308, 0}, 1e300, kOverflowingDifference.c_str()},
        // Row 0's asymmetric pair is found before row 1's diagonal.
        {3, {0, 1, 0, 2, 5, 0, 0, 0, 0}, 1e-12, "dense coupling matrix differs at (0, 1): 1 versus 2"},
        {2, {0, 1, 1, 0}, -1.0, "symmetry tolerance -1.0 is invalid"},
        {2, {0, 1, 1, 0}, kNaN, "symmetry tolerance NaN is invalid"},
        {2, {0, 1, 1, 0}, kInf, "symmetry tolerance inf is invalid"},
        {2, {0, 1, 1, 0, 0}, 1e-12, "dense coupling matrix needs 4 entries, received 5"},
        {4294967296u, {}, 1e-12, "dense coupling matrix needs 18446744073709551615 entries, received 0"},
        {2, {-0.0, 5e-324, 0, 0}, 1e-12, nullptr},
        {2, {0, 1, 1 + 2.2e-16, 0}, 0.0, "dense coupling matrix differs at (0, 1): 1 versus 1.0000000000000002"},
    };
    for (const Case& c : cases) {
        auto couplings = DenseCouplings::create_with_tolerance(count(c.sites), c.values, c.tolerance);
        if (c.message == nullptr) {
            EXPECT_TRUE(couplings);
            continue;
        }
        ASSERT_FALSE(couplings) << c.message;
        EXPECT_EQ(to_string(couplings.error()), c.message);
    }
}

}  // namespace
}  // namespace vendrel::core
