// Dense matrices of resolved models: as owned matrices for the solvers, or built straight into arrays.
#pragma once

#include <string_view>

#include "common/result.hpp"
#include "core/models.hpp"
#include "exact/dense_matrix.hpp"
#include "python/numpy_intake.hpp"

namespace vendrel::python {

/// The dense matrix of a model over the full basis of its sites: a refused basis is InputError,
/// a failed expansion NumericalError.
[[nodiscard]] Result<exact::DenseMatrix, PendingException> matrix_from_model(const core::ResolvedModel& model);

/// resolve_tfim, then matrix_from_model: the one route to the TFIM matrix, shared by every TFIM
/// function so they share its checks, their order and their messages.
[[nodiscard]] Result<exact::DenseMatrix, PendingException> tfim_matrix_owned(const RealMatrixView& couplings,
                                                                             const RealVectorView& fields,
                                                                             std::string_view basis);

/// The same matrix as matrix_from_model, expanded straight into a new (d, d) complex128 array, so
/// the entries exist once. Returns a new reference or nullptr with an exception pending.
[[nodiscard]] PyObject* model_matrix_array(const core::ResolvedModel& model);

}  // namespace vendrel::python
