// Messages of BasisError.
#include "core/basis_error.hpp"

#include "common/result.hpp"
#include "core/render.hpp"

namespace vendrel::core {

std::string to_string(const BasisError& error) {
    using namespace basis_error;
    return std::visit(
        Overloaded{
            [](const EmptySystem&) { return std::string("a system must contain at least one site"); },
            [](const DimensionOverflow& e) {
                return "checked " + std::string(e.operation) + " dimension overflowed";
            },
            [](const InvalidAxis& e) {
                return "axis or simulation basis " + quoted_text(e.value) + " is not canonical";
            },
            [](const IdentifierOverflow& e) {
                return "site identifier " + std::to_string(e.value) + " does not fit in u32";
            },
            [](const SiteOutOfRange& e) {
                return "site " + std::to_string(e.site) + " is outside a " + std::to_string(e.site_count) +
                       "-site system";
            },
            [](const WeightOutOfRange& e) {
                return "Hamming weight " + std::to_string(e.weight) + " exceeds the " +
                       std::to_string(e.site_count) + "-site system";
            },
        },
        error);
}

}  // namespace vendrel::core
