// The kind of a two-site coupling: three named channels and generic channels with an identifier.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace vendrel::core {

/// Ordered by variant (IsingZZ < HeisenbergExchange < RydbergDensityDensity < Generic), generic
/// channels then by their identifiers byte by byte.
class InteractionChannel {
public:
    enum class Kind : std::uint8_t { IsingZZ = 0, HeisenbergExchange = 1, RydbergDensityDensity = 2, Generic = 3 };

    static InteractionChannel ising_zz() { return InteractionChannel(Kind::IsingZZ, {}); }
    static InteractionChannel heisenberg_exchange() { return InteractionChannel(Kind::HeisenbergExchange, {}); }
    static InteractionChannel rydberg_density_density() {
        return InteractionChannel(Kind::RydbergDensityDensity, {});
    }
    static InteractionChannel generic(std::string identifier) {
        return InteractionChannel(Kind::Generic, std::move(identifier));
    }

    [[nodiscard]] Kind kind() const { return kind_; }
    /// The identifier of a generic channel; empty for the named ones.
    [[nodiscard]] std::string_view identifier() const { return identifier_; }
    /// Named channels are always valid; a generic identifier must be non-empty and free of
    /// Unicode White_Space characters (checked as given, nothing trimmed).
    [[nodiscard]] bool is_valid() const;

    friend bool operator==(const InteractionChannel&, const InteractionChannel&) = default;
    friend std::strong_ordering operator<=>(const InteractionChannel& a, const InteractionChannel& b);

private:
    InteractionChannel(Kind kind, std::string identifier) : kind_(kind), identifier_(std::move(identifier)) {}
    Kind kind_;
    std::string identifier_;
};

/// IsingZZ, HeisenbergExchange, RydbergDensityDensity, or Generic("identifier") with the quoted form.
[[nodiscard]] std::string to_string(const InteractionChannel& channel);

}  // namespace vendrel::core
