// The dense QGT (validation, product), the guarded dot product and the conjugate-gradient solve:
// check orders, stopping and breakdown rules, and agreement with a direct solution.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <span>
#include <vector>

#include "variational/tdvp.hpp"

namespace vendrel::variational {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::uint64_t bits(double value) { return std::bit_cast<std::uint64_t>(value); }

DenseQgt qgt(std::uint64_t parameters, std::vector<double> data) {
    auto built = DenseQgt::create(parameters, std::move(data));
    EXPECT_TRUE(built) << to_string(built.error());
    return *std::move(built);
}

TEST(QgtCreate, ValidatesInOrder) {
    struct Case {
        const char* what;
        std::uint64_t parameters;
        std::vector<double> data;
        std::optional<TDVPError> expected;  // nullopt: accepted
    };
    const TDVPError dimension = tdvp_error::InvalidParameter{"QGT dimension"};
    const TDVPError symmetric = tdvp_error::InvalidParameter{"symmetric QGT"};
    const TDVPError non_finite = tdvp_error::NonFinite{"QGT"};
    // The tolerance at scale 1 is exactly 1 * 1e-12; equality passes, the next double above fails.
    const double at_tolerance = 1e-12;
    const double above_tolerance = std::nextafter(1e-12, 1.0);
    const std::vector<Case> cases = {
        {"zero dimension", 0, {}, dimension},
        {"P squared overflows", std::uint64_t{1} << 32, {}, dimension},
        {"too few elements", 2, {1.0, 0.0, 0.0}, tdvp_error::Shape{4, 3}},
        {"shape beats NaN", 2, {kNaN, 0.0, 0.0}, tdvp_error::Shape{4, 3}},
        {"NaN element", 2, {1.0, kNaN, 0.0, 1.0}, non_finite},
        {"infinite element", 1, {-kInf}, non_finite},
        {"non-finite beats asymmetry", 2, {1.0, 5.0, 0.0, kInf}, non_finite},
        {"asymmetry within 1e-12", 2, {1.0, 0.5, 0.5 + 1e-13, 1.0}, std::nullopt},
        {"asymmetry 1e-11", 2, {1.0, 0.5, 0.5 + 1e-11, 1.0}, symmetric},
        {"asymmetry equal to tolerance", 2, {1.0, at_tolerance, 0.0, 1.0}, std::nullopt},
        {"asymmetry just above tolerance", 2, {1.0, above_tolerance, 0.0, 1.0}, symmetric},
        {"asymmetry below the diagonal", 3, {1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.5, 1.0}, symmetric},
        {"tolerance scales with the largest element", 2, {1e6, 0.5, 0.5 + 1e-7, -1e6}, std::nullopt},
        {"all zero", 2, {0.0, 0.0, 0.0, 0.0}, std::nullopt},
        // Below the smallest normal the tolerance stops shrinking: 2.2e-320.
        {"subnormal asymmetry under the floor", 2, {0.0, 1e-320, 0.0, 0.0}, std::nullopt},
        {"subnormal asymmetry over the floor", 2, {0.0, 3e-320, 0.0, 0.0}, symmetric},
        {"asymmetry difference overflows", 2, {0.0, 1.5e308, -1.5e308, 0.0}, symmetric},
    };
    for (const Case& c : cases) {
        const auto result = DenseQgt::create(c.parameters, c.data);
        if (c.expected) {
            ASSERT_FALSE(result) << c.what;
            EXPECT_EQ(result.error(), *c.expected) << c.what << ": " << to_string(result.error());
        } else {
            ASSERT_TRUE(result) << c.what << ": " << to_string(result.error());
            EXPECT_EQ(result->parameters(), c.parameters) << c.what;
            // Stored as given, not symmetrised.
            ASSERT_EQ(result->as_slice().size(), c.data.size());
            for (std::size_t i = 0; i < c.data.size(); ++i) {
                EXPECT_EQ(bits(result->as_slice()[i]), bits(c.data[i])) << c.what << " " << i;
            }
        }
    }
}

TEST(QgtMatvec, ChecksThenMultipliesRowByRow) {
    const DenseQgt s = qgt(2, {2.0, 1.0, 1.0, 3.0});
    struct Case {
        const char* what;
        std::vector<double> vector;
        TDVPError expected;
    };
    const std::vector<Case> cases = {
        {"short", {1.0}, tdvp_error::Shape{2, 1}},
        {"long", {1.0, 2.0, 3.0}, tdvp_error::Shape{2, 3}},
        {"shape beats NaN", {kNaN}, tdvp_error::Shape{2, 1}},
        {"NaN element", {1.0, kNaN}, tdvp_error::NonFinite{"QGT vector"}},
        {"infinite element", {-kInf, 0.0}, tdvp_error::NonFinite{"QGT vector"}},
        {"overflowing product", {1e308, 1e308}, tdvp_error::NonFinite{"QGT matvec"}},
    };
    for (const Case& c : cases) {
        const auto result = s.matvec(c.vector);
        ASSERT_FALSE(result) << c.what;
        EXPECT_EQ(result.error(), c.expected) << c.what;
    }

    const double v[] = {1.0, 2.0};
    const auto product = s.matvec(v);
    ASSERT_TRUE(product);
    EXPECT_EQ(*product, (std::vector<double>{4.0, 7.0}));

    // Each row sum starts from -0.0, so an all-negative-zero row product stays -0.0.
    const DenseQgt zero = qgt(2, {0.0, 0.0, 0.0, 0.0});
    const double negative[] = {-1.0, -2.0};
    const auto signed_zero = zero.matvec(negative);
    ASSERT_TRUE(signed_zero);
    EXPECT_EQ(bits((*signed_zero)[0]), bits(-0.0));
    EXPECT_EQ(bits((*signed_zero)[1]), bits(-0.0));
}

TEST(TdvpDot, GuardsLengthAndFiniteness) {
    struct Case {
        std::vector<double> left;
        std::vector<double> right;
        TDVPError expected;
    };
    const std::vector<Case> cases = {
        {{1.0, 2.0}, {1.0, 2.0, 3.0}, tdvp_error::Shape{2, 3}},
        {{1.0, 2.0, 3.0}, {1.0}, tdvp_error::Shape{3, 1}},
        {{1e308, 1e308}, {10.0, 10.0}, tdvp_error::NonFinite{"dot product"}},
        {{kNaN}, {1.0}, tdvp_error::NonFinite{"dot product"}},
        {{kInf, 1.0}, {0.0, 1.0}, tdvp_error::NonFinite{"dot product"}},
    };
    for (const Case& c : cases) {
        const auto result = dot(c.left, c.right);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error(), c.expected) << to_string(c.expected);
    }
    const double a[] = {1.0, 2.0, 3.0}, b[] = {4.0, 5.0, 6.0};
    EXPECT_EQ(*dot(a, b), 32.0);
    // The accumulator starts from -0.0: empty and all-negative-zero sums keep the sign.
    EXPECT_EQ(bits(*dot({}, {})), bits(-0.0));
    const double zero[] = {0.0}, minus_one[] = {-1.0};
    EXPECT_EQ(bits(*dot(zero, minus_one)), bits(-0.0));
}

struct Outcome {
    std::vector<double> direction;
    double residual_norm;
    std::uint64_t iterations;
    bool converged;
};

void expect_outcome(const Result<CGResult, TDVPError>& result, const Outcome& expected, const char* what) {
    ASSERT_TRUE(result) << what << ": " << to_string(result.error());
    EXPECT_EQ(std::vector<double>(result->direction().begin(), result->direction().end()), expected.direction)
        << what;
    EXPECT_EQ(result->residual_norm(), expected.residual_norm) << what;
    EXPECT_EQ(result->iterations(), expected.iterations) << what;
    EXPECT_EQ(result->converged(), expected.converged) << what;
}

TEST(QgtSolve, SmallSystemsConvergeOrBreakDown) {
    struct Case {
        const char* what;
        std::vector<double> matrix;
        std::vector<double> rhs;
        double lambda;
        Outcome expected;
    };
    const std::vector<Case> cases = {
        {"zero right-hand side", {2.0, 1.0, 1.0, 3.0}, {0.0, -0.0}, 0.0, {{0.0, 0.0}, 0.0, 0, true}},
        {"one step", {2.0}, {4.0}, 0.0, {{2.0}, 0.0, 1, true}},
        {"singular: zero curvature", {0.0}, {1.0}, 0.0, {{0.0}, 1.0, 0, false}},
        {"singular made definite by the shift", {0.0}, {1.0}, 1e-8, {{100000000.0}, 0.0, 1, true}},
        {"negative definite", {-1.0}, {1.0}, 0.0, {{0.0}, 1.0, 0, false}},
        {"shift outweighs a negative matrix", {-1.0}, {3.0}, 2.0, {{3.0}, 0.0, 1, true}},
    };
    for (const Case& c : cases) {
        const DenseQgt s = qgt(std::uint64_t(std::sqrt(double(c.matrix.size()))), c.matrix);
        expect_outcome(s.solve(c.rhs, c.lambda, 1e-10, 50), c.expected, c.what);
    }
}

TEST(QgtSolve, RefusesBadOptionsInOrder) {
    const DenseQgt s = qgt(2, {2.0, 1.0, 1.0, 3.0});
    struct Case {
        const char* what;
        std::vector<double> rhs;
        double lambda;
        double tolerance;
        std::uint64_t max_iterations;
        TDVPError expected;
    };
    const TDVPError lambda = tdvp_error::InvalidParameter{"Tikhonov lambda"};
    const TDVPError options = tdvp_error::InvalidParameter{"CG options"};
    const std::vector<Case> cases = {
        {"negative lambda", {1.0, 1.0}, -1.0, 1e-8, 10, lambda},
        {"infinite lambda", {1.0, 1.0}, kInf, 1e-8, 10, lambda},
        {"NaN lambda", {1.0, 1.0}, kNaN, 1e-8, 10, lambda},
        {"lambda beats options", {}, -1.0, 0.0, 0, lambda},
        {"zero tolerance", {1.0, 1.0}, 0.0, 0.0, 10, options},
        {"negative tolerance", {1.0, 1.0}, 0.0, -1e-8, 10, options},
        {"NaN tolerance", {1.0, 1.0}, 0.0, kNaN, 10, options},
        {"infinite tolerance", {1.0, 1.0}, 0.0, kInf, 10, options},
        {"no iterations", {1.0, 1.0}, 0.0, 1e-8, 0, options},
        {"empty right-hand side", {}, 0.0, 1e-8, 10, options},
        {"options beat a NaN right-hand side", {kNaN, 1.0}, 0.0, 0.0, 10, options},
        {"NaN right-hand side", {1.0, kNaN}, 0.0, 1e-8, 10, tdvp_error::NonFinite{"CG right-hand side"}},
        {"non-finite beats length", {kInf}, 0.0, 1e-8, 10, tdvp_error::NonFinite{"CG right-hand side"}},
        {"right-hand side too short", {1.0}, 0.0, 1e-8, 10, tdvp_error::Shape{2, 1}},
        {"right-hand side too long", {1.0, 2.0, 3.0}, 0.0, 1e-8, 10, tdvp_error::Shape{2, 3}},
        // A zero right-hand side would stop before any product; its length is still checked.
        {"zero right-hand side too long", {0.0, 0.0, 0.0}, 0.0, 1e-8, 10, tdvp_error::Shape{2, 3}},
        {"zero right-hand side too short", {0.0}, 0.0, 1e-8, 10, tdvp_error::Shape{2, 1}},
    };
    for (const Case& c : cases) {
        const auto result = s.solve(c.rhs, c.lambda, c.tolerance, c.max_iterations);
        ASSERT_FALSE(result) << c.what;
        EXPECT_EQ(result.error(), c.expected) << c.what << ": " << to_string(result.error());
    }

    // Errors of the product inside the iteration end the solve.
    const DenseQgt huge = qgt(1, {1e308});
    const double rhs[] = {10.0};
    const auto overflow = huge.solve(rhs, 0.0, 1e-8, 10);
    ASSERT_FALSE(overflow);
    EXPECT_EQ(overflow.error(), TDVPError{tdvp_error::NonFinite{"QGT matvec"}});
}

// S = [[2, 1], [1, 3]], rhs = [4, 0]: every step is exact in binary. The first step gives x = [2, 0]
// and r = [0, -2], a residual norm of exactly half of ||rhs|| = 4; the second reaches [2.4, -0.8].
TEST(QgtSolve, StoppingRuleIsRelativeAndInclusive) {
    const DenseQgt s = qgt(2, {2.0, 1.0, 1.0, 3.0});
    const double rhs[] = {4.0, 0.0};
    expect_outcome(s.solve(rhs, 0.0, 1e-12, 1), {{2.0, 0.0}, 2.0, 1, false}, "limit of one iteration");
    expect_outcome(s.solve(rhs, 0.0, 0.5, 10), {{2.0, 0.0}, 2.0, 1, true}, "residual equal to the target");
    const auto two = s.solve(rhs, 0.0, std::nextafter(0.5, 0.0), 10);
    ASSERT_TRUE(two);
    EXPECT_EQ(two->iterations(), 2u);
    EXPECT_TRUE(two->converged());
    EXPECT_NEAR(two->direction()[0], 2.4, 1e-15);
    EXPECT_NEAR(two->direction()[1], -0.8, 1e-15);
    EXPECT_EQ(two->residual_norm(), 0.0);

    // Scaling the right-hand side by a power of two scales every quantity exactly, so the relative
    // rule takes the same path; an absolute rule would not.
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const std::size_t n = 8;
    std::vector<double> a(n * n);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j <= i; ++j) {
            a[i * n + j] = a[j * n + i] = unit(rng) + (i == j ? 4.0 : 0.0);
        }
    }
    const DenseQgt big = qgt(n, a);
    std::vector<double> b(n);
    for (double& value : b) value = unit(rng);
    const auto reference = big.solve(b, 0.5, 1e-9, 100);
    ASSERT_TRUE(reference);
    ASSERT_TRUE(reference->converged());
    for (const double factor : {0x1p-400, 0x1p+400}) {
        std::vector<double> scaled(n);
        for (std::size_t i = 0; i < n; ++i) scaled[i] = b[i] * factor;
        const auto result = big.solve(scaled, 0.5, 1e-9, 100);
        ASSERT_TRUE(result);
        EXPECT_TRUE(result->converged());
        EXPECT_EQ(result->iterations(), reference->iterations());
        EXPECT_EQ(result->residual_norm(), reference->residual_norm() * factor);
        for (std::size_t i = 0; i < n; ++i) {
            EXPECT_EQ(result->direction()[i], reference->direction()[i] * factor);
        }
    }
}

// Gaussian elimination with partial pivoting, independent of the CG code.
std::vector<double> gaussian_solve(std::vector<double> a, std::vector<double> b) {
    const std::size_t n = b.size();
    for (std::size_t col = 0; col < n; ++col) {
        std::size_t pivot = col;
        for (std::size_t row = col + 1; row < n; ++row) {
            if (std::fabs(a[row * n + col]) > std::fabs(a[pivot * n + col])) pivot = row;
        }
        for (std::size_t j = 0; j < n; ++j) std::swap(a[col * n + j], a[pivot * n + j]);
        std::swap(b[col], b[pivot]);
        for (std::size_t row = col + 1; row < n; ++row) {
            const double factor = a[row * n + col] / a[col * n + col];
            for (std::size_t j = col; j < n; ++j) a[row * n + j] -= factor * a[col * n + j];
            b[row] -= factor * b[col];
        }
    }
    std::vector<double> x(n);
    for (std::size_t i = n; i-- > 0;) {
        double sum = b[i];
        for (std::size_t j = i + 1; j < n; ++j) sum -= a[i * n + j] * x[j];
        x[i] = sum / a[i * n + i];
    }
    return x;
}

TEST(QgtSolve, AgreesWithDirectSolution) {
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (const std::size_t n : {1u, 2u, 5u, 9u}) {
        // S = B^T B (positive semi-definite, possibly singular for the shift to fix) plus the shift.
        std::vector<double> b(n * n);
        for (double& value : b) value = unit(rng);
        std::vector<double> s(n * n, 0.0);
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j < n; ++j) {
                for (std::size_t k = 0; k < n; ++k) s[i * n + j] += b[k * n + i] * b[k * n + j];
            }
        }
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j < i; ++j) s[i * n + j] = s[j * n + i];
        }
        std::vector<double> rhs(n);
        for (double& value : rhs) value = unit(rng);
        const DenseQgt matrix = qgt(n, s);
        for (const double lambda : {0.5, 2.0}) {
            std::vector<double> shifted = s;
            for (std::size_t i = 0; i < n; ++i) shifted[i * n + i] += lambda;
            const std::vector<double> expected = gaussian_solve(shifted, rhs);
            const auto result = matrix.solve(rhs, lambda, 1e-13, 200);
            ASSERT_TRUE(result) << to_string(result.error());
            EXPECT_TRUE(result->converged()) << n;
            EXPECT_LE(result->iterations(), 2 * n + 5) << n;
            for (std::size_t i = 0; i < n; ++i) {
                EXPECT_NEAR(result->direction()[i], expected[i], 1e-10 * (1.0 + std::fabs(expected[i]))) << n;
            }
        }
    }
}

TEST(TdvpCg, WorksForAnyOperatorAndPassesItsErrorsThrough) {
    // A diagonal operator with three distinct eigenvalues: exactly three iterations in exact arithmetic.
    int calls = 0;
    const auto diagonal = [&calls](std::span<const double> v) -> MatvecResult {
        ++calls;
        return std::vector<double>{1.0 * v[0], 2.0 * v[1], 4.0 * v[2]};
    };
    const double rhs[] = {1.0, 1.0, 1.0};
    const auto solved = solve_cg(diagonal, rhs, 1e-12, 20);
    ASSERT_TRUE(solved);
    EXPECT_TRUE(solved->converged());
    EXPECT_EQ(solved->iterations(), 3u);
    EXPECT_EQ(calls, 3);
    EXPECT_NEAR(solved->direction()[0], 1.0, 1e-14);
    EXPECT_NEAR(solved->direction()[1], 0.5, 1e-14);
    EXPECT_NEAR(solved->direction()[2], 0.25, 1e-14);

    const auto exhausted = solve_cg(diagonal, rhs, 1e-12, 2);
    ASSERT_TRUE(exhausted);
    EXPECT_FALSE(exhausted->converged());
    EXPECT_EQ(exhausted->iterations(), 2u);
    EXPECT_GT(exhausted->residual_norm(), 1e-12 * std::sqrt(3.0));

    const auto failing = [](std::span<const double>) -> MatvecResult {
        return fail(TDVPError{tdvp_error::InvalidParameter{"operator"}});
    };
    const auto error = solve_cg(failing, rhs, 1e-8, 5);
    ASSERT_FALSE(error);
    EXPECT_EQ(error.error(), TDVPError{tdvp_error::InvalidParameter{"operator"}});

    // An operator returning the wrong length is caught by the guarded dot product.
    const auto truncating = [](std::span<const double> v) -> MatvecResult {
        return std::vector<double>(v.begin(), v.end() - 1);
    };
    const auto shape = solve_cg(truncating, rhs, 1e-8, 5);
    ASSERT_FALSE(shape);
    EXPECT_EQ(shape.error(), (TDVPError{tdvp_error::Shape{3, 2}}));

    // An operator producing a NaN curvature fails in the dot product rather than breaking down.
    const auto nan = [](std::span<const double> v) -> MatvecResult { return std::vector<double>(v.size(), kNaN); };
    const auto nan_result = solve_cg(nan, rhs, 1e-8, 5);
    ASSERT_FALSE(nan_result);
    EXPECT_EQ(nan_result.error(), TDVPError{tdvp_error::NonFinite{"dot product"}});

    // Breakdown after progress: the operator turns indefinite along the second search direction.
    const auto indefinite = [](std::span<const double> v) -> MatvecResult {
        return std::vector<double>{2.0 * v[0] + v[1], v[0] - 3.0 * v[1]};
    };
    const double two[] = {4.0, 0.0};
    const auto broke = solve_cg(indefinite, two, 1e-12, 10);
    ASSERT_TRUE(broke);
    EXPECT_FALSE(broke->converged());
    EXPECT_EQ(broke->iterations(), 1u);
    EXPECT_EQ(std::vector<double>(broke->direction().begin(), broke->direction().end()),
              (std::vector<double>{2.0, 0.0}));
    EXPECT_EQ(broke->residual_norm(), 2.0);
}

}  // namespace
}  // namespace vendrel::variational
