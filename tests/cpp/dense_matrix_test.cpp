// Dense matrices of Hamiltonians: expansion, entry access, products, the Hermiticity check, dot and norm.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/hamiltonian.hpp"
#include "core/pauli.hpp"
#include "exact/dense_matrix.hpp"
#include "exact/exact_basis.hpp"

namespace vendrel::exact {
namespace {

using core::Pauli;

core::SiteCount count(std::uint64_t n) { return *core::SiteCount::create(n); }

struct Term {
    Complex coefficient;
    std::vector<std::pair<std::uint32_t, Pauli>> factors;
};

core::Hamiltonian hamiltonian(std::uint64_t sites, Complex constant, const std::vector<Term>& terms) {
    std::vector<core::HamiltonianTerm> built;
    for (const Term& term : terms) {
        std::vector<core::PauliFactor> factors;
        for (auto [site, pauli] : term.factors) factors.push_back({core::SiteId::create(site), pauli});
        built.push_back({term.coefficient, *core::PauliString::create(std::move(factors))});
    }
    auto result = core::Hamiltonian::create(count(sites), constant, std::move(built));
    EXPECT_TRUE(result);
    return *std::move(result);
}

DenseMatrix matrix(std::uint64_t dimension, std::vector<Complex> data) {
    auto result = DenseMatrix::from_data(dimension, std::move(data));
    EXPECT_TRUE(result);
    return *std::move(result);
}

std::vector<Complex> entries(const DenseMatrix& m) { return {m.data().begin(), m.data().end()}; }

const Complex i{0.0, 1.0};

TEST(DenseMatrix, ExpandsColumnsInBasisOrder) {
    struct Case {
        std::string name;
        core::Hamiltonian h;
        std::uint64_t sites;
        std::vector<Complex> expected;
    };
    const Case cases[] = {
        {"X + 0.5 Z + 0.25", hamiltonian(1, {0.25, 0}, {{{1, 0}, {{0, Pauli::X}}}, {{0.5, 0}, {{0, Pauli::Z}}}}), 1,
         {{0.75, 0}, {1, 0}, {1, 0}, {-0.25, 0}}},
        // Entry (1, 0) is +i: Y maps Zero to i One.
        {"Y", hamiltonian(1, {}, {{{1, 0}, {{0, Pauli::Y}}}}), 1, {{0, 0}, {0, -1}, {0, 1}, {0, 0}}},
        {"constant only", hamiltonian(1, {2, -1}, {}), 1, {{2, -1}, {0, 0}, {0, 0}, {2, -1}}},
        // -Z0 Z1 - 0.5 X0 - 0.5 X1: a flip of site 0 connects k and k ^ 1, of site 1 k and k ^ 2.
        {"two-site TFIM",
         hamiltonian(2, {},
                     {{{-1, 0}, {{0, Pauli::Z}, {1, Pauli::Z}}},
                      {{-0.5, 0}, {{0, Pauli::X}}},
                      {{-0.5, 0}, {{1, Pauli::X}}}}),
         2,
         {{-1, 0}, {-0.5, 0}, {-0.5, 0}, {0, 0},
          {-0.5, 0}, {1, 0}, {0, 0}, {-0.5, 0},
          {-0.5, 0}, {0, 0}, {1, 0}, {-0.5, 0},
          {0, 0}, {-0.5, 0}, {-0.5, 0}, {-1, 0}}},
        // X0 Y1 on |k>: entry (row, column) = <row| X0 Y1 |column>; Y1 on site-1 Zero gives +i.
        {"X0 Y1", hamiltonian(2, {}, {{{1, 0}, {{0, Pauli::X}, {1, Pauli::Y}}}}), 2,
         {{0, 0}, {0, 0}, {0, 0}, {0, -1},
          {0, 0}, {0, 0}, {0, -1}, {0, 0},
          {0, 0}, {0, 1}, {0, 0}, {0, 0},
          {0, 1}, {0, 0}, {0, 0}, {0, 0}}},
    };
    for (const Case& c : cases) {
        auto basis = ExactBasis::full(count(c.sites));
        ASSERT_TRUE(basis);
        auto built = DenseMatrix::from_hamiltonian(c.h, *basis);
        ASSERT_TRUE(built) << c.name;
        EXPECT_EQ(built->dimension(), basis->dimension());
        EXPECT_EQ(entries(*built), c.expected) << c.name;

        // The same expansion into caller-owned storage.
        std::vector<Complex> storage(c.expected.size());
        ASSERT_TRUE(expand_hamiltonian_into(c.h, *basis, storage)) << c.name;
        EXPECT_EQ(storage, c.expected) << c.name;
        EXPECT_EQ(dense_entry_count(c.h, *basis).value(), c.expected.size());
    }
}

TEST(DenseMatrix, SectorMatrixIsTheRestrictionOfTheFullMatrix) {
    // XX + YY + ZZ hopping keeps the Hamming weight, so the sector block is exactly the full matrix's block.
    std::vector<Term> terms;
    for (std::uint32_t site = 0; site + 1 < 4; ++site) {
        for (Pauli pauli : {Pauli::X, Pauli::Y, Pauli::Z}) {
            terms.push_back({{0.25 * (site + 1), 0}, {{site, pauli}, {site + 1, pauli}}});
        }
    }
    terms.push_back({{-0.5, 0}, {{2, Pauli::Z}}});
    const core::Hamiltonian h = hamiltonian(4, {0.125, 0}, terms);
    auto full_basis = ExactBasis::full(count(4));
    auto sector_basis = ExactBasis::fixed_weight(count(4), 2);
    ASSERT_TRUE(full_basis && sector_basis);
    auto full = DenseMatrix::from_hamiltonian(h, *full_basis);
    auto sector = DenseMatrix::from_hamiltonian(h, *sector_basis);
    ASSERT_TRUE(full && sector);
    ASSERT_EQ(sector->dimension(), 6u);
    for (std::uint64_t row = 0; row < 6; ++row) {
        const auto full_row = *full_basis->index_of(sector_basis->states()[row]);
        for (std::uint64_t column = 0; column < 6; ++column) {
            const auto full_column = *full_basis->index_of(sector_basis->states()[column]);
            EXPECT_EQ(sector->get(row, column), full->get(full_row, full_column)) << row << "," << column;
        }
    }
    EXPECT_TRUE(full->validate_hermitian(0.0));
}

TEST(DenseMatrix, ExpansionRefusals) {
    auto three_sites = ExactBasis::full(count(3));
    auto sector = ExactBasis::fixed_weight(count(2), 1);
    ASSERT_TRUE(three_sites && sector);

    const core::Hamiltonian two_site = hamiltonian(2, {}, {{{1, 0}, {{0, Pauli::Z}}}});
    auto wrong_sites = DenseMatrix::from_hamiltonian(two_site, *three_sites);
    ASSERT_FALSE(wrong_sites);
    EXPECT_EQ(wrong_sites.error(), (ExactError{exact_error::Shape{2, 3}}));
    EXPECT_EQ(to_string(wrong_sites.error()), "expected length 2, received 3");

    // A transverse field leaves the weight-1 sector at the first state.
    const core::Hamiltonian field = hamiltonian(2, {}, {{{1, 0}, {{0, Pauli::X}}}});
    auto outside = DenseMatrix::from_hamiltonian(field, *sector);
    ASSERT_FALSE(outside);
    const auto* leaving = std::get_if<exact_error::StateOutsideBasis>(&outside.error());
    ASSERT_NE(leaving, nullptr);
    EXPECT_EQ(leaving->state.len(), 2u);
    EXPECT_EQ(leaving->state.bits()[0], core::BasisBit::Zero);  // X0 on (One, Zero)
    EXPECT_EQ(leaving->state.bits()[1], core::BasisBit::Zero);
    EXPECT_EQ(to_string(outside.error()), "Hamiltonian action leaves supplied exact basis (2 sites)");

    // A basis with states of other lengths after the first: the Hamiltonian refuses the state.
    auto mixed = ExactBasis::from_states({*core::BasisState::from_bits(std::vector{core::BasisBit::Zero}),
                                          *core::BasisState::from_bits(std::vector(2, core::BasisBit::Zero))});
    ASSERT_TRUE(mixed);
    auto refused = DenseMatrix::from_hamiltonian(hamiltonian(1, {1, 0}, {}), *mixed);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), (ExactError{exact_error::Operator{core::operator_error::StateLength{1, 2}}}));
    EXPECT_EQ(to_string(refused.error()), "operator expects 1 sites, received 2");

    // Storage owned by the caller: the same checks in the same order, then its size.
    std::vector<Complex> storage(64);
    EXPECT_EQ(expand_hamiltonian_into(two_site, *three_sites, storage).error(), (ExactError{exact_error::Shape{2, 3}}));
    EXPECT_EQ(expand_hamiltonian_into(field, *sector, std::span(storage).first(4)).error(),
              outside.error());
    std::vector<Complex> short_storage(3, Complex{7, 7});
    auto too_short = expand_hamiltonian_into(field, *ExactBasis::full(count(2)), short_storage);
    ASSERT_FALSE(too_short);
    EXPECT_EQ(too_short.error(), (ExactError{exact_error::Shape{16, 3}}));
    EXPECT_EQ(short_storage, std::vector<Complex>(3, Complex{7, 7})) << "nothing is written before the size check";
}

TEST(DenseMatrix, AdoptsAndHandsBackRowMajorData) {
    std::vector<Complex> data{{1, 0}, {2, 1}, {2, -1}, {3, 0}};
    const Complex* storage = data.data();
    auto adopted = DenseMatrix::from_data(2, std::move(data));
    ASSERT_TRUE(adopted);
    EXPECT_EQ(adopted->get(0, 1), (Complex{2, 1}));
    EXPECT_EQ(adopted->get(1, 0), (Complex{2, -1}));
    EXPECT_EQ(adopted->get(2, 0), std::nullopt);
    EXPECT_EQ(adopted->get(0, 2), std::nullopt);
    std::vector<Complex> back = std::move(*adopted).take_data();
    EXPECT_EQ(back.data(), storage) << "no copy on the way in or out";

    EXPECT_EQ(DenseMatrix::from_data(2, std::vector<Complex>(3)).error(), (ExactError{exact_error::Shape{4, 3}}));
    EXPECT_EQ(DenseMatrix::from_data(std::uint64_t{1} << 32, {}).error(), ExactError{exact_error::DimensionOverflow{}});
    auto empty = DenseMatrix::from_data(0, {});
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->dimension(), 0u);
}

TEST(DenseMatrix, ApplyMultipliesOrRefusesTheVector) {
    const DenseMatrix m = matrix(2, {{0.75, 0}, {1, 0}, {1, 0}, {-0.25, 0}});
    EXPECT_EQ(m.apply(std::vector<Complex>{{1, 0}, {0, 0}}).value(), (std::vector<Complex>{{0.75, 0}, {1, 0}}));
    EXPECT_EQ(m.apply(std::vector<Complex>{{0, 1}, {2, 0}}).value(), (std::vector<Complex>{{2, 0.75}, {-0.5, 1}}));

    const DenseMatrix y = matrix(2, {{0, 0}, {0, -1}, {0, 1}, {0, 0}});
    EXPECT_EQ(y.apply(std::vector<Complex>{{1, 0}, {0, 0}}).value(), (std::vector<Complex>{{0, 0}, {0, 1}}));

    struct Refusal {
        std::vector<Complex> vector;
        std::string text;
    };
    const Refusal refusals[] = {
        {{{1, 0}, {0, 0}, {0, 0}}, "expected length 2, received 3"},
        {{}, "expected length 2, received 0"},
        {{{1, 0}, {NAN, 0}}, "non-finite vector scalar at index 1: Complex { re: NaN, im: 0.0 }"},
        {{{0, INFINITY}, {NAN, 0}}, "non-finite vector scalar at index 0: Complex { re: 0.0, im: inf }"},
    };
    for (const Refusal& r : refusals) {
        auto product = m.apply(r.vector);
        ASSERT_FALSE(product) << r.text;
        EXPECT_EQ(to_string(product.error()), r.text);
    }
}

TEST(DenseMatrix, HermiticityIsCheckedWithinTheTolerance) {
    struct Case {
        std::string name;
        std::uint64_t dimension;
        std::vector<Complex> data;
        double tolerance;
        std::string failure;  // empty when accepted
    };
    const Case cases[] = {
        {"upper entry only", 2, {{0, 0}, {1, 0}, {0, 0}, {0, 0}}, 1e-10,
         "matrix entry (0,1)=Complex { re: 1.0, im: 0.0 } violates Hermiticity"},
        {"off by 1e-9", 2, {{0, 0}, {1, 0}, {1 + 1e-9, 0}, {0, 0}}, 1e-10,
         "matrix entry (0,1)=Complex { re: -1.000000082740371e-9, im: 0.0 } violates Hermiticity"},
        {"off by 1e-11", 2, {{0, 0}, {1, 0}, {1 + 1e-11, 0}, {0, 0}}, 1e-10, ""},
        {"diagonal 2e-10 i", 1, {{0, 2e-10}}, 1e-10,
         "matrix entry (0,0)=Complex { re: 0.0, im: 4e-10 } violates Hermiticity"},
        {"diagonal 4e-11 i", 1, {{5, 4e-11}}, 1e-10, ""},
        {"Pauli Y", 2, {{0, 0}, {0, -1}, {0, 1}, {0, 0}}, 0.0, ""},
        {"Y with equal signs", 2, {{0, 0}, {0, 1}, {0, 1}, {0, 0}}, 1e-10,
         "matrix entry (0,1)=Complex { re: 0.0, im: 2.0 } violates Hermiticity"},
        {"exact check", 2, {{0, 0}, {1, 0}, {1 + 1e-16 * 2.3, 0}, {0, 0}}, 0.0,
         "matrix entry (0,1)=Complex { re: -2.220446049250313e-16, im: 0.0 } violates Hermiticity"},
        {"NaN entry", 2, {{1, 0}, {0, 0}, {0, 0}, {NAN, 0}}, 1e-10,
         "matrix entry (1,1)=Complex { re: NaN, im: 0.0 } violates Hermiticity"},
        {"NaN next to a finite part", 2, {{1, 0}, {0, NAN}, {0, NAN}, {1, 0}}, 1e-10,
         "matrix entry (0,1)=Complex { re: 0.0, im: NaN } violates Hermiticity"},
        {"infinite entry", 2, {{INFINITY, 0}, {0, 0}, {0, 0}, {1, 0}}, 1e-10,
         "matrix entry (0,0)=Complex { re: NaN, im: 0.0 } violates Hermiticity"},
        {"negative tolerance", 1, {{1, 0}}, -1.0, "invalid exact parameter tolerance"},
        {"NaN tolerance", 1, {{1, 0}}, NAN, "invalid exact parameter tolerance"},
        {"infinite tolerance", 1, {{1, 0}}, INFINITY, "invalid exact parameter tolerance"},
        {"tolerance checked first", 2, {{0, 0}, {1, 0}, {0, 0}, {0, 0}}, -0.5, "invalid exact parameter tolerance"},
    };
    for (const Case& c : cases) {
        const DenseMatrix m = matrix(c.dimension, c.data);
        auto checked = m.validate_hermitian(c.tolerance);
        if (c.failure.empty()) {
            EXPECT_TRUE(checked) << c.name << ": " << to_string(checked.error());
        } else {
            ASSERT_FALSE(checked) << c.name;
            EXPECT_EQ(to_string(checked.error()), c.failure) << c.name;
        }
    }
}

TEST(DenseMatrix, DotConjugatesTheLeftAndStopsAtTheShorterLength) {
    struct Case {
        std::vector<Complex> left, right;
        Complex expected;
    };
    const Case cases[] = {
        {{i}, {i}, {1, 0}},
        {{{1, 0}, {2, 0}}, {{3, 0}}, {3, 0}},
        {{{3, 0}}, {{1, 0}, {2, 0}}, {3, 0}},
        {{{0, 1}}, {{1, 0}}, {0, -1}},
        {{{1, 2}, {3, -1}}, {{2, 1}, {0, 1}}, {4 - 1, 1 - 4 + 3}},
        {{}, {{1, 0}}, {0, 0}},
    };
    for (const Case& c : cases) EXPECT_EQ(dot(c.left, c.right), c.expected);
    EXPECT_EQ(norm(std::vector<Complex>{{3, 0}, {0, 4}}), 5.0);
    EXPECT_EQ(norm(std::vector<Complex>{}), 0.0);
}

}  // namespace
}  // namespace vendrel::exact
