// TDVP statistics: error texts, the order of the input checks, worked examples, exact QGT symmetry
// and agreement with an independent extended-precision recomputation.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <random>
#include <string>
#include <vector>

#include "variational/tdvp.hpp"

namespace vendrel::variational {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::uint64_t bits(double value) { return std::bit_cast<std::uint64_t>(value); }

std::vector<Complex> real_complex(std::vector<double> values) {
    std::vector<Complex> out;
    for (const double value : values) {
        out.push_back({value, 0.0});
    }
    return out;
}

TEST(TdvpError, RendersEveryVariant) {
    struct Case {
        TDVPError error;
        const char* text;
    };
    const Case cases[] = {
        {tdvp_error::InvalidParameter{"sample weight"}, "invalid TDVP parameter sample weight"},
        {tdvp_error::InvalidParameter{"CG options"}, "invalid TDVP parameter CG options"},
        {tdvp_error::Shape{3, 2}, "TDVP expected length 3, received 2"},
        {tdvp_error::Shape{18446744073709551615ULL, 0}, "TDVP expected length 18446744073709551615, received 0"},
        {tdvp_error::NonFinite{"local energy"}, "non-finite TDVP local energy"},
        {tdvp_error::NonFinite{"derived statistics"}, "non-finite TDVP derived statistics"},
        {tdvp_error::InsufficientSamples{}, "TDVP requires positive sample weight"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(to_string(c.error), c.text);
    }
}

// Each case breaks one or more checks; the first failing check in the documented order must win.
TEST(TdvpEstimate, ChecksInputsInOrder) {
    struct Case {
        const char* what;
        std::vector<double> weights;
        std::vector<Complex> energies;
        std::vector<Complex> derivatives;
        std::uint64_t parameters;
        TDVPError expected;
    };
    const TDVPError insufficient = tdvp_error::InsufficientSamples{};
    const TDVPError weight = tdvp_error::InvalidParameter{"sample weight"};
    const TDVPError energy = tdvp_error::NonFinite{"local energy"};
    const TDVPError derived = tdvp_error::NonFinite{"derived statistics"};
    const std::uint64_t huge = std::uint64_t{1} << 63;
    const std::vector<Case> cases = {
        {"no samples", {}, {}, {}, 1, insufficient},
        {"no samples beats energy shape", {}, real_complex({1.0}), {}, 1, insufficient},
        {"no parameters", {1.0}, real_complex({1.0}), {}, 0, insufficient},
        {"no parameters beats energy shape", {1.0, 1.0}, real_complex({1.0}), {}, 0, insufficient},
        {"energy shape", {1.0, 1.0, 1.0}, real_complex({0.0, 1.0}), real_complex({0, 0, 0}), 1,
         tdvp_error::Shape{3, 2}},
        {"energy shape beats derivative shape", {1.0, 1.0, 1.0}, real_complex({0.0, 1.0}), {}, 1,
         tdvp_error::Shape{3, 2}},
        {"energy shape beats overflow", {1.0, 1.0}, real_complex({0.0}), {}, huge, tdvp_error::Shape{2, 1}},
        {"N times P overflows", {1.0, 1.0}, real_complex({0.0, 0.0}), {}, huge,
         tdvp_error::InvalidParameter{"derivative shape"}},
        {"derivative shape", {1.0, 1.0, 1.0}, real_complex({0.0, 1.0, 2.0}), real_complex({0, 0, 0, 0, 0}), 2,
         tdvp_error::Shape{6, 5}},
        {"derivative shape beats bad weight", {-1.0, 1.0, 1.0}, real_complex({0.0, 1.0, 2.0}),
         real_complex({0, 0, 0, 0, 0, 0, 0}), 2, tdvp_error::Shape{6, 7}},
        {"negative weight", {1.0, -0.5}, real_complex({0.0, 1.0}), real_complex({0, 0}), 1, weight},
        {"NaN weight", {kNaN, 1.0}, real_complex({0.0, 1.0}), real_complex({0, 0}), 1, weight},
        {"infinite weight", {1.0, kInf}, real_complex({0.0, 1.0}), real_complex({0, 0}), 1, weight},
        {"NaN energy", {1.0, 1.0}, {{0.0, 0.0}, {kNaN, 0.0}}, real_complex({0, 0}), 1, energy},
        {"infinite imaginary energy", {1.0, 1.0}, {{0.0, -kInf}, {0.0, 0.0}}, real_complex({0, 0}), 1, energy},
        {"bad energy on a zero-weight sample", {0.0, 1.0}, {{kNaN, 0.0}, {0.0, 0.0}}, real_complex({0, 0}), 1,
         energy},
        {"weight checked before energy of the same sample", {-1.0, 1.0}, {{kNaN, 0.0}, {0.0, 0.0}},
         real_complex({0, 0}), 1, weight},
        {"earlier sample's energy beats later weight", {1.0, -1.0}, {{kNaN, 0.0}, {0.0, 0.0}},
         real_complex({0, 0}), 1, energy},
        {"bad weight beats zero total", {0.0, -0.0, -1.0}, real_complex({0, 0, 0}), real_complex({0, 0, 0}), 1,
         weight},
        {"all weights zero", {0.0, 0.0}, real_complex({0.0, 1.0}), real_complex({0, 0}), 1, insufficient},
        {"total weight overflows", {1e308, 1e308}, real_complex({0.0, 1.0}), real_complex({0, 0}), 1,
         insufficient},
        {"infinite derivative", {1.0, 1.0}, real_complex({0.0, 1.0}), {{0.0, 0.0}, {kInf, 0.0}}, 1, derived},
        {"NaN derivative on a zero-weight sample", {1.0, 0.0}, real_complex({0.0, 1.0}), {{0.0, 0.0}, {0.0, kNaN}},
         1, derived},
        {"QGT overflows", {1.0, 1.0}, real_complex({0.0, 0.0}), real_complex({-1e200, 1e200}), 1, derived},
        {"variance overflows", {1.0, 1.0}, real_complex({-1e200, 1e200}), real_complex({0, 0}), 1, derived},
    };
    for (const Case& c : cases) {
        for (const TDVPMode mode : {TDVPMode::RealTime, TDVPMode::ImaginaryTime}) {
            const auto result = estimate_tdvp(c.weights, c.energies, c.derivatives, c.parameters, mode);
            ASSERT_FALSE(result) << c.what;
            EXPECT_EQ(result.error(), c.expected) << c.what << ": " << to_string(result.error());
        }
    }
}

// An element count P * P that does not fit in 64 bits must be refused before anything is allocated.
// The derivatives span needs 2^32 elements (64 GiB); they are mapped but never touched.
TEST(TdvpEstimate, RefusesQgtDimensionBeyondAddressableElements) {
    const std::uint64_t parameters = std::uint64_t{1} << 32;
    const std::size_t bytes = parameters * sizeof(Complex);
    void* memory = mmap(nullptr, bytes, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (memory == MAP_FAILED) {
        GTEST_SKIP() << "cannot reserve 64 GiB of address space";
    }
    const std::span<const Complex> derivatives(static_cast<const Complex*>(memory), parameters);
    const double weights[] = {1.0};
    const Complex energies[] = {{0.0, 0.0}};
    const auto result = estimate_tdvp(weights, energies, derivatives, parameters, TDVPMode::RealTime);
    munmap(memory, bytes);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), TDVPError{tdvp_error::InvalidParameter{"QGT dimension"}});
}

TEST(TdvpEstimate, TwoEqualSamplesWorkedExample) {
    const double weights[] = {1.0, 1.0};
    const auto energies = real_complex({0.0, 2.0});
    const auto derivatives = real_complex({0.0, 1.0});
    for (const TDVPMode mode : {TDVPMode::RealTime, TDVPMode::ImaginaryTime}) {
        const auto stats = estimate_tdvp(weights, energies, derivatives, 1, mode);
        ASSERT_TRUE(stats) << to_string(stats.error());
        EXPECT_EQ(stats->mode(), mode);
        EXPECT_EQ(stats->energy_mean(), (Complex{1.0, 0.0}));
        EXPECT_EQ(stats->energy_variance(), 1.0);
        EXPECT_EQ(stats->samples(), 2u);
        ASSERT_EQ(stats->qgt().parameters(), 1u);
        EXPECT_EQ(stats->qgt().as_slice()[0], 0.25);
        ASSERT_EQ(stats->force().real().size(), 1u);
        EXPECT_EQ(stats->force().real()[0], 0.5);
        EXPECT_EQ(stats->force().imag()[0], 0.0);
        ASSERT_EQ(stats->rhs().size(), 1u);
        EXPECT_EQ(stats->rhs()[0], mode == TDVPMode::RealTime ? 0.0 : -0.5);
    }
}

TEST(TdvpEstimate, ImaginaryDerivativeGivesImaginaryForce) {
    const double weights[] = {1.0, 1.0};
    const auto energies = real_complex({0.0, 2.0});
    const Complex derivatives[] = {{0.0, 0.0}, {0.0, 1.0}};
    const auto stats = estimate_tdvp(weights, energies, derivatives, 1, TDVPMode::RealTime);
    ASSERT_TRUE(stats);
    EXPECT_EQ(stats->force().real()[0], 0.0);
    EXPECT_EQ(stats->force().imag()[0], -0.5);
    EXPECT_EQ(stats->rhs()[0], -0.5);
    EXPECT_EQ(stats->qgt().as_slice()[0], 0.25);

    const auto imaginary = estimate_tdvp(weights, energies, derivatives, 1, TDVPMode::ImaginaryTime);
    ASSERT_TRUE(imaginary);
    // The negated zero real part: the right-hand side is -0.0, not +0.0.
    EXPECT_EQ(bits(imaginary->rhs()[0]), bits(-0.0));
}

TEST(TdvpEstimate, SingleSampleHasNoFluctuations) {
    const double weights[] = {1.0};
    const Complex energies[] = {{-3.5, 0.25}};
    const Complex derivatives[] = {{1.0, 2.0}, {-0.5, 3.0}, {7.0, 0.0}};
    const auto stats = estimate_tdvp(weights, energies, derivatives, 3, TDVPMode::ImaginaryTime);
    ASSERT_TRUE(stats);
    EXPECT_EQ(stats->energy_mean(), (Complex{-3.5, 0.25}));
    EXPECT_EQ(stats->energy_variance(), 0.0);
    ASSERT_EQ(stats->qgt().as_slice().size(), 9u);
    for (const double element : stats->qgt().as_slice()) {
        EXPECT_EQ(element, 0.0);
    }
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(stats->force().real()[k], 0.0);
        EXPECT_EQ(stats->force().imag()[k], 0.0);
        EXPECT_EQ(stats->rhs()[k], 0.0);
    }
}

TEST(TdvpEstimate, WeightsAreNormalisedAndScaleFree) {
    // Weights 1 and 3 are 0.25 and 0.75 of the total.
    const double weights[] = {1.0, 3.0};
    const auto energies = real_complex({4.0, 8.0});
    const Complex derivatives[] = {{1.0, -1.0}, {0.5, 2.0}, {-2.0, 0.0}, {3.0, 1.5}};
    const auto base = estimate_tdvp(weights, energies, derivatives, 2, TDVPMode::RealTime);
    ASSERT_TRUE(base);
    EXPECT_EQ(base->energy_mean(), (Complex{7.0, 0.0}));
    EXPECT_EQ(base->energy_variance(), 0.25 * 9.0 + 0.75 * 1.0);
    EXPECT_EQ(base->samples(), 2u);

    for (const double factor : {1e-300, 1e-3, 7.0, 1e300}) {
        const double scaled[] = {weights[0] * factor, weights[1] * factor};
        const auto other = estimate_tdvp(scaled, energies, derivatives, 2, TDVPMode::RealTime);
        ASSERT_TRUE(other) << factor;
        EXPECT_NEAR(other->energy_mean().re, base->energy_mean().re, 1e-14) << factor;
        EXPECT_NEAR(other->energy_variance(), base->energy_variance(), 1e-14) << factor;
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_NEAR(other->qgt().as_slice()[i], base->qgt().as_slice()[i], 1e-14) << factor;
        }
        for (std::size_t k = 0; k < 2; ++k) {
            EXPECT_NEAR(other->force().real()[k], base->force().real()[k], 1e-14) << factor;
            EXPECT_NEAR(other->force().imag()[k], base->force().imag()[k], 1e-14) << factor;
            EXPECT_NEAR(other->rhs()[k], base->rhs()[k], 1e-14) << factor;
        }
    }
}

TEST(TdvpEstimate, ZeroWeightSampleIsCountedButContributesNothing) {
    const double weights[] = {2.0, 0.0, 1.0};
    const Complex energies[] = {{1.0, 0.5}, {100.0, -40.0}, {-2.0, 0.0}};
    const Complex derivatives[] = {{1.0, 0.0}, {0.0, 1.0}, {9.0, 9.0}, {-9.0, 3.0}, {0.5, -0.5}, {2.0, 0.0}};
    const double kept_weights[] = {2.0, 1.0};
    const Complex kept_energies[] = {energies[0], energies[2]};
    const Complex kept_derivatives[] = {derivatives[0], derivatives[1], derivatives[4], derivatives[5]};
    const auto with = estimate_tdvp(weights, energies, derivatives, 2, TDVPMode::ImaginaryTime);
    const auto without = estimate_tdvp(kept_weights, kept_energies, kept_derivatives, 2, TDVPMode::ImaginaryTime);
    ASSERT_TRUE(with);
    ASSERT_TRUE(without);
    EXPECT_EQ(with->samples(), 3u);
    EXPECT_EQ(without->samples(), 2u);
    EXPECT_EQ(bits(with->energy_variance()), bits(without->energy_variance()));
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(bits(with->qgt().as_slice()[i]), bits(without->qgt().as_slice()[i]));
    }
    for (std::size_t k = 0; k < 2; ++k) {
        EXPECT_EQ(bits(with->rhs()[k]), bits(without->rhs()[k]));
        EXPECT_EQ(bits(with->force().imag()[k]), bits(without->force().imag()[k]));
    }
}

struct Samples {
    std::vector<double> weights;
    std::vector<Complex> energies;
    std::vector<Complex> derivatives;
    std::uint64_t parameters;
};

// The QGT exactly as the defining loop writes it: every (k, l), both triangles, sample by sample.
std::vector<double> literal_qgt(const Samples& in) {
    const std::size_t n = in.weights.size();
    const std::size_t p = in.parameters;
    double total = 0.0;
    for (const double w : in.weights) {
        total = total + w;
    }
    std::vector<double> probability(n);
    for (std::size_t s = 0; s < n; ++s) {
        probability[s] = in.weights[s] / total;
    }
    std::vector<Complex> mean(p);
    for (std::size_t s = 0; s < n; ++s) {
        for (std::size_t k = 0; k < p; ++k) {
            const Complex o = in.derivatives[s * p + k];
            mean[k] = mean[k] + Complex{o.re * probability[s], o.im * probability[s]};
        }
    }
    std::vector<double> qgt(p * p, 0.0);
    for (std::size_t s = 0; s < n; ++s) {
        for (std::size_t k = 0; k < p; ++k) {
            const Complex dk = in.derivatives[s * p + k] - mean[k];
            for (std::size_t l = 0; l < p; ++l) {
                const Complex dl = in.derivatives[s * p + l] - mean[l];
                qgt[k * p + l] = qgt[k * p + l] + probability[s] * (conj(dk) * dl).re;
            }
        }
    }
    return qgt;
}

TEST(TdvpEstimate, QgtIsExactlySymmetricForExtremeMagnitudes) {
    std::mt19937_64 rng(20240611);
    std::uniform_int_distribution<int> exponent_pick(0, 5);
    std::uniform_int_distribution<int> count(1, 9);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const double exponents[] = {1e150, 1e-150, 1.0, 1e75, 1e-300, 0.0};
    const auto extreme = [&] { return unit(rng) * exponents[exponent_pick(rng)]; };
    for (int trial = 0; trial < 400; ++trial) {
        Samples in;
        const std::size_t n = count(rng);
        in.parameters = count(rng);
        for (std::size_t s = 0; s < n; ++s) {
            in.weights.push_back(trial % 3 == 0 && s == 0 && n > 1 ? 0.0 : std::fabs(unit(rng)) + 1e-3);
            in.energies.push_back({unit(rng), unit(rng)});
            for (std::uint64_t k = 0; k < in.parameters; ++k) {
                in.derivatives.push_back({extreme(), extreme()});
            }
        }
        const auto stats = estimate_tdvp(in.weights, in.energies, in.derivatives, in.parameters, TDVPMode::RealTime);
        ASSERT_TRUE(stats) << trial << ": " << to_string(stats.error());
        const auto qgt = stats->qgt().as_slice();
        const std::size_t p = in.parameters;
        const std::vector<double> reference = literal_qgt(in);
        for (std::size_t k = 0; k < p; ++k) {
            for (std::size_t l = 0; l < p; ++l) {
                ASSERT_EQ(bits(qgt[k * p + l]), bits(qgt[l * p + k])) << trial << " (" << k << ", " << l << ")";
                ASSERT_EQ(bits(qgt[k * p + l]), bits(reference[k * p + l])) << trial << " (" << k << ", " << l << ")";
            }
        }
        // The matrix is accepted by the validating constructor as it stands.
        EXPECT_TRUE(DenseQgt::create(p, std::vector<double>(qgt.begin(), qgt.end())));
    }
}

TEST(TdvpEstimate, MatchesExtendedPrecisionRecomputation) {
    std::mt19937_64 rng(77);
    std::uniform_int_distribution<int> count(1, 12);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int trial = 0; trial < 100; ++trial) {
        const std::size_t n = count(rng);
        const std::size_t p = count(rng);
        std::vector<double> weights;
        std::vector<Complex> energies;
        std::vector<Complex> derivatives;
        for (std::size_t s = 0; s < n; ++s) {
            weights.push_back(std::fabs(unit(rng)) * 10.0 + (s == 0 ? 0.5 : 0.0));
            energies.push_back({5.0 * unit(rng), unit(rng)});
            for (std::size_t k = 0; k < p; ++k) {
                derivatives.push_back({unit(rng), 2.0 * unit(rng)});
            }
        }
        const TDVPMode mode = trial % 2 == 0 ? TDVPMode::RealTime : TDVPMode::ImaginaryTime;
        const auto stats = estimate_tdvp(weights, energies, derivatives, p, mode);
        ASSERT_TRUE(stats) << trial;

        // Reference: long double throughout, real and imaginary parts kept separately, loops reordered
        // (parameter-major instead of sample-major).
        using LD = long double;
        LD total = 0;
        for (const double w : weights) total += w;
        LD mean_re = 0, mean_im = 0;
        for (std::size_t s = 0; s < n; ++s) {
            mean_re += weights[s] * LD(energies[s].re) / total;
            mean_im += weights[s] * LD(energies[s].im) / total;
        }
        LD variance = 0;
        for (std::size_t s = 0; s < n; ++s) {
            const LD er = energies[s].re - mean_re, ei = energies[s].im - mean_im;
            variance += weights[s] / total * (er * er + ei * ei);
        }
        std::vector<LD> o_re(p, 0), o_im(p, 0);
        for (std::size_t k = 0; k < p; ++k) {
            for (std::size_t s = 0; s < n; ++s) {
                o_re[k] += weights[s] * LD(derivatives[s * p + k].re) / total;
                o_im[k] += weights[s] * LD(derivatives[s * p + k].im) / total;
            }
        }
        const double tolerance = 1e-12;
        EXPECT_NEAR(stats->energy_mean().re, double(mean_re), tolerance);
        EXPECT_NEAR(stats->energy_mean().im, double(mean_im), tolerance);
        EXPECT_NEAR(stats->energy_variance(), double(variance), tolerance);
        for (std::size_t k = 0; k < p; ++k) {
            LD f_re = 0, f_im = 0;
            for (std::size_t s = 0; s < n; ++s) {
                const LD ar = derivatives[s * p + k].re - o_re[k], ai = derivatives[s * p + k].im - o_im[k];
                const LD er = energies[s].re - mean_re, ei = energies[s].im - mean_im;
                // (ar - i ai)(er + i ei)
                f_re += weights[s] / total * (ar * er + ai * ei);
                f_im += weights[s] / total * (ar * ei - ai * er);
            }
            EXPECT_NEAR(stats->force().real()[k], double(f_re), tolerance);
            EXPECT_NEAR(stats->force().imag()[k], double(f_im), tolerance);
            EXPECT_NEAR(stats->rhs()[k], double(mode == TDVPMode::RealTime ? f_im : -f_re), tolerance);
            for (std::size_t l = 0; l < p; ++l) {
                LD value = 0;
                for (std::size_t s = 0; s < n; ++s) {
                    const LD ar = derivatives[s * p + k].re - o_re[k], ai = derivatives[s * p + k].im - o_im[k];
                    const LD br = derivatives[s * p + l].re - o_re[l], bi = derivatives[s * p + l].im - o_im[l];
                    value += weights[s] / total * (ar * br + ai * bi);
                }
                EXPECT_NEAR(stats->qgt().as_slice()[k * p + l], double(value), tolerance) << k << " " << l;
            }
        }
    }
}

// The estimated system is solvable as it stands: (S + lambda I) x reproduces the right-hand side.
TEST(TdvpEstimate, EstimatedSystemSolves) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const std::size_t n = 40, p = 5;
    std::vector<double> weights(n);
    std::vector<Complex> energies(n), derivatives(n * p);
    for (std::size_t s = 0; s < n; ++s) {
        weights[s] = std::fabs(unit(rng)) + 0.1;
        energies[s] = {unit(rng), unit(rng)};
        for (std::size_t k = 0; k < p; ++k) derivatives[s * p + k] = {unit(rng), unit(rng)};
    }
    const auto stats = estimate_tdvp(weights, energies, derivatives, p, TDVPMode::ImaginaryTime);
    ASSERT_TRUE(stats);
    const double lambda = 1e-3;
    const auto solved = stats->qgt().solve(stats->rhs(), lambda, 1e-12, 100);
    ASSERT_TRUE(solved);
    EXPECT_TRUE(solved->converged());
    const auto product = stats->qgt().matvec(solved->direction());
    ASSERT_TRUE(product);
    for (std::size_t k = 0; k < p; ++k) {
        EXPECT_NEAR((*product)[k] + lambda * solved->direction()[k], stats->rhs()[k], 1e-10);
    }
}

}  // namespace
}  // namespace vendrel::variational
