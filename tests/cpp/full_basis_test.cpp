// The full-basis fast paths against the dense route they replace: same entries, products and observables.
#include <gtest/gtest.h>

#include <bit>
#include <random>
#include <vector>

#include "exact/dense_matrix.hpp"
#include "exact/full_basis_observables.hpp"
#include "exact/full_basis_operator.hpp"
#include "exact/observables.hpp"

namespace vendrel::exact {
namespace {

// Equal bits, except that a zero may carry either sign.
bool same_up_to_zero_sign(double a, double b) {
    return (a == 0.0 && b == 0.0) || std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}
bool same_up_to_zero_sign(Complex a, Complex b) {
    return same_up_to_zero_sign(a.re, b.re) && same_up_to_zero_sign(a.im, b.im);
}

core::SiteCount count(std::uint64_t n) { return *core::SiteCount::create(n); }

// Random Hamiltonians: strings of every kind, some repeated (so entries collect several terms),
// complex coefficients with awkward magnitudes, and a constant. With `flipped_sites` 1 or 2 every
// string flips at most that many sites (X or Y there, I and Z elsewhere), as the TFIM does in the z
// basis (fields) and in the x basis (couplings); 0 leaves the strings free.
core::Hamiltonian random_hamiltonian(std::mt19937_64& rng, std::uint32_t sites, bool real,
                                     std::uint32_t flipped_sites = 0) {
    std::uniform_real_distribution<double> value(-2.0, 2.0);
    std::vector<core::HamiltonianTerm> terms;
    const int term_count = 1 + static_cast<int>(rng() % 30);
    for (int t = 0; t < term_count; ++t) {
        std::vector<core::PauliFactor> factors;
        std::uint64_t flipped = 0;
        for (std::uint32_t k = 0; k < flipped_sites; ++k) {
            if (rng() % 3 != 0) flipped |= std::uint64_t{1} << (rng() % sites);
        }
        for (std::uint32_t site = 0; site < sites; ++site) {
            auto pauli = static_cast<core::Pauli>(rng() % 4);
            if (flipped_sites != 0) {
                if (((flipped >> site) & 1u) != 0) {
                    factors.push_back({core::SiteId::create(site), rng() % 2 == 0 ? core::Pauli::X : core::Pauli::Y});
                    continue;
                }
                if (pauli == core::Pauli::X || pauli == core::Pauli::Y) pauli = core::Pauli::Z;
            }
            if (rng() % 3 == 0) factors.push_back({core::SiteId::create(site), pauli});
        }
        const double scale = (rng() % 5 == 0) ? 1e12 : 1.0;
        terms.push_back({Complex{value(rng) * scale, real ? 0.0 : value(rng)}, *core::PauliString::create(factors)});
    }
    return *core::Hamiltonian::create(count(sites), Complex{value(rng), real ? 0.0 : value(rng)}, std::move(terms));
}

std::vector<Complex> random_state(std::mt19937_64& rng, std::uint64_t dimension) {
    std::normal_distribution<double> value;
    std::vector<Complex> state(dimension);
    for (Complex& amplitude : state) amplitude = {value(rng), value(rng)};
    return state;
}

TEST(FullBasisOperator, FillsTheDenseMatrixEntryForEntry) {
    std::mt19937_64 rng(11);
    for (int trial = 0; trial < 200; ++trial) {
        const auto sites = 1 + static_cast<std::uint32_t>(rng() % 6);
        const core::Hamiltonian h = random_hamiltonian(rng, sites, trial % 2 == 0);
        auto dense = DenseMatrix::from_hamiltonian(h, *ExactBasis::full(count(sites)));
        ASSERT_TRUE(dense);
        auto op = FullBasisOperator::compile(h);
        ASSERT_TRUE(op);
        // Zeroed storage, and storage full of garbage that the fill must clear itself.
        for (const bool zeroed : {true, false}) {
            const Complex start = zeroed ? Complex{0.0, 0.0} : Complex{std::nan(""), 7.0};
            std::vector<Complex> filled(op->dimension() * op->dimension(), start);
            op->fill_dense(filled, zeroed);
            for (std::size_t k = 0; k < filled.size(); ++k) {
                ASSERT_TRUE(same_up_to_zero_sign(filled[k], dense->data()[k]))
                    << "trial " << trial << " entry " << k << (zeroed ? " zeroed" : " garbage");
            }
        }
    }
}

TEST(FullBasisOperator, AppliesLikeTheDenseMatrix) {
    std::mt19937_64 rng(12);
    for (int trial = 0; trial < 450; ++trial) {
        const auto sites = 1 + static_cast<std::uint32_t>(rng() % 7);
        // Two Hamiltonians in three flip one site or two per string, which takes the bitwise walk over
        // columns instead of the split tree.
        const core::Hamiltonian h = random_hamiltonian(rng, sites, trial % 2 == 0, static_cast<std::uint32_t>(trial % 3));
        auto dense = DenseMatrix::from_hamiltonian(h, *ExactBasis::full(count(sites)));
        auto op = FullBasisOperator::compile(h);
        const auto state = random_state(rng, op->dimension());
        auto expected = dense->apply(state);
        auto actual = op->apply(state);
        ASSERT_TRUE(expected && actual);
        for (std::size_t k = 0; k < state.size(); ++k) {
            ASSERT_TRUE(same_up_to_zero_sign((*actual)[k], (*expected)[k])) << "trial " << trial << " row " << k;
        }
        // A second product reuses the prepared diagonal.
        auto again = op->apply(*actual);
        auto expected_again = dense->apply(*expected);
        for (std::size_t k = 0; k < state.size(); ++k) {
            ASSERT_TRUE(same_up_to_zero_sign((*again)[k], (*expected_again)[k])) << "trial " << trial;
        }
        // The inner product with the product, formed row by row without it.
        auto inner = op->inner_with_applied(state);
        ASSERT_TRUE(inner);
        EXPECT_TRUE(same_up_to_zero_sign(*inner, dot(state, *expected))) << "trial " << trial;
    }
}

TEST(FullBasisOperator, KeepsTheDenseRouteRefusals) {
    auto h = *core::Hamiltonian::create(count(2), Complex{1, 0}, {});
    auto op = FullBasisOperator::compile(h);
    const std::vector<Complex> short_state(3);
    EXPECT_EQ(to_string(op->apply(short_state).error()), "expected length 4, received 3");
    const std::vector<Complex> bad{{1, 0}, {0, 0}, {std::nan(""), 0}, {0, INFINITY}};
    EXPECT_EQ(to_string(op->apply(bad).error()), "non-finite vector scalar at index 2: Complex { re: NaN, im: 0.0 }");
    // The inner product with the product refuses alike, the first non-finite element first.
    EXPECT_EQ(to_string(op->inner_with_applied(short_state).error()), "expected length 4, received 3");
    EXPECT_EQ(to_string(op->inner_with_applied(bad).error()),
              "non-finite vector scalar at index 2: Complex { re: NaN, im: 0.0 }");
    EXPECT_EQ(to_string(FullBasisOperator::compile(*core::Hamiltonian::create(count(32), {}, {})).error()),
              "exact dimension overflowed");
    EXPECT_EQ(to_string(FullBasisOperator::compile(*core::Hamiltonian::create(count(64), {}, {})).error()),
              "checked full basis dimension dimension overflowed");
}

TEST(FullBasisObservables, MatchTheDenseRoute) {
    std::mt19937_64 rng(13);
    for (int trial = 0; trial < 60; ++trial) {
        const auto sites = 1 + static_cast<std::uint32_t>(rng() % 6);
        const ExactBasis basis = *ExactBasis::full(count(sites));
        const auto state = random_state(rng, basis.dimension());
        for (core::PhysicalAxis axis : {core::PhysicalAxis::X, core::PhysicalAxis::Y, core::PhysicalAxis::Z}) {
            auto expected = magnetization_expectation(axis, basis, state);
            auto actual = full_basis_magnetization(axis, sites, state);
            ASSERT_TRUE(expected && actual);
            EXPECT_TRUE(same_up_to_zero_sign(actual->total(), expected->total()));
            EXPECT_TRUE(same_up_to_zero_sign(actual->density(), expected->density()));
            const std::uint64_t first = rng() % (sites + 1), second = rng() % sites;
            auto expected_correlation = correlation_expectation(axis, first, second, basis, state);
            auto actual_correlation = full_basis_correlation(axis, first, second, sites, state);
            ASSERT_EQ(expected_correlation.has_value(), actual_correlation.has_value());
            if (expected_correlation) {
                EXPECT_TRUE(same_up_to_zero_sign(*actual_correlation, *expected_correlation));
            } else {
                EXPECT_EQ(to_string(actual_correlation.error()), to_string(expected_correlation.error()));
            }
        }
    }
}

TEST(FullBasisObservables, KeepTheDenseRouteRefusals) {
    const std::vector<Complex> zero(4);
    const std::vector<Complex> wrong(3, Complex{1, 0});
    EXPECT_EQ(to_string(full_basis_magnetization(core::PhysicalAxis::X, 2, zero).error()),
              "invalid exact parameter state norm");
    EXPECT_EQ(to_string(full_basis_magnetization(core::PhysicalAxis::Z, 2, wrong).error()),
              "expected length 4, received 3");
    EXPECT_EQ(to_string(full_basis_correlation(core::PhysicalAxis::Z, 2, 0, 2, zero).error()),
              "invalid exact parameter correlation site");
    EXPECT_EQ(to_string(full_basis_correlation(core::PhysicalAxis::Z, 1, 1, 2, wrong).error()),
              "expected length 4, received 3");
    EXPECT_EQ(to_string(full_basis_correlation(core::PhysicalAxis::Z, 1, 1, 2, zero).error()),
              "invalid exact parameter state norm");
}

}  // namespace
}  // namespace vendrel::exact
