// tdvp_solve(qgt, rhs, shift, tolerance, max_iterations): the shifted TDVP system by conjugate gradients.
#include "python/exported_function.hpp"
#include "python/errors.hpp"
#include "python/functions/functions.hpp"
#include "python/result_dicts.hpp"
#include "variational/tdvp.hpp"

namespace vendrel::python {
namespace {

constexpr Parameter kParameters[] = {
    {"qgt", Kind::RealMatrix, required()},
    {"rhs", Kind::RealVector, required()},
    {"shift", Kind::Float, float_default(1.0e-8)},
    {"tolerance", Kind::Float, float_default(1.0e-10)},
    {"max_iterations", Kind::UnsignedSize, size_default(256)},
};
constexpr Signature kSignature{"tdvp_solve()", kParameters};

PyObject* body(BoundArguments& arguments) {
    auto qgt = arguments.real_matrix("qgt");
    if (!qgt) return nullptr;
    auto rhs = arguments.real_vector("rhs");
    if (!rhs) return nullptr;
    auto shift = arguments.real("shift");
    if (!shift) return nullptr;
    auto tolerance = arguments.real("tolerance");
    if (!tolerance) return nullptr;
    auto max_iterations = arguments.unsigned_size("max_iterations");
    if (!max_iterations) return nullptr;

    if (qgt->rows() != qgt->columns() || rhs->size() != qgt->rows()) {
        return input_error("QGT and right-hand side shapes do not match");
    }
    auto matrix = variational::DenseQgt::create(qgt->rows(), qgt->to_row_major());
    if (!matrix) return numerical_error(variational::to_string(matrix.error()));
    auto solution = matrix->solve(rhs->to_vector(), *shift, *tolerance, *max_iterations);
    if (!solution) return numerical_error(variational::to_string(solution.error()));

    OwnedRef direction(vector_array<double>(solution->direction()));
    if (!direction) return nullptr;
    OwnedRef residual_norm(PyFloat_FromDouble(solution->residual_norm()));
    if (!residual_norm) return nullptr;
    OwnedRef iterations(PyLong_FromUnsignedLongLong(solution->iterations()));
    if (!iterations) return nullptr;
    OwnedRef converged(PyBool_FromLong(solution->converged() ? 1 : 0));
    return ordered_dict({{"direction", direction.get()},
                         {"residual_norm", residual_norm.get()},
                         {"iterations", iterations.get()},
                         {"converged", converged.get()}});
}

}  // namespace

PyMethodDef tdvp_solve_definition = exported_function<kSignature, body>(
    "tdvp_solve",
    "tdvp_solve(qgt, rhs, shift=1.0e-8, tolerance=1.0e-10, max_iterations=256)\n--\n\n"
    "Solve a checked dense QGT system `(S + shift I) direction = rhs`.");

}  // namespace vendrel::python
