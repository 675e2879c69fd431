// The plain estimate of the TDVP statistics, loop for loop as documented: the oracle for the fast path.
#pragma once

#include <cstdint>
#include <span>

#include "common/complex.hpp"
#include "common/result.hpp"
#include "variational/tdvp_error.hpp"
#include "variational/tdvp_statistics.hpp"

namespace vendrel::variational::reference {

/// The same contract as vendrel::variational::estimate_tdvp, computed by the straightforward loops
/// (one sample at a time, each QGT element of the upper triangle in turn). The fast estimate must
/// return the same bits and the same errors.
[[nodiscard]] Result<TDVPStatistics, TDVPError> estimate_tdvp(std::span<const double> weights,
                                                              std::span<const Complex> local_energies,
                                                              std::span<const Complex> derivatives,
                                                              std::uint64_t parameter_count, TDVPMode mode);

}  // namespace vendrel::variational::reference
