// Messages of ExactError.
#include "exact/exact_error.hpp"

#include "common/result.hpp"
#include "core/render.hpp"

namespace vendrel::exact {

std::string to_string(const ExactError& error) {
    using namespace exact_error;
    return std::visit(
        Overloaded{
            [](const Basis& e) { return core::to_string(e.error); },
            [](const Operator& e) { return core::to_string(e.error); },
            [](const DimensionOverflow&) { return std::string("exact dimension overflowed"); },
            [](const Shape& e) {
                return "expected length " + std::to_string(e.expected) + ", received " + std::to_string(e.actual);
            },
            [](const NonHermitian& e) {
                // No blank after the comma between row and column.
                return "matrix entry (" + std::to_string(e.row) + "," + std::to_string(e.column) +
                       ")=" + core::complex_text(e.value) + " violates Hermiticity";
            },
            [](const StateOutsideBasis& e) {
                return "Hamiltonian action leaves supplied exact basis (" + std::to_string(e.state.len()) +
                       " sites)";
            },
            [](const NonFiniteValue& e) {
                return "non-finite " + std::string(e.context) + " scalar at index " + std::to_string(e.index) +
                       ": " + core::complex_text(e.value);
            },
            [](const NonConvergent& e) {
                return "Hermitian eigensolver did not converge in " + std::to_string(e.iterations) +
                       " iterations";
            },
            [](const InvalidParameter& e) { return "invalid exact parameter " + std::string(e.name); },
        },
        error);
}

}  // namespace vendrel::exact
