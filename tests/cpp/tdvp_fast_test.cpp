// The fast TDVP estimate, QGT product and shifted solve against the plain loops: same bits, same errors,
// for every instruction-set table this processor runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "variational/qgt_reference.hpp"
#include "variational/tdvp.hpp"
#include "variational/tdvp_kernels.hpp"
#include "variational/tdvp_statistics_reference.hpp"

namespace vendrel::variational {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

::testing::AssertionResult same_bits(std::span<const double> fast, std::span<const double> plain) {
    if (fast.size() != plain.size()) {
        return ::testing::AssertionFailure() << "lengths " << fast.size() << " and " << plain.size();
    }
    for (std::size_t i = 0; i < fast.size(); ++i) {
        if (std::bit_cast<std::uint64_t>(fast[i]) != std::bit_cast<std::uint64_t>(plain[i])) {
            return ::testing::AssertionFailure()
                   << "element " << i << ": " << fast[i] << " (fast) vs " << plain[i] << " (plain), of " << fast.size();
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult same_bits(double fast, double plain) {
    return same_bits(std::span<const double>(&fast, 1), std::span<const double>(&plain, 1));
}

// Numbers spread over many binades, with exact zeros of both signs mixed in, so that roundings, ties
// and the signs of zero sums all get exercised.
class Numbers {
public:
    explicit Numbers(std::uint64_t seed) : rng_(seed) {}

    // `zeros` is the share of exact zeros, half of them negative.
    double next(double scale, double zeros = 0.04) {
        const double pick = unit_(rng_);
        if (pick < zeros) {
            return pick < zeros / 2 ? 0.0 : -0.0;
        }
        const double magnitude = std::ldexp(0.5 + unit_(rng_), static_cast<int>(unit_(rng_) * 12.0) - 6);
        return (unit_(rng_) < 0.5 ? -magnitude : magnitude) * scale;
    }
    double weight() {
        const double pick = unit_(rng_);
        return pick < 0.15 ? 0.0 : unit_(rng_) * 3.0;
    }
    double unit() { return unit_(rng_); }
    std::uint64_t below(std::uint64_t bound) { return rng_() % bound; }

private:
    std::mt19937_64 rng_;
    std::uniform_real_distribution<double> unit_{0.0, 1.0};
};

struct Samples {
    std::vector<double> weights;
    std::vector<Complex> energies;
    std::vector<Complex> derivatives;
    std::uint64_t parameters = 0;
};

Samples random_samples(Numbers& numbers, std::uint64_t samples, std::uint64_t parameters, double scale) {
    Samples out;
    out.parameters = parameters;
    for (std::uint64_t s = 0; s < samples; ++s) {
        out.weights.push_back(numbers.weight());
        out.energies.push_back({numbers.next(scale), numbers.next(scale)});
    }
    // At least one sample must carry weight, or both sides fail the same way and nothing is compared.
    out.weights[numbers.below(samples)] = 1.0;
    for (std::uint64_t i = 0; i < samples * parameters; ++i) {
        out.derivatives.push_back({numbers.next(scale), numbers.next(scale)});
    }
    return out;
}

// Runs `body` once with each instruction-set table this processor supports.
template <class Body>
void for_each_table(Body&& body) {
    for (const kernels::Kernels* table : kernels::available()) {
        SCOPED_TRACE(table->name);
        const kernels::ScopedKernels scope(*table);
        body();
    }
}

void expect_same_estimate(const Samples& in, TDVPMode mode) {
    const auto fast = estimate_tdvp(in.weights, in.energies, in.derivatives, in.parameters, mode);
    const auto plain = reference::estimate_tdvp(in.weights, in.energies, in.derivatives, in.parameters, mode);
    ASSERT_EQ(fast.has_value(), plain.has_value());
    if (!plain) {
        EXPECT_EQ(fast.error(), plain.error());
        return;
    }
    EXPECT_EQ(fast->mode(), plain->mode());
    EXPECT_EQ(fast->samples(), plain->samples());
    EXPECT_EQ(fast->qgt().parameters(), plain->qgt().parameters());
    EXPECT_TRUE(same_bits(fast->qgt().as_slice(), plain->qgt().as_slice())) << "QGT";
    EXPECT_TRUE(same_bits(fast->rhs(), plain->rhs())) << "rhs";
    EXPECT_TRUE(same_bits(fast->force().real(), plain->force().real())) << "force real";
    EXPECT_TRUE(same_bits(fast->force().imag(), plain->force().imag())) << "force imag";
    EXPECT_TRUE(same_bits(fast->energy_mean().re, plain->energy_mean().re)) << "energy mean re";
    EXPECT_TRUE(same_bits(fast->energy_mean().im, plain->energy_mean().im)) << "energy mean im";
    EXPECT_TRUE(same_bits(fast->energy_variance(), plain->energy_variance())) << "variance";

    const std::span<const double> qgt = fast->qgt().as_slice();
    const std::uint64_t p = in.parameters;
    for (std::uint64_t k = 0; k < p; ++k) {
        for (std::uint64_t l = k + 1; l < p; ++l) {
            ASSERT_EQ(std::bit_cast<std::uint64_t>(qgt[k * p + l]), std::bit_cast<std::uint64_t>(qgt[l * p + k]))
                << "QGT not exactly symmetric at " << k << ", " << l;
        }
    }
}

// Sizes straddle every tile, panel and chunk boundary of the tables (widths 4, 8 and 16, row blocks of
// 4 and 8, chunks of 16 to 256 samples), at magnitudes from tiny to huge.
TEST(TdvpFastEstimate, MatchesPlainLoopsBitForBit) {
    const std::uint64_t parameter_counts[] = {1,  2,  3,  4,  5,  7,  8,  9,  15, 16, 17,
                                              23, 24, 31, 33, 40, 47, 63, 64, 65, 70};
    const std::uint64_t sample_counts[] = {1, 2, 3, 16, 17, 100, 257, 300};
    const double scales[] = {1e-150, 1e-3, 1.0, 1e3, 1e150};
    Numbers numbers(20240611);
    for_each_table([&] {
        for (const std::uint64_t p : parameter_counts) {
            // Large P with many samples costs most; a few sample counts per P keep the suite fast.
            for (int pick = 0; pick < 3; ++pick) {
                const std::uint64_t n = sample_counts[numbers.below(std::size(sample_counts))];
                const double scale = scales[numbers.below(std::size(scales))];
                const TDVPMode mode = pick % 2 == 0 ? TDVPMode::RealTime : TDVPMode::ImaginaryTime;
                SCOPED_TRACE("P=" + std::to_string(p) + " N=" + std::to_string(n) + " scale=" + std::to_string(scale));
                expect_same_estimate(random_samples(numbers, n, p, scale), mode);
            }
        }
    });
}

// Samples drawn from a handful of values give exact cancellations and exactly zero centred
// derivatives, where only the order of the additions decides the signs of zero results.
TEST(TdvpFastEstimate, MatchesPlainLoopsOnDegenerateSamples) {
    Numbers numbers(7);
    const double values[] = {0.0, -0.0, 1.0, -1.0, 0.5};
    for_each_table([&] {
        for (const std::uint64_t p : {1, 6, 19}) {
            for (const std::uint64_t n : {1, 4, 33}) {
                Samples in;
                in.parameters = p;
                for (std::uint64_t s = 0; s < n; ++s) {
                    in.weights.push_back(s % 3 == 1 ? 0.0 : 1.0);
                    in.energies.push_back({values[numbers.below(5)], values[numbers.below(5)]});
                }
                for (std::uint64_t i = 0; i < n * p; ++i) {
                    in.derivatives.push_back({values[numbers.below(5)], values[numbers.below(5)]});
                }
                SCOPED_TRACE("P=" + std::to_string(p) + " N=" + std::to_string(n));
                expect_same_estimate(in, TDVPMode::ImaginaryTime);
            }
        }
    });
}

// Each case fails (or nearly fails) a different check; fast and plain must agree on which.
TEST(TdvpFastEstimate, FailsExactlyAsThePlainLoops) {
    struct Case {
        const char* what;
        std::uint64_t samples;
        std::uint64_t parameters;
        double scale;
        // Applied to fresh random samples before the call.
        void (*edit)(Samples&);
    };
    const Case cases[] = {
        {"infinite derivative", 20, 9, 1.0, [](Samples& s) { s.derivatives[37].re = kInf; }},
        {"NaN derivative", 20, 9, 1.0, [](Samples& s) { s.derivatives[100].im = kNaN; }},
        {"NaN derivative on a zero-weight sample", 20, 9, 1.0,
         [](Samples& s) {
             s.weights[5] = 0.0;
             s.weights[0] = 1.0;
             s.derivatives[5 * 9 + 8].re = kNaN;
         }},
        {"QGT overflows, force does not", 30, 17, 1e200,
         [](Samples& s) {
             for (auto& e : s.energies) e = {0.0, 0.0};
         }},
        {"huge energies overflow the variance", 30, 17, 1.0,
         [](Samples& s) {
             for (auto& e : s.energies) e = {e.re * 1e305, e.im * 1e305};
             s.weights.assign(s.weights.size(), 1.0);
         }},
        {"variance overflows", 12, 3, 1.0, [](Samples& s) { s.energies[2] = {1e160, 0.0}; }},
        {"negative weight", 12, 3, 1.0, [](Samples& s) { s.weights[4] = -0.5; }},
        {"infinite weight", 12, 3, 1.0, [](Samples& s) { s.weights[4] = kInf; }},
        {"NaN local energy", 12, 3, 1.0, [](Samples& s) { s.energies[7].im = kNaN; }},
        {"all weights zero", 12, 3, 1.0, [](Samples& s) { s.weights.assign(s.weights.size(), 0.0); }},
        {"total weight overflows", 12, 3, 1.0, [](Samples& s) { s.weights.assign(s.weights.size(), 1e308); }},
        {"energies one short", 12, 3, 1.0, [](Samples& s) { s.energies.pop_back(); }},
        {"derivatives one short", 12, 3, 1.0, [](Samples& s) { s.derivatives.pop_back(); }},
        {"no parameters", 12, 3, 1.0, [](Samples& s) { s.parameters = 0; }},
        {"no samples", 1, 3, 1.0,
         [](Samples& s) {
             s.weights.clear();
             s.energies.clear();
             s.derivatives.clear();
         }},
    };
    Numbers numbers(99);
    for_each_table([&] {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            Samples in = random_samples(numbers, c.samples, c.parameters, c.scale);
            c.edit(in);
            const auto fast = estimate_tdvp(in.weights, in.energies, in.derivatives, in.parameters, TDVPMode::RealTime);
            const auto plain =
                reference::estimate_tdvp(in.weights, in.energies, in.derivatives, in.parameters, TDVPMode::RealTime);
            ASSERT_FALSE(plain) << "the case must make the plain loops fail";
            ASSERT_FALSE(fast);
            EXPECT_EQ(fast.error(), plain.error()) << to_string(fast.error()) << " vs " << to_string(plain.error());
        }
    });
}

// A symmetric matrix (exactly, or within the constructor's tolerance) with eigenvalues of the chosen
// signs, its elements spread over several binades.
std::vector<double> random_symmetric(Numbers& numbers, std::uint64_t p, bool definite, bool exact,
                                     double zeros = 0.04) {
    std::vector<double> s(p * p);
    for (std::uint64_t i = 0; i < p; ++i) {
        for (std::uint64_t j = i; j < p; ++j) {
            const double value = numbers.next(1.0, zeros) / static_cast<double>(p);
            s[i * p + j] = value;
            s[j * p + i] = value;
        }
        s[i * p + i] = definite ? 4.0 + numbers.unit() : (i % 2 == 0 ? 1.0 : -1.0) * (0.5 + numbers.unit());
    }
    if (!exact) {
        // One element per row, near and far from the diagonal, a few units in the last place off its mirror.
        for (std::uint64_t i = 0; i + 1 < p; ++i) {
            const std::uint64_t j = i + 1 + (i * 37) % (p - 1 - i);
            s[i * p + j] = s[j * p + i] * (1.0 + 0x1p-50);
        }
    }
    return s;
}

void expect_same_solve(const DenseQgt& qgt, std::span<const double> rhs, double lambda, double tolerance,
                       std::uint64_t max_iterations) {
    const auto fast = qgt.solve(rhs, lambda, tolerance, max_iterations);
    const auto plain = reference::solve(qgt, rhs, lambda, tolerance, max_iterations);
    ASSERT_EQ(fast.has_value(), plain.has_value());
    if (!plain) {
        EXPECT_EQ(fast.error(), plain.error()) << to_string(fast.error()) << " vs " << to_string(plain.error());
        return;
    }
    EXPECT_EQ(fast->iterations(), plain->iterations());
    EXPECT_EQ(fast->converged(), plain->converged());
    EXPECT_TRUE(same_bits(fast->residual_norm(), plain->residual_norm())) << "residual norm";
    EXPECT_TRUE(same_bits(fast->direction(), plain->direction())) << "direction";
}

// Mostly-zero matrices and vectors make whole rows of zero products, whose sums keep the sign of the
// -0.0 they start from only if the product starts there too.
TEST(TdvpFastQgt, ProductMatchesPlainRowSums) {
    Numbers numbers(5);
    for_each_table([&] {
        for (std::uint64_t p = 1; p <= 100; p += (p < 40 ? 1 : 7)) {
            for (const double zeros : {0.04, 0.9}) {
                std::vector<double> data = random_symmetric(numbers, p, p % 2 == 0, p % 3 != 0, zeros);
                if (zeros > 0.5) {
                    for (std::uint64_t i = 0; i < p; i += 2) data[i * p + i] = 0.0;
                }
                auto qgt = DenseQgt::create(p, data);
                ASSERT_TRUE(qgt) << p;
                std::vector<double> v(p);
                for (auto& x : v) x = numbers.next(1.0, zeros);
                const auto fast = qgt->matvec(v);
                const auto plain = reference::matvec(*qgt, v);
                ASSERT_TRUE(fast && plain);
                EXPECT_TRUE(same_bits(*fast, *plain)) << "P=" << p << " zeros " << zeros;
            }
        }
    });
}

// The solve's two products are used only from its second iteration, the upper-triangle one only for
// large exactly symmetric matrices; here both are checked directly at every small size, every group,
// panel and tail boundary included.
TEST(TdvpFastQgt, SolveProductsMatchPlainRowSums) {
    Numbers numbers(6);
    for (const kernels::Kernels* table : kernels::available()) {
        SCOPED_TRACE(table->name);
        for (std::uint64_t p = 1; p <= 70; ++p) {
            for (const double zeros : {0.04, 0.9}) {
                std::vector<double> data = random_symmetric(numbers, p, true, true, zeros);
                if (zeros > 0.5) {
                    for (std::uint64_t i = 0; i < p; i += 2) data[i * p + i] = 0.0;
                }
                auto qgt = DenseQgt::create(p, data);
                ASSERT_TRUE(qgt);
                std::vector<double> v(p);
                for (auto& x : v) x = numbers.next(1.0, zeros);
                const auto plain = reference::matvec(*qgt, v);
                ASSERT_TRUE(plain);

                const std::size_t height = table->panel_height;
                const std::size_t stride = (p + height - 1) / height * height;
                std::vector<double> packed(stride * p, 0.0);
                for (std::size_t r = 0; r < p; ++r) {
                    for (std::size_t c = 0; c < p; ++c) {
                        packed[r / height * height * p + c * height + r % height] = data[r * p + c];
                    }
                }
                std::vector<double> out(stride);
                table->packed_matvec(packed.data(), stride, p, v.data(), out.data());
                out.resize(p);
                EXPECT_TRUE(same_bits(out, *plain)) << "packed, P=" << p << " zeros " << zeros;

                if (table->symmetric_matvec != nullptr) {
                    std::vector<double> upper(p);
                    table->symmetric_matvec(data.data(), p, v.data(), upper.data());
                    EXPECT_TRUE(same_bits(upper, *plain)) << "upper triangle, P=" << p << " zeros " << zeros;
                }
            }
        }
    }
}

TEST(TdvpFastQgt, ProductFailsAsThePlainRowSums) {
    const auto qgt = DenseQgt::create(3, {1e300, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0});
    ASSERT_TRUE(qgt);
    const std::vector<std::vector<double>> vectors = {{1.0, 2.0}, {1.0, kNaN, 0.0}, {1e10, 0.0, 0.0}, {kInf, 0.0, 0.0}};
    for_each_table([&] {
        for (const auto& v : vectors) {
            const auto fast = qgt->matvec(v);
            const auto plain = reference::matvec(*qgt, v);
            ASSERT_FALSE(plain);
            ASSERT_FALSE(fast);
            EXPECT_EQ(fast.error(), plain.error());
        }
    });
}

// The element-by-element walk of the constructor, as documented: the first non-finite element, then
// the first pair above the diagonal further apart than the tolerance.
std::optional<TDVPError> plain_verdict(std::uint64_t p, const std::vector<double>& data) {
    double scale = 0.0;
    for (const double value : data) {
        if (!std::isfinite(value)) return TDVPError{tdvp_error::NonFinite{"QGT"}};
        scale = std::max(scale, std::fabs(value));
    }
    const double tolerance = std::max(scale, 2.2250738585072014e-308) * 1e-12;
    for (std::uint64_t r = 0; r < p; ++r) {
        for (std::uint64_t c = r + 1; c < p; ++c) {
            if (std::fabs(data[r * p + c] - data[c * p + r]) > tolerance) {
                return TDVPError{tdvp_error::InvalidParameter{"symmetric QGT"}};
            }
        }
    }
    return std::nullopt;
}

bool bitwise_symmetric(std::uint64_t p, const std::vector<double>& data) {
    for (std::uint64_t r = 0; r < p; ++r) {
        for (std::uint64_t c = r + 1; c < p; ++c) {
            if (std::bit_cast<std::uint64_t>(data[r * p + c]) != std::bit_cast<std::uint64_t>(data[c * p + r])) {
                return false;
            }
        }
    }
    return true;
}

// The constructor surveys the matrix in blocks (vectorised where it can); it must accept and refuse
// exactly what the walk does, with one element changed anywhere, tails and diagonal blocks included.
// The survey's bitwise verdict, which picks the solve's product, is checked alongside.
TEST(TdvpFastQgt, CreateDecidesAsAnElementWalk) {
    struct Change {
        const char* what;
        // The element (r, c), r < c, and its mirror get these values; the diagonal holds 1.
        double upper;
        double lower;
        // When set, a second pair (another r, c) gets 0 above the diagonal and this value below.
        double second_lower = 0.0;
    };
    const double at_tolerance = 1e-12;
    const Change changes[] = {
        {"none", 0.25, 0.25},
        {"signed zeros", 0.0, -0.0},
        {"apart by the tolerance", 0.0, at_tolerance},
        {"apart by just over the tolerance", 0.0, std::nextafter(at_tolerance, 1.0)},
        {"mirror apart by just over the tolerance", std::nextafter(at_tolerance, 1.0), 0.0},
        {"one ulp apart", 0.5, std::nextafter(0.5, 1.0)},
        {"NaN", kNaN, 0.0},
        {"infinite mirror", 0.0, -kInf},
        {"infinite pair", kInf, kInf},
        // The largest magnitude sits below the diagonal and sets a tolerance that just admits the
        // second pair; a scale taken from one triangle only would refuse the matrix.
        {"largest element below the diagonal", 1.0, 1.0 + 0x1p-40, std::nextafter(at_tolerance, 1.0)},
    };
    Numbers numbers(21);
    for (const kernels::Kernels* table : kernels::available()) {
        SCOPED_TRACE(table->name);
        for (const std::uint64_t p : {2, 3, 4, 5, 7, 8, 9, 31, 32, 33, 36, 67}) {
            for (const Change& change : changes) {
                std::vector<double> data = random_symmetric(numbers, p, true, true);
                for (auto& x : data) x = x / 8.0;
                for (std::uint64_t i = 0; i < p; ++i) data[i * p + i] = 1.0;
                const std::uint64_t r = numbers.below(p - 1);
                const std::uint64_t c = r + 1 + numbers.below(p - 1 - r);
                data[r * p + c] = change.upper;
                data[c * p + r] = change.lower;
                if (change.second_lower != 0.0 && p > 2) {
                    const std::uint64_t r2 = r == 0 ? 1 : 0;
                    const std::uint64_t c2 = p - 1 == c ? p - 2 : p - 1;
                    data[r2 * p + c2] = 0.0;
                    data[c2 * p + r2] = change.second_lower;
                }
                SCOPED_TRACE("P=" + std::to_string(p) + " " + change.what + " at " + std::to_string(r) + ", " +
                             std::to_string(c));

                const kernels::SymmetrySurvey survey = table->survey_symmetry(data.data(), p);
                const kernels::ScopedKernels scope(*table);
                const auto qgt = DenseQgt::create(p, data);
                const std::optional<TDVPError> expected = plain_verdict(p, data);
                if (expected) {
                    ASSERT_FALSE(qgt);
                    EXPECT_EQ(qgt.error(), *expected) << to_string(qgt.error());
                } else {
                    ASSERT_TRUE(qgt) << to_string(qgt.error());
                    EXPECT_EQ(survey.exact, bitwise_symmetric(p, data));
                }
            }
        }
    }
}

// Definite and indefinite systems, exactly and approximately symmetric, with iteration limits that
// stop before, at and after convergence, and breakdowns on indefinite ones.
TEST(TdvpFastSolve, MatchesPlainConjugateGradients) {
    Numbers numbers(11);
    for_each_table([&] {
        for (std::uint64_t p = 1; p <= 100; p += (p < 20 ? 1 : 9)) {
            for (int variant = 0; variant < 4; ++variant) {
                const bool definite = variant != 3;
                auto qgt = DenseQgt::create(p, random_symmetric(numbers, p, definite, variant % 2 == 0));
                ASSERT_TRUE(qgt);
                std::vector<double> rhs(p);
                for (auto& x : rhs) x = numbers.next(1.0);
                const std::uint64_t limits[] = {1, 2, 3, p, 2 * p + 5};
                const double lambda = variant == 2 ? 0.0 : 1e-3;
                SCOPED_TRACE("P=" + std::to_string(p) + " variant " + std::to_string(variant));
                for (const std::uint64_t limit : limits) {
                    expect_same_solve(*qgt, rhs, lambda, 1e-12, limit);
                }
                expect_same_solve(*qgt, rhs, lambda, 1e-3, 1000);
            }
        }
    });
}

// Large enough for the upper-triangle product (exactly symmetric) or the packed copy (symmetric only
// within tolerance, everywhere or in one element just off the diagonal), with sizes off every group
// and panel multiple.
TEST(TdvpFastSolve, MatchesPlainConjugateGradientsForLargeMatrices) {
    Numbers numbers(12);
    enum class Symmetry { Exact, Tolerance, OneElementOff };
    for_each_table([&] {
        for (const std::uint64_t p : {520, 531}) {
            for (const Symmetry symmetry : {Symmetry::Exact, Symmetry::Tolerance, Symmetry::OneElementOff}) {
                std::vector<double> data = random_symmetric(numbers, p, true, symmetry != Symmetry::Tolerance);
                if (symmetry == Symmetry::OneElementOff) {
                    data[15 * p + 16] = data[16 * p + 15] * (1.0 + 0x1p-50);
                }
                auto qgt = DenseQgt::create(p, data);
                ASSERT_TRUE(qgt);
                std::vector<double> rhs(p);
                for (auto& x : rhs) x = numbers.next(1.0);
                SCOPED_TRACE("P=" + std::to_string(p) + " symmetry " + std::to_string(static_cast<int>(symmetry)));
                expect_same_solve(*qgt, rhs, 1e-2, 1e-14, 6);
            }
        }
    });
}

TEST(TdvpFastSolve, FailsAndStopsAsThePlainConjugateGradients) {
    struct Case {
        const char* what;
        std::uint64_t parameters;
        std::vector<double> data;
        std::vector<double> rhs;
        double lambda;
        double tolerance;
        std::uint64_t max_iterations;
    };
    const std::vector<double> two_by_two = {2.0, 1.0, 1.0, 3.0};
    const Case cases[] = {
        {"zero right-hand side", 2, two_by_two, {0.0, -0.0}, 0.0, 1e-10, 5},
        {"zero right-hand side of the wrong length", 2, two_by_two, {0.0, 0.0, 0.0}, 0.0, 1e-10, 5},
        {"right-hand side of the wrong length", 2, two_by_two, {1.0, 2.0, 3.0}, 0.0, 1e-10, 5},
        {"negative lambda", 2, two_by_two, {1.0, 2.0}, -1.0, 1e-10, 5},
        {"NaN lambda", 2, two_by_two, {1.0, 2.0}, kNaN, 1e-10, 5},
        {"zero tolerance", 2, two_by_two, {1.0, 2.0}, 0.0, 0.0, 5},
        {"no iterations allowed", 2, two_by_two, {1.0, 2.0}, 0.0, 1e-10, 0},
        {"infinite right-hand side", 2, two_by_two, {kInf, 2.0}, 0.0, 1e-10, 5},
        {"zero matrix breaks down", 2, {0.0, 0.0, 0.0, 0.0}, {1.0, 2.0}, 0.0, 1e-10, 5},
        {"negative curvature breaks down", 2, {-1.0, 0.0, 0.0, 2.0}, {1.0, 0.0}, 0.0, 1e-10, 5},
        {"product overflows", 2, {1e300, 0.0, 0.0, 1e300}, {1e10, 1.0}, 0.0, 1e-10, 5},
        {"shift overflows the curvature", 1, {1.0}, {1e200}, 1e300, 1e-10, 5},
        {"one of two iterations", 2, two_by_two, {1.0, 2.0}, 0.0, 1e-14, 1},
    };
    for_each_table([&] {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            auto qgt = DenseQgt::create(c.parameters, c.data);
            ASSERT_TRUE(qgt);
            expect_same_solve(*qgt, c.rhs, c.lambda, c.tolerance, c.max_iterations);
        }
    });
}

}  // namespace
}  // namespace vendrel::variational
