// The fast Jacobi solver against the step-by-step reference: same bits, same errors, on every kind of input.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/models.hpp"
#include "exact/dense_matrix.hpp"
#include "exact/eigensolver.hpp"
#include "exact/eigensolver_kernels.hpp"
#include "exact/eigensolver_reference.hpp"
#include "exact/exact_basis.hpp"

namespace vendrel::exact {
namespace {

// Equal bits; a zero may carry either sign (the real solver builds its vectors' zero parts directly).
bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) || (a == 0.0 && b == 0.0);
}

// Same error, or same values, vectors and residuals bit for bit.
void expect_same_as_reference(const DenseMatrix& m, const std::string& name) {
    SCOPED_TRACE(name);
    const auto reference = reference::diagonalize_hermitian(m);
    const auto fast = diagonalize_hermitian(m);
    ASSERT_EQ(fast.has_value(), reference.has_value()) << (reference ? to_string(fast.error()) : to_string(reference.error()));
    if (!reference) {
        // The alternative and its text (a NaN inside an error compares unequal to itself).
        EXPECT_EQ(fast.error().index(), reference.error().index());
        EXPECT_EQ(to_string(fast.error()), to_string(reference.error()));
        return;
    }
    ASSERT_EQ(fast->values.size(), reference->values.size());
    ASSERT_EQ(fast->vectors.size(), reference->vectors.size());
    ASSERT_EQ(fast->residuals.size(), reference->residuals.size());
    for (std::size_t i = 0; i < reference->values.size(); ++i) {
        // Values and residuals never differ, not even in the sign of a zero.
        EXPECT_EQ(std::bit_cast<std::uint64_t>(fast->values[i]), std::bit_cast<std::uint64_t>(reference->values[i]))
            << "value " << i << ": " << fast->values[i] << " vs " << reference->values[i];
        EXPECT_EQ(std::bit_cast<std::uint64_t>(fast->residuals[i]),
                  std::bit_cast<std::uint64_t>(reference->residuals[i]))
            << "residual " << i;
        ASSERT_EQ(fast->vectors[i].size(), reference->vectors[i].size());
        for (std::size_t k = 0; k < reference->vectors[i].size(); ++k) {
            const Complex f = fast->vectors[i][k], r = reference->vectors[i][k];
            ASSERT_TRUE(same_bits(f.re, r.re) && same_bits(f.im, r.im))
                << "vector " << i << " position " << k << ": (" << f.re << ", " << f.im << ") vs (" << r.re << ", "
                << r.im << ")";
        }
    }
}

DenseMatrix matrix(std::uint64_t n, std::vector<Complex> data) {
    auto result = DenseMatrix::from_data(n, std::move(data));
    EXPECT_TRUE(result);
    return *std::move(result);
}

DenseMatrix real_matrix(std::uint64_t n, const std::vector<double>& entries) {
    std::vector<Complex> data;
    for (double x : entries) data.push_back(Complex{x, 0.0});
    return matrix(n, std::move(data));
}

std::vector<Complex> random_hermitian(std::uint64_t n, bool real, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<Complex> data(n * n);
    for (std::uint64_t r = 0; r < n; ++r) {
        data[r * n + r] = Complex{uniform(rng), 0.0};
        for (std::uint64_t c = r + 1; c < n; ++c) {
            data[r * n + c] = Complex{uniform(rng), real ? 0.0 : uniform(rng)};
            data[c * n + r] = conj(data[r * n + c]);
        }
    }
    return data;
}

// The TFIM of `sites` spins expanded over the full basis: couplings on the chain or on every pair.
DenseMatrix tfim(std::uint32_t sites, const std::vector<double>& couplings, const std::vector<double>& fields,
                 bool all_pairs, core::SimulationBasis basis) {
    std::vector<core::InteractionTerm> terms;
    std::size_t next = 0;
    for (std::uint32_t a = 0; a < sites; ++a) {
        for (std::uint32_t b = a + 1; b < sites; ++b) {
            if (!all_pairs && b != a + 1) continue;
            auto bond = core::Bond::create(core::SiteId::create(a), core::SiteId::create(b));
            terms.push_back({*bond, core::InteractionChannel::ising_zz(), couplings[next++ % couplings.size()]});
        }
    }
    const auto count = *core::SiteCount::create(sites);
    auto table = core::InteractionTable::create(count, std::move(terms));
    EXPECT_TRUE(table);
    auto model = core::tfim(*table, fields, basis);
    EXPECT_TRUE(model);
    auto dense = DenseMatrix::from_hamiltonian(model->hamiltonian(), *ExactBasis::full(count));
    EXPECT_TRUE(dense);
    return *std::move(dense);
}

TEST(EigensolverFast, RandomMatricesMatchTheReference) {
    std::mt19937_64 rng(424242);
    for (std::uint64_t n = 1; n <= 24; ++n) {
        for (int repeat = 0; repeat < 2; ++repeat) {
            expect_same_as_reference(matrix(n, random_hermitian(n, true, rng)), "real n=" + std::to_string(n));
            if (n <= 16) {
                expect_same_as_reference(matrix(n, random_hermitian(n, false, rng)), "complex n=" + std::to_string(n));
            }
        }
    }
}

TEST(EigensolverFast, TfimMatricesMatchTheReference) {
    std::mt19937_64 rng(77);
    std::normal_distribution<double> normal;
    for (std::uint32_t sites = 1; sites <= 6; ++sites) {
        for (int repeat = 0; repeat < 2; ++repeat) {
            std::vector<double> couplings(sites * sites), fields(sites);
            for (double& j : couplings) j = normal(rng);
            for (double& h : fields) h = normal(rng);
            const std::string name = std::to_string(sites) + " sites, draw " + std::to_string(repeat);
            expect_same_as_reference(tfim(sites, couplings, fields, true, core::SimulationBasis::Z), name + ", all pairs");
            expect_same_as_reference(tfim(sites, couplings, fields, false, core::SimulationBasis::X), name + ", chain, x");
        }
    }
}

TEST(EigensolverFast, DegenerateAndTiedMatricesMatchTheReference) {
    std::vector<std::pair<std::string, DenseMatrix>> cases;
    for (std::uint64_t n : {1, 2, 5, 8}) {
        std::vector<double> identity(n * n, 0.0), zero(n * n, 0.0), ones(n * n, 1.0), repeats(n * n, 0.0);
        for (std::uint64_t k = 0; k < n; ++k) {
            identity[k * n + k] = 1.0;
            repeats[k * n + k] = static_cast<double>(k % 2) - 0.5;
        }
        std::string size(" ");
        size += std::to_string(n);
        cases.emplace_back("identity" + size, real_matrix(n, identity));
        cases.emplace_back("zero" + size, real_matrix(n, zero));
        cases.emplace_back("all ones: every off-diagonal magnitude ties" + size, real_matrix(n, ones));
        cases.emplace_back("diagonal with repeats" + size, real_matrix(n, repeats));
    }
    {
        // Equal off-diagonal magnitudes of both signs, and two identical blocks.
        const std::vector<double> ties{0, 1, -1, 1, 1, 0, 1, -1, -1, 1, 0, 1, 1, -1, 1, 0};
        cases.emplace_back("signed ties", real_matrix(4, ties));
        std::vector<double> blocks(36, 0.0);
        const double block[9] = {2, 1, 0, 1, 2, 1, 0, 1, 2};
        for (int b = 0; b < 2; ++b) {
            for (int r = 0; r < 3; ++r) {
                for (int c = 0; c < 3; ++c) blocks[(3 * b + r) * 6 + 3 * b + c] = block[r * 3 + c];
            }
        }
        cases.emplace_back("two identical blocks", real_matrix(6, blocks));
    }
    cases.emplace_back("doubled Pauli Y (complex degenerate)",
                       matrix(4, {{0, 0}, {0, -1}, {0, 0}, {0, 0}, {0, 1}, {0, 0}, {0, 0}, {0, 0},
                                  {0, 0}, {0, 0}, {0, 0}, {0, -1}, {0, 0}, {0, 0}, {0, 1}, {0, 0}}));
    // Imaginary parts written as -0.0 still make a real matrix.
    cases.emplace_back("negative zero imaginary parts", matrix(2, {{1, -0.0}, {2, -0.0}, {2, 0.0}, {-1, 0.0}}));
    // Entries beyond the real solver's bound go the general way.
    cases.emplace_back("huge entries", real_matrix(2, {1e200, 3e199, 3e199, -2e200}));
    for (std::uint32_t sites = 2; sites <= 6; ++sites) {
        const std::vector<double> uniform_fields(sites, 0.7), zero_fields(sites, 0.0);
        std::string size(" ");
        size += std::to_string(sites);
        cases.emplace_back("uniform chain" + size,
                           tfim(sites, {1.0}, uniform_fields, false, core::SimulationBasis::Z));
        cases.emplace_back("uniform all pairs" + size,
                           tfim(sites, {1.0}, uniform_fields, true, core::SimulationBasis::X));
        cases.emplace_back("zero field" + size, tfim(sites, {1.0, -0.5}, zero_fields, true, core::SimulationBasis::Z));
        cases.emplace_back("zero couplings" + size, tfim(sites, {0.0}, uniform_fields, false, core::SimulationBasis::Z));
    }
    // Small integer entries: many rows share their maximum magnitude, which keeps the pivot search's
    // tie rules and its bounds for rows whose maximum shrank busy through the first rotations.
    std::mt19937_64 rng(31);
    for (std::uint64_t n : {6, 10, 17, 24}) {
        for (int draw = 0; draw < 3; ++draw) {
            std::vector<double> entries(n * n);
            for (std::uint64_t r = 0; r < n; ++r) {
                for (std::uint64_t c = r; c < n; ++c) {
                    entries[r * n + c] = entries[c * n + r] = static_cast<double>(static_cast<int>(rng() % 5) - 2);
                }
            }
            cases.emplace_back("integer ties " + std::to_string(n) + ", draw " + std::to_string(draw),
                               real_matrix(n, entries));
        }
    }
    for (const auto& [name, m] : cases) expect_same_as_reference(m, name);
}

TEST(EigensolverFast, FailuresMatchTheReference) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        std::string name;
        DenseMatrix m;
        std::string text;
    };
    const Case cases[] = {
        {"dimension 0", matrix(0, {}), "exact dimension overflowed"},
        {"not Hermitian", matrix(2, {{0, 0}, {1, 0}, {1 + 1e-9, 0}, {0, 0}}),
         "matrix entry (0,1)=Complex { re: -1.000000082740371e-9, im: 0.0 } violates Hermiticity"},
        {"complex diagonal", matrix(2, {{0, 0}, {0, 0}, {0, 0}, {1, 1e-10}}),
         "matrix entry (1,1)=Complex { re: 0.0, im: 2e-10 } violates Hermiticity"},
        {"NaN entry", matrix(2, {{0, 0}, {nan, 0}, {nan, 0}, {0, 0}}),
         "matrix entry (0,1)=Complex { re: NaN, im: 0.0 } violates Hermiticity"},
        {"infinite entries", matrix(1, {{INFINITY, 0}}),
         "matrix entry (0,0)=Complex { re: NaN, im: 0.0 } violates Hermiticity"},
        // Rounding of entries near 1e4 keeps an off-diagonal magnitude above 1e-13 for good: the budget of
        // 100 (2n)^2 rotations runs out, on the general path and, for the same rotations written as a real
        // 4 by 4 matrix, on the real one (whose budget counts the rotations of both copies).
        {"budget exhausted, complex", matrix(2, {{0.3e4, 0}, {0.7e4, 0.2e4}, {0.7e4, -0.2e4}, {-1.1e4, 0}}),
         "Hermitian eigensolver did not converge in 1600 iterations"},
        {"budget exhausted, real",
         real_matrix(4, {3e3, 7e3, 0, -2e3, 7e3, -1.1e4, 2e3, 0, 0, 2e3, 3e3, 7e3, -2e3, 0, 7e3, -1.1e4}),
         "Hermitian eigensolver did not converge in 6400 iterations"},
        // The residuals of entries near 1e12 are far above 1e-8: the count is the rotations made.
        {"residual too large, real", real_matrix(2, {1e12, 3e12, 3e12, -2e12}),
         "Hermitian eigensolver did not converge in 2 iterations"},
        {"residual too large, real 3 by 3", real_matrix(3, {1e10, 4e9, -3e9, 4e9, -2e10, 7e9, -3e9, 7e9, 5e9}),
         "Hermitian eigensolver did not converge in 20 iterations"},
        {"residual too large, complex", matrix(2, {{1e12, 0}, {3e12, 1e12}, {3e12, -1e12}, {-2e12, 0}}), ""},
    };
    for (const Case& c : cases) {
        expect_same_as_reference(c.m, c.name);
        const auto fast = diagonalize_hermitian(c.m);
        ASSERT_FALSE(fast) << c.name;
        if (!c.text.empty()) {
            EXPECT_EQ(to_string(fast.error()), c.text) << c.name;
        }
    }
}

TEST(EigensolverFast, BaselineKernelsGiveTheSameBits) {
    // The AVX2 build of the inner loops is used where the processor has it; the baseline build must
    // agree with it (and with the reference) to the bit.
    const bool had_avx2 = kernels::avx2_enabled();
    ASSERT_FALSE(kernels::set_avx2_enabled(false));
    std::mt19937_64 rng(99);
    for (std::uint64_t n : {3, 9, 17, 30}) {
        expect_same_as_reference(matrix(n, random_hermitian(n, true, rng)), "baseline real n=" + std::to_string(n));
        expect_same_as_reference(matrix(n, random_hermitian(n, false, rng)), "baseline complex n=" + std::to_string(n));
    }
    expect_same_as_reference(tfim(5, {0.9, -1.3, 0.4}, {0.3, 1.1, -0.7, 0.2, 0.8}, true, core::SimulationBasis::Z),
                             "baseline tfim");
    EXPECT_EQ(kernels::set_avx2_enabled(had_avx2), had_avx2);
}

TEST(EigensolverFast, MagnitudeScansKeepTheFirstMaximumAndSkipNaN) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        std::string name;
        std::vector<double> values;
        double magnitude;
        std::size_t index;
    };
    std::vector<Case> cases = {
        {"empty", {}, 0.0, 0},
        {"all zero", {0.0, -0.0, 0.0}, 0.0, 3},
        {"NaN never wins", {nan, 0.5, nan, -0.25}, 0.5, 1},
        {"only NaN", {nan, nan}, 0.0, 2},
        {"negative wins by magnitude", {0.1, -3.0, 2.0}, 3.0, 1},
        {"infinity", {1.0, -INFINITY, INFINITY}, INFINITY, 1},
    };
    // Long rows exercise the vector loops and their tails: a tie late in the row loses to an early one.
    for (std::size_t length : {6, 8, 10, 13, 31, 64, 67}) {
        std::vector<double> values(length, 0.25);
        values[length / 3] = -7.0;
        values[length - 1] = 7.0;
        values[length / 2] = nan;
        cases.push_back({"tie in " + std::to_string(length), values, 7.0, length / 3});
    }
    // The maximum only in the last place: the overlapping last block and the odd last record.
    for (std::size_t length : {9, 31, 62, 63, 64, 65}) {
        std::vector<double> values(length, -0.5);
        values[length - 1] = -2.0;
        cases.push_back({"last of " + std::to_string(length), values, 2.0, length - 1});
    }
    for (const bool avx2 : {false, true}) {
        if (avx2 && !kernels::set_avx2_enabled(true)) continue;
        if (!avx2) (void)kernels::set_avx2_enabled(false);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name + (avx2 ? " (AVX2)" : " (baseline)"));
            const auto plain = kernels::largest_magnitude(c.values.data(), c.values.size());
            EXPECT_EQ(plain.magnitude, c.magnitude);
            EXPECT_EQ(plain.index, c.magnitude > 0.0 ? c.index : c.values.size());
            // The same entries as records, each followed by a mirror that must never count.
            std::vector<double> records;
            for (double x : c.values) {
                records.push_back(x);
                records.push_back(1e300);
            }
            const auto entries = kernels::largest_in_records(records.data(), c.values.size());
            EXPECT_EQ(entries.magnitude, plain.magnitude);
            EXPECT_EQ(entries.index, plain.index);
            // The identity rotation keeps the entries of x (1 x - 0 y is x to the bit) and reports them
            // alike; y becomes 0 x + 1 y, zero where x is finite and NaN where it is not: no maximum.
            std::vector<double> zeros(records.size(), 0.0);
            const auto rotated = kernels::rotate_records(records.data(), zeros.data(), c.values.size(), 1.0, 0.0);
            EXPECT_EQ(rotated.x.magnitude, plain.magnitude);
            EXPECT_EQ(rotated.x.index, plain.index);
            EXPECT_EQ(rotated.y.magnitude, 0.0);
            EXPECT_EQ(rotated.y.index, c.values.size());
        }
    }
    (void)kernels::set_avx2_enabled(true);
}

// The real solver's premise, checked on the written steps: on the embedding of a real matrix the
// rotations fall on one diagonal block or the other, block B replays block A's rotations in the same
// order, and both blocks end identical with twice the rotations of A alone.
TEST(EigensolverFast, RealEmbeddingRotatesTwoIdenticalBlocks) {
    std::mt19937_64 rng(5);
    std::vector<std::pair<std::string, DenseMatrix>> cases;
    for (std::uint64_t n : {2, 5, 9}) cases.emplace_back("random " + std::to_string(n), matrix(n, random_hermitian(n, true, rng)));
    cases.emplace_back("tfim 4", tfim(4, {1.0, -0.6}, {0.5, 0.8, 1.2, 0.3}, true, core::SimulationBasis::Z));
    cases.emplace_back("ties", real_matrix(3, {0, 1, 1, 1, 0, 1, 1, 1, 0}));
    for (const auto& [name, m] : cases) {
        SCOPED_TRACE(name);
        const std::uint64_t n = m.dimension(), rn = 2 * n;
        std::vector<double> a(rn * rn, 0.0), vectors(rn * rn, 0.0), block(n * n), block_vectors(n * n, 0.0);
        for (std::uint64_t r = 0; r < n; ++r) {
            for (std::uint64_t c = 0; c < n; ++c) {
                const Complex x = *m.get(r, c);
                a[r * rn + c] = a[(r + n) * rn + c + n] = block[r * n + c] = x.re;
                a[r * rn + c + n] = -x.im;
                a[(r + n) * rn + c] = x.im;
            }
        }
        for (std::uint64_t k = 0; k < rn; ++k) vectors[k * rn + k] = 1.0;
        for (std::uint64_t k = 0; k < n; ++k) block_vectors[k * n + k] = 1.0;

        std::vector<std::pair<std::uint64_t, std::uint64_t>> on_a, on_b;
        for (int guard = 0; guard < 100000; ++guard) {
            const Pivot pivot = max_off_diagonal(a, rn);
            if (pivot.magnitude < 1e-13) break;
            ASSERT_EQ(pivot.p < n, pivot.q < n) << "a rotation across the blocks";
            (pivot.p < n ? on_a : on_b).emplace_back(pivot.p % n, pivot.q % n);
            jacobi_rotate(a, vectors, rn, pivot.p, pivot.q);
        }
        std::vector<std::pair<std::uint64_t, std::uint64_t>> alone;
        for (int guard = 0; guard < 100000; ++guard) {
            const Pivot pivot = max_off_diagonal(block, n);
            if (pivot.magnitude < 1e-13) break;
            alone.emplace_back(pivot.p, pivot.q);
            jacobi_rotate(block, block_vectors, n, pivot.p, pivot.q);
        }
        EXPECT_EQ(on_a, alone);
        EXPECT_EQ(on_b, alone);
        for (std::uint64_t r = 0; r < n; ++r) {
            for (std::uint64_t c = 0; c < n; ++c) {
                ASSERT_EQ(std::bit_cast<std::uint64_t>(a[r * rn + c]), std::bit_cast<std::uint64_t>(block[r * n + c]));
                ASSERT_EQ(std::bit_cast<std::uint64_t>(a[(r + n) * rn + c + n]),
                          std::bit_cast<std::uint64_t>(block[r * n + c]));
                ASSERT_EQ(a[r * rn + c + n], 0.0);
                ASSERT_EQ(a[(r + n) * rn + c], 0.0);
                // Column c of A's vectors sits in column c (top half) and column c + n (bottom half); the
                // other halves are exact (positive) zeros.
                const double v = block_vectors[c * n + r];
                ASSERT_EQ(std::bit_cast<std::uint64_t>(vectors[c * rn + r]), std::bit_cast<std::uint64_t>(v));
                ASSERT_EQ(std::bit_cast<std::uint64_t>(vectors[(c + n) * rn + r + n]), std::bit_cast<std::uint64_t>(v));
                ASSERT_EQ(std::bit_cast<std::uint64_t>(vectors[c * rn + r + n]), 0u);
                ASSERT_EQ(std::bit_cast<std::uint64_t>(vectors[(c + n) * rn + r]), 0u);
            }
        }
    }
}

}  // namespace
}  // namespace vendrel::exact
