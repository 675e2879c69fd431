// Checks of dense coupling matrices and their resolution into pair interactions.
#include "core/dense_couplings.hpp"

#include <cmath>
#include <limits>

namespace vendrel::core {

Result<DenseCouplings, InteractionError> DenseCouplings::create(SiteCount site_count, std::vector<double> values) {
    return create_with_tolerance(site_count, std::move(values), kDefaultTolerance);
}

Result<DenseCouplings, InteractionError> DenseCouplings::create_with_tolerance(SiteCount site_count,
                                                                               std::vector<double> values,
                                                                               double tolerance) {
    using namespace interaction_error;
    if (!std::isfinite(tolerance) || tolerance < 0.0) return fail<InteractionError>(InvalidTolerance{tolerance});
    const std::uint64_t n = site_count.get();
    std::uint64_t entries = 0;
    if (__builtin_mul_overflow(n, n, &entries)) {
        return fail<InteractionError>(InvalidDenseShape{std::numeric_limits<std::uint64_t>::max(), values.size()});
    }
    if (values.size() != entries) return fail<InteractionError>(InvalidDenseShape{entries, values.size()});
    for (std::uint64_t i = 0; i < n; ++i) {
        const double diagonal = values[i * n + i];
        if (!std::isfinite(diagonal)) return fail<InteractionError>(NonFiniteCoefficient{diagonal});
        if (diagonal != 0.0) return fail<InteractionError>(NonZeroDiagonal{i, diagonal});
        for (std::uint64_t j = i + 1; j < n; ++j) {
            const double upper = values[i * n + j];
            const double lower = values[j * n + i];
            if (!std::isfinite(upper)) return fail<InteractionError>(NonFiniteCoefficient{upper});
            if (!std::isfinite(lower)) return fail<InteractionError>(NonFiniteCoefficient{lower});
            // A difference that overflows to infinity exceeds every tolerance.
            if (std::fabs(upper - lower) > tolerance) return fail<InteractionError>(NonSymmetric{i, j, upper, lower});
        }
    }
    return DenseCouplings(site_count, std::move(values));
}

Result<std::vector<WeightedInteraction>, InteractionError> DenseCouplings::to_interactions(
    InteractionChannel channel) const {
    const std::uint64_t n = site_count_.get();
    std::vector<WeightedInteraction> interactions;
    interactions.reserve(n * (n - 1) / 2);
    for (std::uint64_t i = 0; i < n; ++i) {
        for (std::uint64_t j = i + 1; j < n; ++j) {
            // Neither guard can trip for a matrix that fits in memory.
            const auto guard = interaction_error::SiteOutOfRange{SiteId::create(4294967295u), n};
            auto first = SiteId::try_from_usize(i);
            auto second = SiteId::try_from_usize(j);
            if (!first || !second) return fail<InteractionError>(guard);
            auto bond = Bond::create(*first, *second);
            if (!bond) return fail<InteractionError>(guard);
            auto interaction = WeightedInteraction::create(*bond, channel, values_[i * n + j]);
            if (!interaction) return fail(std::move(interaction.error()));
            interactions.push_back(std::move(*interaction));
        }
    }
    return interactions;
}

}  // namespace vendrel::core
