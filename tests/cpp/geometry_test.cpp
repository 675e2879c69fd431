// Canonical bonds, rectangular geometry checks and row-major numbering.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/geometry.hpp"

namespace vendrel::core {
namespace {

SiteId site(std::uint32_t value) { return SiteId::create(value); }

TEST(Bond, OrdersItsSitesAndRefusesSelfBonds) {
    auto bond = Bond::create(site(7), site(2));
    ASSERT_TRUE(bond);
    EXPECT_EQ(bond->first.get(), 2u);
    EXPECT_EQ(bond->second.get(), 7u);
    EXPECT_EQ(bond->source.get(), 2u);
    EXPECT_EQ(bond->image_x, 0);
    EXPECT_EQ(bond->direction_y, 0);
    EXPECT_EQ(*Bond::create(site(3), site(1)), *Bond::create(site(1), site(3)));

    auto self = Bond::create(site(4), site(4));
    ASSERT_FALSE(self);
    EXPECT_EQ(to_string(self.error()), "site 4 cannot form a self-bond");
}

TEST(Bond, SortsByFirstThenSecondSite) {
    std::vector<Bond> bonds{*Bond::create(site(1), site(3)), *Bond::create(site(2), site(1)),
                            *Bond::create(site(0), site(2))};
    std::sort(bonds.begin(), bonds.end());
    EXPECT_EQ(bonds[0], *Bond::create(site(0), site(2)));
    EXPECT_EQ(bonds[1], *Bond::create(site(1), site(2)));
    EXPECT_EQ(bonds[2], *Bond::create(site(1), site(3)));
}

TEST(RectangularGeometry, ChecksExtentsInOrder) {
    struct Case {
        std::uint64_t lx, ly;
        const char* message;  // nullptr: accepted
    };
    const Case cases[] = {
        {0, 0, "x extent 0 is invalid"},
        {0, 5, "x extent 0 is invalid"},
        {1, 0, "y extent 0 is invalid"},
        {65536, 65535, nullptr},
        {4294967295u, 1, nullptr},
        {65536, 65536, "geometry site identifier overflowed"},
        {4294967296u, 4294967296u, "geometry site count overflowed"},
        {18446744073709551615u, 2, "geometry site count overflowed"},
    };
    for (const Case& c : cases) {
        auto geometry = RectangularGeometry::create(c.lx, c.ly, Boundary::Open, Boundary::Open);
        if (c.message == nullptr) {
            ASSERT_TRUE(geometry) << c.lx << "x" << c.ly;
            EXPECT_EQ(geometry->site_count().get(), c.lx * c.ly);
            EXPECT_EQ(geometry->kind(), LatticeKind::Square);
        } else {
            ASSERT_FALSE(geometry) << c.lx << "x" << c.ly;
            EXPECT_EQ(to_string(geometry.error()), c.message);
        }
    }
}

TEST(RectangularGeometry, NumbersSitesRowMajorWithXFastest) {
    auto geometry = RectangularGeometry::with_kind(3, 2, Boundary::Periodic, Boundary::Open, LatticeKind::Triangular);
    ASSERT_TRUE(geometry);
    EXPECT_EQ(geometry->boundary_x(), Boundary::Periodic);
    std::uint32_t expected = 0;
    for (std::uint64_t y = 0; y < 2; ++y) {
        for (std::uint64_t x = 0; x < 3; ++x) EXPECT_EQ(geometry->site_id(x, y)->get(), expected++);
    }
    EXPECT_EQ(to_string(geometry->site_id(3, 0).error()), "coordinate (3, 0) is outside the geometry");
    EXPECT_EQ(to_string(geometry->site_id(0, 2).error()), "coordinate (0, 2) is outside the geometry");

    auto widest = RectangularGeometry::create(65536, 65535, Boundary::Open, Boundary::Open);
    EXPECT_EQ(widest->site_id(65535, 65534)->get(), 4294901759u);
}

TEST(GeometryErrorMessages, RenderEveryVariant) {
    EXPECT_EQ(to_string(geometry_error::InvalidExtent{"y", 0}), "y extent 0 is invalid");
    EXPECT_EQ(to_string(geometry_error::DimensionOverflow{"row-major index"}), "geometry row-major index overflowed");
    EXPECT_EQ(to_string(geometry_error::CoordinateOutOfRange{-1, 9}), "coordinate (-1, 9) is outside the geometry");
    EXPECT_EQ(to_string(geometry_error::SelfBond{site(0)}), "site 0 cannot form a self-bond");
}

}  // namespace
}  // namespace vendrel::core
