// The plain QGT product and shifted solve, loop for loop as documented: the oracle for the fast paths.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/result.hpp"
#include "variational/qgt.hpp"
#include "variational/tdvp_error.hpp"

namespace vendrel::variational::reference {

/// The same contract as DenseQgt::matvec, one row at a time.
[[nodiscard]] Result<std::vector<double>, TDVPError> matvec(const DenseQgt& qgt, std::span<const double> vector);

/// The same contract as DenseQgt::solve, with `matvec` above as the product.
[[nodiscard]] Result<CGResult, TDVPError> solve(const DenseQgt& qgt, std::span<const double> rhs, double lambda,
                                                double tolerance, std::uint64_t max_iterations);

}  // namespace vendrel::variational::reference
