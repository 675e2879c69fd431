// libFuzzer target: any bytes through the quoted text form and the other message renderers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/render.hpp"

namespace {

// A minimal UTF-8 validator: the quoted form must always be well-formed UTF-8.
bool valid_utf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string quoted = vendrel::core::quoted_text(input);
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') __builtin_trap();
    if (!valid_utf8(quoted)) __builtin_trap();
    // Messages stay on one line and carry no raw control characters.
    for (unsigned char c : quoted) {
        if (c < 0x20 || c == 0x7F) __builtin_trap();
    }
    // An unescaped quote may only close the text.
    for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
        if (quoted[i] == '"' && quoted[i - 1] != '\\') __builtin_trap();
    }
    if (size >= sizeof(double)) {
        double value;
        std::memcpy(&value, data, sizeof value);
        const std::string plain = vendrel::core::plain_float(value);
        const std::string compact = vendrel::core::compact_float(value);
        if (value == value && plain != "inf" && plain != "-inf") {
            // Both forms read back to the same value (strtod: stod throws on subnormal results).
            if (std::strtod(plain.c_str(), nullptr) != value || std::strtod(compact.c_str(), nullptr) != value) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
