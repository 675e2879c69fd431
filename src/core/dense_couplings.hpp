// A checked dense n-by-n coupling matrix and its resolution into one interaction per pair of sites.
#pragma once

#include <span>
#include <vector>

#include "common/result.hpp"
#include "core/interactions.hpp"

namespace vendrel::core {

/// Row-major n-by-n values: finite, zero diagonal (-0.0 accepted), |upper - lower| within the
/// tolerance for every pair. Kept exactly as given; the lower triangle is never used as a coefficient.
class DenseCouplings {
public:
    static constexpr double kDefaultTolerance = 1e-12;

    /// `create_with_tolerance` with 1e-12.
    static Result<DenseCouplings, InteractionError> create(SiteCount site_count, std::vector<double> values);
    /// Checks the tolerance, the entry count, then scans row by row: the diagonal entry of a row
    /// before that row's pairs, each pair's upper entry before its lower one.
    static Result<DenseCouplings, InteractionError> create_with_tolerance(SiteCount site_count,
                                                                          std::vector<double> values,
                                                                          double tolerance);

    [[nodiscard]] SiteCount site_count() const { return site_count_; }
    [[nodiscard]] std::span<const double> values() const { return values_; }

    /// One interaction per pair i < j in row-major order of the upper triangle, zero couplings
    /// included, each with the upper entry as coefficient.
    [[nodiscard]] Result<std::vector<WeightedInteraction>, InteractionError> to_interactions(
        InteractionChannel channel) const;

private:
    DenseCouplings(SiteCount site_count, std::vector<double> values)
        : site_count_(site_count), values_(std::move(values)) {}
    SiteCount site_count_;
    std::vector<double> values_;
};

}  // namespace vendrel::core
