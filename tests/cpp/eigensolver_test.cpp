// The Jacobi eigensolver: its steps, the written small cases, random and degenerate spectra, and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "exact/dense_matrix.hpp"
#include "exact/eigensolver.hpp"

namespace vendrel::exact {
namespace {

constexpr double kHalfRoot = 0.70710678118654752;

DenseMatrix matrix(std::uint64_t dimension, std::vector<Complex> data) {
    auto result = DenseMatrix::from_data(dimension, std::move(data));
    EXPECT_TRUE(result);
    return *std::move(result);
}

Eigensystem solve(const DenseMatrix& m) {
    auto result = diagonalize_hermitian(m);
    EXPECT_TRUE(result) << to_string(result.error());
    return result ? *std::move(result) : Eigensystem{};
}

void expect_near(std::span<const Complex> actual, std::vector<Complex> expected, double tolerance) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k) {
        EXPECT_NEAR(actual[k].re, expected[k].re, tolerance) << "position " << k;
        EXPECT_NEAR(actual[k].im, expected[k].im, tolerance) << "position " << k;
    }
}

// Runs the rotation loop with the public steps on the real embedding and counts the rotations.
std::uint64_t rotations_until_diagonal(const DenseMatrix& m) {
    const std::uint64_t n = m.dimension();
    const std::uint64_t rn = 2 * n;
    std::vector<double> a(rn * rn, 0.0);
    for (std::uint64_t r = 0; r < n; ++r) {
        for (std::uint64_t c = 0; c < n; ++c) {
            const Complex x = *m.get(r, c);
            a[r * rn + c] = x.re;
            a[r * rn + c + n] = -x.im;
            a[(r + n) * rn + c] = x.im;
            a[(r + n) * rn + c + n] = x.re;
        }
    }
    std::vector<double> vectors(rn * rn, 0.0);
    for (std::uint64_t k = 0; k < rn; ++k) vectors[k * rn + k] = 1.0;
    std::uint64_t rotations = 0;
    while (rotations < 1000) {
        const Pivot pivot = max_off_diagonal(a, rn);
        if (pivot.magnitude < 1e-13) break;
        jacobi_rotate(a, vectors, rn, pivot.p, pivot.q);
        ++rotations;
    }
    return rotations;
}

// Checks every property a returned eigensystem promises, against the matrix itself.
void expect_valid_eigensystem(const DenseMatrix& m, const Eigensystem& system, double tolerance) {
    const std::uint64_t n = m.dimension();
    ASSERT_EQ(system.values.size(), n);
    ASSERT_EQ(system.vectors.size(), n);
    ASSERT_EQ(system.residuals.size(), n);
    EXPECT_TRUE(std::is_sorted(system.values.begin(), system.values.end()));
    for (std::uint64_t i = 0; i < n; ++i) {
        ASSERT_EQ(system.vectors[i].size(), n);
        EXPECT_LE(system.residuals[i], 1e-8);
        EXPECT_EQ(residual_norm(m, system.vectors[i], system.values[i]).value(), system.residuals[i]);
        for (std::uint64_t j = 0; j < n; ++j) {
            const Complex overlap = dot(system.vectors[i], system.vectors[j]);
            EXPECT_NEAR(overlap.re, i == j ? 1.0 : 0.0, tolerance) << i << "," << j;
            EXPECT_NEAR(overlap.im, 0.0, tolerance) << i << "," << j;
        }
    }
    // Trace and trace of H^2 are the sums of the eigenvalues and of their squares.
    double trace = 0.0, trace_square = 0.0, value_sum = 0.0, value_square_sum = 0.0;
    for (std::uint64_t r = 0; r < n; ++r) {
        trace += m.get(r, r)->re;
        for (std::uint64_t c = 0; c < n; ++c) trace_square += norm_squared(*m.get(r, c));
    }
    for (double value : system.values) {
        value_sum += value;
        value_square_sum += value * value;
    }
    EXPECT_NEAR(value_sum, trace, tolerance * (1.0 + std::abs(trace)));
    EXPECT_NEAR(value_square_sum, trace_square, tolerance * (1.0 + trace_square));
    // Completeness: sum of lambda v v^dagger rebuilds the matrix.
    for (std::uint64_t r = 0; r < n; ++r) {
        for (std::uint64_t c = 0; c < n; ++c) {
            Complex rebuilt{};
            for (std::uint64_t i = 0; i < n; ++i) {
                const Complex outer = system.vectors[i][r] * conj(system.vectors[i][c]);
                rebuilt += Complex{outer.re * system.values[i], outer.im * system.values[i]};
            }
            EXPECT_NEAR(rebuilt.re, m.get(r, c)->re, tolerance) << r << "," << c;
            EXPECT_NEAR(rebuilt.im, m.get(r, c)->im, tolerance) << r << "," << c;
        }
    }
}

std::vector<Complex> random_hermitian(std::uint64_t n, std::mt19937_64& generator) {
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<Complex> data(n * n);
    for (std::uint64_t r = 0; r < n; ++r) {
        data[r * n + r] = Complex{uniform(generator), 0.0};
        for (std::uint64_t c = r + 1; c < n; ++c) {
            data[r * n + c] = Complex{uniform(generator), uniform(generator)};
            data[c * n + r] = conj(data[r * n + c]);
        }
    }
    return data;
}

// A random unitary from Gram-Schmidt on random complex columns; column j is element j.
std::vector<std::vector<Complex>> random_unitary(std::uint64_t n, std::mt19937_64& generator) {
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<std::vector<Complex>> columns;
    while (columns.size() < n) {
        std::vector<Complex> candidate(n);
        for (Complex& x : candidate) x = Complex{uniform(generator), uniform(generator)};
        if (auto accepted = orthonormalize(std::move(candidate), columns)) columns.push_back(std::move(*accepted));
    }
    return columns;
}

// U diag(values) U^dagger, Hermitised exactly by mirroring the upper triangle.
std::vector<Complex> with_spectrum(const std::vector<double>& values, std::mt19937_64& generator) {
    const std::uint64_t n = values.size();
    const auto u = random_unitary(n, generator);
    std::vector<Complex> data(n * n);
    for (std::uint64_t r = 0; r < n; ++r) {
        for (std::uint64_t c = r; c < n; ++c) {
            Complex sum{};
            for (std::uint64_t k = 0; k < n; ++k) {
                const Complex outer = u[k][r] * conj(u[k][c]);
                sum += Complex{outer.re * values[k], outer.im * values[k]};
            }
            if (r == c) sum.im = 0.0;
            data[r * n + c] = sum;
            data[c * n + r] = conj(sum);
        }
    }
    return data;
}

TEST(Eigensolver, MaxOffDiagonalScansTheStrictUpperTriangle) {
    struct Case {
        std::string name;
        std::uint64_t n;
        std::vector<double> a;
        std::uint64_t p, q;
        double magnitude;
    };
    const double nan = std::nan("");
    const Case cases[] = {
        {"empty", 0, {}, 0, 0, 0.0},
        {"one by one", 1, {5}, 0, 0, 0.0},
        {"diagonal", 2, {3, 0, 0, -3}, 0, 1, 0.0},
        {"negative wins by magnitude", 3, {9, 1, -2, 1, 9, 0.5, -2, 0.5, 9}, 0, 2, 2.0},
        {"tie keeps the first in row-major order", 3, {0, 0, 0.5, 0, 0, -0.5, 0.5, -0.5, 0}, 0, 2, 0.5},
        {"lower triangle is not read", 3, {0, 0.1, 0, 7, 0, 0.2, 7, 7, 0}, 1, 2, 0.2},
        {"NaN never wins", 3, {0, nan, 0.3, nan, 0, nan, 0.3, nan, 0}, 0, 2, 0.3},
        {"all NaN leaves the start", 3, {0, nan, nan, nan, 0, nan, nan, nan, 0}, 0, 1, 0.0},
        {"diagonal is not read", 3, {100, 0, 0, 0, 100, 1e-14, 0, 1e-14, 100}, 1, 2, 1e-14},
    };
    for (const Case& c : cases) {
        const Pivot pivot = max_off_diagonal(c.a, c.n);
        EXPECT_EQ(pivot.p, c.p) << c.name;
        EXPECT_EQ(pivot.q, c.q) << c.name;
        EXPECT_EQ(pivot.magnitude, c.magnitude) << c.name;
    }
}

TEST(Eigensolver, JacobiRotateIsASimilarityThatZeroesThePivot) {
    // 3 by 3 symmetric; rotate in the (0, 2) plane and compare with J^T a J formed independently.
    const std::vector<double> start{2.0, 0.5, -1.25, 0.5, -1.0, 0.75, -1.25, 0.75, 3.0};
    std::vector<double> a = start;
    std::vector<double> vectors{1, 0, 0, 0, 1, 0, 0, 0, 1};
    jacobi_rotate(a, vectors, 3, 0, 2);

    const double phi = 0.5 * std::atan2(2.0 * -1.25, 3.0 - 2.0);
    const double c = std::cos(phi), s = std::sin(phi);
    // J is the identity except J(0,0) = c, J(0,2) = s, J(2,0) = -s, J(2,2) = c.
    const double j[9] = {c, 0, s, 0, 1, 0, -s, 0, c};
    for (int r = 0; r < 3; ++r) {
        for (int col = 0; col < 3; ++col) {
            double sum = 0.0;
            for (int k = 0; k < 3; ++k) {
                for (int l = 0; l < 3; ++l) sum += j[k * 3 + r] * start[k * 3 + l] * j[l * 3 + col];
            }
            EXPECT_NEAR(a[r * 3 + col], sum, 1e-14) << r << "," << col;
        }
    }
    EXPECT_NEAR(a[0 * 3 + 2], 0.0, 1e-15);
    EXPECT_NEAR(a[2 * 3 + 0], 0.0, 1e-15);
    // Column i of `vectors` is contiguous; columns 0 and 2 are the rotated unit vectors, column 1 is untouched.
    EXPECT_EQ(vectors, (std::vector<double>{c, 0, -s, 0, 1, 0, s, 0, c}));
}

TEST(Eigensolver, OrthonormalizeRejectsDependentCandidates) {
    const std::vector<std::vector<Complex>> none;
    EXPECT_EQ(orthonormalize({{3, 0}, {0, 4}}, none), (std::vector<Complex>{{0.6, 0}, {0, 0.8}}));
    EXPECT_EQ(orthonormalize({{1e-12, 0}, {0, 0}}, none), std::nullopt) << "length exactly 1e-12 is rejected";
    EXPECT_EQ(orthonormalize({{2e-12, 0}, {0, 0}}, none), (std::vector<Complex>{{1, 0}, {0, 0}}));
    EXPECT_EQ(orthonormalize({{0, 0}, {0, 0}}, none), std::nullopt);

    const std::vector<std::vector<Complex>> prior{{{kHalfRoot, 0}, {kHalfRoot, 0}}};
    // i times an accepted vector is not new.
    EXPECT_EQ(orthonormalize({{0, 2}, {0, 2}}, prior), std::nullopt);
    auto rest = orthonormalize({{1, 0}, {0, 0}}, prior);
    ASSERT_TRUE(rest);
    expect_near(*rest, {{kHalfRoot, 0}, {-kHalfRoot, 0}}, 1e-15);
    EXPECT_NEAR(std::abs(dot(prior[0], *rest).re), 0.0, 1e-15);
}

TEST(Eigensolver, ResidualNormMeasuresTheEigenpairError) {
    const DenseMatrix m = matrix(2, {{2, 0}, {0, 0}, {0, 0}, {-1, 0}});
    EXPECT_EQ(residual_norm(m, std::vector<Complex>{{0, 1}, {0, 0}}, 2.0).value(), 0.0);
    EXPECT_EQ(residual_norm(m, std::vector<Complex>{{1, 0}, {0, 0}}, 5.0).value(), 3.0);
    EXPECT_EQ(residual_norm(m, std::vector<Complex>{{0, 0}, {3, 4}}, 0.0).value(), 5.0);
    EXPECT_EQ(residual_norm(m, std::vector<Complex>{{1, 0}}, 2.0).error(), (ExactError{exact_error::Shape{2, 1}}));
    EXPECT_EQ(to_string(residual_norm(m, std::vector<Complex>{{1, 0}, {INFINITY, 0}}, 2.0).error()),
              "non-finite vector scalar at index 1: Complex { re: inf, im: 0.0 }");
}

TEST(Eigensolver, SmallMatricesGiveTheirWrittenEigenpairs) {
    {
        const Eigensystem s = solve(matrix(1, {{2.5, 0}}));
        EXPECT_EQ(s.values, (std::vector<double>{2.5}));
        EXPECT_EQ(s.vectors, (std::vector<std::vector<Complex>>{{{1, 0}}}));
        EXPECT_EQ(s.residuals, (std::vector<double>{0.0}));
    }
    {
        const DenseMatrix diagonal = matrix(2, {{1, 0}, {0, 0}, {0, 0}, {-1, 0}});
        EXPECT_EQ(rotations_until_diagonal(diagonal), 0u);
        const Eigensystem s = solve(diagonal);
        EXPECT_EQ(s.values, (std::vector<double>{-1, 1}));
        EXPECT_EQ(s.vectors, (std::vector<std::vector<Complex>>{{{0, 0}, {1, 0}}, {{1, 0}, {0, 0}}}));
    }
    {
        const DenseMatrix x = matrix(2, {{0, 0}, {1, 0}, {1, 0}, {0, 0}});
        EXPECT_EQ(rotations_until_diagonal(x), 2u);
        const Eigensystem s = solve(x);
        ASSERT_EQ(s.values.size(), 2u);
        EXPECT_NEAR(s.values[0], -1.0, 1e-15);
        EXPECT_NEAR(s.values[1], 1.0, 1e-15);
        expect_near(s.vectors[0], {{kHalfRoot, 0}, {-kHalfRoot, 0}}, 1e-8);
        expect_near(s.vectors[1], {{kHalfRoot, 0}, {kHalfRoot, 0}}, 1e-8);
        for (const auto& vector : s.vectors) {
            for (Complex element : vector) EXPECT_EQ(element.im, 0.0);
        }
        for (double residual : s.residuals) EXPECT_LT(residual, 1e-15);
    }
    {
        const Eigensystem s = solve(matrix(2, {{0, 0}, {0, -1}, {0, 1}, {0, 0}}));
        ASSERT_EQ(s.values.size(), 2u);
        EXPECT_NEAR(s.values[0], -1.0, 1e-15);
        EXPECT_NEAR(s.values[1], 1.0, 1e-15);
        expect_near(s.vectors[0], {{kHalfRoot, 0}, {0, -kHalfRoot}}, 1e-8);
    }
    {
        // No phase is normalised: the second vector of the identity comes out as (0, i).
        const Eigensystem s = solve(matrix(2, {{1, 0}, {0, 0}, {0, 0}, {1, 0}}));
        EXPECT_EQ(s.values, (std::vector<double>{1, 1}));
        EXPECT_EQ(s.vectors, (std::vector<std::vector<Complex>>{{{1, 0}, {0, 0}}, {{0, 0}, {0, 1}}}));
    }
    {
        const DenseMatrix m = matrix(2, {{0.75, 0}, {1, 0}, {1, 0}, {-0.25, 0}});
        const Eigensystem s = solve(m);
        ASSERT_EQ(s.values.size(), 2u);
        EXPECT_NEAR(s.values[0], -0.8680339887, 1e-10);
        EXPECT_NEAR(s.values[1], 1.3680339887, 1e-10);
        auto ground = GroundState::from_spectrum(s);
        ASSERT_TRUE(ground);
        EXPECT_EQ(ground->energy(), s.values[0]);
        EXPECT_EQ(ground->residual(), s.residuals[0]);
        expect_near(ground->vector(), {{0.5257311121, 0}, {-0.8506508084, 0}}, 1e-10);
        expect_valid_eigensystem(m, s, 1e-12);
    }
}

TEST(Eigensolver, RandomHermitianMatricesDecomposeCompletely) {
    std::mt19937_64 generator(20240611);
    for (std::uint64_t n = 1; n <= 16; ++n) {
        for (int repeat = 0; repeat < 2; ++repeat) {
            const DenseMatrix m = matrix(n, random_hermitian(n, generator));
            auto system = diagonalize_hermitian(m);
            ASSERT_TRUE(system) << "n=" << n << ": " << to_string(system.error());
            SCOPED_TRACE("n=" + std::to_string(n));
            expect_valid_eigensystem(m, *system, 1e-10);
            for (std::uint64_t i = 0; i < n; ++i) {
                // The reported value is also the Rayleigh quotient of its vector.
                auto applied = m.apply(system->vectors[i]);
                ASSERT_TRUE(applied);
                EXPECT_NEAR(dot(system->vectors[i], *applied).re, system->values[i], 1e-10);
            }
        }
    }
}

TEST(Eigensolver, DegenerateSpectraStillGiveOrthonormalEigenbases) {
    std::mt19937_64 generator(7);
    struct Case {
        std::string name;
        std::uint64_t n;
        std::vector<Complex> data;
        std::vector<double> values;
    };
    std::vector<Case> cases;
    cases.push_back({"zero 3x3", 3, std::vector<Complex>(9), {0, 0, 0}});
    {
        std::vector<Complex> identity(16);
        for (int k = 0; k < 4; ++k) identity[k * 4 + k] = Complex{1, 0};
        cases.push_back({"identity 4x4", 4, identity, {1, 1, 1, 1}});
    }
    // Two copies of the block [[0, -i], [i, 0]]: eigenvalues -1, -1, 1, 1.
    cases.push_back({"doubled Pauli Y block", 4,
                     {{0, 0}, {0, -1}, {0, 0}, {0, 0},
                      {0, 1}, {0, 0}, {0, 0}, {0, 0},
                      {0, 0}, {0, 0}, {0, 0}, {0, -1},
                      {0, 0}, {0, 0}, {0, 1}, {0, 0}},
                     {-1, -1, 1, 1}});
    {
        const std::vector<double> spectrum{-1, -1, 0.5, 0.5, 0.5, 2};
        cases.push_back({"rotated 2+3+1 multiplicities", 6, with_spectrum(spectrum, generator), spectrum});
    }
    {
        const std::vector<double> spectrum{-2, -2, -2, -2, 3, 3, 3, 3};
        cases.push_back({"rotated two quadruplets", 8, with_spectrum(spectrum, generator), spectrum});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DenseMatrix m = matrix(c.n, c.data);
        auto system = diagonalize_hermitian(m);
        ASSERT_TRUE(system) << to_string(system.error());
        expect_valid_eigensystem(m, *system, 1e-10);
        for (std::uint64_t k = 0; k < c.n; ++k) EXPECT_NEAR(system->values[k], c.values[k], 1e-10);
    }
}

TEST(Eigensolver, RefusalsAndTheirTexts) {
    struct Case {
        std::string name;
        std::uint64_t n;
        std::vector<Complex> data;
        std::string text;
    };
    const Case cases[] = {
        {"dimension 0", 0, {}, "exact dimension overflowed"},
        {"off by 1e-9", 2, {{0, 0}, {1, 0}, {1 + 1e-9, 0}, {0, 0}},
         "matrix entry (0,1)=Complex { re: -1.000000082740371e-9, im: 0.0 } violates Hermiticity"},
        {"complex diagonal", 2, {{0, 0}, {0, 0}, {0, 0}, {1, 1e-10}},
         "matrix entry (1,1)=Complex { re: 0.0, im: 2e-10 } violates Hermiticity"},
        {"NaN entry", 1, {{NAN, 0}}, "matrix entry (0,0)=Complex { re: NaN, im: 0.0 } violates Hermiticity"},
        // The thresholds are absolute. Here the rounding left by each rotation stays above 1e-13, so the
        // budget of 100 (2n)^2 = 1600 rotations runs out.
        {"budget exhausted", 2, {{0.3e4, 0}, {0.7e4, 0.2e4}, {0.7e4, -0.2e4}, {-1.1e4, 0}},
         "Hermitian eigensolver did not converge in 1600 iterations"},
        // Here the off-diagonal vanishes after two rotations, but the residuals of entries near 1e12 are
        // far above 1e-8: the count is the rotations made, not the budget.
        {"residual too large", 2, {{1e12, 0}, {3e12, 0}, {3e12, 0}, {-2e12, 0}},
         "Hermitian eigensolver did not converge in 2 iterations"},
    };
    for (const Case& c : cases) {
        auto result = diagonalize_hermitian(matrix(c.n, c.data));
        ASSERT_FALSE(result) << c.name;
        EXPECT_EQ(to_string(result.error()), c.text) << c.name;
    }
    EXPECT_TRUE(diagonalize_hermitian(matrix(2, {{0, 0}, {1, 0}, {1 + 1e-11, 0}, {0, 0}})));
}

TEST(Eigensolver, GroundStateIsTheFirstSmallestByTotalOrder) {
    const std::vector<Complex> a{{1, 0}}, b{{0, 1}}, c{{-1, 0}};
    struct Case {
        std::vector<double> values;
        double energy;
        std::vector<Complex> vector;
        double residual;
    };
    const Case cases[] = {
        {{0.5, -2.0, -2.0}, -2.0, b, 0.2},
        {{0.0, -0.0, 1.0}, -0.0, b, 0.2},
        {{std::nan(""), 1.0, 3.0}, 1.0, b, 0.2},
        {{-INFINITY, 1.0, -INFINITY}, -INFINITY, a, 0.1},
    };
    for (const Case& test : cases) {
        const Eigensystem spectrum{test.values, {a, b, c}, {0.1, 0.2, 0.3}};
        auto ground = GroundState::from_spectrum(spectrum);
        ASSERT_TRUE(ground);
        EXPECT_EQ(ground->energy(), test.energy);
        EXPECT_EQ(std::signbit(ground->energy()), std::signbit(test.energy));
        EXPECT_EQ(std::vector<Complex>(ground->vector().begin(), ground->vector().end()), test.vector);
        EXPECT_EQ(ground->residual(), test.residual);
    }
    EXPECT_EQ(GroundState::from_spectrum(Eigensystem{}).error(), ExactError{exact_error::DimensionOverflow{}});
    EXPECT_EQ(GroundState::from_spectrum(Eigensystem{{1.0, 2.0}, {a}, {0.0, 0.0}}).error(),
              (ExactError{exact_error::Shape{2, 1}}));
}

}  // namespace
}  // namespace vendrel::exact
