// TFIM, Heisenberg and Rydberg builders: terms, signs, factors and the order of their refusals.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "core/models.hpp"

namespace vendrel::core {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

SiteCount count(std::uint64_t n) { return *SiteCount::create(n); }
Bond bond(std::uint32_t a, std::uint32_t b) { return *Bond::create(SiteId::create(a), SiteId::create(b)); }

InteractionTable table(std::uint64_t sites, std::vector<InteractionTerm> terms) {
    return *InteractionTable::create(count(sites), std::move(terms));
}

// "c P0 Q1" renderings of the canonical terms, e.g. "-0.5 X0", "1 Z0 Z1".
std::vector<std::string> describe(const Hamiltonian& h) {
    std::vector<std::string> out;
    for (const HamiltonianTerm& term : h.terms()) {
        std::string text = std::to_string(term.coefficient.re);
        EXPECT_EQ(term.coefficient.im, 0.0);
        for (const PauliFactor& f : term.string.factors()) {
            text += std::string(" ") + "IXYZ"[static_cast<int>(f.pauli)] + std::to_string(f.site.get());
        }
        out.push_back(text);
    }
    return out;
}

std::vector<std::string> strings(std::initializer_list<std::pair<double, const char*>> terms) {
    std::vector<std::string> out;
    for (auto [c, s] : terms) out.push_back(std::to_string(c) + " " + s);
    return out;
}

TEST(Tfim, WritesBondsAndFieldsInTheChosenBasis) {
    const double fields[] = {0.5, 0.5};
    auto z = tfim(table(2, {{bond(0, 1), InteractionChannel::ising_zz(), 1.0}}), fields, SimulationBasis::Z);
    ASSERT_TRUE(z);
    EXPECT_EQ(z->hamiltonian().constant(), (Complex{0, 0}));
    EXPECT_EQ(describe(z->hamiltonian()), strings({{-0.5, "X0"}, {-1, "Z0 Z1"}, {-0.5, "X1"}}));
    EXPECT_EQ(z->family(), "tfim");
    EXPECT_EQ(z->interactions().size(), 1u);
    auto x = tfim(table(2, {{bond(0, 1), InteractionChannel::ising_zz(), 1.0}}), fields, SimulationBasis::X);
    EXPECT_EQ(describe(x->hamiltonian()), strings({{-1, "X0 X1"}, {-0.5, "Z0"}, {-0.5, "Z1"}}));
    EXPECT_EQ(x->basis(), SimulationBasis::X);

    const double one_zero[] = {0.0, 2.0};
    auto zeros = tfim(table(2, {{bond(0, 1), InteractionChannel::ising_zz(), 0.0}}), one_zero, SimulationBasis::Z);
    EXPECT_EQ(describe(zeros->hamiltonian()), strings({{-2, "X1"}}));
    EXPECT_EQ(zeros->interactions().size(), 1u);
}

TEST(Tfim, RefusesInCheckOrder) {
    const double three[] = {1, 2, 3};
    const double nan_second[] = {1, kNaN};
    const double inf_first[] = {kInf, kNaN};
    const double fine[] = {1, 1};
    auto ising = table(2, {{bond(0, 1), InteractionChannel::ising_zz(), 1.0}});
    auto exchange = table(2, {{bond(0, 1), InteractionChannel::heisenberg_exchange(), 1.0}});
    struct Case {
        const InteractionTable* table;
        std::span<const double> fields;
        SimulationBasis basis;
        const char* message;
    };
    const Case cases[] = {
        {&ising, three, SimulationBasis::Y, "model needs 2 site parameters, received 3"},
        {&ising, fine, SimulationBasis::Y, "model tfim does not support simulation basis y"},
        {&exchange, nan_second, SimulationBasis::Z, "model tfim cannot consume interaction channel HeisenbergExchange"},
        {&ising, nan_second, SimulationBasis::Z, "model parameter field=NaN is non-finite"},
        {&ising, inf_first, SimulationBasis::X, "model parameter field=inf is non-finite"},
    };
    for (const Case& c : cases) {
        auto model = tfim(*c.table, c.fields, c.basis);
        ASSERT_FALSE(model) << c.message;
        EXPECT_EQ(to_string(model.error()), c.message);
    }
}

TEST(Heisenberg, QuarterCouplingOnEveryAxisInEveryBasis) {
    for (SimulationBasis basis : {SimulationBasis::X, SimulationBasis::Y, SimulationBasis::Z}) {
        auto model = heisenberg(table(2, {{bond(0, 1), InteractionChannel::heisenberg_exchange(), 2.0}}), basis);
        ASSERT_TRUE(model);
        EXPECT_EQ(describe(model->hamiltonian()), strings({{0.5, "X0 X1"}, {0.5, "Y0 Y1"}, {0.5, "Z0 Z1"}}));
        EXPECT_EQ(model->basis(), basis);
    }
    auto wrong = heisenberg(table(2, {{bond(0, 1), InteractionChannel::ising_zz(), 2.0}}), SimulationBasis::Z);
    EXPECT_EQ(to_string(wrong.error()), "model heisenberg cannot consume interaction channel IsingZZ");
    // Merged coefficients that overflow surface as the operator error, without prefix.
    auto huge = heisenberg(table(3, {{bond(0, 1), InteractionChannel::heisenberg_exchange(), 1.7e308},
                                     {bond(0, 1), InteractionChannel::generic("x"), 1.0}}),
                           SimulationBasis::Z);
    EXPECT_EQ(to_string(huge.error()), R"(model heisenberg cannot consume interaction channel Generic("x"))");
}

TEST(Rydberg, ExpandsOccupationsIntoPauliStrings) {
    const double omega1[] = {2.0};
    const double delta1[] = {1.0};
    auto one = rydberg(*DenseCouplings::create(count(1), {0.0}), omega1, delta1, SimulationBasis::Z);
    ASSERT_TRUE(one);
    EXPECT_EQ(one->hamiltonian().constant(), (Complex{-0.5, 0}));
    EXPECT_EQ(describe(one->hamiltonian()), strings({{-1, "X0"}, {0.5, "Z0"}}));

    const double zeros[] = {0.0, 0.0};
    auto two = rydberg(*DenseCouplings::create(count(2), {0, 4, 4, 0}), zeros, zeros, SimulationBasis::Z);
    ASSERT_TRUE(two);
    EXPECT_EQ(two->hamiltonian().constant(), (Complex{1, 0}));
    EXPECT_EQ(describe(two->hamiltonian()), strings({{-1, "Z0"}, {1, "Z0 Z1"}, {-1, "Z1"}}));
    ASSERT_EQ(two->interactions().size(), 1u);
    EXPECT_EQ(two->interactions()[0].bond(), bond(0, 1));
    EXPECT_EQ(two->interactions()[0].coefficient(), 4.0);
    EXPECT_EQ(two->interactions()[0].channel(), InteractionChannel::rydberg_density_density());
    EXPECT_EQ(two->family(), "rydberg");
}

TEST(Rydberg, AccumulatesTheConstantInSiteThenPairOrder) {
    // Plain left-to-right addition: sites first (-delta/2 each), then pairs (V/4 each).
    const double omega[] = {0.0, 0.0, 0.0};
    const double delta[] = {0.1, 0.2, 0.3};
    const double v01 = 1e16, v02 = 3.0, v12 = -1e16;
    auto model = rydberg(*DenseCouplings::create(count(3), {0, v01, v02, v01, 0, v12, v02, v12, 0}), omega, delta,
                         SimulationBasis::Z);
    ASSERT_TRUE(model);
    double expected = 0.0;
    for (double d : delta) expected = expected + d * -0.5;
    for (double v : {v01, v02, v12}) expected = expected + v * 0.25;
    EXPECT_EQ(model->hamiltonian().constant().re, expected);
}

TEST(Rydberg, RefusesInCheckOrder) {
    auto couplings = *DenseCouplings::create(count(2), {0, 1, 1, 0});
    const double two[] = {1, 1};
    const double one[] = {1};
    const double nan_then_fine[] = {kNaN, 1};
    const double fine_then_nan[] = {1, kNaN};
    struct Case {
        std::span<const double> omega, detuning;
        SimulationBasis basis;
        const char* message;
    };
    const Case cases[] = {
        {one, one, SimulationBasis::X, "model rydberg does not support simulation basis x"},
        {one, one, SimulationBasis::Z, "model needs 2 site parameters, received 1"},
        {two, one, SimulationBasis::Z, "model needs 2 site parameters, received 1"},
        {fine_then_nan, nan_then_fine, SimulationBasis::Z, "model parameter detuning=NaN is non-finite"},
        {nan_then_fine, nan_then_fine, SimulationBasis::Z, "model parameter omega=NaN is non-finite"},
    };
    for (const Case& c : cases) {
        auto model = rydberg(couplings, c.omega, c.detuning, c.basis);
        ASSERT_FALSE(model) << c.message;
        EXPECT_EQ(to_string(model.error()), c.message);
    }
    const double zero2[] = {0, 0};
    auto overflow = rydberg(*DenseCouplings::create(count(2), {0, 1.7e308, 1.7e308, 0}), zero2, zero2,
                            SimulationBasis::Z);
    ASSERT_TRUE(overflow) << "a quarter of the largest floats stays finite";
    // Six sites: the constant (fifteen quarters of the largest couplings) overflows while it is
    // accumulated, and the Hamiltonian refuses it before merging the overflowing Z_i terms.
    std::vector<double> huge(36, 1.7e308);
    for (std::size_t i = 0; i < 6; ++i) huge[i * 6 + i] = 0.0;
    auto merged_overflow = rydberg(*DenseCouplings::create(count(6), huge), std::vector<double>(6, 0.0),
                                   std::vector<double>(6, 0.0), SimulationBasis::Z);
    ASSERT_FALSE(merged_overflow);
    EXPECT_EQ(to_string(merged_overflow.error()), "operator coefficient Complex { re: inf, im: 0.0 } is non-finite");
}

}  // namespace
}  // namespace vendrel::core
