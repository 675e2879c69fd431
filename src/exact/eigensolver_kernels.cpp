// Inner loops of the Jacobi eigensolver, written once and built twice: for the baseline instruction set
// and for AVX2, picked at run time. Every lane does exactly the scalar arithmetic, in the scalar order,
// with separate multiplies and adds (never fused), so both builds give the same bits.
#include "exact/eigensolver_kernels.hpp"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VENDREL_KERNELS_X86 1
#endif

namespace vendrel::exact::kernels {

namespace {

// The bodies pass four-double vectors by value between always-inlined helpers, never across a call,
// so the calling convention the warning is about never applies.
#pragma GCC diagnostic ignored "-Wpsabi"

// Four doubles; the compiler maps them on two SSE2 registers or one AVX register.
typedef double Quad __attribute__((vector_size(32)));
typedef std::int64_t QuadMask __attribute__((vector_size(32)));

#ifdef VENDREL_KERNELS_X86

namespace baseline {
#define VENDREL_KERNELS_WIDE 0
#include "exact/eigensolver_kernels_body.inc"
#undef VENDREL_KERNELS_WIDE
}  // namespace baseline

#pragma GCC push_options
#pragma GCC target("avx2")
namespace wide {
#define VENDREL_KERNELS_WIDE 1
#include "exact/eigensolver_kernels_body.inc"
#undef VENDREL_KERNELS_WIDE
}  // namespace wide
#pragma GCC pop_options

bool cpu_has_avx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

#else

// Elsewhere the same bodies with plain scalar lanes; `wide` is never chosen.
namespace baseline {
#define VENDREL_KERNELS_WIDE 0
#define VENDREL_KERNELS_NO_SIMD 1
#include "exact/eigensolver_kernels_body.inc"
#undef VENDREL_KERNELS_NO_SIMD
#undef VENDREL_KERNELS_WIDE
}  // namespace baseline
namespace wide = baseline;

bool cpu_has_avx2() { return false; }

#endif

std::atomic<bool>& avx2_switch() {
    static std::atomic<bool> enabled{cpu_has_avx2()};
    return enabled;
}

bool avx2() { return avx2_switch().load(std::memory_order_relaxed); }

}  // namespace

bool avx2_enabled() { return avx2(); }

bool set_avx2_enabled(bool enabled) {
    const bool granted = enabled && cpu_has_avx2();
    avx2_switch().store(granted, std::memory_order_relaxed);
    return granted;
}

PlaneRotation plane_rotation(double app, double aqq, double apq) {
    const double phi = 0.5 * std::atan2(2.0 * apq, aqq - app);
    return PlaneRotation{std::cos(phi), std::sin(phi)};
}

void rotate_pair(double* x, double* y, std::size_t length, double c, double s) {
    if (avx2()) return wide::rotate_pair_entry(x, y, length, c, s);
    baseline::rotate_pair_entry(x, y, length, c, s);
}

LargestMagnitude largest_magnitude(const double* values, std::size_t length) {
    if (avx2()) return wide::largest_magnitude_entry(values, length);
    return baseline::largest_magnitude_entry(values, length);
}

LargestMagnitude largest_in_records(const double* records, std::size_t count) {
    if (avx2()) return wide::largest_in_records_entry(records, count);
    return baseline::largest_in_records_entry(records, count);
}

RowMaxima rotate_records(double* x, double* y, std::size_t count, double c, double s) {
    if (avx2()) return wide::rotate_records_entry(x, y, count, c, s);
    return baseline::rotate_records_entry(x, y, count, c, s);
}

void project_out(const double* v, double* lanes, std::size_t length, std::size_t lane_count) {
    if (avx2()) return wide::project_out_entry(v, lanes, length, lane_count);
    baseline::project_out_entry(v, lanes, length, lane_count);
}

void residual_sums(const double* h, const double* lanes, const double* values, std::size_t length,
                   std::size_t lane_count, double* sums) {
    if (avx2()) return wide::residual_sums_entry(h, lanes, values, length, lane_count, sums);
    baseline::residual_sums_entry(h, lanes, values, length, lane_count, sums);
}

}  // namespace vendrel::exact::kernels
