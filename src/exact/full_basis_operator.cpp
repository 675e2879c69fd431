// Direct action of Hamiltonians on the full basis: dense fill and matrix-free products.
#include "exact/full_basis_operator.hpp"

#include <algorithm>
#include <bit>
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
    if (!op.groups_.empty()) op.build_split_tree(0, static_cast<std::uint32_t>(op.groups_.size()));
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

Complex FullBasisOperator::diagonal_entry(std::uint64_t row) const {
    Complex entry = constant_;
    for (std::uint32_t index = 0; index < diagonal_terms_; ++index) entry += term_value(terms_[index], row);
    return entry;
}

void FullBasisOperator::fill_dense(std::span<Complex> storage, bool zeroed) const {
    const bool has_diagonal = diagonal_terms_ > 0 || constant_.re != 0.0 || constant_.im != 0.0;
    InterruptPoll poll(256);
    for (std::uint64_t row = 0; row < dimension_; ++row) {
        poll();
        Complex* entries = storage.data() + row * dimension_;
        if (!zeroed) std::fill(entries, entries + dimension_, Complex{});
        if (has_diagonal) entries[row] = diagonal_entry(row);
        for (const Group& group : groups_) {
            const std::uint64_t column = row ^ group.flip;
            entries[column] = group_entry(group, column);
        }
    }
}

Result<std::vector<Complex>, ExactError> FullBasisOperator::apply(std::span<const Complex> vector) {
    if (vector.size() != dimension_) return fail<ExactError>(exact_error::Shape{dimension_, vector.size()});
    for (std::uint64_t index = 0; index < vector.size(); ++index) {
        if (!is_finite(vector[index])) {
            return fail<ExactError>(exact_error::NonFiniteValue{"vector", index, vector[index]});
        }
    }
    const bool has_diagonal = diagonal_terms_ > 0 || constant_.re != 0.0 || constant_.im != 0.0;
    InterruptPoll poll(1024);
    if (has_diagonal && diagonal_.empty()) {
        diagonal_.resize(dimension_);
        for (std::uint64_t row = 0; row < dimension_; ++row) {
            poll();
            diagonal_[row] = diagonal_entry(row);
        }
    }

    std::vector<Complex> product(dimension_);
    std::vector<std::uint32_t> stack;
    stack.reserve(2 * split_tree_.size() + 1);
    for (std::uint64_t row = 0; row < dimension_; ++row) {
        poll();
        Complex sum{};
        bool diagonal_added = !has_diagonal;
        // The off-diagonal columns row ^ flip come out in increasing order from the split tree:
        // at each split the half whose flips agree with the row in that bit has the smaller columns.
        if (!split_tree_.empty()) stack.push_back(0);
        while (!stack.empty()) {
            const SplitNode& node = split_tree_[stack.back()];
            stack.pop_back();
            if (node.leaf) {
                const Group& group = groups_[node.group];
                const std::uint64_t column = row ^ group.flip;
                if (!diagonal_added && row < column) {
                    sum += diagonal_[row] * vector[row];
                    diagonal_added = true;
                }
                sum += group_entry(group, column) * vector[column];
                continue;
            }
            const bool row_bit = ((row >> node.bit) & 1u) != 0;
            // Pushed in reverse: the half visited first goes on top.
            stack.push_back(row_bit ? node.low : node.high);
            stack.push_back(row_bit ? node.high : node.low);
        }
        if (!diagonal_added) sum += diagonal_[row] * vector[row];
        product[row] = sum;
    }
    return product;
}

}  // namespace vendrel::exact
