// The Jacobi eigensolver written out step by step, kept as the oracle that the fast solver must match.
#pragma once

#include "common/result.hpp"
#include "exact/dense_matrix.hpp"
#include "exact/eigensolver.hpp"
#include "exact/exact_error.hpp"

namespace vendrel::exact::reference {

/// The classical Jacobi method exactly as written: every iteration rescans the whole strict upper
/// triangle of the 2n by 2n real embedding for its pivot. Same contract, results and errors as
/// vendrel::exact::diagonalize_hermitian, bit for bit; far slower, and meant for tests and benchmarks.
[[nodiscard]] Result<Eigensystem, ExactError> diagonalize_hermitian(const DenseMatrix& matrix);

}  // namespace vendrel::exact::reference
