// Plain, compact and structured renderings of numbers and the quoted rendering of texts.
#include "core/render.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <system_error>

namespace vendrel::core {
namespace {

struct CodeRange {
    char32_t first;
    char32_t last;
};

#include "core/unicode_tables.inc"

[[nodiscard]] bool in_ranges(std::span<const CodeRange> ranges, char32_t point) {
    // First range that starts after `point`; the one before it is the only candidate.
    const auto after = std::ranges::upper_bound(ranges, point, {}, &CodeRange::first);
    return after != ranges.begin() && point <= std::prev(after)->last;
}

/// The shortest round-trip decimal digits of a finite, non-negative double (no leading zeros,
/// "0" for zero) and the power of ten of the first digit: value = d.ddd × 10^exponent.
struct Decimal {
    char digits[24];
    std::size_t count = 0;
    int exponent = 0;
};

[[nodiscard]] Decimal shortest_decimal(double magnitude) {
    // Shortest scientific form, e.g. "1.2345e+16" or "5e-324"; to_chars never consults the locale.
    char text[40];
    const auto written = std::to_chars(std::begin(text), std::end(text), magnitude, std::chars_format::scientific);
    const char* const end = written.ptr;
    Decimal decimal;
    const char* cursor = text;
    for (; cursor != end && *cursor != 'e'; ++cursor) {
        if (*cursor != '.') {
            decimal.digits[decimal.count++] = *cursor;
        }
    }
    if (cursor != end) {
        ++cursor;  // 'e'
        if (cursor != end && *cursor == '+') {
            ++cursor;  // from_chars accepts a minus sign but not a plus sign
        }
        std::from_chars(cursor, end, decimal.exponent);
    }
    return decimal;
}

// Writes NaN, inf or -inf and returns true for a non-finite value.
bool append_non_finite(std::string& out, double value) {
    if (std::isnan(value)) {
        out += "NaN";
        return true;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-inf" : "inf";
        return true;
    }
    return false;
}

// Positional layout of the digits, with a point only when there is a fractional part.
// Returns whether a point was written.
bool append_positional(std::string& out, const Decimal& decimal) {
    const std::string_view digits(decimal.digits, decimal.count);
    const long point = static_cast<long>(decimal.exponent) + 1;  // digits before the point
    const long count = static_cast<long>(digits.size());
    if (point >= count) {
        out += digits;
        out.append(static_cast<std::size_t>(point - count), '0');
        return false;
    }
    if (point <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-point), '0');
        out += digits;
        return true;
    }
    out += digits.substr(0, static_cast<std::size_t>(point));
    out += '.';
    out += digits.substr(static_cast<std::size_t>(point));
    return true;
}

void append_code_point_escape(std::string& out, char32_t point) {
    char hex[8];
    const auto written = std::to_chars(std::begin(hex), std::end(hex), static_cast<std::uint32_t>(point), 16);
    out += "\\u{";
    out.append(hex, written.ptr);
    out += '}';
}

/// Length of the well-formed UTF-8 sequence at the start of `bytes` (its code point stored in
/// `point`), or 0 when the first byte does not begin one: a stray continuation byte, an overlong
/// form, an encoded surrogate, a value beyond U+10FFFF, or a sequence cut short by the end of the
/// text or by a byte that is not a continuation byte.
[[nodiscard]] std::size_t decode_utf8(std::string_view bytes, char32_t& point) {
    const auto byte_at = [&](std::size_t index) { return static_cast<unsigned char>(bytes[index]); };
    const unsigned lead = byte_at(0);
    std::size_t length = 0;
    unsigned second_low = 0x80;
    unsigned second_high = 0xBF;
    if (lead < 0x80) {
        point = lead;
        return 1;
    } else if (lead < 0xC2) {
        return 0;  // continuation byte, or the lead of an overlong two-byte form
    } else if (lead < 0xE0) {
        length = 2;
        point = lead & 0x1Fu;
    } else if (lead < 0xF0) {
        length = 3;
        point = lead & 0x0Fu;
        if (lead == 0xE0) {
            second_low = 0xA0;  // overlong below U+0800
        } else if (lead == 0xED) {
            second_high = 0x9F;  // surrogates U+D800..U+DFFF
        }
    } else if (lead < 0xF5) {
        length = 4;
        point = lead & 0x07u;
        if (lead == 0xF0) {
            second_low = 0x90;  // overlong below U+10000
        } else if (lead == 0xF4) {
            second_high = 0x8F;  // beyond U+10FFFF
        }
    } else {
        return 0;
    }
    for (std::size_t index = 1; index < length; ++index) {
        if (index >= bytes.size()) {
            return 0;
        }
        const unsigned byte = byte_at(index);
        const unsigned low = index == 1 ? second_low : 0x80;
        const unsigned high = index == 1 ? second_high : 0xBF;
        if (byte < low || byte > high) {
            return 0;
        }
        point = (point << 6) | (byte & 0x3Fu);
    }
    return length;
}

}  // namespace

void append_plain_float(std::string& out, double value) {
    if (append_non_finite(out, value)) {
        return;
    }
    if (std::signbit(value)) {
        out += '-';
    }
    append_positional(out, shortest_decimal(std::fabs(value)));
}

std::string plain_float(double value) {
    std::string out;
    append_plain_float(out, value);
    return out;
}

void append_compact_float(std::string& out, double value) {
    if (append_non_finite(out, value)) {
        return;
    }
    if (std::signbit(value)) {
        out += '-';
    }
    const double magnitude = std::fabs(value);
    const Decimal decimal = shortest_decimal(magnitude);
    if (magnitude >= 1e16 || (magnitude != 0.0 && magnitude < 1e-4)) {
        out += decimal.digits[0];
        if (decimal.count > 1) {
            out += '.';
            out.append(decimal.digits + 1, decimal.count - 1);
        }
        out += 'e';
        char exponent[8];
        const auto written = std::to_chars(std::begin(exponent), std::end(exponent), decimal.exponent);
        out.append(exponent, written.ptr);
        return;
    }
    if (!append_positional(out, decimal)) {
        out += ".0";
    }
}

std::string compact_float(double value) {
    std::string out;
    append_compact_float(out, value);
    return out;
}

void append_complex_text(std::string& out, vendrel::Complex value) {
    out += "Complex { re: ";
    append_compact_float(out, value.re);
    out += ", im: ";
    append_compact_float(out, value.im);
    out += " }";
}

std::string complex_text(vendrel::Complex value) {
    std::string out;
    append_complex_text(out, value);
    return out;
}

void append_quoted_text(std::string& out, std::string_view utf8) {
    out.reserve(out.size() + utf8.size() + 2);
    out += '"';
    std::size_t index = 0;
    while (index < utf8.size()) {
        char32_t point = 0;
        const std::size_t length = decode_utf8(utf8.substr(index), point);
        if (length == 0) {
            // Texts from Python are valid UTF-8, but a byte that does not start a well-formed
            // sequence is still rendered visibly, one replacement escape per byte, and decoding
            // resumes at the next byte.
            append_code_point_escape(out, U'\uFFFD');
            ++index;
            continue;
        }
        switch (point) {
            case U'"': out += "\\\""; break;
            case U'\\': out += "\\\\"; break;
            case U'\t': out += "\\t"; break;
            case U'\r': out += "\\r"; break;
            case U'\n': out += "\\n"; break;
            case U'\0': out += "\\0"; break;
            default:
                if (in_ranges(non_printable_ranges, point) || in_ranges(grapheme_extend_ranges, point)) {
                    append_code_point_escape(out, point);
                } else {
                    out += utf8.substr(index, length);
                }
                break;
        }
        index += length;
    }
    out += '"';
}

std::string quoted_text(std::string_view utf8) {
    std::string out;
    append_quoted_text(out, utf8);
    return out;
}

}  // namespace vendrel::core
