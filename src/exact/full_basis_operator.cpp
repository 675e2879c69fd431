// Direct action of Hamiltonians on the full basis: dense fill and matrix-free products.
#include "exact/full_basis_operator.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "common/interrupt.hpp"
#include "core/basis.hpp"

namespace vendrel::exact {

Complex pauli_phase(std::uint8_t i_power, std::uint64_t sign_sites, std::uint64_t state) {
    static constexpr Complex kPowers[4] = {{1.0, 0.0}, {0.0, 1.0}, {-1.0, 0.0}, {0.0, -1.0}};
    const bool negate = (std::popcount(state & sign_sites) & 1) != 0;
    return kPowers[(i_power + (negate ? 2 : 0)) & 3];
}

Result<FullBasisOperator, ExactError> FullBasisOperator::compile(const core::Hamiltonian& h) {
    if (auto enumeration = core::FullBasis::create(h.site_count()); !enumeration) {
        return fail<ExactError>(exact_error::Basis{std::move(enumeration.error())});
    }
    const std::uint64_t dimension = std::uint64_t{1} << h.site_count().get();
    std::uint64_t entries = 0;
    if (__builtin_mul_overflow(dimension, dimension, &entries)) {
        return fail<ExactError>(exact_error::DimensionOverflow{});
    }
    FullBasisOperator op;
    op.dimension_ = dimension;
    op.constant_ = h.constant();
    std::vector<Term> diagonal;
    std::vector<Term> off_diagonal;
    for (const core::HamiltonianTerm& term : h.terms()) {
        Term compiled{0, 0, {}};
        std::uint8_t i_power = 0;
        for (const core::PauliFactor& factor : term.string.factors()) {
            const std::uint64_t bit = std::uint64_t{1} << factor.site.get();
            switch (factor.pauli) {
                case core::Pauli::I:
                    break;
                case core::Pauli::X:
                    compiled.flip |= bit;
                    break;
                case core::Pauli::Y:
                    compiled.flip |= bit;
                    compiled.sign_sites |= bit;
                    i_power = static_cast<std::uint8_t>((i_power + 1) & 3);
                    break;
                case core::Pauli::Z:
                    compiled.sign_sites |= bit;
                    break;
            }
        }
        // pauli_phase of a state without, and of one with, a single sign site set.
        const std::uint64_t odd = compiled.sign_sites & (~compiled.sign_sites + 1);
        compiled.scaled[0] = term.coefficient * pauli_phase(i_power, compiled.sign_sites, 0);
        compiled.scaled[1] = odd == 0 ? compiled.scaled[0]
                                      : term.coefficient * pauli_phase(i_power, compiled.sign_sites, odd);
        (compiled.flip == 0 ? diagonal : off_diagonal).push_back(compiled);
    }
    // A stable sort keeps canonical term order among the terms that reach the same entry.
    std::stable_sort(off_diagonal.begin(), off_diagonal.end(),
                     [](const Term& a, const Term& b) { return a.flip < b.flip; });
    op.diagonal_terms_ = static_cast<std::uint32_t>(diagonal.size());
    op.terms_ = std::move(diagonal);
    for (std::size_t index = 0; index < off_diagonal.size(); ++index) {
        const auto position = static_cast<std::uint32_t>(op.terms_.size());
        if (op.groups_.empty() || op.groups_.back().flip != off_diagonal[index].flip) {
            op.groups_.push_back(Group{off_diagonal[index].flip, position, position});
        }
        op.terms_.push_back(off_diagonal[index]);
        op.groups_.back().last = position + 1;
    }
    for (std::uint32_t index = 0; index < op.diagonal_terms_; ++index) {
        std::array<std::int64_t, kDiagonalBlock> parity{};
        for (std::uint64_t lane = 0; lane < kDiagonalBlock; ++lane) {
            parity[lane] = -static_cast<std::int64_t>(std::popcount(lane & op.terms_[index].sign_sites) & 1);
        }
        op.block_parity_.push_back(parity);
    }
    op.few_site_flips_ = std::all_of(op.groups_.begin(), op.groups_.end(), [](const Group& group) {
        return std::popcount(group.flip) <= 2 && group.last - group.first == 1;
    });
    // The split tree orders the columns of the other Hamiltonians; the bit walk needs none.
    if (!op.few_site_flips_) op.build_split_tree(0, static_cast<std::uint32_t>(op.groups_.size()));
    if (op.few_site_flips_ && !op.groups_.empty()) {
        op.sites_ = static_cast<std::uint64_t>(std::countr_zero(dimension));
        op.flip_terms_.assign(op.sites_ * op.sites_, Term{0, 0, {}});
        for (const Group& group : op.groups_) {
            const auto top = static_cast<std::uint64_t>(63 - std::countl_zero(group.flip));
            const std::uint64_t low = group.flip ^ (std::uint64_t{1} << top);
            op.top_sites_ |= std::uint64_t{1} << top;
            if (low == 0) {
                op.single_sites_ |= group.flip;
                op.flip_terms_[op.sites_ * top + top] = op.terms_[group.first];
            } else {
                op.pair_low_sites_[top] |= low;
                op.flip_terms_[op.sites_ * top + static_cast<std::uint64_t>(std::countr_zero(low))] =
                    op.terms_[group.first];
                op.has_pairs_ = true;
            }
        }
    }
    return op;
}

std::uint32_t FullBasisOperator::build_split_tree(std::uint32_t first, std::uint32_t last) {
    const auto index = static_cast<std::uint32_t>(split_tree_.size());
    split_tree_.push_back(SplitNode{first, 0, 0, 0, last - first == 1});
    if (last - first == 1) return index;
    // The flips are sorted: the highest bit in which a range differs is that of its first and last.
    const std::uint64_t differing = groups_[first].flip ^ groups_[last - 1].flip;
    const auto bit = static_cast<std::uint8_t>(63 - std::countl_zero(differing));
    std::uint32_t middle = first;
    while (((groups_[middle].flip >> bit) & 1u) == 0) ++middle;
    const std::uint32_t low = build_split_tree(first, middle);
    const std::uint32_t high = build_split_tree(middle, last);
    split_tree_[index].low = low;
    split_tree_[index].high = high;
    split_tree_[index].bit = bit;
    return index;
}

Complex FullBasisOperator::term_value(const Term& term, std::uint64_t state) {
    return term.scaled[std::popcount(state & term.sign_sites) & 1];
}

Complex FullBasisOperator::group_entry(const Group& group, std::uint64_t column) const {
    Complex entry = term_value(terms_[group.first], column);
    for (std::uint32_t index = group.first + 1; index < group.last; ++index) {
        entry += term_value(terms_[index], column);
    }
    return entry;
}

bool FullBasisOperator::has_diagonal_entries() const {
    return diagonal_terms_ > 0 || constant_.re != 0.0 || constant_.im != 0.0;
}

Complex FullBasisOperator::diagonal_entry(std::uint64_t row) const {
    Complex entry = constant_;
    for (std::uint32_t index = 0; index < diagonal_terms_; ++index) entry += term_value(terms_[index], row);
    return entry;
}

namespace {

// The rows of a diagonal block side by side, one lane each.
typedef double BlockLanes __attribute__((vector_size(64)));
typedef std::int64_t BlockMask __attribute__((vector_size(64)));

}  // namespace

// Built for three instruction sets where the C library picks one at load time (x86-64 with glibc);
// the wider ones do the same additions, lane for lane.
#if defined(__x86_64__) && defined(__GLIBC__)
[[gnu::target_clones("avx512f", "avx2", "default")]]
#endif
void FullBasisOperator::diagonal_block(std::uint64_t first, Complex* out) const {
    static_assert(kDiagonalBlock == 8 && sizeof(BlockMask) == sizeof(block_parity_[0]));
    BlockLanes re, im;
    for (std::uint64_t lane = 0; lane < kDiagonalBlock; ++lane) re[lane] = constant_.re, im[lane] = constant_.im;
    for (std::uint32_t index = 0; index < diagonal_terms_; ++index) {
        const Term& term = terms_[index];
        // The block's rows share every bit above the lowest three: their parities are the block's
        // own, flipped in the lanes whose low bits meet the sign sites an odd number of times.
        const std::int64_t shared = -static_cast<std::int64_t>(std::popcount(first & term.sign_sites) & 1);
        BlockMask odd;
        std::memcpy(&odd, &block_parity_[index], sizeof odd);
        odd ^= shared;
        // Each lane takes the even or the odd value bit for bit: even ^ (odd lanes & (even ^ odd value)).
        const std::int64_t even_re = std::bit_cast<std::int64_t>(term.scaled[0].re);
        const std::int64_t even_im = std::bit_cast<std::int64_t>(term.scaled[0].im);
        const std::int64_t change_re = even_re ^ std::bit_cast<std::int64_t>(term.scaled[1].re);
        const std::int64_t change_im = even_im ^ std::bit_cast<std::int64_t>(term.scaled[1].im);
        re = re + (BlockLanes)(even_re ^ (odd & change_re));
        im = im + (BlockLanes)(even_im ^ (odd & change_im));
    }
    for (std::uint64_t lane = 0; lane < kDiagonalBlock; ++lane) out[lane] = Complex{re[lane], im[lane]};
}

void FullBasisOperator::fill_dense(std::span<Complex> storage, bool zeroed) const {
    const bool has_diagonal = has_diagonal_entries();
    InterruptPoll poll(256);
    Complex block[kDiagonalBlock];
    for (std::uint64_t row = 0; row < dimension_; ++row) {
        poll();
        Complex* entries = storage.data() + row * dimension_;
        if (!zeroed) std::fill(entries, entries + dimension_, Complex{});
        if (has_diagonal) {
            if (dimension_ < kDiagonalBlock) {
                entries[row] = diagonal_entry(row);
            } else {
                if (row % kDiagonalBlock == 0) diagonal_block(row, block);
                entries[row] = block[row % kDiagonalBlock];
            }
        }
        for (const Group& group : groups_) {
            const std::uint64_t column = row ^ group.flip;
            entries[column] = group_entry(group, column);
        }
    }
}

Result<void, ExactError> FullBasisOperator::check_vector(std::span<const Complex> vector) const {
    if (vector.size() != dimension_) return fail<ExactError>(exact_error::Shape{dimension_, vector.size()});
    for (std::uint64_t index = 0; index < vector.size(); ++index) {
        if (!is_finite(vector[index])) {
            return fail<ExactError>(exact_error::NonFiniteValue{"vector", index, vector[index]});
        }
    }
    return {};
}

void FullBasisOperator::add_product(const Term& term, std::uint64_t row, std::span<const Complex> vector,
                                    Complex& sum) {
    const std::uint64_t column = row ^ term.flip;
    sum += term_value(term, column) * vector[column];
}

template <class Diagonal, class Sink>
void FullBasisOperator::row_sums(std::span<const Complex> vector, Diagonal&& diagonal, Sink&& sink) const {
    const bool has_diagonal = has_diagonal_entries();
    InterruptPoll poll(1024);
    if (few_site_flips_ && !has_pairs_) {
        // Every flip is one site: the columns below the row are those of its One bits, highest bit
        // first, and those above it are those of its Zero bits, lowest first. (The walk below covers
        // this case too; this plainer loop is a third faster on it, the TFIM in the z basis.)
        for (std::uint64_t row = 0; row < dimension_; ++row) {
            poll();
            Complex sum{};
            for (std::uint64_t below = row & single_sites_; below != 0;) {
                const auto site = static_cast<std::uint64_t>(63 - std::countl_zero(below));
                below ^= std::uint64_t{1} << site;
                add_product(flip_terms_[sites_ * site + site], row, vector, sum);
            }
            if (has_diagonal) sum += diagonal(row) * vector[row];
            for (std::uint64_t above = ~row & single_sites_; above != 0; above &= above - 1) {
                const auto site = static_cast<std::uint64_t>(std::countr_zero(above));
                add_product(flip_terms_[sites_ * site + site], row, vector, sum);
            }
            sink(row, sum);
        }
        return;
    }
    if (few_site_flips_) {
        // Every flip is one or two sites. A column row ^ flip whose highest flipped site is j lies
        // below the row when the row has a One at j, and the groups sharing j come in the order of
        // their low site i: first those where the row has a One at i, highest i first, then the one
        // flipping j alone, then those where the row has a Zero at i, lowest i first. Below the row
        // the sites j come highest first, above it lowest first.
        for (std::uint64_t row = 0; row < dimension_; ++row) {
            poll();
            // Each flip reads its own stream of the vector, more streams than the processor follows:
            // every fourth row (a cache line of elements) asks for the lines two ahead.
            if (row % 4 == 0 && row + 8 < dimension_) {
                for (const Group& group : groups_) __builtin_prefetch(&vector[(row + 8) ^ group.flip]);
            }
            Complex sum{};
            const auto add_top_site = [&](int top) {
                const Term* pairs = flip_terms_.data() + sites_ * static_cast<std::uint64_t>(top);
                const std::uint64_t low = pair_low_sites_[top];
                for (std::uint64_t ones = row & low; ones != 0;) {
                    const int site = 63 - std::countl_zero(ones);
                    ones ^= std::uint64_t{1} << site;
                    add_product(pairs[site], row, vector, sum);
                }
                if (((single_sites_ >> top) & 1u) != 0) add_product(pairs[top], row, vector, sum);
                for (std::uint64_t zeros = ~row & low; zeros != 0; zeros &= zeros - 1) {
                    add_product(pairs[std::countr_zero(zeros)], row, vector, sum);
                }
            };
            for (std::uint64_t below = row & top_sites_; below != 0;) {
                const int top = 63 - std::countl_zero(below);
                below ^= std::uint64_t{1} << top;
                add_top_site(top);
            }
            if (has_diagonal) sum += diagonal(row) * vector[row];
            for (std::uint64_t above = ~row & top_sites_; above != 0; above &= above - 1) {
                add_top_site(std::countr_zero(above));
            }
            sink(row, sum);
        }
        return;
    }
    // Each split is on a lower bit than its parent's, so a path has at most 64 inner nodes and the
    // stack never holds more than 65; a fixed array keeps the row's sum in registers.
    std::array<std::uint32_t, 65> stack;
    std::size_t top = 0;
    for (std::uint64_t row = 0; row < dimension_; ++row) {
        poll();
        Complex sum{};
        bool diagonal_added = !has_diagonal;
        // The off-diagonal columns row ^ flip come out in increasing order from the split tree:
        // at each split the half whose flips agree with the row in that bit has the smaller columns.
        if (!split_tree_.empty()) stack[top++] = 0;
        while (top != 0) {
            const SplitNode& node = split_tree_[stack[--top]];
            if (node.leaf) {
                const Group& group = groups_[node.group];
                const std::uint64_t column = row ^ group.flip;
                if (!diagonal_added && row < column) {
                    sum += diagonal(row) * vector[row];
                    diagonal_added = true;
                }
                sum += group_entry(group, column) * vector[column];
                continue;
            }
            const bool row_bit = ((row >> node.bit) & 1u) != 0;
            // Pushed in reverse: the half visited first goes on top.
            stack[top++] = row_bit ? node.low : node.high;
            stack[top++] = row_bit ? node.high : node.low;
        }
        if (!diagonal_added) sum += diagonal(row) * vector[row];
        sink(row, sum);
    }
}

Result<std::vector<Complex>, ExactError> FullBasisOperator::apply(std::span<const Complex> vector) {
    if (auto checked = check_vector(vector); !checked) return fail(std::move(checked.error()));
    const bool has_diagonal = has_diagonal_entries();
    if (has_diagonal && diagonal_.empty()) {
        InterruptPoll poll(1024);
        diagonal_.resize(dimension_);
        if (dimension_ < kDiagonalBlock) {
            for (std::uint64_t row = 0; row < dimension_; ++row) diagonal_[row] = diagonal_entry(row);
        } else {
            for (std::uint64_t row = 0; row < dimension_; row += kDiagonalBlock) {
                poll();
                diagonal_block(row, &diagonal_[row]);
            }
        }
    }
    std::vector<Complex> product(dimension_);
    row_sums(
        vector, [&](std::uint64_t row) { return diagonal_[row]; },
        [&](std::uint64_t row, Complex sum) { product[row] = sum; });
    return product;
}

Result<Complex, ExactError> FullBasisOperator::inner_with_applied(std::span<const Complex> vector) const {
    if (vector.size() != dimension_) return fail<ExactError>(exact_error::Shape{dimension_, vector.size()});
    // dot's sum: from zero, conj(vector[row]) * row in row order. The elements are checked on the
    // way, in index order, so the first non-finite one is reported as check_vector would.
    Complex total{};
    std::uint64_t first_non_finite = dimension_;
    row_sums(
        vector, [&](std::uint64_t row) { return diagonal_entry(row); },
        [&](std::uint64_t row, Complex sum) {
            if (!is_finite(vector[row]) && first_non_finite == dimension_) first_non_finite = row;
            total += conj(vector[row]) * sum;
        });
    if (first_non_finite != dimension_) {
        return fail<ExactError>(exact_error::NonFiniteValue{"vector", first_non_finite, vector[first_non_finite]});
    }
    return total;
}

}  // namespace vendrel::exact
