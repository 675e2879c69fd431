// rydberg_matrix(couplings, omega, detuning): the exact Rydberg-atom matrix in the z basis.
#include "python/exported_function.hpp"
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

PyObject* body(BoundArguments& arguments) {
    auto couplings = arguments.real_matrix("couplings");
    if (!couplings) return nullptr;
    auto omega = arguments.real_vector("omega");
    if (!omega) return nullptr;
    auto detuning = arguments.real_vector("detuning");
    if (!detuning) return nullptr;

    auto model = resolve_rydberg(*couplings, *omega, *detuning);
    if (!model) return nullptr;
    return model_matrix_array(*model);
}

}  // namespace

PyMethodDef rydberg_matrix_definition = exported_function<kSignature, body>(
    "rydberg_matrix",
    "rydberg_matrix(couplings, omega, detuning)\n--\n\n"
    "Build an exact complex Rydberg matrix in the canonical z basis.");

}  // namespace vendrel::python
