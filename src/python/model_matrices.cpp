// Expansion of resolved models into dense matrices, with the module's error classes.
#include "python/model_matrices.hpp"

#include "python/errors.hpp"
#include "python/model_inputs.hpp"
#include "python/owned_ref.hpp"

namespace vendrel::python {
namespace {

std::unexpected<PendingException> raise_input(const exact::ExactError& error) {
    input_error(exact::to_string(error));
    return fail(PendingException{});
}

std::unexpected<PendingException> raise_numerical(const exact::ExactError& error) {
    numerical_error(exact::to_string(error));
    return fail(PendingException{});
}

Result<exact::ExactBasis, PendingException> full_basis_of(const core::ResolvedModel& model) {
    auto basis = exact::ExactBasis::full(model.hamiltonian().site_count());
    if (!basis) return raise_input(basis.error());
    return std::move(*basis);
}

}  // namespace

Result<exact::DenseMatrix, PendingException> matrix_from_model(const core::ResolvedModel& model) {
    auto basis = full_basis_of(model);
    if (!basis) return fail(basis.error());
    auto matrix = exact::DenseMatrix::from_hamiltonian(model.hamiltonian(), *basis);
    if (!matrix) return raise_numerical(matrix.error());
    return std::move(*matrix);
}

Result<exact::DenseMatrix, PendingException> tfim_matrix_owned(const RealMatrixView& couplings,
                                                               const RealVectorView& fields, std::string_view basis) {
    auto model = resolve_tfim(couplings, fields, basis);
    if (!model) return fail(model.error());
    return matrix_from_model(*model);
}

PyObject* model_matrix_array(const core::ResolvedModel& model) {
    // The full basis refuses 64 sites or more before anything is allocated.
    if (auto enumeration = core::FullBasis::create(model.hamiltonian().site_count()); !enumeration) {
        return input_error(core::to_string(enumeration.error()));
    }
    const std::uint64_t dimension = std::uint64_t{1} << model.hamiltonian().site_count().get();
    std::uint64_t entries = 0;
    if (__builtin_mul_overflow(dimension, dimension, &entries)) {
        return numerical_error(exact::to_string(exact::exact_error::DimensionOverflow{}));
    }
    // The result array is allocated before the basis is enumerated, so a matrix that cannot fit
    // fails at once with MemoryError.
    auto array = allocate_matrix<Complex>(dimension, dimension, /*zeroed=*/true);
    if (!array) return nullptr;
    OwnedRef result(array->array);
    auto basis = full_basis_of(model);
    if (!basis) return nullptr;
    auto expanded = exact::expand_hamiltonian_into(model.hamiltonian(), *basis, std::span(array->data, entries));
    if (!expanded) return numerical_error(exact::to_string(expanded.error()));
    return result.release();
}

}  // namespace vendrel::python
