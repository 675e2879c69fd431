// Input checks, normalised weights and the mean local energy of the TDVP estimate.
#include "variational/sample_weights.hpp"

#include <cmath>
#include <limits>

namespace vendrel::variational {

Result<NormalisedSamples, TDVPError> normalise_samples(std::span<const double> weights,
                                                       std::span<const Complex> local_energies,
                                                       std::span<const Complex> derivatives,
                                                       std::uint64_t parameter_count) {
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

    return NormalisedSamples{std::move(probabilities), energy_mean};
}

}  // namespace vendrel::variational
