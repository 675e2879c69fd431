// Channel order, the identifier rule and the channel's text form.
#include "core/interaction_channel.hpp"

#include "core/render.hpp"

namespace vendrel::core {
namespace {

// The characters with the Unicode White_Space property.
bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Decodes well-formed UTF-8; any other byte is taken as its own value, which is never white space
// beyond ASCII, so malformed input cannot hide a blank.
bool contains_white_space(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 1;
        if (i + length > text.size()) length = 1;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        if (is_white_space(c)) return true;
        i += length;
    }
    return false;
}

}  // namespace

bool InteractionChannel::is_valid() const {
    if (kind_ != Kind::Generic) return true;
    return !identifier_.empty() && !contains_white_space(identifier_);
}

std::strong_ordering operator<=>(const InteractionChannel& a, const InteractionChannel& b) {
    if (a.kind_ != b.kind_) return a.kind_ <=> b.kind_;
    const int order = a.identifier_.compare(b.identifier_);  // byte-wise, a proper prefix first
    return order < 0 ? std::strong_ordering::less : order > 0 ? std::strong_ordering::greater : std::strong_ordering::equal;
}

std::string to_string(const InteractionChannel& channel) {
    switch (channel.kind()) {
        case InteractionChannel::Kind::IsingZZ:
            return "IsingZZ";
        case InteractionChannel::Kind::HeisenbergExchange:
            return "HeisenbergExchange";
        case InteractionChannel::Kind::RydbergDensityDensity:
            return "RydbergDensityDensity";
        case InteractionChannel::Kind::Generic:
            return "Generic(" + quoted_text(channel.identifier()) + ")";
    }
    return {};
}

}  // namespace vendrel::core
