// Validating constructors and parsers of the identifier types.
#include "core/identifiers.hpp"

#include <limits>
#include <string>

namespace vendrel::core {

Result<SiteId, BasisError> SiteId::try_from_usize(std::uint64_t value) {
    if (value > std::numeric_limits<std::uint32_t>::max()) {
        return fail<BasisError>(basis_error::IdentifierOverflow{value});
    }
    return SiteId(static_cast<std::uint32_t>(value));
}

Result<SiteCount, BasisError> SiteCount::create(std::uint64_t count) {
    if (count == 0) return fail<BasisError>(basis_error::EmptySystem{});
    return SiteCount(count);
}

Result<void, BasisError> SiteCount::validate(SiteId site) const {
    if (site.get() < count_) return {};
    return fail<BasisError>(basis_error::SiteOutOfRange{site.get(), count_});
}

namespace {

constexpr std::string_view kAxisTexts[] = {"x", "y", "z"};

// The comparison is byte-wise and exact: nothing is trimmed or case-folded.
template <class Axis>
Result<Axis, BasisError> parse_axis(std::string_view text) {
    for (std::uint8_t index = 0; index < 3; ++index) {
        if (text == kAxisTexts[index]) return static_cast<Axis>(index);
    }
    return fail<BasisError>(basis_error::InvalidAxis{std::string(text)});
}

}  // namespace

std::string_view as_str(PhysicalAxis axis) { return kAxisTexts[static_cast<std::uint8_t>(axis)]; }
std::string_view as_str(SimulationBasis basis) { return kAxisTexts[static_cast<std::uint8_t>(basis)]; }

Result<PhysicalAxis, BasisError> parse_physical_axis(std::string_view text) { return parse_axis<PhysicalAxis>(text); }

Result<SimulationBasis, BasisError> parse_simulation_basis(std::string_view text) {
    return parse_axis<SimulationBasis>(text);
}

}  // namespace vendrel::core
