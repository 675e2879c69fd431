// Estimation of the TDVP statistics from weighted samples, the QGT by register tiles over chunks of samples.
#include "variational/tdvp_statistics.hpp"

#include "common/interrupt.hpp"
#include "variational/sample_weights.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "variational/tdvp_kernels.hpp"

namespace vendrel::variational {

namespace {

// Doubles of centred samples (real and imaginary rows each) per chunk: small enough that a chunk stays
// in the level-2 cache while every tile walks it.
constexpr std::size_t kChunkDoubles = 1 << 15;
constexpr std::size_t kMinChunk = 16;
constexpr std::size_t kMaxChunk = 256;

}  // namespace

Result<TDVPStatistics, TDVPError> estimate_tdvp(std::span<const double> weights,
                                                std::span<const Complex> local_energies,
                                                std::span<const Complex> derivatives, std::uint64_t parameter_count,
                                                TDVPMode mode) {
    const std::uint64_t n = weights.size();
    const std::uint64_t p = parameter_count;
    auto samples = normalise_samples(weights, local_energies, derivatives, p);
    if (!samples) return fail(std::move(samples.error()));
    const std::vector<double>& probabilities = samples->probabilities;
    const Complex energy_mean = samples->energy_mean;

    const kernels::Kernels& kernel = kernels::best();

    std::vector<Complex> derivative_means(p, Complex{0.0, 0.0});
    for (std::uint64_t s = 0; s < n; ++s) {
        kernel.add_weighted_row(derivatives.data() + s * p, probabilities[s], p, derivative_means.data());
    }

    // The QGT is accumulated tile by tile over chunks of samples: each chunk is centred once into
    // separate real and imaginary rows, then every tile of the upper triangle keeps its elements in
    // registers while it walks the chunk's samples in order. Each element still receives exactly the
    // increments p_s Re[conj(dO_k) dO_l] in sample order, and (k, l) and (l, k) share them, so the
    // result is the plain loop's to the bit and exactly symmetric. Rows of the accumulator are padded to
    // the kernel's tile width; the padding is dropped when the matrix is mirrored below.
    const std::size_t width = kernel.qgt_width;
    const std::size_t stride = (p + width - 1) / width * width;
    // P just below 2^32 keeps P^2 countable, but the padded square might not be; the plain estimate
    // cannot allocate such a matrix either (its P^2 exceeds what a vector may hold).
    if (stride > std::vector<double>().max_size() / stride) {
        throw std::length_error("TDVP QGT accumulator");
    }
    const std::size_t chunk = std::clamp<std::size_t>(kChunkDoubles / stride, kMinChunk, kMaxChunk);
    std::vector<double> centred_re(chunk * stride, 0.0);
    std::vector<double> centred_im(chunk * stride, 0.0);
    std::vector<double> chunk_probabilities(chunk);

    double variance = 0.0;
    std::vector<double> force_real(p, 0.0);
    std::vector<double> force_imag(p, 0.0);
    std::vector<double> qgt(stride * stride, 0.0);
    InterruptPoll poll(1);
    for (std::uint64_t first = 0; first < n; first += chunk) {
        poll();
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, n - first));
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint64_t s = first + i;
            const double probability = probabilities[s];
            chunk_probabilities[i] = probability;
            const Complex delta_energy = local_energies[s] - energy_mean;
            variance = variance + probability * norm_squared(delta_energy);
            kernel.centre_sample(derivatives.data() + s * p, derivative_means.data(), p, delta_energy, probability,
                                 centred_re.data() + i * stride, centred_im.data() + i * stride, force_real.data(),
                                 force_imag.data());
        }
        kernel.qgt_chunk(qgt.data(), stride, p, centred_re.data(), centred_im.data(), chunk_probabilities.data(),
                         count);
    }

    // Compact the padded rows to P columns in place (a row never moves right, and row k is read before
    // anything at or after it is written), then mirror the upper triangle.
    for (std::uint64_t k = 0; k < p; ++k) {
        std::memmove(qgt.data() + k * p + k, qgt.data() + k * stride + k, (p - k) * sizeof(double));
        for (std::uint64_t l = 0; l < k; ++l) {
            qgt[k * p + l] = qgt[l * p + k];
        }
    }
    qgt.resize(p * p);

    return detail::assemble_statistics(mode, p, std::move(qgt), std::move(force_real), std::move(force_imag),
                                       energy_mean, variance, n);
}

namespace detail {

Result<TDVPStatistics, TDVPError> assemble_statistics(TDVPMode mode, std::uint64_t parameters, std::vector<double> qgt,
                                                      std::vector<double> force_real, std::vector<double> force_imag,
                                                      Complex energy_mean, double variance, std::uint64_t samples) {
    std::vector<double> rhs(parameters);
    switch (mode) {
        case TDVPMode::RealTime:
            std::ranges::copy(force_imag, rhs.begin());
            break;
        case TDVPMode::ImaginaryTime:
            std::ranges::transform(force_real, rhs.begin(), [](double value) { return -value; });
            break;
    }

    const auto finite = [](double value) { return std::isfinite(value); };
    if (!std::isfinite(variance) || !std::ranges::all_of(qgt, finite) || !std::ranges::all_of(rhs, finite)) {
        return fail(TDVPError{tdvp_error::NonFinite{"derived statistics"}});
    }

    return TDVPStatistics(mode, std::move(rhs), ForceStatistics(std::move(force_real), std::move(force_imag)),
                          DenseQgt(parameters, std::move(qgt)), energy_mean, variance, samples);
}

}  // namespace detail

}  // namespace vendrel::variational
