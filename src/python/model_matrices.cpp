// Expansion of resolved models over the full basis, with the module's error classes.
#include "python/model_matrices.hpp"

#include "python/errors.hpp"
#include "python/memory_budget.hpp"
#include "python/model_inputs.hpp"
#include "python/owned_ref.hpp"

namespace vendrel::python {

Result<exact::FullBasisOperator, PendingException> full_basis_operator(const core::ResolvedModel& model) {
    auto op = exact::FullBasisOperator::compile(model.hamiltonian());
    if (!op) {
        // Building the basis is refused as input; expanding over it fails as numerics.
        if (std::holds_alternative<exact::exact_error::Basis>(op.error())) {
            input_error(exact::to_string(op.error()));
        } else {
            numerical_error(exact::to_string(op.error()));
        }
        return fail(PendingException{});
    }
    return std::move(*op);
}

Result<exact::DenseMatrix, PendingException> matrix_from_model(const core::ResolvedModel& model) {
    auto op = full_basis_operator(model);
    if (!op) return fail(op.error());
    const std::uint64_t entries_count = op->dimension() * op->dimension();
    if (!ensure_memory_for(entries_count * sizeof(Complex))) return fail(PendingException{});
    std::vector<Complex> entries(entries_count);
    op->fill_dense(entries, /*zeroed=*/true);
    auto matrix = exact::DenseMatrix::from_data(op->dimension(), std::move(entries));
    if (!matrix) {
        numerical_error(exact::to_string(matrix.error()));
        return fail(PendingException{});
    }
    return std::move(*matrix);
}

Result<exact::DenseMatrix, PendingException> tfim_matrix_owned(const RealMatrixView& couplings,
                                                               const RealVectorView& fields, std::string_view basis) {
    auto model = resolve_tfim(couplings, fields, basis);
    if (!model) return fail(model.error());
    return matrix_from_model(*model);
}

PyObject* model_matrix_array(const core::ResolvedModel& model) {
    auto op = full_basis_operator(model);
    if (!op) return nullptr;
    // A block beyond the C library's largest mmap threshold (32 MiB) comes zeroed from calloc as fresh
    // pages, whose zeros cost the writes of nothing. A smaller one may reuse freed memory, which calloc
    // clears in a pass of its own; the fill clears such rows itself instead, each while it is in cache.
    const std::uint64_t dimension = op->dimension();
    const bool fresh_pages = dimension * dimension * sizeof(Complex) > (std::uint64_t{32} << 20);
    auto array = allocate_matrix<Complex>(dimension, dimension, /*zeroed=*/fresh_pages);
    if (!array) return nullptr;
    OwnedRef result(array->array);  // released only when filled: an interrupted fill frees it
    op->fill_dense(std::span(array->data, dimension * dimension), /*zeroed=*/fresh_pages);
    return result.release();
}

}  // namespace vendrel::python
