// basis_states(site_count, weight): the computational basis, full or one Hamming-weight sector.
#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "common/interrupt.hpp"
#include "core/basis.hpp"
#include "python/exported_function.hpp"
#include "python/errors.hpp"
#include "python/functions/functions.hpp"
#include "python/owned_ref.hpp"

namespace vendrel::python {
namespace {

constexpr Parameter kParameters[] = {
    {"site_count", Kind::UnsignedSize, required()},
    {"weight", Kind::OptionalUnsignedSize, required()},
};
constexpr Signature kSignature{"basis_states()", kParameters};

// C(n, k), or nothing when it exceeds 64 bits (such a sector cannot be listed in memory anyway).
std::optional<std::uint64_t> binomial(std::uint64_t n, std::uint64_t k) {
    if (k > n - k) k = n - k;
    unsigned __int128 value = 1;
    for (std::uint64_t i = 1; i <= k; ++i) {
        value = value * (n - k + i) / i;  // exact: a product of i consecutive integers is divisible by i!
        if (value > std::numeric_limits<std::uint64_t>::max()) return std::nullopt;
    }
    return static_cast<std::uint64_t>(value);
}

// Allocates the (dimension, sites) result before enumerating, so a request that cannot fit fails
// with MemoryError at once instead of after filling memory.
Result<FreshArray<std::uint8_t>, PendingException> allocate_rows(std::optional<std::uint64_t> dimension,
                                                                 std::uint64_t sites, bool zeroed) {
    if (!dimension) {
        PyErr_NoMemory();
        return fail(PendingException{});
    }
    return allocate_matrix<std::uint8_t>(*dimension, sites, zeroed);
}

// Eight sites at a time: entry b holds the bits of b as eight bytes of 0 or 1, site 0 first.
constexpr std::array<std::uint64_t, 256> kByteExpansion = [] {
    std::array<std::uint64_t, 256> table{};
    for (std::uint64_t b = 0; b < 256; ++b) {
        for (std::uint64_t bit = 0; bit < 8; ++bit) table[b] |= ((b >> bit) & 1u) << (8 * bit);
    }
    return table;
}();

// Writes the sites of a packed word run as bytes, eight at a time (the table is little-endian).
void expand_bits(std::uint64_t bits, std::uint8_t* row, std::uint64_t count) {
    std::uint64_t done = 0;
    for (; done + 8 <= count; done += 8, bits >>= 8) {
        const std::uint64_t bytes = kByteExpansion[bits & 0xFF];
        std::memcpy(row + done, &bytes, 8);  // a fixed size: one store, not a library call
    }
    for (; done < count; ++done, bits >>= 1) row[done] = static_cast<std::uint8_t>(bits & 1u);
}

// Writes, in increasing integer order, every row whose lowest `level` One positions lie below `upper`
// and whose higher positions are `fixed[level..]`; returns the row after the last one written.
std::uint8_t* emit_sector_rows(std::uint8_t* row, std::uint64_t sites, std::vector<std::uint64_t>& fixed,
                               std::uint64_t level, std::uint64_t upper, InterruptPoll& poll) {
    if (level == 0) {
        for (std::uint64_t position : fixed) row[position] = 1;  // the rest is zero already
        return row + sites;
    }
    for (std::uint64_t position = level - 1; position < upper; ++position) {
        if (level == 1) poll();
        fixed[level - 1] = position;
        row = emit_sector_rows(row, sites, fixed, level - 1, position, poll);
    }
    return row;
}

PyObject* body(BoundArguments& arguments) {
    auto site_count = arguments.unsigned_size("site_count");
    if (!site_count) return nullptr;
    auto weight = arguments.optional_unsigned_size("weight");
    if (!weight) return nullptr;

    auto count = core::SiteCount::create(*site_count);
    if (!count) return input_error(core::to_string(count.error()));
    const std::uint64_t sites = count->get();

    if (!weight->has_value()) {
        auto full = core::FullBasis::create(*count);
        if (!full) return input_error(core::to_string(full.error()));
        auto result = allocate_rows(std::uint64_t{1} << sites, sites, /*zeroed=*/false);
        if (!result) return nullptr;
        OwnedRef array(result->array);  // released only when filled: a stopped fill frees it
        // The full basis lists 0, 1, ..., 2^n - 1: row k holds the binary digits of k, site 0 first.
        std::uint8_t* row = result->data;
        InterruptPoll poll(1u << 16);
        for (std::uint64_t k = 0; k < (std::uint64_t{1} << sites); ++k, row += sites) {
            poll();
            expand_bits(k, row, sites);
        }
        return array.release();
    }

    auto sector = core::SectorBasis::create(*count, **weight);
    if (!sector) return input_error(core::to_string(sector.error()));
    auto result = allocate_rows(binomial(sites, **weight), sites, /*zeroed=*/true);
    if (!result) return nullptr;
    OwnedRef array(result->array);
    // Increasing integer value is colexicographic order: the highest One moves slowest. Each level
    // fixes one position and the innermost level writes whole rows, so a row costs its k stores.
    std::uint8_t* row = result->data;
    std::vector<std::uint64_t> fixed(**weight);
    InterruptPoll poll(1u << 10);
    emit_sector_rows(row, sites, fixed, **weight, sites, poll);
    return array.release();
}

}  // namespace

PyMethodDef basis_states_definition = exported_function<kSignature, body>(
    "basis_states",
    "basis_states(site_count, weight)\n--\n\n"
    "Return the canonical full computational basis as a `(dimension, sites)` array.");

}  // namespace vendrel::python
