// rydberg_matrix(couplings, omega, detuning): the exact Rydberg-atom matrix in the z basis.
#include "python/binding.hpp"
#include "python/errors.hpp"
#include "python/functions/functions.hpp"
#include "python/model_inputs.hpp"
#include "python/model_matrices.hpp"

namespace vendrel::python {
namespace {

constexpr Parameter kParameters[] = {
    {"couplings", Kind::RealMatrix, required()},
    {"omega", Kind::RealVector, required()},
    {"detuning", Kind::RealVector, required()},
};
constexpr Signature kSignature{"rydberg_matrix()", kParameters};

PyObject* body(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    auto bound = bind(kSignature, args, nargs, kwnames);
    if (!bound) return nullptr;
    auto couplings = bound->real_matrix("couplings");
    if (!couplings) return nullptr;
    auto omega = bound->real_vector("omega");
    if (!omega) return nullptr;
    auto detuning = bound->real_vector("detuning");
    if (!detuning) return nullptr;

    auto model = resolve_rydberg(*couplings, *omega, *detuning);
    if (!model) return nullptr;
    return model_matrix_array(*model);
}

PyObject* entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return guarded([&] { return body(args, nargs, kwnames); });
}

}  // namespace

PyMethodDef rydberg_matrix_definition = {
    "rydberg_matrix", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry)),
    METH_FASTCALL | METH_KEYWORDS,
    "rydberg_matrix(couplings, omega, detuning)\n--\n\n"
    "Build an exact complex Rydberg matrix in the canonical z basis."};

}  // namespace vendrel::python
