// Tests for the plain, compact, complex and quoted text renderings used in error messages.
#include "core/render.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace std::string_view_literals;
using vendrel::Complex;
using vendrel::core::compact_float;
using vendrel::core::complex_text;
using vendrel::core::plain_float;
using vendrel::core::quoted_text;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kMax = std::numeric_limits<double>::max();
constexpr double kMinNormal = std::numeric_limits<double>::min();
constexpr double kMinSubnormal = std::numeric_limits<double>::denorm_min();

struct FloatCase {
    double value;
    std::string expected;
};

std::string repeat(char c, std::size_t count) { return std::string(count, c); }

TEST(PlainFloat, RendersShortestPositionalDecimal) {
    const std::vector<FloatCase> cases = {
        {1.0, "1"},
        {-2.0, "-2"},
        {0.5, "0.5"},
        {-1.5, "-1.5"},
        {123.456, "123.456"},
        {0.0000001, "0.0000001"},
        {0.1 + 0.2, "0.30000000000000004"},
        {1e20, "1" + repeat('0', 20)},
        // 1e23 is not exactly representable: the shortest digits, not the exact value, are written.
        {1e23, "1" + repeat('0', 23)},
        {1e16, "10000000000000000"},
        {9999999999999998.0, "9999999999999998"},
        {1.2345678901234568e17, "123456789012345680"},
        {0.0, "0"},
        {-0.0, "-0"},
        {kMax, "17976931348623157" + repeat('0', 292)},
        {-kMax, "-17976931348623157" + repeat('0', 292)},
        {kMinNormal, "0." + repeat('0', 307) + "22250738585072014"},
        {kMinSubnormal, "0." + repeat('0', 323) + "5"},
        {-kMinSubnormal, "-0." + repeat('0', 323) + "5"},
        {kNaN, "NaN"},
        {-kNaN, "NaN"},
        {kInf, "inf"},
        {-kInf, "-inf"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(plain_float(c.value), c.expected) << "value " << c.value;
    }
}

TEST(CompactFloat, RendersPointOrShortestExponent) {
    const std::vector<FloatCase> cases = {
        {1.0, "1.0"},
        {-0.5, "-0.5"},
        {-1.0, "-1.0"},
        {-1.5, "-1.5"},
        {123.456, "123.456"},
        {123456.0, "123456.0"},
        {0.1, "0.1"},
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        // Upper boundary: exponent form starts exactly at 1e16.
        {9999999999999998.0, "9999999999999998.0"},
        {1e15, "1000000000000000.0"},
        {1e16, "1e16"},
        {-2.5e16, "-2.5e16"},
        {1e20, "1e20"},
        {1e100, "1e100"},
        {kMax, "1.7976931348623157e308"},
        // Lower boundary: 1e-4 itself is positional, anything below it uses an exponent.
        {1e-4, "0.0001"},
        {0.0001, "0.0001"},
        {-0.0001, "-0.0001"},
        {0.00012, "0.00012"},
        {9.999999999999999e-5, "9.999999999999999e-5"},
        {2.5e-5, "2.5e-5"},
        {-1e-5, "-1e-5"},
        {1e-7, "1e-7"},
        {0.0000001, "1e-7"},
        {kMinNormal, "2.2250738585072014e-308"},
        {kMinSubnormal, "5e-324"},
        {-kMinSubnormal, "-5e-324"},
        {kNaN, "NaN"},
        {kInf, "inf"},
        {-kInf, "-inf"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(compact_float(c.value), c.expected) << "value " << c.value;
    }
}

// Layout faults (misplaced point, lost zeros, wrong exponent) show up as a different value on
// reading back, so both forms are read back over doubles spread across the whole bit range.
TEST(FloatForms, ReadBackToTheSameBits) {
    std::mt19937_64 random(20240521);
    std::vector<double> values = {kMax, kMinNormal, kMinSubnormal, 1e-4, 1e16, 9.999999999999999e-5,
                                  9999999999999998.0, 4.9406564584124654e-324 * 3, 0.1, 1.0 / 3.0};
    for (int i = 0; i < 20000; ++i) {
        const double value = std::bit_cast<double>(random());
        if (std::isfinite(value)) {
            values.push_back(value);
        }
    }
    for (const double value : values) {
        for (const double signed_value : {value, -value}) {
            const std::string plain = plain_float(signed_value);
            const std::string compact = compact_float(signed_value);
            EXPECT_EQ(plain.find_first_of("eE"), std::string::npos) << plain;
            EXPECT_NE(compact.find_first_of(".e"), std::string::npos) << compact;

            double plain_back = 0.0;
            double compact_back = 0.0;
            const auto plain_read = std::from_chars(plain.data(), plain.data() + plain.size(), plain_back,
                                                    std::chars_format::fixed);
            const auto compact_read = std::from_chars(compact.data(), compact.data() + compact.size(),
                                                      compact_back, std::chars_format::general);
            ASSERT_EQ(plain_read.ptr, plain.data() + plain.size()) << plain;
            ASSERT_EQ(compact_read.ptr, compact.data() + compact.size()) << compact;
            EXPECT_EQ(std::bit_cast<std::uint64_t>(plain_back), std::bit_cast<std::uint64_t>(signed_value))
                << plain;
            EXPECT_EQ(std::bit_cast<std::uint64_t>(compact_back), std::bit_cast<std::uint64_t>(signed_value))
                << compact;
        }
    }
}

TEST(ComplexText, WritesBothPartsInCompactForm) {
    struct Case {
        Complex value;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {{kNaN, 0.0}, "Complex { re: NaN, im: 0.0 }"},
        {{0.5, -1e-5}, "Complex { re: 0.5, im: -1e-5 }"},
        {{0.5, 0.0}, "Complex { re: 0.5, im: 0.0 }"},
        {{-0.0, kInf}, "Complex { re: -0.0, im: inf }"},
        {{1e16, -2.0}, "Complex { re: 1e16, im: -2.0 }"},
        {{-kInf, kMinSubnormal}, "Complex { re: -inf, im: 5e-324 }"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(complex_text(c.value), c.expected);
    }
}

struct QuotedCase {
    std::string_view input;
    std::string_view expected;
};

void expect_quoted(const std::vector<QuotedCase>& cases) {
    for (const auto& c : cases) {
        EXPECT_EQ(quoted_text(c.input), c.expected) << "input of " << c.input.size() << " bytes";
    }
}

TEST(QuotedText, EscapesQuotesBackslashesAndControlCharacters) {
    expect_quoted({
        {""sv, R"("")"sv},
        {"z"sv, R"("z")"sv},
        {"Hello, world!"sv, R"("Hello, world!")"sv},
        {" "sv, R"(" ")"sv},
        {"it's"sv, R"("it's")"sv},
        {"a\"b"sv, R"("a\"b")"sv},
        {"a\\b"sv, R"("a\\b")"sv},
        {"\\\""sv, R"("\\\"")"sv},
        {"a\tb"sv, R"("a\tb")"sv},
        {"\r\n"sv, R"("\r\n")"sv},
        {"a\0b"sv, R"("a\0b")"sv},
        {"\x01"sv, R"("\u{1}")"sv},
        {"\x1b[0m"sv, R"("\u{1b}[0m")"sv},
        {"\x7f"sv, R"("\u{7f}")"sv},
    });
}

TEST(QuotedText, EscapesNonPrintableAndGraphemeExtendCharacters) {
    expect_quoted({
        {"\xCC\x81"sv, R"("\u{301}")"sv},                 // U+0301 combining acute, alone
        {"e\xCC\x81"sv, R"("e\u{301}")"sv},               // ... and after a letter
        {"\xEF\xBE\x9E"sv, R"("\u{ff9e}")"sv},            // U+FF9E Lm, Grapheme_Extend by Other_Grapheme_Extend
        {"\xE2\x83\x9D"sv, R"("\u{20dd}")"sv},            // U+20DD enclosing mark (Me)
        {"\xEF\xB8\x8F"sv, R"("\u{fe0f}")"sv},            // U+FE0F variation selector (Mn)
        {"\xC2\xAD"sv, R"("\u{ad}")"sv},                  // U+00AD soft hyphen (Cf)
        {"\xE2\x80\x8B"sv, R"("\u{200b}")"sv},            // U+200B zero width space (Cf)
        {"\xE2\x80\x8D"sv, R"("\u{200d}")"sv},            // U+200D zero width joiner (Cf)
        {"\xC2\x85"sv, R"("\u{85}")"sv},                  // U+0085 next line (Cc)
        {"a\xC2\xA0" "b"sv, R"("a\u{a0}b")"sv},           // U+00A0 no-break space (Zs)
        {"\xE3\x80\x80"sv, R"("\u{3000}")"sv},            // U+3000 ideographic space (Zs)
        {"\xE2\x80\xA8"sv, R"("\u{2028}")"sv},            // U+2028 line separator (Zl)
        {"\xE2\x80\xA9"sv, R"("\u{2029}")"sv},            // U+2029 paragraph separator (Zp)
        {"\xEE\x80\x80"sv, R"("\u{e000}")"sv},            // U+E000 private use (Co), start of a range
        {"\xF3\xB0\x80\x80"sv, R"("\u{f0000}")"sv},       // U+F0000 plane 15 private use (Co)
        {"\xF3\xA0\x80\x81"sv, R"("\u{e0001}")"sv},       // U+E0001 language tag (Cf)
        {"\xEF\xBF\xBF"sv, R"("\u{ffff}")"sv},            // U+FFFF noncharacter (Cn)
        {"\xCD\xB8"sv, R"("\u{378}")"sv},                 // U+0378 unassigned (Cn)
        {"\xF0\xAA\x9B\xA0"sv, R"("\u{2a6e0}")"sv},       // U+2A6E0, just past a First/Last range (Cn)
        {"\xF4\x8F\xBF\xBF"sv, R"("\u{10ffff}")"sv},      // U+10FFFF, the last code point (Cn)
    });
}

TEST(QuotedText, KeepsPrintableCharactersAsTheyAre) {
    expect_quoted({
        {"\xC3\xA9"sv, "\"\xC3\xA9\""sv},                         // U+00E9 e with acute
        {"caf\xC3\xA9"sv, "\"caf\xC3\xA9\""sv},
        {"\xF0\x9F\x98\x80"sv, "\"\xF0\x9F\x98\x80\""sv},         // U+1F600 emoji
        {"\xE0\xA4\x83"sv, "\"\xE0\xA4\x83\""sv},                 // U+0903 spacing mark (Mc), not Grapheme_Extend
        {"\xE4\xB8\xAD"sv, "\"\xE4\xB8\xAD\""sv},                 // U+4E2D, inside the CJK First/Last range
        {"\xEA\xB0\x81"sv, "\"\xEA\xB0\x81\""sv},                 // U+AC01, inside the Hangul First/Last range
        {"\xF0\xAA\x9B\x9F"sv, "\"\xF0\xAA\x9B\x9F\""sv},         // U+2A6DF, last of a First/Last range
        {"\xEF\xBF\xBD"sv, "\"\xEF\xBF\xBD\""sv},                 // U+FFFD itself is printable (So)
    });
}

TEST(QuotedText, RendersEachInvalidByteAsReplacementEscape) {
    expect_quoted({
        {"\x80"sv, R"("\u{fffd}")"sv},                                        // stray continuation byte
        {"a\xFF" "b"sv, R"("a\u{fffd}b")"sv},                                 // byte never used in UTF-8
        {"\xC0\x80"sv, R"("\u{fffd}\u{fffd}")"sv},                            // overlong NUL
        {"\xE0\x80\xAF"sv, R"("\u{fffd}\u{fffd}\u{fffd}")"sv},                // overlong three-byte form
        {"\xED\xA0\x80"sv, R"("\u{fffd}\u{fffd}\u{fffd}")"sv},                // encoded surrogate U+D800
        {"\xF4\x90\x80\x80"sv, R"("\u{fffd}\u{fffd}\u{fffd}\u{fffd}")"sv},    // beyond U+10FFFF
        {"\xE2\x82"sv, R"("\u{fffd}\u{fffd}")"sv},                            // truncated at the end
        {"\xF0\x9F\x98"sv, R"("\u{fffd}\u{fffd}\u{fffd}")"sv},                // truncated four-byte form
        {"\xE2\x82" "a\xE2\x82\xAC"sv, "\"\\u{fffd}\\u{fffd}a\xE2\x82\xAC\""sv},  // resumes after the bad bytes
        {"\xC3" "\""sv, R"("\u{fffd}\"")"sv},                                 // lead byte before a quote
    });
}

// The view ends inside a sequence whose remaining bytes exist in memory just after it: they must
// not be read. An exactly sized heap buffer lets a sanitizer catch any read past the end.
TEST(QuotedText, StopsAtTheEndOfTheView) {
    const std::string euro = "\xE2\x82\xAC";
    EXPECT_EQ(quoted_text(std::string_view(euro).substr(0, 2)), R"("\u{fffd}\u{fffd}")");

    for (const std::string_view bytes : {"\xE2"sv, "\xF0\x9F"sv, "\xF0\x9F\x98"sv, "\xC3"sv}) {
        const std::vector<char> exact(bytes.begin(), bytes.end());
        const std::string rendered = quoted_text(std::string_view(exact.data(), exact.size()));
        std::string expected = "\"";
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            expected += "\\u{fffd}";
        }
        expected += '"';
        EXPECT_EQ(rendered, expected);
    }
}

TEST(AppendForms, AppendAfterExistingText) {
    std::string out = "value ";
    vendrel::core::append_plain_float(out, 1.5);
    out += ", ";
    vendrel::core::append_compact_float(out, 2.0);
    out += ", ";
    vendrel::core::append_complex_text(out, {1.0, -0.0});
    out += ", ";
    vendrel::core::append_quoted_text(out, "x\ty");
    EXPECT_EQ(out, R"(value 1.5, 2.0, Complex { re: 1.0, im: -0.0 }, "x\ty")");
}

}  // namespace
