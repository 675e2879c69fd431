// Messages of TDVPError.
#include "variational/tdvp_error.hpp"

#include "common/result.hpp"

namespace vendrel::variational {

std::string to_string(const TDVPError& error) {
    using namespace tdvp_error;
    return std::visit(
        Overloaded{
            [](const InvalidParameter& e) { return "invalid TDVP parameter " + std::string(e.name); },
            [](const Shape& e) {
                return "TDVP expected length " + std::to_string(e.expected) + ", received " +
                       std::to_string(e.actual);
            },
            [](const NonFinite& e) { return "non-finite TDVP " + std::string(e.name); },
            [](const InsufficientSamples&) { return std::string("TDVP requires positive sample weight"); },
        },
        error);
}

}  // namespace vendrel::variational
