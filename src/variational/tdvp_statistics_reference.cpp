// The plain estimate of the TDVP statistics, one sample and one QGT element at a time.
#include "variational/tdvp_statistics_reference.hpp"

#include "variational/sample_weights.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vendrel::variational::reference {

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

    std::vector<Complex> derivative_means(p, Complex{0.0, 0.0});
    for (std::uint64_t s = 0; s < n; ++s) {
        const double probability = probabilities[s];
        const Complex* row = derivatives.data() + s * p;
        for (std::uint64_t k = 0; k < p; ++k) {
            derivative_means[k] += Complex{row[k].re * probability, row[k].im * probability};
        }
    }

    double variance = 0.0;
    std::vector<double> force_real(p, 0.0);
    std::vector<double> force_imag(p, 0.0);
    std::vector<double> qgt(p * p, 0.0);
    for (std::uint64_t s = 0; s < n; ++s) {
        const double probability = probabilities[s];
        const Complex delta_energy = local_energies[s] - energy_mean;
        variance = variance + probability * norm_squared(delta_energy);
        const Complex* row = derivatives.data() + s * p;
        for (std::uint64_t k = 0; k < p; ++k) {
            const Complex delta_k = row[k] - derivative_means[k];
            const Complex term = conj(delta_k) * delta_energy;
            force_real[k] = force_real[k] + term.re * probability;
            force_imag[k] = force_imag[k] + term.im * probability;
            // Re[conj(a) b] = a.re b.re + a.im b.im is computed with the same two products and the same
            // addition for (k, l) and (l, k), so the increments are equal bit for bit and only the upper
            // triangle needs accumulating; it is mirrored below.
            double* qgt_row = qgt.data() + k * p;
            for (std::uint64_t l = k; l < p; ++l) {
                const Complex delta_l = row[l] - derivative_means[l];
                qgt_row[l] = qgt_row[l] + probability * (conj(delta_k) * delta_l).re;
            }
        }
    }
    for (std::uint64_t k = 0; k < p; ++k) {
        for (std::uint64_t l = k + 1; l < p; ++l) {
            qgt[l * p + k] = qgt[k * p + l];
        }
    }

    return detail::assemble_statistics(mode, p, std::move(qgt), std::move(force_real), std::move(force_imag),
                                       energy_mean, variance, n);
}

}  // namespace vendrel::variational::reference
