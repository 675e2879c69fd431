// Site identifiers, site counts, axis parsing and the BasisError messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/identifiers.hpp"

namespace vendrel::core {
namespace {

TEST(SiteId, ConvertsUpToTheThirtyTwoBitLimit) {
    auto largest = SiteId::try_from_usize(4294967295u);
    ASSERT_TRUE(largest);
    EXPECT_EQ(largest->get(), 4294967295u);

    auto beyond = SiteId::try_from_usize(4294967296u);
    ASSERT_FALSE(beyond);
    EXPECT_EQ(to_string(beyond.error()), "site identifier 4294967296 does not fit in u32");
}

TEST(SiteId, SortsNumerically) {
    std::vector<SiteId> ids{SiteId::create(10), SiteId::create(2), SiteId::create(7)};
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids[0].get(), 2u);
    EXPECT_EQ(ids[1].get(), 7u);
    EXPECT_EQ(ids[2].get(), 10u);
}

TEST(SiteCount, RefusesAnEmptySystemAndValidatesSites) {
    auto empty = SiteCount::create(0);
    ASSERT_FALSE(empty);
    EXPECT_EQ(to_string(empty.error()), "a system must contain at least one site");

    auto three = SiteCount::create(3);
    ASSERT_TRUE(three);
    for (std::uint32_t site : {0u, 1u, 2u}) EXPECT_TRUE(three->validate(SiteId::create(site)));
    auto outside = three->validate(SiteId::create(3));
    ASSERT_FALSE(outside);
    EXPECT_EQ(outside.error(), BasisError(basis_error::SiteOutOfRange{3, 3}));
    EXPECT_EQ(to_string(outside.error()), "site 3 is outside a 3-site system");
}

TEST(AxisParsing, AcceptsOnlyTheExactLowerCaseLetters) {
    EXPECT_EQ(parse_physical_axis("x").value(), PhysicalAxis::X);
    EXPECT_EQ(parse_physical_axis("y").value(), PhysicalAxis::Y);
    EXPECT_EQ(parse_simulation_basis("z").value(), SimulationBasis::Z);
    EXPECT_EQ(as_str(PhysicalAxis::Y), "y");
    EXPECT_EQ(as_str(SimulationBasis::X), "x");

    struct Case {
        std::string_view text;
        const char* message;
    };
    const Case refused[] = {
        {"Z", R"(axis or simulation basis "Z" is not canonical)"},
        {" z", R"(axis or simulation basis " z" is not canonical)"},
        {"zz", R"(axis or simulation basis "zz" is not canonical)"},
        {"", R"(axis or simulation basis "" is not canonical)"},
        {"a\"b\nc", R"(axis or simulation basis "a\"b\nc" is not canonical)"},
        {std::string_view("z\0", 2), R"(axis or simulation basis "z\0" is not canonical)"},
    };
    for (const Case& c : refused) {
        auto axis = parse_physical_axis(c.text);
        auto basis = parse_simulation_basis(c.text);
        ASSERT_FALSE(axis) << c.message;
        ASSERT_FALSE(basis) << c.message;
        EXPECT_EQ(axis.error(), BasisError(basis_error::InvalidAxis{std::string(c.text)}));
        EXPECT_EQ(to_string(axis.error()), c.message);
        EXPECT_EQ(to_string(basis.error()), c.message);
    }
}

TEST(BasisErrorMessages, RenderEveryVariant) {
    struct Case {
        BasisError error;
        const char* message;
    };
    const Case cases[] = {
        {basis_error::EmptySystem{}, "a system must contain at least one site"},
        {basis_error::DimensionOverflow{"full basis dimension"},
         "checked full basis dimension dimension overflowed"},
        {basis_error::InvalidAxis{"Z"}, R"(axis or simulation basis "Z" is not canonical)"},
        {basis_error::IdentifierOverflow{18446744073709551615u},
         "site identifier 18446744073709551615 does not fit in u32"},
        {basis_error::SiteOutOfRange{4294967295u, 18446744073709551615u},
         "site 4294967295 is outside a 18446744073709551615-site system"},
        {basis_error::WeightOutOfRange{4, 3}, "Hamming weight 4 exceeds the 3-site system"},
    };
    for (const Case& c : cases) EXPECT_EQ(to_string(c.error), c.message);
}

}  // namespace
}  // namespace vendrel::core
