// BasisError: the failures of identifiers, basis states and basis enumeration, and their messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace vendrel::core {

namespace basis_error {
struct EmptySystem {
    friend bool operator==(const EmptySystem&, const EmptySystem&) = default;
};
struct DimensionOverflow {
    std::string_view operation;  // always a static text
    friend bool operator==(const DimensionOverflow&, const DimensionOverflow&) = default;
};
struct InvalidAxis {
    std::string value;
    friend bool operator==(const InvalidAxis&, const InvalidAxis&) = default;
};
struct IdentifierOverflow {
    std::uint64_t value;
    friend bool operator==(const IdentifierOverflow&, const IdentifierOverflow&) = default;
};
struct SiteOutOfRange {
    std::uint32_t site;
    std::uint64_t site_count;
    friend bool operator==(const SiteOutOfRange&, const SiteOutOfRange&) = default;
};
struct WeightOutOfRange {
    std::uint64_t weight;
    std::uint64_t site_count;
    friend bool operator==(const WeightOutOfRange&, const WeightOutOfRange&) = default;
};
}  // namespace basis_error

using BasisError = std::variant<basis_error::EmptySystem, basis_error::DimensionOverflow, basis_error::InvalidAxis,
                                basis_error::IdentifierOverflow, basis_error::SiteOutOfRange,
                                basis_error::WeightOutOfRange>;

/// The fixed English message of a basis error, e.g. "a system must contain at least one site".
[[nodiscard]] std::string to_string(const BasisError& error);

}  // namespace vendrel::core
