// Interaction identities, weighted interactions and the validated, canonically sorted interaction table.
#pragma once

#include <compare>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "common/result.hpp"
#include "core/geometry.hpp"
#include "core/interaction_channel.hpp"
#include "core/interaction_error.hpp"

namespace vendrel::core {

/// What a coupling is: bond, channel and an optional name; ordered by those fields in turn, an
/// absent name before any present one.
class InteractionIdentity {
public:
    /// An identity without a name; checks nothing (the channel is checked when weighted).
    static InteractionIdentity create(Bond bond, InteractionChannel channel) {
        return InteractionIdentity(bond, std::move(channel));
    }
    [[nodiscard]] Bond bond() const { return bond_; }
    [[nodiscard]] const InteractionChannel& channel() const { return channel_; }
    [[nodiscard]] const std::optional<std::string>& name() const { return name_; }

    friend bool operator==(const InteractionIdentity&, const InteractionIdentity&) = default;
    friend std::strong_ordering operator<=>(const InteractionIdentity& a, const InteractionIdentity& b) {
        if (auto order = a.bond_ <=> b.bond_; order != 0) return order;
        if (auto order = a.channel_ <=> b.channel_; order != 0) return order;
        return a.name_ <=> b.name_;
    }

private:
    InteractionIdentity(Bond bond, InteractionChannel channel) : bond_(bond), channel_(std::move(channel)) {}
    Bond bond_;
    InteractionChannel channel_;
    std::optional<std::string> name_;
};

/// An identity with a finite coefficient (zero allowed) and a valid channel.
class WeightedInteraction {
public:
    static Result<WeightedInteraction, InteractionError> create(Bond bond, InteractionChannel channel,
                                                                double coefficient);
    /// Checks the channel, then the coefficient.
    static Result<WeightedInteraction, InteractionError> from_identity(InteractionIdentity identity,
                                                                       double coefficient);

    [[nodiscard]] Bond bond() const { return identity_.bond(); }
    [[nodiscard]] const InteractionChannel& channel() const { return identity_.channel(); }
    [[nodiscard]] const InteractionIdentity& identity() const { return identity_; }
    [[nodiscard]] double coefficient() const { return coefficient_; }

private:
    WeightedInteraction(InteractionIdentity identity, double coefficient)
        : identity_(std::move(identity)), coefficient_(coefficient) {}
    InteractionIdentity identity_;
    double coefficient_;
};

struct InteractionTerm {
    Bond bond;
    InteractionChannel channel;
    double coefficient;
};

struct IdentityTerm {
    InteractionIdentity identity;
    double coefficient;
};

/// Validated couplings of one system: sites below the count, entries in strictly increasing identity
/// order. Equal identities are refused, never merged, so any term order gives the same table.
class InteractionTable {
public:
    static Result<InteractionTable, InteractionError> create(SiteCount site_count, std::vector<InteractionTerm> terms);
    /// Per term in input order: channel, first site, second site, coefficient; duplicates last.
    static Result<InteractionTable, InteractionError> create_with_identities(SiteCount site_count,
                                                                             std::vector<IdentityTerm> terms);

    [[nodiscard]] SiteCount site_count() const { return site_count_; }
    [[nodiscard]] std::span<const WeightedInteraction> interactions() const { return interactions_; }

private:
    InteractionTable(SiteCount site_count, std::vector<WeightedInteraction> interactions)
        : site_count_(site_count), interactions_(std::move(interactions)) {}
    SiteCount site_count_;
    std::vector<WeightedInteraction> interactions_;
};

}  // namespace vendrel::core
