// Expectation values: Rayleigh quotients, Pauli strings, magnetisations, correlations and their refusals.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/pauli.hpp"
#include "exact/dense_matrix.hpp"
#include "exact/eigensolver.hpp"
#include "exact/exact_basis.hpp"
#include "exact/observables.hpp"

namespace vendrel::exact {
namespace {

using core::Pauli;
using core::PhysicalAxis;

core::SiteCount count(std::uint64_t n) { return *core::SiteCount::create(n); }

ExactBasis full(std::uint64_t sites) { return *ExactBasis::full(count(sites)); }

core::PauliString string(std::vector<std::pair<std::uint32_t, Pauli>> factors) {
    std::vector<core::PauliFactor> built;
    for (auto [site, pauli] : factors) built.push_back({core::SiteId::create(site), pauli});
    return *core::PauliString::create(std::move(built));
}

const Complex i{0.0, 1.0};

TEST(Observables, ExpectationIsTheRayleighQuotient) {
    const DenseMatrix m = *DenseMatrix::from_data(2, {{0.75, 0}, {1, 0}, {1, 0}, {-0.25, 0}});
    EXPECT_EQ(expectation(m, std::vector<Complex>{{1, 0}, {0, 0}}).value(), (Complex{0.75, 0}));
    EXPECT_EQ(expectation(m, std::vector<Complex>{{2, 0}, {0, 0}}).value(), (Complex{0.75, 0}));
    EXPECT_EQ(expectation(m, std::vector<Complex>{{0, 0}, {0, 3}}).value(), (Complex{-0.25, 0}));

    // On an eigenvector the quotient is the eigenvalue, whatever the vector's scale and phase.
    auto system = diagonalize_hermitian(m);
    ASSERT_TRUE(system);
    std::vector<Complex> scaled = system->vectors[0];
    for (Complex& x : scaled) x = x * Complex{0, -3};
    const Complex value = expectation(m, scaled).value();
    EXPECT_NEAR(value.re, system->values[0], 1e-12);
    EXPECT_NEAR(value.im, 0.0, 1e-12);

    struct Refusal {
        std::vector<Complex> state;
        std::string text;
    };
    const Refusal refusals[] = {
        {{{0, 0}, {0, 0}}, "invalid exact parameter state norm"},
        {{{1, 0}, {0, 0}, {0, 0}}, "expected length 2, received 3"},
        // The norm is checked before the product, so a non-finite amplitude is a norm failure here.
        {{{NAN, 0}, {1, 0}}, "invalid exact parameter state norm"},
        {{{1, 0}, {0, INFINITY}}, "invalid exact parameter state norm"},
        {{{1e200, 0}, {1e200, 0}}, "invalid exact parameter state norm"},
    };
    for (const Refusal& r : refusals) EXPECT_EQ(to_string(expectation(m, r.state).error()), r.text);
}

TEST(Observables, PauliExpectationsOfSingleSiteStates) {
    const ExactBasis one = full(1);
    struct Case {
        Pauli pauli;
        std::vector<Complex> state;
        Complex expected;
    };
    const Case cases[] = {
        {Pauli::Z, {{1, 0}, {0, 0}}, {1, 0}},
        {Pauli::Z, {{0, 0}, {1, 0}}, {-1, 0}},
        {Pauli::X, {{1, 0}, {1, 0}}, {1, 0}},
        {Pauli::X, {{1, 0}, {-1, 0}}, {-1, 0}},
        {Pauli::Y, {{1, 0}, i}, {1, 0}},
        {Pauli::Y, {{1, 0}, {0, -1}}, {-1, 0}},
        {Pauli::I, {{0.3, 0}, {0, 4}}, {1, 0}},
    };
    for (const Case& c : cases) {
        auto value = pauli_expectation(string({{0, c.pauli}}), one, c.state);
        ASSERT_TRUE(value);
        EXPECT_EQ(*value, c.expected);
    }

    auto outside_sites = pauli_expectation(string({{5, Pauli::X}}), full(2), std::vector<Complex>(4, {1, 0}));
    ASSERT_FALSE(outside_sites);
    EXPECT_EQ(to_string(outside_sites.error()), "operator site 5 is outside 2 sites");

    const ExactBasis sector = *ExactBasis::fixed_weight(count(2), 1);
    const std::vector<Complex> state{{1, 0}, {0, 0}};
    auto flips = pauli_expectation(string({{0, Pauli::X}}), sector, state);
    ASSERT_FALSE(flips);
    EXPECT_EQ(to_string(flips.error()), "Hamiltonian action leaves supplied exact basis (2 sites)");
    // (One, Zero) has Z0 Z1 = -1; X0 X1 swaps the two weight-1 states and so stays in the sector.
    EXPECT_EQ(pauli_expectation(string({{0, Pauli::Z}, {1, Pauli::Z}}), sector, state).value(), (Complex{-1, 0}));
    EXPECT_EQ(pauli_expectation(string({{0, Pauli::X}, {1, Pauli::X}}), sector, std::vector<Complex>{{1, 0}, {1, 0}})
                  .value(),
              (Complex{1, 0}));
}

TEST(Observables, MagnetizationSumsThePauliExpectationOfEverySite) {
    const ExactBasis two = full(2);
    struct Case {
        PhysicalAxis axis;
        std::vector<Complex> state;
        double total;
    };
    const double h = 1.0;
    const Case cases[] = {
        {PhysicalAxis::Z, {{1, 0}, {0, 0}, {0, 0}, {0, 0}}, 2.0},
        {PhysicalAxis::X, {{1, 0}, {0, 0}, {0, 0}, {0, 0}}, 0.0},
        {PhysicalAxis::Z, {{0, 0}, {0, 0}, {1, 0}, {0, 0}}, 0.0},
        {PhysicalAxis::Z, {{0, 0}, {0, 0}, {0, 0}, {0, 5}}, -2.0},
        // |+>|+> and |+>|->.
        {PhysicalAxis::X, {{h, 0}, {h, 0}, {h, 0}, {h, 0}}, 2.0},
        {PhysicalAxis::X, {{h, 0}, {h, 0}, {-h, 0}, {-h, 0}}, 0.0},
        // (|0> + i|1>) on both sites is the +1 eigenstate of Y on each.
        {PhysicalAxis::Y, {{1, 0}, i, i, {-1, 0}}, 2.0},
    };
    for (const Case& c : cases) {
        auto value = magnetization_expectation(c.axis, two, c.state);
        ASSERT_TRUE(value) << to_string(value.error());
        EXPECT_NEAR(value->total(), c.total, 1e-15);
        EXPECT_NEAR(value->density(), c.total / 2.0, 1e-15);
    }

    // A random 3-site state: Z magnetisation is the population-weighted count of Zero minus One sites.
    std::mt19937_64 generator(3);
    std::normal_distribution<double> normal;
    std::vector<Complex> state(8);
    for (Complex& x : state) x = Complex{normal(generator), normal(generator)};
    double weighted = 0.0, population = 0.0;
    for (std::uint64_t k = 0; k < 8; ++k) {
        const double p = norm_squared(state[k]);
        weighted += p * (3.0 - 2.0 * std::popcount(k));
        population += p;
    }
    auto z = magnetization_expectation(PhysicalAxis::Z, full(3), state);
    ASSERT_TRUE(z);
    EXPECT_NEAR(z->total(), weighted / population, 1e-12);
    EXPECT_NEAR(z->density(), weighted / population / 3.0, 1e-12);

    EXPECT_EQ(to_string(magnetization_expectation(PhysicalAxis::Z, two, std::vector<Complex>(4)).error()),
              "invalid exact parameter state norm");
    EXPECT_EQ(to_string(magnetization_expectation(PhysicalAxis::Z, two, std::vector<Complex>(3, {1, 0})).error()),
              "expected length 4, received 3");
    EXPECT_EQ(to_string(magnetization_expectation(PhysicalAxis::X, *ExactBasis::fixed_weight(count(2), 1),
                                                  std::vector<Complex>{{1, 0}, {0, 0}})
                            .error()),
              "Hamiltonian action leaves supplied exact basis (2 sites)");
}

TEST(Observables, CorrelationIsThePlainTwoPointValue) {
    const ExactBasis two = full(2);
    const std::vector<Complex> zero_one{{0, 0}, {0, 0}, {1, 0}, {0, 0}};  // site 0 Zero, site 1 One
    EXPECT_EQ(correlation_expectation(PhysicalAxis::Z, 0, 1, two, zero_one).value(), (Complex{-1, 0}));
    EXPECT_EQ(correlation_expectation(PhysicalAxis::Z, 1, 0, two, zero_one).value(), (Complex{-1, 0}));
    EXPECT_EQ(correlation_expectation(PhysicalAxis::X, 0, 1, two, zero_one).value(), (Complex{0, 0}));
    // The Bell state (|00> + |11>) / sqrt 2: XX = 1, YY = -1, ZZ = 1; nothing connected is subtracted.
    const std::vector<Complex> bell{{1, 0}, {0, 0}, {0, 0}, {1, 0}};
    EXPECT_EQ(correlation_expectation(PhysicalAxis::X, 0, 1, two, bell).value(), (Complex{1, 0}));
    EXPECT_EQ(correlation_expectation(PhysicalAxis::Y, 0, 1, two, bell).value(), (Complex{-1, 0}));
    EXPECT_EQ(correlation_expectation(PhysicalAxis::Z, 0, 1, two, bell).value(), (Complex{1, 0}));
    // Same site: the square of a Pauli operator, for any admissible state.
    EXPECT_EQ(correlation_expectation(PhysicalAxis::Y, 1, 1, two, std::vector<Complex>{{0, 0}, {0, 0.1}, {0, 0}, {0, 0}})
                  .value(),
              (Complex{1, 0}));
    // ZZ keeps every weight-1 state in its sector; X0 X2 takes (Zero, One, Zero) to weight 3.
    const ExactBasis sector = *ExactBasis::fixed_weight(count(3), 1);
    EXPECT_EQ(correlation_expectation(PhysicalAxis::Z, 0, 2, sector, std::vector<Complex>{{0, 0}, {1, 0}, {0, 0}})
                  .value(),
              (Complex{1, 0}));

    struct Refusal {
        std::uint64_t first, second;
        std::vector<Complex> state;
        std::string text;
    };
    const Refusal refusals[] = {
        {2, 0, {}, "invalid exact parameter correlation site"},
        {0, 2, {{NAN, 0}}, "invalid exact parameter correlation site"},
        {0, 1, {{1, 0}, {0, 0}, {0, 0}}, "expected length 4, received 3"},
        {1, 1, {{1, 0}}, "expected length 4, received 1"},
        {1, 1, {{0, 0}, {0, 0}, {0, 0}, {0, 0}}, "invalid exact parameter state norm"},
        {1, 1, {{0, 0}, {NAN, 0}, {0, 0}, {0, 0}}, "invalid exact parameter state norm"},
        {0, 1, {{0, 0}, {0, 0}, {0, 0}, {0, 0}}, "invalid exact parameter state norm"},
    };
    for (const Refusal& r : refusals) {
        EXPECT_EQ(to_string(correlation_expectation(PhysicalAxis::Z, r.first, r.second, two, r.state).error()), r.text)
            << r.first << "," << r.second;
    }
    EXPECT_EQ(to_string(correlation_expectation(PhysicalAxis::X, 0, 2, sector,
                                                std::vector<Complex>{{1, 0}, {0, 0}, {0, 0}})
                            .error()),
              "Hamiltonian action leaves supplied exact basis (3 sites)");
}

TEST(Observables, ObservableValueNeedsSitesAndAFiniteTotal) {
    auto value = observable_value(3.0, 2);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->total(), 3.0);
    EXPECT_EQ(value->density(), 1.5);
    struct Refusal {
        double total;
        std::uint64_t sites;
        std::string text;
    };
    const Refusal refusals[] = {
        {3.0, 0, "invalid exact parameter site count"},
        {NAN, 0, "invalid exact parameter site count"},
        {INFINITY, 2, "invalid exact parameter observable"},
        {-INFINITY, 2, "invalid exact parameter observable"},
        {NAN, 2, "invalid exact parameter observable"},
    };
    for (const Refusal& r : refusals) EXPECT_EQ(to_string(observable_value(r.total, r.sites).error()), r.text);
}

}  // namespace
}  // namespace vendrel::exact
