// OperatorError: the failures of Pauli strings and Hamiltonians, and their messages.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "common/complex.hpp"
#include "core/identifiers.hpp"

namespace vendrel::core {

namespace operator_error {
struct DuplicateSupport {
    SiteId site;
    friend bool operator==(const DuplicateSupport&, const DuplicateSupport&) = default;
};
struct SiteOutOfRange {
    SiteId site;
    std::uint64_t site_count;
    friend bool operator==(const SiteOutOfRange&, const SiteOutOfRange&) = default;
};
struct NonFiniteCoefficient {
    Complex value;
    friend bool operator==(const NonFiniteCoefficient&, const NonFiniteCoefficient&) = default;
};
struct StateLength {
    std::uint64_t expected;
    std::uint64_t actual;
    friend bool operator==(const StateLength&, const StateLength&) = default;
};
struct NonHermitianCoefficient {
    Complex value;
    friend bool operator==(const NonHermitianCoefficient&, const NonHermitianCoefficient&) = default;
};
}  // namespace operator_error

using OperatorError =
    std::variant<operator_error::DuplicateSupport, operator_error::SiteOutOfRange, operator_error::NonFiniteCoefficient,
                 operator_error::StateLength, operator_error::NonHermitianCoefficient>;

/// The fixed English message, e.g. "operator support repeats site 3".
[[nodiscard]] std::string to_string(const OperatorError& error);

}  // namespace vendrel::core
