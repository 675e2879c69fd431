// tfim_observables(...): exact TFIM energy moments, a magnetisation and a correlation of a given state.
#include <cmath>
#include <span>

#include "exact/full_basis_observables.hpp"
#include "python/exported_function.hpp"
#include "python/errors.hpp"
#include "python/functions/functions.hpp"
#include "python/model_inputs.hpp"
#include "python/model_matrices.hpp"
#include "python/owned_ref.hpp"
#include "python/result_dicts.hpp"

namespace vendrel::python {
namespace {

constexpr Parameter kParameters[] = {
    {"couplings", Kind::RealMatrix, required()},
    {"fields", Kind::RealVector, required()},
    {"state", Kind::ComplexVector, required()},
    {"basis", Kind::OptionalText, none()},
    {"axis", Kind::Text, text_default("z")},
    {"correlation", Kind::OptionalSizePair, none()},
};
constexpr Signature kSignature{"tfim_observables()", kParameters};

/// (left, right) / (left, left): InputError for different lengths or a zero or non-finite norm,
/// NumericalError for a non-finite result.
Result<Complex, PendingException> normalized_inner(std::span<const Complex> left, std::span<const Complex> right) {
    if (left.size() != right.size()) {
        input_error("observable vectors have different dimensions");
        return fail(PendingException{});
    }
    double norm = 0.0;
    for (const Complex& value : left) norm = norm + norm_squared(value);
    if (!std::isfinite(norm) || norm == 0.0) {
        input_error("state norm must be finite and nonzero");
        return fail(PendingException{});
    }
    Complex sum{0.0, 0.0};
    for (std::size_t i = 0; i < left.size(); ++i) sum += conj(left[i]) * right[i];
    const Complex value = divide(sum, norm);
    if (!is_finite(value)) {
        numerical_error("observable expectation is non-finite");
        return fail(PendingException{});
    }
    return value;
}

PyObject* complex_pair(Complex value) { return Py_BuildValue("(dd)", value.re, value.im); }

PyObject* body(BoundArguments& arguments) {
    auto couplings = arguments.real_matrix("couplings");
    if (!couplings) return nullptr;
    auto fields = arguments.real_vector("fields");
    if (!fields) return nullptr;
    auto state_view = arguments.complex_vector("state");
    if (!state_view) return nullptr;
    auto basis = arguments.optional_text("basis");
    if (!basis) return nullptr;
    auto axis_text = arguments.text("axis");
    if (!axis_text) return nullptr;
    auto correlation = arguments.optional_size_pair("correlation");
    if (!correlation) return nullptr;

    // The Hamiltonian acts on the full basis directly: the same products as its dense matrix,
    // without the 16 * 4^n bytes.
    auto model = resolve_tfim(*couplings, *fields, basis->value_or("z"));
    if (!model) return nullptr;
    auto hamiltonian = full_basis_operator(*model);
    if (!hamiltonian) return nullptr;
    const std::vector<Complex> state = state_view->to_vector();
    if (hamiltonian->dimension() != state.size()) return input_error("state length does not match the exact basis");

    auto applied = hamiltonian->apply(state);
    if (!applied) return numerical_error(exact::to_string(applied.error()));
    auto squared = hamiltonian->apply(*applied);
    if (!squared) return numerical_error(exact::to_string(squared.error()));
    auto energy = normalized_inner(state, *applied);
    if (!energy) return nullptr;
    auto second_moment = normalized_inner(state, *squared);
    if (!second_moment) return nullptr;
    // Re(M2 - E^2) with E^2 the complex square of E.
    const double variance = (*second_moment - *energy * *energy).re;
    if (!std::isfinite(variance) || variance < -1e-9) return numerical_error("energy variance is invalid");

    auto axis = core::parse_physical_axis(*axis_text);
    if (!axis) return input_error("invalid physical axis: " + core::to_string(axis.error()));
    const std::uint64_t sites = fields->size();
    auto magnetization = exact::full_basis_magnetization(*axis, sites, state);
    if (!magnetization) return numerical_error(exact::to_string(magnetization.error()));


    OwnedRef energy_pair(complex_pair(*energy));
    if (!energy_pair) return nullptr;
    OwnedRef energy_density(PyFloat_FromDouble(energy->re / static_cast<double>(sites)));
    if (!energy_density) return nullptr;
    OwnedRef energy_variance(PyFloat_FromDouble(variance > 0.0 ? variance : 0.0));
    if (!energy_variance) return nullptr;
    const std::string_view axis_name = core::as_str(*axis);
    OwnedRef axis_object(PyUnicode_FromStringAndSize(axis_name.data(), static_cast<Py_ssize_t>(axis_name.size())));
    if (!axis_object) return nullptr;
    OwnedRef total(PyFloat_FromDouble(magnetization->total()));
    if (!total) return nullptr;
    OwnedRef density(PyFloat_FromDouble(magnetization->density()));
    if (!density) return nullptr;
    OwnedRef result(ordered_dict({{"energy", energy_pair.get()},
                                  {"energy_density", energy_density.get()},
                                  {"energy_variance", energy_variance.get()},
                                  {"axis", axis_object.get()},
                                  {"magnetization_total", total.get()},
                                  {"magnetization_density", density.get()}}));
    if (!result) return nullptr;

    if (correlation->has_value()) {
        const SizePair sites_pair = **correlation;
        auto value = exact::full_basis_correlation(*axis, sites_pair.first, sites_pair.second, sites, state);
        if (!value) return input_error(exact::to_string(value.error()));
        OwnedRef pair(complex_pair(*value));
        if (!pair || PyDict_SetItemString(result.get(), "correlation", pair.get()) < 0) return nullptr;
    }
    return result.release();
}

}  // namespace

PyMethodDef tfim_observables_definition = exported_function<kSignature, body>(
    "tfim_observables",
    "tfim_observables(couplings, fields, state, basis=None, axis=\"z\", correlation=None)\n--\n\n"
    "Return convention-labelled exact TFIM energy moments and one magnetization.\n"
    "\n"
    "The state is interpreted in vendrel's canonical full-basis order. `axis` is\n"
    "a physical Pauli axis and is independent of the simulation basis. Energies\n"
    "are totals; the returned `energy_density` divides by the number of sites.\n"
    "The magnetization fields contain both total and per-site density values.");

}  // namespace vendrel::python
