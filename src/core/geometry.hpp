// Canonical bonds, rectangular lattices with row-major site numbering, and GeometryError.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "common/result.hpp"
#include "core/identifiers.hpp"

namespace vendrel::core {

namespace geometry_error {
struct InvalidExtent {
    std::string_view axis;  // "x" or "y"
    std::uint64_t value;
    friend bool operator==(const InvalidExtent&, const InvalidExtent&) = default;
};
struct DimensionOverflow {
    std::string_view operation;  // "site count", "site identifier" or "row-major index"
    friend bool operator==(const DimensionOverflow&, const DimensionOverflow&) = default;
};
struct CoordinateOutOfRange {
    std::int64_t x;
    std::int64_t y;
    friend bool operator==(const CoordinateOutOfRange&, const CoordinateOutOfRange&) = default;
};
struct SelfBond {
    SiteId site;
    friend bool operator==(const SelfBond&, const SelfBond&) = default;
};
}  // namespace geometry_error

using GeometryError = std::variant<geometry_error::InvalidExtent, geometry_error::DimensionOverflow,
                                   geometry_error::CoordinateOutOfRange, geometry_error::SelfBond>;

[[nodiscard]] std::string to_string(const GeometryError& error);

/// A canonical pair of distinct sites, smaller site first. Equality and order run over all seven
/// fields in declaration order; for bonds from `create` that is the order of (first, second).
struct Bond {
    SiteId first;
    SiteId second;
    std::int32_t image_x = 0;
    std::int32_t image_y = 0;
    SiteId source;
    std::int8_t direction_x = 0;
    std::int8_t direction_y = 0;

    /// Orders the two sites; fails with SelfBond when they are equal.
    static Result<Bond, GeometryError> create(SiteId a, SiteId b);

    friend constexpr auto operator<=>(const Bond&, const Bond&) = default;
};

enum class Boundary : std::uint8_t { Open = 0, Periodic = 1 };
enum class LatticeKind : std::uint8_t { Square = 0, Triangular = 1 };

/// An lx by ly lattice whose sites are numbered row by row, x fastest: site (x, y) is y * lx + x.
class RectangularGeometry {
public:
    /// `with_kind` for a square lattice.
    static Result<RectangularGeometry, GeometryError> create(std::uint64_t lx, std::uint64_t ly, Boundary boundary_x,
                                                             Boundary boundary_y);
    /// Checks, in order: lx non-zero, ly non-zero, lx * ly within 64 bits, then within 32 bits.
    static Result<RectangularGeometry, GeometryError> with_kind(std::uint64_t lx, std::uint64_t ly,
                                                                Boundary boundary_x, Boundary boundary_y,
                                                                LatticeKind kind);

    [[nodiscard]] std::uint64_t lx() const { return lx_; }
    [[nodiscard]] std::uint64_t ly() const { return ly_; }
    [[nodiscard]] Boundary boundary_x() const { return boundary_x_; }
    [[nodiscard]] Boundary boundary_y() const { return boundary_y_; }
    [[nodiscard]] LatticeKind kind() const { return kind_; }
    [[nodiscard]] SiteCount site_count() const { return site_count_; }

    /// The row-major identifier of column x, row y, or CoordinateOutOfRange.
    [[nodiscard]] Result<SiteId, GeometryError> site_id(std::uint64_t x, std::uint64_t y) const;

private:
    RectangularGeometry(std::uint64_t lx, std::uint64_t ly, Boundary bx, Boundary by, LatticeKind kind,
                        SiteCount count)
        : lx_(lx), ly_(ly), boundary_x_(bx), boundary_y_(by), kind_(kind), site_count_(count) {}

    std::uint64_t lx_;
    std::uint64_t ly_;
    Boundary boundary_x_;
    Boundary boundary_y_;
    LatticeKind kind_;
    SiteCount site_count_;
};

}  // namespace vendrel::core
