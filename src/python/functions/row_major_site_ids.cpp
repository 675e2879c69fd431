// row_major_site_ids(lx, ly): the canonical site numbering of a rectangular lattice.
#include "core/geometry.hpp"
#include "python/exported_function.hpp"
#include "python/errors.hpp"
#include "python/functions/functions.hpp"

namespace vendrel::python {
namespace {

constexpr Parameter kParameters[] = {
    {"lx", Kind::UnsignedSize, required()},
    {"ly", Kind::UnsignedSize, required()},
};
constexpr Signature kSignature{"row_major_site_ids()", kParameters};

PyObject* body(BoundArguments& arguments) {
    auto lx = arguments.unsigned_size("lx");
    if (!lx) return nullptr;
    auto ly = arguments.unsigned_size("ly");
    if (!ly) return nullptr;

    auto geometry = core::RectangularGeometry::create(*lx, *ly, core::Boundary::Open, core::Boundary::Open);
    if (!geometry) return input_error(core::to_string(geometry.error()));
    auto result = allocate_matrix<std::uint32_t>(*ly, *lx);
    if (!result) return nullptr;
    // Row y holds the sites y * lx to y * lx + lx - 1; none of these lookups can fail.
    std::uint32_t* out = result->data;
    for (std::uint64_t y = 0; y < *ly; ++y) {
        for (std::uint64_t x = 0; x < *lx; ++x) *out++ = geometry->site_id(x, y)->get();
    }
    return result->array;
}

}  // namespace

PyMethodDef row_major_site_ids_definition = exported_function<kSignature, body>(
    "row_major_site_ids",
    "row_major_site_ids(lx, ly)\n--\n\nReturn canonical row-major site identifiers as a `(Ly, Lx)` owned array.");

}  // namespace vendrel::python
