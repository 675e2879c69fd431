// Packing, incrementing and enumerating computational basis states in the canonical order.
#include "core/basis.hpp"

#include <algorithm>
#include <limits>

namespace vendrel::core {

Result<BasisState, BasisError> BasisState::from_bits(std::span<const BasisBit> bits) {
    if (bits.empty()) return fail<BasisError>(basis_error::EmptySystem{});
    return BasisState(std::vector<BasisBit>(bits.begin(), bits.end()));
}

Result<PackedState, BasisError> BasisState::pack() const { return PackedState::from_bits(bits_); }

Result<PackedState, BasisError> PackedState::from_bits(std::span<const BasisBit> bits) {
    auto count = SiteCount::create(bits.size());
    if (!count) return fail(count.error());
    std::vector<std::uint64_t> words(word_count(bits.size()), 0);
    for (std::size_t index = 0; index < bits.size(); ++index) {
        if (bits[index] == BasisBit::One) words[index / 64] |= std::uint64_t{1} << (index % 64);
    }
    return PackedState(*count, std::move(words));
}

PackedState PackedState::zero(SiteCount site_count) {
    return PackedState(site_count, std::vector<std::uint64_t>(word_count(site_count.get()), 0));
}

Result<BasisBit, BasisError> PackedState::bit(std::uint64_t site) const {
    if (site < site_count_.get()) {
        return ((words_[site / 64] >> (site % 64)) & 1u) != 0 ? BasisBit::One : BasisBit::Zero;
    }
    if (site > std::numeric_limits<std::uint32_t>::max()) {
        return fail<BasisError>(basis_error::IdentifierOverflow{site});
    }
    return fail<BasisError>(basis_error::SiteOutOfRange{static_cast<std::uint32_t>(site), site_count_.get()});
}

bool PackedState::increment() {
    bool carry = true;
    for (std::uint64_t& word : words_) {
        if (!carry) break;
        word += 1;
        carry = word == 0;
    }
    // Wrapping past the last word, or reaching 2^n in the valid bits of the last word, ends the cycle.
    if (carry || (words_.back() & ~valid_mask(site_count_.get())) != 0) {
        for (std::uint64_t& word : words_) word = 0;
        return true;
    }
    return false;
}

Result<FullBasis, BasisError> FullBasis::create(SiteCount site_count) {
    if (site_count.get() >= 64) return fail<BasisError>(basis_error::DimensionOverflow{"full basis dimension"});
    return FullBasis(PackedState::zero(site_count));
}

std::optional<PackedState> FullBasis::next() {
    if (done_) return std::nullopt;
    PackedState state = current_;
    done_ = current_.increment();
    return state;
}

Result<SectorBasis, BasisError> SectorBasis::create(SiteCount site_count, std::uint64_t weight) {
    if (weight > site_count.get()) {
        return fail<BasisError>(basis_error::WeightOutOfRange{weight, site_count.get()});
    }
    std::vector<std::uint64_t> positions(weight);
    for (std::uint64_t index = 0; index < weight; ++index) positions[index] = index;
    return SectorBasis(site_count, std::move(positions));
}

std::optional<std::span<const std::uint64_t>> SectorBasis::next_positions() {
    if (done_) return std::nullopt;
    std::copy(positions_.begin(), positions_.end(), handed_out_.begin());

    // The lowest One that can move up moves one site; the Ones below it fall back to the bottom.
    bool advanced = false;
    for (std::size_t index = 0; index < positions_.size(); ++index) {
        const std::uint64_t upper = index + 1 < positions_.size() ? positions_[index + 1] : site_count_.get();
        if (positions_[index] + 1 < upper) {
            positions_[index] += 1;
            for (std::size_t lower = 0; lower < index; ++lower) positions_[lower] = lower;
            advanced = true;
            break;
        }
    }
    if (!advanced) done_ = true;
    return std::span<const std::uint64_t>(handed_out_);
}

std::optional<PackedState> SectorBasis::next() {
    auto positions = next_positions();
    if (!positions) return std::nullopt;
    std::vector<std::uint64_t> words(word_count(site_count_.get()), 0);
    for (std::uint64_t position : *positions) words[position / 64] |= std::uint64_t{1} << (position % 64);
    return PackedState::from_words(site_count_, std::move(words));
}

}  // namespace vendrel::core
