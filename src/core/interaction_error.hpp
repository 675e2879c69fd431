// InteractionError: the failures of interaction tables and dense couplings, and their messages.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "core/geometry.hpp"
#include "core/interaction_channel.hpp"

namespace vendrel::core {

namespace interaction_error {
struct NonFiniteCoefficient {
    double value;
};
struct SiteOutOfRange {
    SiteId site;
    std::uint64_t site_count;
};
struct DuplicateIdentity {
    Bond bond;
    InteractionChannel channel;
};
struct InvalidDenseShape {
    std::uint64_t expected;
    std::uint64_t actual;
};
struct NonSymmetric {
    std::uint64_t row;
    std::uint64_t column;
    double upper;
    double lower;
};
struct NonZeroDiagonal {
    std::uint64_t index;
    double value;
};
struct InvalidChannel {
    std::string value;
};
struct InvalidTolerance {
    double value;
};
}  // namespace interaction_error

using InteractionError =
    std::variant<interaction_error::NonFiniteCoefficient, interaction_error::SiteOutOfRange,
                 interaction_error::DuplicateIdentity, interaction_error::InvalidDenseShape,
                 interaction_error::NonSymmetric, interaction_error::NonZeroDiagonal,
                 interaction_error::InvalidChannel, interaction_error::InvalidTolerance>;

/// The fixed English message, e.g. "dense coupling matrix differs at (0, 1): 1 versus 1.5".
[[nodiscard]] std::string to_string(const InteractionError& error);

}  // namespace vendrel::core
