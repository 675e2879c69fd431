// Inner loops of the TDVP estimate, the QGT products and the symmetry check: portable and x86 builds.
//
// Every routine performs, for each output element, exactly the additions and multiplications of the
// plain loops, in the same order; vectors only run across independent elements (different QGT entries,
// different product rows), never across the terms of one sum. Only separate multiplies and adds are
// written, no build targets "fma", and -ffp-contract=off forbids the compiler to fuse them where the
// instruction set could (AVX-512), so each lane rounds exactly as the scalar code does.
#include "variational/tdvp_kernels.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VENDREL_TDVP_X86 1
#else
#define VENDREL_TDVP_X86 0
#endif

namespace vendrel::variational::kernels {

namespace {

using Vec2 = double __attribute__((vector_size(16)));
using Vec4 = double __attribute__((vector_size(32)));
using Vec8 = double __attribute__((vector_size(64)));

// Vectors travel by reference only: these helpers are always inlined, and no vector crosses a call.
template <class Vec>
[[gnu::always_inline]] inline void load(Vec& value, const double* source) {
    std::memcpy(&value, source, sizeof(Vec));
}

template <class Vec>
[[gnu::always_inline]] inline void store(double* target, const Vec& value) {
    std::memcpy(target, &value, sizeof(Vec));
}

// One R by (V vectors) tile of the QGT, its accumulators held in registers over the whole chunk.
// Scalars meet vectors by broadcast, which is exact, so each lane computes q + p * (a_k a_l + b_k b_l).
template <class Vec, int R, int V>
[[gnu::always_inline]] inline void qgt_tile(double* qgt, std::size_t stride, const double* re, const double* im,
                                            const double* probabilities, std::size_t count, std::size_t k0,
                                            std::size_t l0) {
    constexpr std::size_t kLanes = sizeof(Vec) / sizeof(double);
    Vec acc[R][V];
#pragma GCC unroll 16
    for (int r = 0; r < R; ++r) {
#pragma GCC unroll 16
        for (int v = 0; v < V; ++v) {
            load(acc[r][v], qgt + (k0 + r) * stride + l0 + v * kLanes);
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        const double* re_row = re + i * stride;
        const double* im_row = im + i * stride;
        const double probability = probabilities[i];
        Vec re_l[V];
        Vec im_l[V];
#pragma GCC unroll 16
        for (int v = 0; v < V; ++v) {
            load(re_l[v], re_row + l0 + v * kLanes);
            load(im_l[v], im_row + l0 + v * kLanes);
        }
#pragma GCC unroll 16
        for (int r = 0; r < R; ++r) {
            const double re_k = re_row[k0 + r];
            const double im_k = im_row[k0 + r];
#pragma GCC unroll 16
            for (int v = 0; v < V; ++v) {
                acc[r][v] = acc[r][v] + probability * (re_k * re_l[v] + im_k * im_l[v]);
            }
        }
    }
#pragma GCC unroll 16
    for (int r = 0; r < R; ++r) {
#pragma GCC unroll 16
        for (int v = 0; v < V; ++v) {
            store<Vec>(qgt + (k0 + r) * stride + l0 + v * kLanes, acc[r][v]);
        }
    }
}

// Tiles of R rows by V vectors cover every (k, l) with k < parameters and l >= k; the tile on the
// diagonal also computes a few (k, l) with l < k, which nobody reads.
template <class Vec, int R, int V>
[[gnu::always_inline]] inline void qgt_chunk_impl(double* qgt, std::size_t stride, std::size_t parameters,
                                                  const double* re, const double* im, const double* probabilities,
                                                  std::size_t count) {
    constexpr std::size_t kWidth = sizeof(Vec) / sizeof(double) * V;
    static_assert(kWidth % R == 0, "row blocks must not straddle a column tile");
    for (std::size_t k0 = 0; k0 < parameters; k0 += R) {
        for (std::size_t l0 = k0 / kWidth * kWidth; l0 < stride; l0 += kWidth) {
            qgt_tile<Vec, R, V>(qgt, stride, re, im, probabilities, count, k0, l0);
        }
    }
}

[[gnu::always_inline]] inline void centre_sample_impl(const Complex* __restrict row, const Complex* __restrict means,
                                                      std::size_t parameters, Complex delta_energy,
                                                      double probability, double* __restrict centred_re,
                                                      double* __restrict centred_im, double* __restrict force_real,
                                                      double* __restrict force_imag) {
    for (std::size_t k = 0; k < parameters; ++k) {
        const Complex delta = row[k] - means[k];
        centred_re[k] = delta.re;
        centred_im[k] = delta.im;
        const Complex term = conj(delta) * delta_energy;
        force_real[k] = force_real[k] + term.re * probability;
        force_imag[k] = force_imag[k] + term.im * probability;
    }
}

[[gnu::always_inline]] inline void add_weighted_row_impl(const Complex* __restrict row, double probability,
                                                         std::size_t parameters, Complex* __restrict means) {
    for (std::size_t k = 0; k < parameters; ++k) {
        means[k] += Complex{row[k].re * probability, row[k].im * probability};
    }
}

// Every product sum starts from -0.0, as the plain row loop's does.
constexpr double kNegativeZeros[8] = {-0.0, -0.0, -0.0, -0.0, -0.0, -0.0, -0.0, -0.0};

// The packed matrix is stored as panels of kPanel rows of S: panel b holds, column after column,
// S(b * kPanel + j, c) for j < kPanel, so one panel is read front to back. J vector accumulators per
// panel are independent chains, enough to hide the latency of the additions.

template <class Vec, int J>
[[gnu::always_inline]] inline void packed_matvec_impl(const double* packed, std::size_t stride,
                                                     std::size_t parameters, const double* vector, double* out) {
    constexpr std::size_t kLanes = sizeof(Vec) / sizeof(double);
    constexpr std::size_t kPanel = kLanes * J;
    static_assert(kLanes <= std::size(kNegativeZeros));
    for (std::size_t r0 = 0; r0 < stride; r0 += kPanel) {
        const double* panel = packed + r0 * parameters;
        Vec acc[J];
#pragma GCC unroll 16
        for (int j = 0; j < J; ++j) {
            load(acc[j], kNegativeZeros);
        }
        for (std::size_t c = 0; c < parameters; ++c) {
            const double x = vector[c];
            const double* column = panel + c * kPanel;
#pragma GCC unroll 16
            for (int j = 0; j < J; ++j) {
                Vec elements;
                load(elements, column + j * kLanes);
                acc[j] = acc[j] + elements * x;
            }
        }
#pragma GCC unroll 16
        for (int j = 0; j < J; ++j) {
            store<Vec>(out + r0 + j * kLanes, acc[j]);
        }
    }
}

// Four rows at a time, each its own chain over the columns in order.
void row_matvec_portable(const double* matrix, std::size_t parameters, const double* vector, double* out) {
    std::size_t row = 0;
    for (; row + 4 <= parameters; row += 4) {
        const double* m0 = matrix + row * parameters;
        const double* m1 = m0 + parameters;
        const double* m2 = m1 + parameters;
        const double* m3 = m2 + parameters;
        double s0 = -0.0;
        double s1 = -0.0;
        double s2 = -0.0;
        double s3 = -0.0;
        for (std::size_t c = 0; c < parameters; ++c) {
            s0 = s0 + m0[c] * vector[c];
            s1 = s1 + m1[c] * vector[c];
            s2 = s2 + m2[c] * vector[c];
            s3 = s3 + m3[c] * vector[c];
        }
        out[row] = s0;
        out[row + 1] = s1;
        out[row + 2] = s2;
        out[row + 3] = s3;
    }
    for (; row < parameters; ++row) {
        const double* m = matrix + row * parameters;
        double sum = -0.0;
        for (std::size_t c = 0; c < parameters; ++c) {
            sum = sum + m[c] * vector[c];
        }
        out[row] = sum;
    }
}

// Side of the square blocks in which the symmetry survey pairs elements with their mirrors, so that
// the column walks stay in cache.
constexpr std::size_t kSurveyBlock = 32;

// Adds the pairs (r, c) and (c, r) with r <= c, r in [row_first, row_end), c in [column_first,
// column_end), to a survey.
inline void survey_pairs(const double* matrix, std::size_t parameters, std::size_t row_first, std::size_t row_end,
                         std::size_t column_first, std::size_t column_end, SymmetrySurvey& survey) {
    constexpr double kLargest = std::numeric_limits<double>::max();
    for (std::size_t row = row_first; row < row_end; ++row) {
        for (std::size_t column = std::max(column_first, row); column < column_end; ++column) {
            const double upper = matrix[row * parameters + column];
            const double lower = matrix[column * parameters + row];
            const double upper_magnitude = std::fabs(upper);
            const double lower_magnitude = std::fabs(lower);
            const double asymmetry = std::fabs(upper - lower);
            survey.finite = survey.finite & (upper_magnitude <= kLargest) & (lower_magnitude <= kLargest);
            survey.scale = std::max({survey.scale, upper_magnitude, lower_magnitude});
            survey.largest_asymmetry = std::max(survey.largest_asymmetry, asymmetry);
            survey.exact =
                survey.exact & (std::bit_cast<std::uint64_t>(upper) == std::bit_cast<std::uint64_t>(lower));
        }
    }
}

SymmetrySurvey survey_symmetry_portable(const double* matrix, std::size_t parameters) {
    SymmetrySurvey survey{true, 0.0, 0.0, true};
    for (std::size_t row = 0; row < parameters; row += kSurveyBlock) {
        for (std::size_t column = row; column < parameters; column += kSurveyBlock) {
            survey_pairs(matrix, parameters, row, std::min(row + kSurveyBlock, parameters), column,
                         std::min(column + kSurveyBlock, parameters), survey);
        }
    }
    return survey;
}

// Portable: two-lane vectors (SSE2 on x86-64), 4 by 2 x 2 tiles.
constexpr int kPortableRows = 4;
constexpr int kPortableVectors = 2;
constexpr int kPortablePanelVectors = 8;

void qgt_chunk_portable(double* qgt, std::size_t stride, std::size_t parameters, const double* re, const double* im,
                        const double* probabilities, std::size_t count) {
    qgt_chunk_impl<Vec2, kPortableRows, kPortableVectors>(qgt, stride, parameters, re, im, probabilities, count);
}
void centre_sample_portable(const Complex* row, const Complex* means, std::size_t parameters, Complex delta_energy,
                            double probability, double* centred_re, double* centred_im, double* force_real,
                            double* force_imag) {
    centre_sample_impl(row, means, parameters, delta_energy, probability, centred_re, centred_im, force_real,
                       force_imag);
}
void add_weighted_row_portable(const Complex* row, double probability, std::size_t parameters, Complex* means) {
    add_weighted_row_impl(row, probability, parameters, means);
}
void packed_matvec_portable(const double* packed, std::size_t stride, std::size_t parameters, const double* vector,
                            double* out) {
    packed_matvec_impl<Vec2, kPortablePanelVectors>(packed, stride, parameters, vector, out);
}

#if VENDREL_TDVP_X86
// AVX2: four-lane vectors, 4 by 2 x 4 tiles (8 accumulators of the 16 registers).
constexpr int kAvx2Rows = 4;
constexpr int kAvx2Vectors = 2;
constexpr int kAvx2PanelVectors = 8;

[[gnu::target("avx2")]] void qgt_chunk_avx2(double* qgt, std::size_t stride, std::size_t parameters,
                                            const double* re, const double* im, const double* probabilities,
                                            std::size_t count) {
    qgt_chunk_impl<Vec4, kAvx2Rows, kAvx2Vectors>(qgt, stride, parameters, re, im, probabilities, count);
}
[[gnu::target("avx2")]] void centre_sample_avx2(const Complex* row, const Complex* means, std::size_t parameters,
                                                Complex delta_energy, double probability, double* centred_re,
                                                double* centred_im, double* force_real, double* force_imag) {
    centre_sample_impl(row, means, parameters, delta_energy, probability, centred_re, centred_im, force_real,
                       force_imag);
}
[[gnu::target("avx2")]] void add_weighted_row_avx2(const Complex* row, double probability, std::size_t parameters,
                                                   Complex* means) {
    add_weighted_row_impl(row, probability, parameters, means);
}
[[gnu::target("avx2")]] void packed_matvec_avx2(const double* packed, std::size_t stride, std::size_t parameters,
                                                const double* vector, double* out) {
    packed_matvec_impl<Vec4, kAvx2PanelVectors>(packed, stride, parameters, vector, out);
}

// Four rows by four columns at a time: two 128-bit halves of rows 0 and 2 (1 and 3) share a register,
// lanes multiply by the matching vector elements, and one unpack per column pair yields the column
// (S(r0, c) v_c, ..., S(r3, c) v_c) that the four row chains add in column order.
[[gnu::target("avx2")]] inline __m256d pair_rows(const double* upper, const double* lower) {
    return _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(upper)), _mm_loadu_pd(lower), 1);
}

template <int B>
[[gnu::target("avx2")]] [[gnu::always_inline]] inline void row_block_avx2(const double* matrix, std::size_t parameters,
                                                                          const double* vector, double* out,
                                                                          std::size_t row) {
    const std::size_t whole = parameters / 4 * 4;
    // One pointer per block of four rows; the block's other rows sit one, two and three row lengths on.
    const std::size_t one = parameters;
    const std::size_t two = 2 * parameters;
    const std::size_t three = 3 * parameters;
    __m256d acc[B];
    const double* blocks[B];
#pragma GCC unroll 8
    for (int b = 0; b < B; ++b) {
        acc[b] = _mm256_set1_pd(-0.0);
        blocks[b] = matrix + (row + 4 * b) * parameters;
    }
    for (std::size_t c = 0; c < whole; c += 4) {
        const __m256d v_low = _mm256_broadcast_pd(reinterpret_cast<const __m128d*>(vector + c));
        const __m256d v_high = _mm256_broadcast_pd(reinterpret_cast<const __m128d*>(vector + c + 2));
#pragma GCC unroll 8
        for (int b = 0; b < B; ++b) {
            const double* const r = blocks[b] + c;
            const __m256d even_low = _mm256_mul_pd(pair_rows(r, r + two), v_low);
            const __m256d odd_low = _mm256_mul_pd(pair_rows(r + one, r + three), v_low);
            const __m256d even_high = _mm256_mul_pd(pair_rows(r + 2, r + two + 2), v_high);
            const __m256d odd_high = _mm256_mul_pd(pair_rows(r + one + 2, r + three + 2), v_high);
            acc[b] = _mm256_add_pd(acc[b], _mm256_unpacklo_pd(even_low, odd_low));
            acc[b] = _mm256_add_pd(acc[b], _mm256_unpackhi_pd(even_low, odd_low));
            acc[b] = _mm256_add_pd(acc[b], _mm256_unpacklo_pd(even_high, odd_high));
            acc[b] = _mm256_add_pd(acc[b], _mm256_unpackhi_pd(even_high, odd_high));
        }
    }
    for (std::size_t c = whole; c < parameters; ++c) {
        const __m256d x = _mm256_set1_pd(vector[c]);
#pragma GCC unroll 8
        for (int b = 0; b < B; ++b) {
            const double* const r = blocks[b] + c;
            const __m256d column = _mm256_set_pd(r[three], r[two], r[one], r[0]);
            acc[b] = _mm256_add_pd(acc[b], _mm256_mul_pd(column, x));
        }
    }
#pragma GCC unroll 8
    for (int b = 0; b < B; ++b) {
        _mm256_storeu_pd(out + row + 4 * b, acc[b]);
    }
}

[[gnu::target("avx2")]] void row_matvec_avx2(const double* matrix, std::size_t parameters, const double* vector,
                                             double* out) {
    std::size_t row = 0;
    for (; row + 16 <= parameters; row += 16) {
        row_block_avx2<4>(matrix, parameters, vector, out, row);
    }
    for (; row + 4 <= parameters; row += 4) {
        row_block_avx2<1>(matrix, parameters, vector, out, row);
    }
    for (; row < parameters; ++row) {
        const double* m = matrix + row * parameters;
        double sum = -0.0;
        for (std::size_t c = 0; c < parameters; ++c) {
            sum = sum + m[c] * vector[c];
        }
        out[row] = sum;
    }
}

// An exactly symmetric S needs only its upper triangle: element (r, c) right of the diagonal block
// serves both row r (term c, as stored) and row c (term r, standing in for its bitwise-equal mirror).
// Groups of rows are swept in order, so every row's sum still meets its columns in order: first the
// mirrored terms of all earlier groups (added row by row as those groups went by), then the columns of
// its own group, read as stored, then the columns to the right. The lower triangle outside the
// diagonal blocks is never read, which halves the memory traffic of a product too big for the caches.
template <int B>
[[gnu::target("avx2")]] [[gnu::always_inline]] inline void symmetric_matvec_impl(const double* matrix,
                                                                                 std::size_t parameters,
                                                                                 const double* vector, double* out) {
    constexpr std::size_t kGroup = 4 * B;
    std::fill(out, out + parameters, -0.0);
    for (std::size_t first = 0; first < parameters; first += kGroup) {
        const std::size_t end = std::min(first + kGroup, parameters);
        for (std::size_t row = first; row < end; ++row) {
            const double* m = matrix + row * parameters;
            double sum = out[row];
            for (std::size_t c = first; c < end; ++c) {
                sum = sum + m[c] * vector[c];
            }
            out[row] = sum;
        }
        if (end == parameters) {
            break;
        }
        __m256d acc[B];
#pragma GCC unroll 8
        for (int b = 0; b < B; ++b) {
            acc[b] = _mm256_loadu_pd(out + first + 4 * b);
        }
        // One pointer per block of four rows walks right; the block's other rows are addressed as
        // offsets of one, two and three row lengths, which keeps the addresses in registers.
        const std::size_t one = parameters;
        const std::size_t two = 2 * parameters;
        const std::size_t three = 3 * parameters;
        const double* block_rows[B];
        for (int b = 0; b < B; ++b) {
            block_rows[b] = matrix + (first + 4 * b) * parameters + end;
        }
        const double* const v_rows = vector + first;
        std::size_t c = end;
        for (; c + 4 <= parameters; c += 4) {
            const __m256d v_columns = _mm256_loadu_pd(vector + c);
            __m256d mirrored = _mm256_loadu_pd(out + c);
#pragma GCC unroll 8
            for (int b = 0; b < B; ++b) {
                const double* const rows = block_rows[b];
                const __m256d elements[4] = {_mm256_loadu_pd(rows), _mm256_loadu_pd(rows + one),
                                             _mm256_loadu_pd(rows + two), _mm256_loadu_pd(rows + three)};
                block_rows[b] = rows + 4;
                __m256d products[4];
#pragma GCC unroll 4
                for (int j = 0; j < 4; ++j) {
                    mirrored =
                        _mm256_add_pd(mirrored, _mm256_mul_pd(elements[j], _mm256_broadcast_sd(v_rows + 4 * b + j)));
                    products[j] = _mm256_mul_pd(elements[j], v_columns);
                }
                // Transpose the four rows of products into four columns (rows in lanes).
                const __m256d low_01 = _mm256_unpacklo_pd(products[0], products[1]);
                const __m256d high_01 = _mm256_unpackhi_pd(products[0], products[1]);
                const __m256d low_23 = _mm256_unpacklo_pd(products[2], products[3]);
                const __m256d high_23 = _mm256_unpackhi_pd(products[2], products[3]);
                acc[b] = _mm256_add_pd(acc[b], _mm256_permute2f128_pd(low_01, low_23, 0x20));
                acc[b] = _mm256_add_pd(acc[b], _mm256_permute2f128_pd(high_01, high_23, 0x20));
                acc[b] = _mm256_add_pd(acc[b], _mm256_permute2f128_pd(low_01, low_23, 0x31));
                acc[b] = _mm256_add_pd(acc[b], _mm256_permute2f128_pd(high_01, high_23, 0x31));
            }
            _mm256_storeu_pd(out + c, mirrored);
        }
#pragma GCC unroll 8
        for (int b = 0; b < B; ++b) {
            _mm256_storeu_pd(out + first + 4 * b, acc[b]);
        }
        for (std::size_t column = c; column < parameters; ++column) {
            double mirrored = out[column];
            for (std::size_t row = first; row < end; ++row) {
                mirrored = mirrored + matrix[row * parameters + column] * vector[row];
            }
            out[column] = mirrored;
        }
        for (std::size_t row = first; row < end; ++row) {
            const double* m = matrix + row * parameters;
            double sum = out[row];
            for (std::size_t column = c; column < parameters; ++column) {
                sum = sum + m[column] * vector[column];
            }
            out[row] = sum;
        }
    }
}


// Groups of four rows with sixteen registers, of eight with the thirty-two that AVX-512 gives even
// to four-lane code: measured fastest, close to the memory bandwidth for matrices beyond the caches.
[[gnu::target("avx2")]] void symmetric_matvec_avx2(const double* matrix, std::size_t parameters, const double* vector,
                                                   double* out) {
    symmetric_matvec_impl<1>(matrix, parameters, vector, out);
}

[[gnu::target("avx512f,avx512vl")]] void symmetric_matvec_avx512(const double* matrix, std::size_t parameters,
                                                                 const double* vector, double* out) {
    symmetric_matvec_impl<2>(matrix, parameters, vector, out);
}

// Four by four blocks: rows r..r+3 of the upper block against the transposed block at (c, r), so
// each comparison pairs S(r, c) with S(c, r); blocks on the diagonal meet themselves, harmlessly.
// Columns past the last multiple of four are surveyed one pair at a time.
[[gnu::target("avx2")]] SymmetrySurvey survey_symmetry_avx2(const double* matrix, std::size_t parameters) {
    const std::size_t whole = parameters / 4 * 4;
    const __m256d sign = _mm256_set1_pd(-0.0);
    const __m256d largest = _mm256_set1_pd(std::numeric_limits<double>::max());
    __m256d finite = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
    __m256i exact = _mm256_set1_epi64x(-1);
    __m256d scale = _mm256_setzero_pd();
    __m256d asymmetry = _mm256_setzero_pd();
    for (std::size_t row_block = 0; row_block < whole; row_block += kSurveyBlock) {
        const std::size_t row_end = std::min(row_block + kSurveyBlock, whole);
        for (std::size_t column_block = row_block; column_block < whole; column_block += kSurveyBlock) {
            const std::size_t column_end = std::min(column_block + kSurveyBlock, whole);
            for (std::size_t row = row_block; row < row_end; row += 4) {
                for (std::size_t column = std::max(column_block, row); column < column_end; column += 4) {
                    __m256d upper[4];
                    __m256d lower[4];
#pragma GCC unroll 4
                    for (int k = 0; k < 4; ++k) {
                        upper[k] = _mm256_loadu_pd(matrix + (row + k) * parameters + column);
                        lower[k] = _mm256_loadu_pd(matrix + (column + k) * parameters + row);
                    }
                    const __m256d low_01 = _mm256_unpacklo_pd(lower[0], lower[1]);
                    const __m256d high_01 = _mm256_unpackhi_pd(lower[0], lower[1]);
                    const __m256d low_23 = _mm256_unpacklo_pd(lower[2], lower[3]);
                    const __m256d high_23 = _mm256_unpackhi_pd(lower[2], lower[3]);
                    const __m256d mirror[4] = {
                        _mm256_permute2f128_pd(low_01, low_23, 0x20), _mm256_permute2f128_pd(high_01, high_23, 0x20),
                        _mm256_permute2f128_pd(low_01, low_23, 0x31), _mm256_permute2f128_pd(high_01, high_23, 0x31)};
#pragma GCC unroll 4
                    for (int k = 0; k < 4; ++k) {
                        const __m256d magnitude = _mm256_andnot_pd(sign, upper[k]);
                        finite = _mm256_and_pd(finite, _mm256_cmp_pd(magnitude, largest, _CMP_LE_OQ));
                        scale = _mm256_max_pd(scale, magnitude);
                        const __m256d difference = _mm256_andnot_pd(sign, _mm256_sub_pd(upper[k], mirror[k]));
                        asymmetry = _mm256_max_pd(asymmetry, difference);
                        exact = _mm256_and_si256(exact, _mm256_cmpeq_epi64(_mm256_castpd_si256(upper[k]),
                                                                           _mm256_castpd_si256(mirror[k])));
                        const __m256d mirror_magnitude = _mm256_andnot_pd(sign, mirror[k]);
                        finite = _mm256_and_pd(finite, _mm256_cmp_pd(mirror_magnitude, largest, _CMP_LE_OQ));
                        scale = _mm256_max_pd(scale, mirror_magnitude);
                    }
                }
            }
        }
    }
    double scale_lanes[4];
    double asymmetry_lanes[4];
    _mm256_storeu_pd(scale_lanes, scale);
    _mm256_storeu_pd(asymmetry_lanes, asymmetry);
    SymmetrySurvey survey{_mm256_movemask_pd(finite) == 0xF, 0.0, 0.0,
                          _mm256_movemask_pd(_mm256_castsi256_pd(exact)) == 0xF};
    for (int lane = 0; lane < 4; ++lane) {
        survey.scale = std::max(survey.scale, scale_lanes[lane]);
        survey.largest_asymmetry = std::max(survey.largest_asymmetry, asymmetry_lanes[lane]);
    }
    // Pairs (r, c), r <= c, with c in the last partial group of four.
    survey_pairs(matrix, parameters, 0, parameters, whole, parameters, survey);
    return survey;
}

// AVX-512: eight-lane vectors and 32 registers, 8 by 2 x 8 tiles. Only plain multiplies and adds are
// written and contraction is off, so the fused forms this instruction set also offers never appear.
constexpr int kAvx512Rows = 8;
constexpr int kAvx512Vectors = 2;
constexpr int kAvx512PanelVectors = 8;

[[gnu::target("avx512f")]] void qgt_chunk_avx512(double* qgt, std::size_t stride, std::size_t parameters,
                                                 const double* re, const double* im, const double* probabilities,
                                                 std::size_t count) {
    qgt_chunk_impl<Vec8, kAvx512Rows, kAvx512Vectors>(qgt, stride, parameters, re, im, probabilities, count);
}
[[gnu::target("avx512f")]] void centre_sample_avx512(const Complex* row, const Complex* means,
                                                     std::size_t parameters, Complex delta_energy,
                                                     double probability, double* centred_re, double* centred_im,
                                                     double* force_real, double* force_imag) {
    centre_sample_impl(row, means, parameters, delta_energy, probability, centred_re, centred_im, force_real,
                       force_imag);
}
[[gnu::target("avx512f")]] void add_weighted_row_avx512(const Complex* row, double probability,
                                                        std::size_t parameters, Complex* means) {
    add_weighted_row_impl(row, probability, parameters, means);
}
[[gnu::target("avx512f")]] void packed_matvec_avx512(const double* packed, std::size_t stride,
                                                     std::size_t parameters, const double* vector, double* out) {
    packed_matvec_impl<Vec8, kAvx512PanelVectors>(packed, stride, parameters, vector, out);
}
#endif

constexpr Kernels kPortable{
    .qgt_width = 2 * kPortableVectors,
    .qgt_chunk = qgt_chunk_portable,
    .centre_sample = centre_sample_portable,
    .add_weighted_row = add_weighted_row_portable,
    .panel_height = 2 * kPortablePanelVectors,
    .packed_matvec = packed_matvec_portable,
    .row_matvec = row_matvec_portable,
    .symmetric_matvec = nullptr,
    .survey_symmetry = survey_symmetry_portable,
    .name = "portable",
};

#if VENDREL_TDVP_X86
constexpr Kernels kAvx2{
    .qgt_width = 4 * kAvx2Vectors,
    .qgt_chunk = qgt_chunk_avx2,
    .centre_sample = centre_sample_avx2,
    .add_weighted_row = add_weighted_row_avx2,
    .panel_height = 4 * kAvx2PanelVectors,
    .packed_matvec = packed_matvec_avx2,
    .row_matvec = row_matvec_avx2,
    .symmetric_matvec = symmetric_matvec_avx2,
    .survey_symmetry = survey_symmetry_avx2,
    .name = "avx2",
};

constexpr Kernels kAvx512{
    .qgt_width = 8 * kAvx512Vectors,
    .qgt_chunk = qgt_chunk_avx512,
    .centre_sample = centre_sample_avx512,
    .add_weighted_row = add_weighted_row_avx512,
    .panel_height = 8 * kAvx512PanelVectors,
    .packed_matvec = packed_matvec_avx512,
    .row_matvec = row_matvec_avx2,
    .symmetric_matvec = symmetric_matvec_avx512,
    .survey_symmetry = survey_symmetry_avx2,
    .name = "avx512",
};
#endif

// Every table this processor runs, portable first, the preferred one last.
std::vector<const Kernels*> supported() {
    std::vector<const Kernels*> tables{&kPortable};
#if VENDREL_TDVP_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) {
        tables.push_back(&kAvx2);
    }
    // The operating system must save the wide registers as well; the check covers that.
    if (__builtin_cpu_supports("avx512f")) {
        tables.push_back(&kAvx512);
    }
#endif
    return tables;
}

const std::vector<const Kernels*>& supported_tables() {
    static const std::vector<const Kernels*> tables = supported();
    return tables;
}

std::atomic<const Kernels*> chosen_override{nullptr};

}  // namespace

const Kernels& best() {
    if (const Kernels* forced = chosen_override.load(std::memory_order_relaxed)) {
        return *forced;
    }
    static const Kernels& preferred = *supported_tables().back();
    return preferred;
}

const Kernels& portable() { return kPortable; }

std::span<const Kernels* const> available() { return supported_tables(); }

ScopedKernels::ScopedKernels(const Kernels& kernels)
    : previous_(chosen_override.exchange(&kernels, std::memory_order_relaxed)) {}

ScopedKernels::~ScopedKernels() { chosen_override.store(previous_, std::memory_order_relaxed); }

}  // namespace vendrel::variational::kernels
