// tfim_ground_state(couplings, fields, basis=None): the exact TFIM ground state by Jacobi rotations.
#include "exact/eigensolver.hpp"
#include "python/exported_function.hpp"
#include "python/errors.hpp"
#include "python/functions/functions.hpp"
#include "python/model_inputs.hpp"
#include "python/model_matrices.hpp"
#include "python/owned_ref.hpp"

namespace vendrel::python {
namespace {

constexpr Signature kSignature{"tfim_ground_state()", kTfimParameters};

PyObject* body(BoundArguments& arguments) {
    auto tfim = read_tfim_arguments(arguments);
    if (!tfim) return nullptr;

    auto matrix = tfim_matrix_owned(tfim->couplings, tfim->fields, tfim->basis);
    if (!matrix) return nullptr;
    auto spectrum = exact::diagonalize_hermitian(*matrix);
    if (!spectrum) return numerical_error(exact::to_string(spectrum.error()));
    auto ground = exact::GroundState::from_spectrum(*spectrum);
    if (!ground) return numerical_error(exact::to_string(ground.error()));

    OwnedRef energy(PyFloat_FromDouble(ground->energy()));
    if (!energy) return nullptr;
    OwnedRef vector(vector_array<Complex>(ground->vector()));
    if (!vector) return nullptr;
    OwnedRef residual(PyFloat_FromDouble(ground->residual()));
    if (!residual) return nullptr;
    return PyTuple_Pack(3, energy.get(), vector.get(), residual.get());
}

}  // namespace

PyMethodDef tfim_ground_state_definition = exported_function<kSignature, body>(
    "tfim_ground_state",
    "tfim_ground_state(couplings, fields, basis=None)\n--\n\n"
    "Return `(energy, complex_vector, residual)` for the exact TFIM ground state.");

}  // namespace vendrel::python
