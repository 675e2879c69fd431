// The exact basis: a list of basis states in canonical order with a lookup from state to position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/result.hpp"
#include "core/basis.hpp"
#include "core/identifiers.hpp"
#include "exact/exact_error.hpp"

namespace vendrel::exact {

/// Hash of a packed word list; transparent, so a lookup needs no owned key.
struct PackedWordsHash {
    using is_transparent = void;
    [[nodiscard]] std::size_t operator()(std::span<const std::uint64_t> words) const noexcept;
    [[nodiscard]] std::size_t operator()(const std::vector<std::uint64_t>& words) const noexcept {
        return (*this)(std::span<const std::uint64_t>(words));
    }
};

/// Word-by-word equality of packed word lists, owned or borrowed.
struct PackedWordsEqual {
    using is_transparent = void;
    [[nodiscard]] bool operator()(std::span<const std::uint64_t> left,
                                  std::span<const std::uint64_t> right) const noexcept;
};

/// The states that number the rows and columns of every exact vector and matrix, never empty.
/// Position i of `states()` is index i; `index_of` finds a state by its packed words alone.
class ExactBasis {
public:
    /// All 2^n states of n sites in increasing integer order; refuses 64 sites or more (as Basis).
    static Result<ExactBasis, ExactError> full(core::SiteCount site_count);
    /// The C(n, weight) states with `weight` sites One, in increasing integer order.
    static Result<ExactBasis, ExactError> fixed_weight(core::SiteCount site_count, std::uint64_t weight);
    /// The given states in the given order, unchecked for length or distinctness; a repeated state
    /// looks up to its last position. DimensionOverflow for an empty list.
    static Result<ExactBasis, ExactError> from_states(std::vector<core::BasisState> states);

    [[nodiscard]] std::span<const core::BasisState> states() const { return states_; }
    [[nodiscard]] std::uint64_t dimension() const { return states_.size(); }
    /// The position of the state whose packed words equal those of `state`, or nothing.
    [[nodiscard]] std::optional<std::uint64_t> index_of(const core::BasisState& state) const;

private:
    using Lookup = std::unordered_map<std::vector<std::uint64_t>, std::uint64_t, PackedWordsHash, PackedWordsEqual>;
    ExactBasis(std::vector<core::BasisState> states, Lookup lookup)
        : states_(std::move(states)), lookup_(std::move(lookup)) {}
    std::vector<core::BasisState> states_;
    Lookup lookup_;
};

/// The unpacked form of a packed state, site 0 first.
[[nodiscard]] Result<core::BasisState, ExactError> packed_to_dense(core::PackedState packed);

}  // namespace vendrel::exact
