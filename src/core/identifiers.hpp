// Site identifiers, site counts, physical axes and simulation bases.
#pragma once

#include <compare>
#include <cstdint>
#include <string_view>

#include "common/result.hpp"
#include "core/basis_error.hpp"

namespace vendrel::core {

/// The number of one lattice site, counted from 0; ordered as the unsigned number.
class SiteId {
public:
    constexpr SiteId() = default;
    static constexpr SiteId create(std::uint32_t value) { return SiteId(value); }
    /// Fails with IdentifierOverflow above 4294967295.
    static Result<SiteId, BasisError> try_from_usize(std::uint64_t value);
    [[nodiscard]] constexpr std::uint32_t get() const { return value_; }
    friend constexpr auto operator<=>(SiteId, SiteId) = default;

private:
    constexpr explicit SiteId(std::uint32_t value) : value_(value) {}
    std::uint32_t value_ = 0;
};

/// The number of sites of a system; at least 1.
class SiteCount {
public:
    /// Fails with EmptySystem for 0.
    static Result<SiteCount, BasisError> create(std::uint64_t count);
    [[nodiscard]] constexpr std::uint64_t get() const { return count_; }
    /// Succeeds when the site is strictly below the count, else SiteOutOfRange.
    [[nodiscard]] Result<void, BasisError> validate(SiteId site) const;
    friend constexpr bool operator==(SiteCount, SiteCount) = default;

private:
    constexpr explicit SiteCount(std::uint64_t count) : count_(count) {}
    std::uint64_t count_;
};

/// The axis of a physical Pauli observable, independent of the simulation basis.
enum class PhysicalAxis : std::uint8_t { X = 0, Y = 1, Z = 2 };

/// The single-site computational basis a Hamiltonian is written in.
enum class SimulationBasis : std::uint8_t { X = 0, Y = 1, Z = 2 };

/// Canonical texts "x", "y", "z".
[[nodiscard]] std::string_view as_str(PhysicalAxis axis);
[[nodiscard]] std::string_view as_str(SimulationBasis basis);

/// Exactly "x", "y" or "z"; anything else (case, blanks, longer words, empty) fails with
/// InvalidAxis carrying the whole text.
[[nodiscard]] Result<PhysicalAxis, BasisError> parse_physical_axis(std::string_view text);
[[nodiscard]] Result<SimulationBasis, BasisError> parse_simulation_basis(std::string_view text);

}  // namespace vendrel::core
