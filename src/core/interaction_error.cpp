// Messages of InteractionError: plain floats for matrix entries, compact floats for coefficients.
#include "core/interaction_error.hpp"

#include "common/result.hpp"
#include "core/render.hpp"

namespace vendrel::core {

std::string to_string(const InteractionError& error) {
    using namespace interaction_error;
    return std::visit(
        Overloaded{
            [](const NonFiniteCoefficient& e) {
                return "interaction coefficient " + compact_float(e.value) + " is non-finite";
            },
            [](const SiteOutOfRange& e) {
                return "site " + std::to_string(e.site.get()) + " is outside a " + std::to_string(e.site_count) +
                       "-site interaction table";
            },
            [](const DuplicateIdentity& e) {
                return "duplicate interaction identity (" + std::to_string(e.bond.first.get()) + ", " +
                       std::to_string(e.bond.second.get()) + ") on " + to_string(e.channel);
            },
            [](const InvalidDenseShape& e) {
                return "dense coupling matrix needs " + std::to_string(e.expected) + " entries, received " +
                       std::to_string(e.actual);
            },
            [](const NonSymmetric& e) {
                return "dense coupling matrix differs at (" + std::to_string(e.row) + ", " + std::to_string(e.column) +
                       "): " + plain_float(e.upper) + " versus " + plain_float(e.lower);
            },
            [](const NonZeroDiagonal& e) {
                return "dense coupling diagonal " + std::to_string(e.index) + " is " + plain_float(e.value) +
                       ", not zero";
            },
            [](const InvalidChannel& e) {
                return "interaction channel " + quoted_text(e.value) + " is not a stable non-empty identifier";
            },
            [](const InvalidTolerance& e) { return "symmetry tolerance " + compact_float(e.value) + " is invalid"; },
        },
        error);
}

}  // namespace vendrel::core
