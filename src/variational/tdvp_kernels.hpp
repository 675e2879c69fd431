// Inner loops of the TDVP estimate, the QGT product and the QGT symmetry check, picked once per processor.
#pragma once

#include <cstddef>
#include <span>

#include "common/complex.hpp"

namespace vendrel::variational::kernels {

/// Adds one chunk of centred samples to the upper triangle of a padded QGT accumulator.
///
/// `qgt` is `stride` by `stride`, row-major; `centred_re` and `centred_im` hold `count` rows of
/// `stride` doubles (sample i, parameter k at i * stride + k, zero past the last parameter), and
/// `probabilities` the `count` normalised weights. For every k <= l < stride with k below `parameters`,
/// element (k, l) becomes, sample by sample in order,
///     q = q + p * (re_k * re_l + im_k * im_l),
/// the real part of conj(delta_k) delta_l with the same roundings. Some elements left of the diagonal
/// are touched as well; they are never read.
using QgtChunkFn = void (*)(double* qgt, std::size_t stride, std::size_t parameters, const double* centred_re,
                            const double* centred_im, const double* probabilities, std::size_t count);

/// Centres one sample's derivatives and adds its force terms, parameter by parameter:
///     re[k], im[k] = row[k] - means[k]
///     force_real[k] = force_real[k] + (conj(delta_k) delta_energy).re * probability   (and .im alike).
using CentreSampleFn = void (*)(const Complex* row, const Complex* means, std::size_t parameters,
                                Complex delta_energy, double probability, double* centred_re, double* centred_im,
                                double* force_real, double* force_imag);

/// means[k] = means[k] + row[k] * probability, both parts, for k < parameters.
using AddWeightedRowFn = void (*)(const Complex* row, double probability, std::size_t parameters, Complex* means);

/// The product of a P by P matrix S held as packed panels: panel b (of `stride` / width rows, the
/// rows past P zero) holds S(b * width + j, c) at (b * width) * P + c * width + j, column after column.
/// Writes out[r] = sum over c in order, from -0.0, of S(r, c) * v[c] for r < stride (the padding rows
/// come out as the zero padding gives).
using PackedMatvecFn = void (*)(const double* packed, std::size_t stride, std::size_t parameters,
                                    const double* vector, double* out);

/// out[r] = sum over c in order, from -0.0, of S(r, c) * v[c], S row-major P by P.
using RowMatvecFn = void (*)(const double* matrix, std::size_t parameters, const double* vector, double* out);

/// The same product for an S that is exactly symmetric (bitwise, zeros' signs included), reading
/// only the upper triangle outside small diagonal blocks; out must hold P doubles.
using SymmetricMatvecFn = void (*)(const double* matrix, std::size_t parameters, const double* vector, double* out);

/// What one pass over a P by P matrix S finds. `scale` and `largest_asymmetry` (the largest
/// |S(r, c) - S(c, r)|) are exact maxima, whatever order the elements were visited in; they and `exact`
/// (S equals its transpose bit for bit, so 0.0 and -0.0 differ) mean something only when `finite`.
struct SymmetrySurvey {
    bool finite;
    double scale;
    double largest_asymmetry;
    bool exact;
};
using SymmetrySurveyFn = SymmetrySurvey (*)(const double* matrix, std::size_t parameters);

/// The routines for one instruction set, with the padding their loops expect.
struct Kernels {
    /// The QGT accumulator and the centred rows are padded to a multiple of this.
    std::size_t qgt_width;
    QgtChunkFn qgt_chunk;
    CentreSampleFn centre_sample;
    AddWeightedRowFn add_weighted_row;
    /// The panel height of the packed matrix; its rows are padded to a multiple of this.
    std::size_t panel_height;
    PackedMatvecFn packed_matvec;
    RowMatvecFn row_matvec;
    /// Null where no such routine is provided.
    SymmetricMatvecFn symmetric_matvec;
    SymmetrySurveyFn survey_symmetry;
    /// A short name for benchmarks and diagnostics ("avx2", "generic", ...).
    const char* name;
};

/// The routines used by the estimate and the QGT: the widest this processor runs, unless a
/// ScopedKernels is alive.
[[nodiscard]] const Kernels& best();

/// The portable routines, always available.
[[nodiscard]] const Kernels& portable();

/// Every table this processor runs, the portable one first and the preferred one last.
[[nodiscard]] std::span<const Kernels* const> available();

/// While alive, best() returns the given table, so that tests and benchmarks can run each table
/// through the public functions. Meant for single-threaded use; scopes nest.
class ScopedKernels {
public:
    explicit ScopedKernels(const Kernels& kernels);
    ~ScopedKernels();
    ScopedKernels(const ScopedKernels&) = delete;
    ScopedKernels& operator=(const ScopedKernels&) = delete;

private:
    const Kernels* previous_;
};

}  // namespace vendrel::variational::kernels
