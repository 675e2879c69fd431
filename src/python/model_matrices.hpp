// Models on the full basis: dense matrices for the solvers and arrays, and matrix-free operators.
#pragma once

#include <string_view>

#include "common/result.hpp"
#include "core/models.hpp"
#include "exact/dense_matrix.hpp"
#include "exact/full_basis_operator.hpp"
#include "python/numpy_intake.hpp"

namespace vendrel::python {

/// The model's Hamiltonian compiled for the full basis of its sites, with the refusals of the dense
/// route: 64 sites or more is InputError (the full basis), a dimension whose square overflows is
/// NumericalError (the dense expansion).
[[nodiscard]] Result<exact::FullBasisOperator, PendingException> full_basis_operator(const core::ResolvedModel& model);

/// The dense matrix of a model over the full basis of its sites.
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
