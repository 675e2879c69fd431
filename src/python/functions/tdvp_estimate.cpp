// tdvp_estimate(weights, local_energies, derivatives, mode="real_time"): TDVP statistics from samples.
#include "python/exported_function.hpp"
#include "python/errors.hpp"
#include "python/functions/functions.hpp"
#include "python/memory_budget.hpp"
#include "python/result_dicts.hpp"
#include "variational/tdvp.hpp"

namespace vendrel::python {
namespace {

constexpr Parameter kParameters[] = {
    {"weights", Kind::RealVector, required()},
    {"local_energies", Kind::ComplexVector, required()},
    {"derivatives", Kind::ComplexMatrix, required()},
    {"mode", Kind::Text, text_default("real_time")},
};
constexpr Signature kSignature{"tdvp_estimate()", kParameters};

PyObject* body(BoundArguments& arguments) {
    auto weights = arguments.real_vector("weights");
    if (!weights) return nullptr;
    auto local_energies = arguments.complex_vector("local_energies");
    if (!local_energies) return nullptr;
    auto derivatives = arguments.complex_matrix("derivatives");
    if (!derivatives) return nullptr;
    auto mode_text = arguments.text("mode");
    if (!mode_text) return nullptr;

    if (derivatives->rows() != weights->size() || derivatives->rows() != local_energies->size()) {
        return input_error("TDVP sample dimensions do not match");
    }
    const std::uint64_t parameters = derivatives->columns();
    // The QGT holds P^2 floats beside the copied derivatives: refuse what cannot fit before copying.
    std::uint64_t qgt_entries = 0;
    if (__builtin_mul_overflow(parameters, parameters, &qgt_entries) || qgt_entries > (UINT64_MAX >> 4)) {
        PyErr_NoMemory();
        return nullptr;
    }
    if (!ensure_memory_for(qgt_entries * sizeof(double) + weights->size() * parameters * sizeof(Complex))) {
        return nullptr;
    }
    // Sample-major values: read in place when the array already is, copied otherwise.
    std::vector<Complex> derivative_copy;
    std::span<const Complex> derivative_values;
    if (auto in_place = derivatives->contiguous()) {
        derivative_values = *in_place;
    } else {
        derivative_copy = derivatives->to_row_major();
        derivative_values = derivative_copy;
    }

    variational::TDVPMode mode{};
    if (*mode_text == "real_time") {
        mode = variational::TDVPMode::RealTime;
    } else if (*mode_text == "imaginary_time") {
        mode = variational::TDVPMode::ImaginaryTime;
    } else {
        return input_error("invalid TDVP mode: " + std::string(*mode_text));
    }

    auto statistics = variational::estimate_tdvp(weights->to_vector(), local_energies->to_vector(),
                                                 derivative_values, parameters, mode);
    if (!statistics) return numerical_error(variational::to_string(statistics.error()));

    OwnedRef rhs(vector_array<double>(statistics->rhs()));
    if (!rhs) return nullptr;
    OwnedRef qgt(matrix_array<double>(statistics->qgt().as_slice(), parameters, parameters));
    if (!qgt) return nullptr;
    OwnedRef energy_mean(PyComplex_FromDoubles(statistics->energy_mean().re, statistics->energy_mean().im));
    if (!energy_mean) return nullptr;
    OwnedRef energy_variance(PyFloat_FromDouble(statistics->energy_variance()));
    if (!energy_variance) return nullptr;
    OwnedRef samples(PyLong_FromUnsignedLongLong(statistics->samples()));
    if (!samples) return nullptr;
    return ordered_dict({{"rhs", rhs.get()},
                         {"qgt", qgt.get()},
                         {"energy_mean", energy_mean.get()},
                         {"energy_variance", energy_variance.get()},
                         {"samples", samples.get()}});
}

}  // namespace

PyMethodDef tdvp_estimate_definition = exported_function<kSignature, body>(
    "tdvp_estimate",
    "tdvp_estimate(weights, local_energies, derivatives, mode=\"real_time\")\n--\n\n"
    "Estimate real-parameter TDVP statistics from owned sample arrays.");

}  // namespace vendrel::python
