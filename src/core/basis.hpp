// Basis bits, unpacked and bit-packed basis states, and the full and fixed-weight enumerations.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/result.hpp"
#include "core/basis_error.hpp"
#include "core/identifiers.hpp"

namespace vendrel::core {

/// The value of one site: Zero is the +1 eigenstate of Pauli Z, One the -1 eigenstate.
enum class BasisBit : std::uint8_t { Zero = 0, One = 1 };

[[nodiscard]] constexpr std::uint8_t as_u8(BasisBit bit) { return static_cast<std::uint8_t>(bit); }
/// The eigenvalue of Pauli Z on the site: +1 for Zero, -1 for One.
[[nodiscard]] constexpr std::int8_t pauli_eigenvalue(BasisBit bit) { return bit == BasisBit::Zero ? 1 : -1; }

/// Number of 64-bit words holding `site_count` sites: ceil(site_count / 64).
[[nodiscard]] constexpr std::uint64_t word_count(std::uint64_t site_count) {
    return site_count / 64 + (site_count % 64 != 0 ? 1 : 0);
}

/// Mask of the permitted bits of the last word: the low (site_count mod 64) bits, or all bits.
[[nodiscard]] constexpr std::uint64_t valid_mask(std::uint64_t site_count) {
    const std::uint64_t rest = site_count % 64;
    return rest == 0 ? ~std::uint64_t{0} : (std::uint64_t{1} << rest) - 1;
}

class PackedState;

/// One bit per site, site 0 first; never empty.
class BasisState {
public:
    /// Copies the bits; fails with EmptySystem for an empty sequence.
    static Result<BasisState, BasisError> from_bits(std::span<const BasisBit> bits);
    /// Takes over a bit list that the caller knows to be non-empty.
    static BasisState from_nonempty(std::vector<BasisBit> bits) { return BasisState(std::move(bits)); }

    [[nodiscard]] std::uint64_t len() const { return bits_.size(); }
    [[nodiscard]] std::span<const BasisBit> bits() const { return bits_; }
    [[nodiscard]] Result<PackedState, BasisError> pack() const;

    friend bool operator==(const BasisState&, const BasisState&) = default;

private:
    explicit BasisState(std::vector<BasisBit> bits) : bits_(std::move(bits)) {}
    std::vector<BasisBit> bits_;
};

/// Site i is bit i mod 64 of word i div 64, words least significant first, high bits zero.
class PackedState {
public:
    static Result<PackedState, BasisError> from_bits(std::span<const BasisBit> bits);
    /// All sites Zero.
    static PackedState zero(SiteCount site_count);
    /// Takes over words already in canonical form for the site count.
    static PackedState from_words(SiteCount site_count, std::vector<std::uint64_t> words) {
        return PackedState(site_count, std::move(words));
    }

    [[nodiscard]] std::uint64_t site_count() const { return site_count_.get(); }
    [[nodiscard]] std::span<const std::uint64_t> words_le() const { return words_; }
    /// The bit of `site`; IdentifierOverflow beyond 32 bits, SiteOutOfRange at or beyond the count.
    [[nodiscard]] Result<BasisBit, BasisError> bit(std::uint64_t site) const;
    /// Advances to the next integer value; returns true when it wrapped around to all Zero.
    bool increment();

    friend bool operator==(const PackedState&, const PackedState&) = default;

private:
    PackedState(SiteCount site_count, std::vector<std::uint64_t> words)
        : site_count_(site_count), words_(std::move(words)) {}
    SiteCount site_count_;
    std::vector<std::uint64_t> words_;
};

/// All 2^n states of n < 64 sites in increasing integer order; a lazy, single-pass iterator.
class FullBasis {
public:
    /// Fails with DimensionOverflow ("full basis dimension") for 64 sites or more.
    static Result<FullBasis, BasisError> create(SiteCount site_count);
    /// The next state, or nothing once the enumeration has ended (and every time after).
    std::optional<PackedState> next();

private:
    explicit FullBasis(PackedState current) : current_(std::move(current)) {}
    PackedState current_;
    bool done_ = false;
};

/// The C(n, k) states with exactly k sites One, in increasing integer order; any number of sites.
class SectorBasis {
public:
    /// Fails with WeightOutOfRange when the weight exceeds the site count.
    static Result<SectorBasis, BasisError> create(SiteCount site_count, std::uint64_t weight);
    std::optional<PackedState> next();
    /// The sites holding One in the next state, in increasing order, then advances; nothing once
    /// ended. The view is valid until the next call. Allocates nothing.
    std::optional<std::span<const std::uint64_t>> next_positions();

private:
    SectorBasis(SiteCount site_count, std::vector<std::uint64_t> positions)
        : site_count_(site_count), positions_(std::move(positions)), handed_out_(positions_.size()) {}
    SiteCount site_count_;
    std::vector<std::uint64_t> positions_;
    std::vector<std::uint64_t> handed_out_;  // the positions of the state last handed out
    bool done_ = false;
};

}  // namespace vendrel::core
