// Messages of OperatorError.
#include "core/operator_error.hpp"

#include "common/result.hpp"
#include "core/render.hpp"

namespace vendrel::core {

std::string to_string(const OperatorError& error) {
    using namespace operator_error;
    return std::visit(
        Overloaded{
            [](const DuplicateSupport& e) { return "operator support repeats site " + std::to_string(e.site.get()); },
            [](const SiteOutOfRange& e) {
                return "operator site " + std::to_string(e.site.get()) + " is outside " +
                       std::to_string(e.site_count) + " sites";
            },
            [](const NonFiniteCoefficient& e) {
                return "operator coefficient " + complex_text(e.value) + " is non-finite";
            },
            [](const StateLength& e) {
                return "operator expects " + std::to_string(e.expected) + " sites, received " +
                       std::to_string(e.actual);
            },
            [](const NonHermitianCoefficient& e) {
                return "Hermitian operator coefficient " + complex_text(e.value) + " is non-real";
            },
        },
        error);
}

}  // namespace vendrel::core
