// Bonds, rectangular lattices and the geometry error messages.
#include "core/geometry.hpp"

#include <algorithm>
#include <limits>

namespace vendrel::core {

std::string to_string(const GeometryError& error) {
    using namespace geometry_error;
    return std::visit(
        Overloaded{
            [](const InvalidExtent& e) {
                return std::string(e.axis) + " extent " + std::to_string(e.value) + " is invalid";
            },
            [](const DimensionOverflow& e) { return "geometry " + std::string(e.operation) + " overflowed"; },
            [](const CoordinateOutOfRange& e) {
                return "coordinate (" + std::to_string(e.x) + ", " + std::to_string(e.y) +
                       ") is outside the geometry";
            },
            [](const SelfBond& e) { return "site " + std::to_string(e.site.get()) + " cannot form a self-bond"; },
        },
        error);
}

Result<Bond, GeometryError> Bond::create(SiteId a, SiteId b) {
    if (a == b) return fail<GeometryError>(geometry_error::SelfBond{a});
    const SiteId first = std::min(a, b);
    const SiteId second = std::max(a, b);
    return Bond{first, second, 0, 0, first, 0, 0};
}

Result<RectangularGeometry, GeometryError> RectangularGeometry::create(std::uint64_t lx, std::uint64_t ly,
                                                                       Boundary boundary_x, Boundary boundary_y) {
    return with_kind(lx, ly, boundary_x, boundary_y, LatticeKind::Square);
}

Result<RectangularGeometry, GeometryError> RectangularGeometry::with_kind(std::uint64_t lx, std::uint64_t ly,
                                                                          Boundary boundary_x, Boundary boundary_y,
                                                                          LatticeKind kind) {
    if (lx == 0) return fail<GeometryError>(geometry_error::InvalidExtent{"x", 0});
    if (ly == 0) return fail<GeometryError>(geometry_error::InvalidExtent{"y", 0});
    std::uint64_t product = 0;
    if (__builtin_mul_overflow(lx, ly, &product)) {
        return fail<GeometryError>(geometry_error::DimensionOverflow{"site count"});
    }
    if (product > std::numeric_limits<std::uint32_t>::max()) {
        return fail<GeometryError>(geometry_error::DimensionOverflow{"site identifier"});
    }
    // The product is at least 1 here, so the count cannot fail.
    return RectangularGeometry(lx, ly, boundary_x, boundary_y, kind, *SiteCount::create(product));
}

Result<SiteId, GeometryError> RectangularGeometry::site_id(std::uint64_t x, std::uint64_t y) const {
    if (x >= lx_ || y >= ly_) {
        return fail<GeometryError>(
            geometry_error::CoordinateOutOfRange{static_cast<std::int64_t>(x), static_cast<std::int64_t>(y)});
    }
    std::uint64_t index = 0;
    if (__builtin_mul_overflow(y, lx_, &index) || __builtin_add_overflow(index, x, &index)) {
        return fail<GeometryError>(geometry_error::DimensionOverflow{"row-major index"});
    }
    auto id = SiteId::try_from_usize(index);
    if (!id) return fail<GeometryError>(geometry_error::DimensionOverflow{"site identifier"});
    return *id;
}

}  // namespace vendrel::core
