// Validation and canonical ordering of weighted interactions.
#include "core/interactions.hpp"

#include <algorithm>
#include <cmath>

namespace vendrel::core {

Result<WeightedInteraction, InteractionError> WeightedInteraction::create(Bond bond, InteractionChannel channel,
                                                                          double coefficient) {
    return from_identity(InteractionIdentity::create(bond, std::move(channel)), coefficient);
}

Result<WeightedInteraction, InteractionError> WeightedInteraction::from_identity(InteractionIdentity identity,
                                                                                 double coefficient) {
    if (!identity.channel().is_valid()) {
        return fail<InteractionError>(interaction_error::InvalidChannel{std::string(identity.channel().identifier())});
    }
    if (!std::isfinite(coefficient)) return fail<InteractionError>(interaction_error::NonFiniteCoefficient{coefficient});
    return WeightedInteraction(std::move(identity), coefficient);
}

Result<InteractionTable, InteractionError> InteractionTable::create(SiteCount site_count,
                                                                    std::vector<InteractionTerm> terms) {
    std::vector<IdentityTerm> identities;
    identities.reserve(terms.size());
    for (InteractionTerm& term : terms) {
        identities.push_back({InteractionIdentity::create(term.bond, std::move(term.channel)), term.coefficient});
    }
    return create_with_identities(site_count, std::move(identities));
}

Result<InteractionTable, InteractionError> InteractionTable::create_with_identities(SiteCount site_count,
                                                                                   std::vector<IdentityTerm> terms) {
    std::vector<WeightedInteraction> entries;
    entries.reserve(terms.size());
    for (IdentityTerm& term : terms) {
        const InteractionChannel& channel = term.identity.channel();
        if (!channel.is_valid()) {
            return fail<InteractionError>(interaction_error::InvalidChannel{std::string(channel.identifier())});
        }
        for (SiteId site : {term.identity.bond().first, term.identity.bond().second}) {
            if (!site_count.validate(site)) {
                return fail<InteractionError>(interaction_error::SiteOutOfRange{site, site_count.get()});
            }
        }
        auto entry = WeightedInteraction::from_identity(std::move(term.identity), term.coefficient);
        if (!entry) return fail(std::move(entry.error()));
        entries.push_back(std::move(*entry));
    }
    std::stable_sort(entries.begin(), entries.end(), [](const WeightedInteraction& a, const WeightedInteraction& b) {
        return a.identity() < b.identity();
    });
    for (std::size_t index = 1; index < entries.size(); ++index) {
        if (entries[index - 1].identity() == entries[index].identity()) {
            return fail<InteractionError>(
                interaction_error::DuplicateIdentity{entries[index].bond(), entries[index].channel()});
        }
    }
    return InteractionTable(site_count, std::move(entries));
}

}  // namespace vendrel::core
