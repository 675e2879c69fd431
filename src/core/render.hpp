// Text forms of floats, complex values and caller-supplied texts used inside every error message.
#pragma once

#include <string>
#include <string_view>

#include "common/complex.hpp"

namespace vendrel::core {

/// Shortest decimal that reads back to the same double, never an exponent; whole values without a
/// point (1, -2, 0.5, 0.0000001, -0); non-finite values as NaN, inf and -inf.
[[nodiscard]] std::string plain_float(double value);
/// Appends the plain form of `value` to `out`.
void append_plain_float(std::string& out, double value);

/// Shortest round-trip digits with at least one digit after the point (1.0, -0.0, 123456.0);
/// exponent form (1e16, 2.5e-5) at magnitude >= 1e16 or non-zero below 1e-4; NaN, inf, -inf.
[[nodiscard]] std::string compact_float(double value);
/// Appends the compact form of `value` to `out`.
void append_compact_float(std::string& out, double value);

/// "Complex { re: <compact>, im: <compact> }"
[[nodiscard]] std::string complex_text(vendrel::Complex value);
/// Appends the structured complex form of `value` to `out`.
void append_complex_text(std::string& out, vendrel::Complex value);

/// Double-quoted, escaped form of a UTF-8 text: \" \\ \t \r \n \0 for those characters,
/// \u{hex} for other non-printable and Grapheme_Extend characters, and \u{fffd} for each byte
/// that is not part of a well-formed UTF-8 sequence.
[[nodiscard]] std::string quoted_text(std::string_view utf8);
/// Appends the quoted form of `utf8` to `out`.
void append_quoted_text(std::string& out, std::string_view utf8);

}  // namespace vendrel::core
