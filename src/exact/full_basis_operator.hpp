// Hamiltonians acting on the full basis directly, with no basis table and no dense matrix.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "common/complex.hpp"
#include "common/result.hpp"
#include "core/hamiltonian.hpp"
#include "exact/exact_error.hpp"

namespace vendrel::exact {

/// A Hamiltonian compiled for the full basis of n < 64 sites, where a state's index is its integer
/// value. It produces the same entries and products as the dense route (DenseMatrix over
/// ExactBasis::full), bit for bit apart from the sign of zeros: every entry is the constant (on the
/// diagonal) followed by the term contributions in canonical term order, and every row of a product
/// sums entry * vector in increasing column order, the zero entries contributing nothing.
class FullBasisOperator {
public:
    /// Refuses what the dense route refuses before expanding: 64 sites or more (as the full basis
    /// does) and a dimension whose square overflows (DimensionOverflow).
    static Result<FullBasisOperator, ExactError> compile(const core::Hamiltonian& h);

    [[nodiscard]] std::uint64_t dimension() const { return dimension_; }

    /// Writes the dense matrix into row-major storage of dimension^2 entries. Storage that is not
    /// `zeroed` already is cleared row by row, just before each row is filled, while it is in cache.
    void fill_dense(std::span<Complex> storage, bool zeroed) const;

    /// The product with a vector, as DenseMatrix::apply: Shape for a wrong length, NonFiniteValue
    /// ("vector") at the first non-finite element. Prepares the diagonal on first use.
    [[nodiscard]] Result<std::vector<Complex>, ExactError> apply(std::span<const Complex> vector);

    /// dot(vector, apply(vector)) to the bit, without the product: each row's sum is formed as apply
    /// forms it and met at once by the conjugate of the vector's element, in row order. The errors of
    /// apply.
    [[nodiscard]] Result<Complex, ExactError> inner_with_applied(std::span<const Complex> vector) const;

private:
    // One term: the sites it flips, the sites whose One bit contributes a factor -1 (Y and Z), and
    // its coefficient times pauli_phase for states of even and of odd parity on sign_sites: the two
    // values every entry of the term takes, multiplied once.
    struct Term {
        std::uint64_t flip;
        std::uint64_t sign_sites;
        Complex scaled[2];
    };
    // The terms that reach the same column from a row, kept in canonical term order.
    struct Group {
        std::uint64_t flip;
        std::uint32_t first;
        std::uint32_t last;
    };
    // A node of the split tree over the sorted off-diagonal flips: a leaf holds one group; an inner
    // node splits its range at the highest bit in which its flips differ.
    struct SplitNode {
        std::uint32_t group;  // the leaf's group
        std::uint32_t low;    // inner nodes: the child whose flips have `bit` clear
        std::uint32_t high;   // inner nodes: the child whose flips have `bit` set
        std::uint8_t bit;
        bool leaf;
    };

    FullBasisOperator() = default;
    [[nodiscard]] static Complex term_value(const Term& term, std::uint64_t state);
    [[nodiscard]] Complex group_entry(const Group& group, std::uint64_t column) const;
    // Whether any diagonal entry can be non-zero: a constant or a term that flips nothing.
    [[nodiscard]] bool has_diagonal_entries() const;
    [[nodiscard]] Complex diagonal_entry(std::uint64_t row) const;
    // diagonal_entry of the kDiagonalBlock rows from `first` (a multiple of it) into `out`, the rows
    // summed side by side, each still from the constant through the terms in order.
    static constexpr std::uint64_t kDiagonalBlock = 8;
    void diagonal_block(std::uint64_t first, Complex* out) const;
    std::uint32_t build_split_tree(std::uint32_t first, std::uint32_t last);
    // sum += the term's entry in `row` times the vector's element in the term's column.
    [[gnu::always_inline]] static inline void add_product(const Term& term, std::uint64_t row,
                                                          std::span<const Complex> vector, Complex& sum);
    // Shape and NonFiniteValue checks of a vector to be multiplied.
    [[nodiscard]] Result<void, ExactError> check_vector(std::span<const Complex> vector) const;
    // Hands sink(row, sum) every row's sum of entry * vector in increasing column order, the diagonal
    // entry of a row taken from diagonal(row).
    template <class Diagonal, class Sink>
    void row_sums(std::span<const Complex> vector, Diagonal&& diagonal, Sink&& sink) const;

    std::uint64_t dimension_ = 0;
    Complex constant_{};
    std::vector<Term> terms_;            // grouped: diagonal terms first, then each flip's terms
    std::vector<Group> groups_;          // off-diagonal groups sorted by flip
    std::uint32_t diagonal_terms_ = 0;   // terms_[0, diagonal_terms_) keep every bit
    std::vector<SplitNode> split_tree_;  // root at index 0 when there are groups and no bit walk
    std::vector<Complex> diagonal_;      // filled by the first apply
    // Per diagonal term, lane j all ones when row j of a block meets an odd number of its sign sites.
    std::vector<std::array<std::int64_t, kDiagonalBlock>> block_parity_;
    // When every off-diagonal group is a single term flipping one or two sites (the TFIM in either
    // basis): the sites that are the highest of some flip, those flipped alone, the lower sites paired
    // with each, and the terms, flip_terms_[sites * j + i] flipping i < j and flip_terms_[sites * j + j]
    // flipping j alone.
    bool few_site_flips_ = false;
    bool has_pairs_ = false;
    std::uint64_t sites_ = 0;
    std::uint64_t top_sites_ = 0;
    std::uint64_t single_sites_ = 0;
    std::array<std::uint64_t, 64> pair_low_sites_{};
    std::vector<Term> flip_terms_;
};

/// The phase a Pauli string picks up on a basis state: i^power times -1 per One bit on sign_sites,
/// as one of 1, i, -1, -i with exact parts.
[[nodiscard]] Complex pauli_phase(std::uint8_t i_power, std::uint64_t sign_sites, std::uint64_t state);

}  // namespace vendrel::exact
