// resolve_ising_interactions(couplings): the pair list a dense Ising coupling matrix resolves to.
#include "python/exported_function.hpp"
#include "python/errors.hpp"
#include "python/functions/functions.hpp"
#include "python/model_inputs.hpp"
#include "python/owned_ref.hpp"

namespace vendrel::python {
namespace {

constexpr Parameter kParameters[] = {
    {"couplings", Kind::RealMatrix, required()},
};
constexpr Signature kSignature{"resolve_ising_interactions()", kParameters};

PyObject* body(BoundArguments& arguments) {
    auto couplings = arguments.real_matrix("couplings");
    if (!couplings) return nullptr;

    auto checked = dense_couplings(*couplings);
    if (!checked) return nullptr;
    auto interactions = checked->to_interactions(core::InteractionChannel::ising_zz());
    if (!interactions) return input_error(core::to_string(interactions.error()));

    const std::size_t terms = interactions->size();
    auto pairs = allocate_matrix<std::uint32_t>(terms, 2);
    if (!pairs) return nullptr;
    OwnedRef pairs_array(pairs->array);
    auto coefficients = allocate_vector<double>(terms);
    if (!coefficients) return nullptr;
    OwnedRef coefficients_array(coefficients->array);
    for (std::size_t k = 0; k < terms; ++k) {
        const core::WeightedInteraction& interaction = (*interactions)[k];
        pairs->data[2 * k] = interaction.bond().first.get();
        pairs->data[2 * k + 1] = interaction.bond().second.get();
        coefficients->data[k] = interaction.coefficient();
    }
    return PyTuple_Pack(2, pairs_array.get(), coefficients_array.get());
}

}  // namespace

PyMethodDef resolve_ising_interactions_definition = exported_function<kSignature, body>(
    "resolve_ising_interactions",
    "resolve_ising_interactions(couplings)\n--\n\n"
    "Resolve a symmetric dense Ising coupling matrix to `(pairs, coefficients)`.\n"
    "\n"
    "`pairs` is an owned `uint32` array with shape `(terms, 2)` and\n"
    "`coefficients` is an owned `float64` array with one resolved value per row.");

}  // namespace vendrel::python
