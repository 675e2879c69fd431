// tfim_matrix(couplings, fields, basis=None): the exact transverse-field Ising matrix.
#include "python/binding.hpp"
#include "python/errors.hpp"
#include "python/functions/functions.hpp"
#include "python/model_inputs.hpp"
#include "python/model_matrices.hpp"

namespace vendrel::python {
namespace {

constexpr Parameter kParameters[] = {
    {"couplings", Kind::RealMatrix, required()},
    {"fields", Kind::RealVector, required()},
    {"basis", Kind::OptionalText, none()},
};
constexpr Signature kSignature{"tfim_matrix()", kParameters};

PyObject* body(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    auto bound = bind(kSignature, args, nargs, kwnames);
    if (!bound) return nullptr;
    auto couplings = bound->real_matrix("couplings");
    if (!couplings) return nullptr;
    auto fields = bound->real_vector("fields");
    if (!fields) return nullptr;
    auto basis = bound->optional_text("basis");
    if (!basis) return nullptr;

    auto model = resolve_tfim(*couplings, *fields, basis->value_or("z"));
    if (!model) return nullptr;
    return model_matrix_array(*model);
}

PyObject* entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return guarded([&] { return body(args, nargs, kwnames); });
}

}  // namespace

PyMethodDef tfim_matrix_definition = {
    "tfim_matrix", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry)), METH_FASTCALL | METH_KEYWORDS,
    "tfim_matrix(couplings, fields, basis=None)\n--\n\n"
    "Build an exact complex TFIM matrix from owned or strided NumPy inputs."};

}  // namespace vendrel::python
