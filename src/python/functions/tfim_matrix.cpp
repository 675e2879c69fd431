// tfim_matrix(couplings, fields, basis=None): the exact transverse-field Ising matrix.
#include "python/exported_function.hpp"
#include "python/errors.hpp"
#include "python/functions/functions.hpp"
#include "python/model_inputs.hpp"
#include "python/model_matrices.hpp"

namespace vendrel::python {
namespace {

constexpr Signature kSignature{"tfim_matrix()", kTfimParameters};

PyObject* body(BoundArguments& arguments) {
    auto tfim = read_tfim_arguments(arguments);
    if (!tfim) return nullptr;

    auto model = resolve_tfim(tfim->couplings, tfim->fields, tfim->basis);
    if (!model) return nullptr;
    return model_matrix_array(*model);
}

}  // namespace

PyMethodDef tfim_matrix_definition = exported_function<kSignature, body>(
    "tfim_matrix",
    "tfim_matrix(couplings, fields, basis=None)\n--\n\n"
    "Build an exact complex TFIM matrix from owned or strided NumPy inputs.");

}  // namespace vendrel::python
