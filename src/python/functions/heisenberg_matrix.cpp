// heisenberg_matrix(couplings, basis=None): the exact isotropic Heisenberg matrix.
#include "python/exported_function.hpp"
#include "python/errors.hpp"
#include "python/functions/functions.hpp"
#include "python/model_inputs.hpp"
#include "python/model_matrices.hpp"

namespace vendrel::python {
namespace {

constexpr Parameter kParameters[] = {
    {"couplings", Kind::RealMatrix, required()},
    {"basis", Kind::OptionalText, none()},
};
constexpr Signature kSignature{"heisenberg_matrix()", kParameters};

PyObject* body(BoundArguments& arguments) {
    auto couplings = arguments.real_matrix("couplings");
    if (!couplings) return nullptr;
    auto basis = arguments.optional_text("basis");
    if (!basis) return nullptr;

    auto model = resolve_heisenberg(*couplings, basis->value_or("z"));
    if (!model) return nullptr;
    return model_matrix_array(*model);
}

}  // namespace

PyMethodDef heisenberg_matrix_definition = exported_function<kSignature, body>(
    "heisenberg_matrix",
    "heisenberg_matrix(couplings, basis=None)\n--\n\n"
    "Build an exact complex isotropic Heisenberg matrix from pair couplings.");

}  // namespace vendrel::python
