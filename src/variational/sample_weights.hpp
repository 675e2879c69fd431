// The checks of TDVP sample inputs and their normalised weights, shared by every estimate.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/complex.hpp"
#include "common/result.hpp"
#include "variational/tdvp_error.hpp"

namespace vendrel::variational {

/// The normalised weights p_s = w_s / W and the weighted mean local energy.
struct NormalisedSamples {
    std::vector<double> probabilities;
    Complex energy_mean;
};

/// The input checks of the estimate, in order (no samples or parameters, energy length, derivative
/// shape, derivative length, per sample the weight then the energy, the total weight), then the
/// normalised weights and the mean energy, each summed in sample order.
[[nodiscard]] Result<NormalisedSamples, TDVPError> normalise_samples(std::span<const double> weights,
                                                                     std::span<const Complex> local_energies,
                                                                     std::span<const Complex> derivatives,
                                                                     std::uint64_t parameter_count);

}  // namespace vendrel::variational
