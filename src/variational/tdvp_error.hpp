// TDVPError: the failures of TDVP estimation, the QGT and the conjugate-gradient solve, and their messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace vendrel::variational {

namespace tdvp_error {
/// An argument outside its domain; `name` is a static text naming it, e.g. "sample weight".
struct InvalidParameter {
    std::string_view name;
    friend bool operator==(const InvalidParameter&, const InvalidParameter&) = default;
};
/// A sequence of the wrong length.
struct Shape {
    std::uint64_t expected;
    std::uint64_t actual;
    friend bool operator==(const Shape&, const Shape&) = default;
};
/// A non-finite input or result; `name` is a static text naming the quantity.
struct NonFinite {
    std::string_view name;
    friend bool operator==(const NonFinite&, const NonFinite&) = default;
};
/// No samples, no parameters, or no positive finite total weight.
struct InsufficientSamples {
    friend bool operator==(const InsufficientSamples&, const InsufficientSamples&) = default;
};
}  // namespace tdvp_error

using TDVPError = std::variant<tdvp_error::InvalidParameter, tdvp_error::Shape, tdvp_error::NonFinite,
                               tdvp_error::InsufficientSamples>;

/// The fixed English message, e.g. "TDVP expected length 3, received 2".
[[nodiscard]] std::string to_string(const TDVPError& error);

}  // namespace vendrel::variational
