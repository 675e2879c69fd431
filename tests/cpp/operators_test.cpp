// Pauli strings, Hamiltonian canonicalisation (order independence to the bit) and Hamiltonian action.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "core/complex_sum.hpp"
#include "core/hamiltonian.hpp"
#include "core/render.hpp"

namespace vendrel::core {
namespace {

constexpr BasisBit O = BasisBit::Zero;
constexpr BasisBit I = BasisBit::One;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

SiteId s(std::uint32_t site) { return SiteId::create(site); }
SiteCount count(std::uint64_t n) { return *SiteCount::create(n); }
BasisState state(std::vector<BasisBit> bits) { return *BasisState::from_bits(bits); }
PauliString string(std::vector<PauliFactor> factors) { return *PauliString::create(std::move(factors)); }
HamiltonianTerm term(double re, std::vector<PauliFactor> factors, double im = 0.0) {
    return HamiltonianTerm{Complex{re, im}, string(std::move(factors))};
}
bool same_bits(Complex a, Complex b) {
    return std::bit_cast<std::uint64_t>(a.re) == std::bit_cast<std::uint64_t>(b.re) &&
           std::bit_cast<std::uint64_t>(a.im) == std::bit_cast<std::uint64_t>(b.im);
}

TEST(PauliString, CanonicalisesFactors) {
    auto sorted = PauliString::create({{s(2), Pauli::Z}, {s(0), Pauli::X}, {s(1), Pauli::I}});
    ASSERT_TRUE(sorted);
    ASSERT_EQ(sorted->factors().size(), 2u);
    EXPECT_EQ(sorted->factors()[0], (PauliFactor{s(0), Pauli::X}));
    EXPECT_EQ(sorted->factors()[1], (PauliFactor{s(2), Pauli::Z}));

    auto duplicate = PauliString::create({{s(5), Pauli::Z}, {s(3), Pauli::X}, {s(5), Pauli::X}, {s(3), Pauli::Y}});
    ASSERT_FALSE(duplicate);
    EXPECT_EQ(to_string(duplicate.error()), "operator support repeats site 3");

    EXPECT_EQ(PauliString::create({{s(1), Pauli::I}, {s(1), Pauli::X}})->factors().size(), 1u);
    EXPECT_TRUE(PauliString::create({{s(0), Pauli::I}, {s(4), Pauli::I}})->is_identity());
}

TEST(PauliString, OrdersLexicographicallyWithPrefixesFirst) {
    const PauliString ordered[] = {
        PauliString(), string({{s(0), Pauli::X}}), string({{s(0), Pauli::X}, {s(1), Pauli::X}}),
        string({{s(0), Pauli::X}, {s(1), Pauli::Z}}), string({{s(0), Pauli::Z}}), string({{s(1), Pauli::X}}),
    };
    for (std::size_t i = 0; i < std::size(ordered); ++i) {
        for (std::size_t j = 0; j < std::size(ordered); ++j) {
            EXPECT_EQ((ordered[i] <=> ordered[j]) < 0, i < j) << i << " " << j;
        }
    }
}

TEST(PauliString, ActsWithPhases) {
    struct Case {
        std::vector<PauliFactor> factors;
        std::vector<BasisBit> in, out;
        Complex phase;
    };
    const Case cases[] = {
        {{}, {O, I}, {O, I}, {1, 0}},
        {{{s(0), Pauli::X}}, {O, I}, {I, I}, {1, 0}},
        {{{s(0), Pauli::Y}}, {O}, {I}, {0, 1}},
        {{{s(0), Pauli::Y}}, {I}, {O}, {0, -1}},
        {{{s(1), Pauli::Z}}, {O, I}, {O, I}, {-1, 0}},
        {{{s(0), Pauli::Y}, {s(1), Pauli::Y}}, {O, O}, {I, I}, {-1, 0}},
        {{{s(0), Pauli::Y}, {s(1), Pauli::Y}}, {O, I}, {I, O}, {1, 0}},
        {{{s(0), Pauli::Z}, {s(1), Pauli::Y}, {s(2), Pauli::X}}, {I, I, O}, {I, O, I}, {0, 1}},
    };
    for (const Case& c : cases) {
        auto result = string(c.factors).apply(state(c.in));
        ASSERT_TRUE(result);
        EXPECT_EQ(result->first, state(c.out));
        EXPECT_TRUE(same_bits(result->second, c.phase) || result->second == c.phase);
    }
    auto outside = string({{s(5), Pauli::X}}).apply(state({O, O, O}));
    ASSERT_FALSE(outside);
    EXPECT_EQ(to_string(outside.error()), "operator site 5 is outside 3 sites");
}

TEST(ComplexTotalOrder, FollowsIeeeTotalOrder) {
    const double ascending[] = {-kNaN, -kInf, -1e308, -1.0, -5e-324, -0.0, 0.0, 5e-324, 1.0, kInf, kNaN};
    for (std::size_t i = 0; i < std::size(ascending); ++i) {
        for (std::size_t j = 0; j < std::size(ascending); ++j) {
            EXPECT_EQ(total_cmp(ascending[i], ascending[j]) < 0, i < j) << i << " " << j;
        }
    }
    EXPECT_TRUE(complex_total_cmp({1.0, 5.0}, {2.0, -5.0}) < 0);
    EXPECT_TRUE(complex_total_cmp({1.0, -0.0}, {1.0, 0.0}) < 0);
}

TEST(DeterministicComplexSum, CompensatesCancellation) {
    const Complex values[] = {{1e16, 0.0}, {1.0, 1e-300}, {-1e16, 0.0}};
    EXPECT_EQ(deterministic_complex_sum(values), (Complex{1.0, 1e-300}));
    EXPECT_EQ(deterministic_complex_sum({}), (Complex{0.0, 0.0}));
    EXPECT_TRUE(is_exact_zero({-0.0, 0.0}));
    EXPECT_FALSE(is_exact_zero({kNaN, 0.0}));
}

TEST(Hamiltonian, MergesFoldsAndDropsZeros) {
    auto h = Hamiltonian::create(
        count(3), {1.0, 0.0},
        {term(2, {{s(0), Pauli::X}}), term(1, {{s(1), Pauli::X}}), term(0.5, {}), term(3, {{s(0), Pauli::X}}),
         term(1, {{s(2), Pauli::Z}}), term(-1, {{s(2), Pauli::Z}}), term(1, {{s(0), Pauli::Z}})});
    ASSERT_TRUE(h);
    EXPECT_EQ(h->constant(), (Complex{1.5, 0.0}));
    ASSERT_EQ(h->terms().size(), 3u);
    EXPECT_EQ(h->terms()[0].string, string({{s(0), Pauli::X}}));
    EXPECT_EQ(h->terms()[0].coefficient, (Complex{5.0, 0.0}));
    EXPECT_EQ(h->terms()[1].string, string({{s(0), Pauli::Z}}));
    EXPECT_EQ(h->terms()[2].string, string({{s(1), Pauli::X}}));
}

TEST(Hamiltonian, ReportsTheFirstFailureInCheckOrder) {
    struct Case {
        const char* what;
        Complex constant;
        std::vector<HamiltonianTerm> terms;
        const char* message;
    };
    std::vector<Case> cases;
    cases.push_back({"constant first", {kNaN, 0}, {term(kInf, {{s(9), Pauli::X}})},
                     "operator coefficient Complex { re: NaN, im: 0.0 } is non-finite"});
    cases.push_back({"coefficient before its sites", {0, 0}, {term(1, {{s(0), Pauli::X}}), term(kInf, {{s(9), Pauli::X}})},
                     "operator coefficient Complex { re: inf, im: 0.0 } is non-finite"});
    cases.push_back({"sites in term order", {0, 0}, {term(1, {{s(4), Pauli::X}}), term(kInf, {{s(0), Pauli::X}})},
                     "operator site 4 is outside 4 sites"});
    // The compensated sum of an overflowing run is inf + -inf: the reported value is NaN.
    cases.push_back({"overflow at merging", {0, 0}, {term(1e308, {{s(0), Pauli::X}}), term(1e308, {{s(0), Pauli::X}})},
                     "operator coefficient Complex { re: NaN, im: 0.0 } is non-finite"});
    cases.push_back({"merge overflow before constant overflow", {1e308, 0},
                     {term(1e308, {}), term(-1e308, {{s(1), Pauli::Z}}), term(-1e308, {{s(1), Pauli::Z}}, 1.0)},
                     "operator coefficient Complex { re: NaN, im: 1.0 } is non-finite"});
    cases.push_back({"constant overflow", {1e308, 0}, {term(1e308, {}), term(1, {{s(1), Pauli::Z}})},
                     "operator coefficient Complex { re: NaN, im: 0.0 } is non-finite"});
    for (Case& c : cases) {
        auto h = Hamiltonian::create(count(4), c.constant, std::move(c.terms));
        ASSERT_FALSE(h) << c.what;
        EXPECT_EQ(to_string(h.error()), c.message) << c.what;
    }
}

TEST(Hamiltonian, HermitianCheckHasNoTolerance) {
    auto tiny = Hamiltonian::create_hermitian(count(1), {0, 0}, {term(1, {{s(0), Pauli::X}}, 1e-300)});
    ASSERT_FALSE(tiny);
    EXPECT_EQ(to_string(tiny.error()), "Hermitian operator coefficient Complex { re: 1.0, im: 1e-300 } is non-real");
    auto constant = Hamiltonian::create_hermitian(count(1), {0, 1e-12}, {});
    EXPECT_EQ(to_string(constant.error()), "Hermitian operator coefficient Complex { re: 0.0, im: 1e-12 } is non-real");
    EXPECT_TRUE(Hamiltonian::create_hermitian(count(1), {0, -0.0}, {}));
    // Imaginary parts that cancel on merging leave a zero term, which is dropped before the check.
    EXPECT_TRUE(Hamiltonian::create_hermitian(count(1), {0, 0},
                                              {term(0, {{s(0), Pauli::X}}, 1), term(0, {{s(0), Pauli::X}}, -1)}));
}

// Draws values that stress the summation: signed zeros, huge and tiny magnitudes, exact cancellation.
double awkward_value(std::mt19937_64& rng) {
    static const double pool[] = {0.0, -0.0, 1.0, -1.0, 1e16, -1e16, 1e-300, -1e-300, 5e-324, 1e300, -1e300,
                                  0.1, 0.2, 0.3, 3.0, 1e-16, 2.5e-5, 1.0 / 3.0};
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pool));
    const std::size_t index = pick(rng);
    if (index == std::size(pool)) return std::uniform_real_distribution<double>(-10.0, 10.0)(rng);
    return pool[index];
}

TEST(Hamiltonian, IsIndependentOfTermOrderToTheBit) {
    std::mt19937_64 rng(20261211);
    for (int trial = 0; trial < 300; ++trial) {
        const std::uint32_t sites = 1 + static_cast<std::uint32_t>(rng() % 3);
        std::vector<HamiltonianTerm> terms;
        const int term_count = static_cast<int>(rng() % 24);
        for (int t = 0; t < term_count; ++t) {
            std::vector<PauliFactor> factors;
            for (std::uint32_t site = 0; site < sites; ++site) {
                if (rng() % 2) factors.push_back({s(site), static_cast<Pauli>(rng() % 4)});
            }
            terms.push_back(HamiltonianTerm{{awkward_value(rng), awkward_value(rng)}, string(factors)});
        }
        const Complex constant{awkward_value(rng), awkward_value(rng)};
        auto reference = Hamiltonian::create(count(sites), constant, terms);
        for (int shuffle = 0; shuffle < 20; ++shuffle) {
            std::shuffle(terms.begin(), terms.end(), rng);
            auto again = Hamiltonian::create(count(sites), constant, terms);
            ASSERT_EQ(reference.has_value(), again.has_value());
            if (!reference) {
                ASSERT_EQ(to_string(reference.error()), to_string(again.error()));
                continue;
            }
            ASSERT_TRUE(same_bits(reference->constant(), again->constant())) << trial;
            ASSERT_EQ(reference->terms().size(), again->terms().size());
            for (std::size_t k = 0; k < reference->terms().size(); ++k) {
                ASSERT_EQ(reference->terms()[k].string, again->terms()[k].string);
                ASSERT_TRUE(same_bits(reference->terms()[k].coefficient, again->terms()[k].coefficient)) << trial;
            }
        }
    }
}

TEST(Hamiltonian, CancellingValuesSumExactlyInEveryOrder) {
    std::vector<double> values{1e16, 1.0, -1e16};
    std::sort(values.begin(), values.end());
    do {
        std::vector<HamiltonianTerm> terms;
        for (double v : values) terms.push_back(term(v, {{s(0), Pauli::X}}));
        auto h = Hamiltonian::create(count(1), {0, 0}, terms);
        ASSERT_EQ(h->terms().size(), 1u);
        EXPECT_EQ(h->terms()[0].coefficient, (Complex{1.0, 0.0}));
    } while (std::next_permutation(values.begin(), values.end()));
}

TEST(Hamiltonian, AppliesColumnsSortedByIntegerValue) {
    auto h = Hamiltonian::create(count(1), {0.25, 0}, {term(1, {{s(0), Pauli::X}}), term(0.5, {{s(0), Pauli::Z}})});
    auto zero = h->apply(state({O}));
    ASSERT_EQ(zero->size(), 2u);
    EXPECT_EQ((*zero)[0].state, state({O}));
    EXPECT_EQ((*zero)[0].amplitude, (Complex{0.75, 0}));
    EXPECT_EQ((*zero)[1].state, state({I}));
    EXPECT_EQ((*zero)[1].amplitude, (Complex{1.0, 0}));
    auto one = h->apply(state({I}));
    EXPECT_EQ((*one)[0].state, state({O}));
    EXPECT_EQ((*one)[1].amplitude, (Complex{-0.25, 0}));

    auto cancels = Hamiltonian::create(count(1), {-1, 0}, {term(1, {{s(0), Pauli::Z}})});
    EXPECT_TRUE(cancels->apply(state({O}))->empty());

    auto mismatch = h->apply(state({O, O, O}));
    ASSERT_FALSE(mismatch);
    EXPECT_EQ(to_string(mismatch.error()), "operator expects 1 sites, received 3");

    // X1 is stored after X0 X1 but its target (value 2) sorts before X0 X1's target (value 3);
    // Y0 Y1 and X0 X1 reach the same state and accumulate in term order.
    auto two = Hamiltonian::create(count(2), {0, 0},
                                   {term(1, {{s(1), Pauli::X}}), term(2, {{s(0), Pauli::X}, {s(1), Pauli::X}}),
                                    term(3, {{s(0), Pauli::Y}, {s(1), Pauli::Y}})});
    auto column = two->apply(state({O, O}));
    ASSERT_EQ(column->size(), 2u);
    EXPECT_EQ((*column)[0].state, state({O, I}));
    EXPECT_EQ((*column)[1].state, state({I, I}));
    EXPECT_EQ((*column)[1].amplitude, (Complex{-1.0, 0}));
}

TEST(BasisKey, ListsSitesFromTheHighestDown) {
    EXPECT_EQ(basis_key(state({I, O, O})), (std::vector<std::uint8_t>{0, 0, 1}));
    EXPECT_LT(basis_key(state({I, I, O})), basis_key(state({O, O, I})));
}

}  // namespace
}  // namespace vendrel::core
