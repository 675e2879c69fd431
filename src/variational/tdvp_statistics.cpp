// Estimation of the TDVP statistics from weighted samples.
#include "variational/tdvp_statistics.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vendrel::variational {

Result<TDVPStatistics, TDVPError> estimate_tdvp(std::span<const double> weights,
                                                std::span<const Complex> local_energies,
                                                std::span<const Complex> derivatives, std::uint64_t parameter_count,
                                                TDVPMode mode) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    const std::uint64_t n = weights.size();
    const std::uint64_t p = parameter_count;
    if (n == 0 || p == 0) {
        return fail(TDVPError{tdvp_error::InsufficientSamples{}});
    }
    if (local_energies.size() != n) {
        return fail(TDVPError{tdvp_error::Shape{n, local_energies.size()}});
    }
    if (p > kMax / n) {
        return fail(TDVPError{tdvp_error::InvalidParameter{"derivative shape"}});
    }
    if (derivatives.size() != n * p) {
        return fail(TDVPError{tdvp_error::Shape{n * p, derivatives.size()}});
    }
    // P^2 elements could not even be counted, let alone allocated; refuse as the QGT constructor does
    // rather than let the element count wrap.
    if (p > kMax / p) {
        return fail(TDVPError{tdvp_error::InvalidParameter{"QGT dimension"}});
    }

    double total_weight = 0.0;
    for (std::uint64_t s = 0; s < n; ++s) {
        const double weight = weights[s];
        if (!std::isfinite(weight) || weight < 0.0) {
            return fail(TDVPError{tdvp_error::InvalidParameter{"sample weight"}});
        }
        if (!is_finite(local_energies[s])) {
            return fail(TDVPError{tdvp_error::NonFinite{"local energy"}});
        }
        total_weight = total_weight + weight;
    }
    if (!std::isfinite(total_weight) || !(total_weight > 0.0)) {
        return fail(TDVPError{tdvp_error::InsufficientSamples{}});
    }

    std::vector<double> probabilities(n);
    for (std::uint64_t s = 0; s < n; ++s) {
        probabilities[s] = weights[s] / total_weight;
    }

    Complex energy_mean{0.0, 0.0};
    for (std::uint64_t s = 0; s < n; ++s) {
        const Complex energy = local_energies[s];
        energy_mean += Complex{energy.re * probabilities[s], energy.im * probabilities[s]};
    }

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

    std::vector<double> rhs(p);
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
                          DenseQgt(p, std::move(qgt)), energy_mean, variance, n);
}

}  // namespace vendrel::variational
