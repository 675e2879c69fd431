// Inner loops of the Jacobi eigensolver: rotation angle, plane rotations, magnitude scans and the
// many-vector Gram-Schmidt and residual products, each with a plain and an AVX2 build chosen at run time.
#pragma once

#include <cstddef>

namespace vendrel::exact::kernels {

/// Whether the AVX2 builds run. They are used when the processor has AVX2; set_avx2_enabled(false)
/// forces the baseline builds (for tests that compare the two), true restores AVX2 where the
/// processor has it. Returns what is now in force.
[[nodiscard]] bool avx2_enabled();
bool set_avx2_enabled(bool enabled);

/// cos and sin of phi = 0.5 * atan2(2 apq, aqq - app), the angle that zeroes a(p, q). Kept out of
/// line so that every caller gets the very same instructions (and so the same bits) for the angle.
struct PlaneRotation {
    double c;
    double s;
};
[[nodiscard]] PlaneRotation plane_rotation(double app, double aqq, double apq);

/// For k < length, with old values x[k] and y[k]: x[k] = c x - s y, y[k] = s x + c y.
/// `x` and `y` must not overlap.
void rotate_pair(double* x, double* y, std::size_t length, double c, double s);

/// The largest |values[k]| and the first k holding it, as a scan with a strict comparison from 0.0 finds
/// them: NaN never wins, and when nothing beats 0.0 the result is (0.0, `length`).
struct LargestMagnitude {
    double magnitude;
    std::size_t index;
};
[[nodiscard]] LargestMagnitude largest_magnitude(const double* values, std::size_t length);

/// Records are pairs (entry, mirror) of doubles, record k at records[2k .. 2k + 2).
/// largest_magnitude over the entries of `count` records, mirrors ignored; the index is a record's.
[[nodiscard]] LargestMagnitude largest_in_records(const double* records, std::size_t count);

/// rotate_pair on `count` records of `x` and `y` (entries and mirrors alike), returning for each the
/// largest entry magnitude after the rotation and the first record holding it, as largest_in_records
/// would find them.
struct RowMaxima {
    LargestMagnitude x;
    LargestMagnitude y;
};
[[nodiscard]] RowMaxima rotate_records(double* x, double* y, std::size_t count, double c, double s);

/// Lanes are interleaved: element k of lane b is lanes[k * lane_count + b]; `lane_count` is a
/// multiple of kLaneBlock.
inline constexpr std::size_t kLaneBlock = 16;

/// One modified Gram-Schmidt step on every lane: s_b = sum over k, in index order from 0.0, of
/// v[k] * lane_b[k]; then lane_b[k] = lane_b[k] - v[k] * s_b.
void project_out(const double* v, double* lanes, std::size_t length, std::size_t lane_count);

/// For every lane b (vector y_b = lanes[. * lane_count + b], value values[b]): with applied_r the
/// sum over c, in column order from 0.0, of h[r * length + c] * y_b[c], accumulates
/// (applied_r - y_b[r] * values[b])^2 over r in order from 0.0 into sums[b]. `h` is row-major
/// length by length.
void residual_sums(const double* h, const double* lanes, const double* values, std::size_t length,
                   std::size_t lane_count, double* sums);

}  // namespace vendrel::exact::kernels
