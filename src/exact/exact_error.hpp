// ExactError: the failures of the exact basis, dense matrices, the eigensolver and observables, and their messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "common/complex.hpp"
#include "core/basis.hpp"
#include "core/basis_error.hpp"
#include "core/operator_error.hpp"

namespace vendrel::exact {

namespace exact_error {
/// A basis error passed up unchanged; renders as the wrapped text.
struct Basis {
    core::BasisError error;
    friend bool operator==(const Basis&, const Basis&) = default;
};
/// An operator error passed up unchanged; renders as the wrapped text.
struct Operator {
    core::OperatorError error;
    friend bool operator==(const Operator&, const Operator&) = default;
};
/// An empty basis or spectrum, a zero-dimensional matrix, or a size computation that overflowed.
struct DimensionOverflow {
    friend bool operator==(const DimensionOverflow&, const DimensionOverflow&) = default;
};
/// A length that differs from the one required.
struct Shape {
    std::uint64_t expected;
    std::uint64_t actual;
    friend bool operator==(const Shape&, const Shape&) = default;
};
/// The first entry (row, column) in row-major order whose difference from the conjugate of its mirror,
/// `value`, is non-finite or above the tolerance.
struct NonHermitian {
    std::uint64_t row;
    std::uint64_t column;
    Complex value;
    friend bool operator==(const NonHermitian&, const NonHermitian&) = default;
};
/// A Hamiltonian maps a basis state onto `state`, which the basis does not hold.
struct StateOutsideBasis {
    core::BasisState state;
    friend bool operator==(const StateOutsideBasis&, const StateOutsideBasis&) = default;
};
/// The first non-finite element of an input; `context` is a static text naming the input, e.g. "vector".
struct NonFiniteValue {
    std::string_view context;
    std::uint64_t index;
    Complex value;
    friend bool operator==(const NonFiniteValue&, const NonFiniteValue&) = default;
};
/// The eigensolver gave up after `iterations` rotations.
struct NonConvergent {
    std::uint64_t iterations;
    friend bool operator==(const NonConvergent&, const NonConvergent&) = default;
};
/// A parameter or quantity outside its domain; `name` is a static text, e.g. "state norm".
struct InvalidParameter {
    std::string_view name;
    friend bool operator==(const InvalidParameter&, const InvalidParameter&) = default;
};
}  // namespace exact_error

using ExactError =
    std::variant<exact_error::Basis, exact_error::Operator, exact_error::DimensionOverflow, exact_error::Shape,
                 exact_error::NonHermitian, exact_error::StateOutsideBasis, exact_error::NonFiniteValue,
                 exact_error::NonConvergent, exact_error::InvalidParameter>;

/// The fixed English message, e.g. "expected length 4, received 3"; wrapped errors render unchanged.
[[nodiscard]] std::string to_string(const ExactError& error);

}  // namespace vendrel::exact
