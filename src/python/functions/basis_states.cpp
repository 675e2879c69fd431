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

// Sixteen bytes of a row, kept in a register.
typedef std::uint64_t Bytes16 __attribute__((vector_size(16)));

// The sites `first` .. `first` + 15 of the packed Ones `bits` as sixteen bytes of 0 or 1.
Bytes16 expand_sixteen(std::uint64_t bits, std::uint64_t first) {
    const std::uint64_t run = bits >> first;
    return Bytes16{kByteExpansion[run & 0xFF], kByteExpansion[(run >> 8) & 0xFF]};
}

// Writes rows `row`, `row + sites`, ... for lowest = 0 .. upper - 1: the Ones `above` (packed, sites 16
// to 64) and a One at `lowest`; returns the row after the last. The rows are stored from registers,
// the first `Chunks` sixteen-byte pieces and the last (overlapping) one: building them in memory would
// make each template's bytes go through a store and a wider load, which the processor cannot forward.
template <unsigned Chunks>
std::uint8_t* write_rows(std::uint8_t* row, std::uint64_t above, std::uint64_t sites, std::uint64_t upper) {
    Bytes16 chunks[Chunks];
    for (unsigned c = 0; c < Chunks; ++c) chunks[c] = expand_sixteen(above, 16 * c);
    const Bytes16 last = expand_sixteen(above, sites - 16);
    for (std::uint64_t lowest = 0; lowest < upper; ++lowest, row += sites) {
        for (unsigned c = 0; c < Chunks; ++c) std::memcpy(row + 16 * c, &chunks[c], 16);
        std::memcpy(row + sites - 16, &last, 16);
        row[lowest] = 1;
    }
    return row;
}

std::uint8_t* write_rows(std::uint8_t* row, std::uint64_t above, std::uint64_t sites, std::uint64_t upper) {
    switch (sites / 16) {
        case 1: return write_rows<1>(row, above, sites, upper);
        case 2: return write_rows<2>(row, above, sites, upper);
        case 3: return write_rows<3>(row, above, sites, upper);
        default: return write_rows<4>(row, above, sites, upper);
    }
}

// Any number of sites: the template as bytes in memory.
std::uint8_t* write_rows(std::uint8_t* row, const std::vector<std::uint8_t>& pattern, std::uint64_t upper) {
    const std::uint64_t sites = pattern.size();
    for (std::uint64_t lowest = 0; lowest < upper; ++lowest, row += sites) {
        std::memcpy(row, pattern.data(), sites);
        row[lowest] = 1;
    }
    return row;
}

// Lists the rows of weight `weight` in increasing integer order, that is colexicographic order of their
// One positions: the highest One moves slowest. A template holds the Ones above the lowest one; each
// row is the template with the lowest One added.
void emit_sector_rows(std::uint8_t* row, std::uint64_t sites, std::uint64_t weight) {
    const bool packed = sites >= 16 && sites <= 64;
    std::vector<std::uint8_t> pattern(packed ? 0 : sites, 0);
    std::uint64_t above = 0;
    if (weight == 0) {
        std::memset(row, 0, sites);
        return;
    }
    // positions[i] is the i-th lowest One; positions[0] is the one that runs fastest.
    std::vector<std::uint64_t> positions(weight);
    for (std::uint64_t i = 0; i < weight; ++i) positions[i] = i;
    // Places and clears a One of the template above the lowest.
    const auto set = [&](std::uint64_t position, bool one) {
        if (packed) {
            above = one ? above | std::uint64_t{1} << position : above & ~(std::uint64_t{1} << position);
        } else {
            pattern[position] = one ? 1 : 0;
        }
    };
    for (std::uint64_t i = 1; i < weight; ++i) set(positions[i], true);
    InterruptPoll poll(1u << 6);
    for (;;) {
        poll();
        const std::uint64_t upper = weight > 1 ? positions[1] : sites;
        row = packed ? write_rows(row, above, sites, upper) : write_rows(row, pattern, upper);
        // The next placement of the Ones above the lowest: the lowest of them that can move up moves one
        // site, and those below it fall back to the bottom.
        std::uint64_t index = 1;
        while (index < weight) {
            const std::uint64_t next_upper = index + 1 < weight ? positions[index + 1] : sites;
            if (positions[index] + 1 < next_upper) break;
            ++index;
        }
        if (index == weight) return;
        set(positions[index], false);
        set(++positions[index], true);
        for (std::uint64_t lower = 1; lower < index; ++lower) {
            set(positions[lower], false);
            positions[lower] = lower;
        }
        for (std::uint64_t lower = 1; lower < index; ++lower) set(lower, true);
    }
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
    auto result = allocate_rows(binomial(sites, **weight), sites, /*zeroed=*/false);
    if (!result) return nullptr;
    OwnedRef array(result->array);  // released only when filled: a stopped fill frees it
    emit_sector_rows(result->data, sites, **weight);
    return array.release();
}

}  // namespace

PyMethodDef basis_states_definition = exported_function<kSignature, body>(
    "basis_states",
    "basis_states(site_count, weight)\n--\n\n"
    "Return the canonical full computational basis as a `(dimension, sites)` array.");

}  // namespace vendrel::python
