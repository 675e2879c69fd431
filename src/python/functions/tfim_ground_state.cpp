// tfim_ground_state(couplings, fields, basis=None): the exact TFIM ground state by Jacobi rotations.
#include "exact/eigensolver.hpp"
#include "python/binding.hpp"
#include "python/errors.hpp"
#include "python/functions/functions.hpp"
#include "python/model_matrices.hpp"
#include "python/owned_ref.hpp"

namespace vendrel::python {
namespace {

constexpr Parameter kParameters[] = {
    {"couplings", Kind::RealMatrix, required()},
    {"fields", Kind::RealVector, required()},
    {"basis", Kind::OptionalText, none()},
};
constexpr Signature kSignature{"tfim_ground_state()", kParameters};

PyObject* body(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    auto bound = bind(kSignature, args, nargs, kwnames);
    if (!bound) return nullptr;
    auto couplings = bound->real_matrix("couplings");
    if (!couplings) return nullptr;
    auto fields = bound->real_vector("fields");
    if (!fields) return nullptr;
    auto basis = bound->optional_text("basis");
    if (!basis) return nullptr;

    auto matrix = tfim_matrix_owned(*couplings, *fields, basis->value_or("z"));
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

PyObject* entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return guarded([&] { return body(args, nargs, kwnames); });
}

}  // namespace

PyMethodDef tfim_ground_state_definition = {
    "tfim_ground_state", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry)),
    METH_FASTCALL | METH_KEYWORDS,
    "tfim_ground_state(couplings, fields, basis=None)\n--\n\n"
    "Return `(energy, complex_vector, residual)` for the exact TFIM ground state."};

}  // namespace vendrel::python
