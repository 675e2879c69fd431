// Expansion of Hamiltonians into dense matrices, matrix-vector products and the Hermiticity check.
#include "exact/dense_matrix.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace vendrel::exact {

namespace {

std::optional<std::uint64_t> checked_square(std::uint64_t value) {
    if (value != 0 && value > std::numeric_limits<std::uint64_t>::max() / value) return std::nullopt;
    return value * value;
}

}  // namespace

Result<std::uint64_t, ExactError> dense_entry_count(const core::Hamiltonian& h, const ExactBasis& basis) {
    // Only the first state is compared: every state of a basis from `full` or `fixed_weight` has its length.
    const std::uint64_t first_length = basis.states().front().len();
    if (h.site_count().get() != first_length) {
        return fail<ExactError>(exact_error::Shape{h.site_count().get(), first_length});
    }
    const auto entries = checked_square(basis.dimension());
    if (!entries) return fail<ExactError>(exact_error::DimensionOverflow{});
    return *entries;
}

Result<void, ExactError> expand_hamiltonian_into(const core::Hamiltonian& h, const ExactBasis& basis,
                                                 std::span<Complex> zeroed_storage) {
    const auto entries = dense_entry_count(h, basis);
    if (!entries) return fail(entries.error());
    if (zeroed_storage.size() != *entries) {
        return fail<ExactError>(exact_error::Shape{*entries, zeroed_storage.size()});
    }
    const std::uint64_t dimension = basis.dimension();
    const auto states = basis.states();
    for (std::uint64_t column = 0; column < dimension; ++column) {
        auto transitions = h.apply(states[column]);
        if (!transitions) return fail<ExactError>(exact_error::Operator{std::move(transitions.error())});
        for (core::Transition& transition : *transitions) {
            const auto row = basis.index_of(transition.state);
            if (!row) return fail<ExactError>(exact_error::StateOutsideBasis{std::move(transition.state)});
            zeroed_storage[*row * dimension + column] += transition.amplitude;
        }
    }
    return {};
}

Result<DenseMatrix, ExactError> DenseMatrix::from_hamiltonian(const core::Hamiltonian& h, const ExactBasis& basis) {
    const auto entries = dense_entry_count(h, basis);
    if (!entries) return fail(entries.error());
    std::vector<Complex> data(*entries);  // Complex value-initialises to 0 + 0i
    auto expanded = expand_hamiltonian_into(h, basis, data);
    if (!expanded) return fail(std::move(expanded.error()));
    return DenseMatrix(basis.dimension(), std::move(data));
}

Result<DenseMatrix, ExactError> DenseMatrix::from_data(std::uint64_t dimension, std::vector<Complex> data) {
    const auto entries = checked_square(dimension);
    if (!entries) return fail<ExactError>(exact_error::DimensionOverflow{});
    if (data.size() != *entries) return fail<ExactError>(exact_error::Shape{*entries, data.size()});
    return DenseMatrix(dimension, std::move(data));
}

std::optional<Complex> DenseMatrix::get(std::uint64_t row, std::uint64_t column) const {
    if (row >= dimension_ || column >= dimension_) return std::nullopt;
    return data_[row * dimension_ + column];
}

Result<std::vector<Complex>, ExactError> DenseMatrix::apply(std::span<const Complex> vector) const {
    if (vector.size() != dimension_) return fail<ExactError>(exact_error::Shape{dimension_, vector.size()});
    for (std::uint64_t index = 0; index < vector.size(); ++index) {
        if (!is_finite(vector[index])) {
            return fail<ExactError>(exact_error::NonFiniteValue{"vector", index, vector[index]});
        }
    }
    std::vector<Complex> product(dimension_);
    for (std::uint64_t row = 0; row < dimension_; ++row) {
        const Complex* entries = data_.data() + row * dimension_;
        Complex sum{};
        for (std::uint64_t column = 0; column < dimension_; ++column) sum += entries[column] * vector[column];
        product[row] = sum;
    }
    return product;
}

Result<void, ExactError> DenseMatrix::validate_hermitian(double tolerance) const {
    if (!std::isfinite(tolerance) || tolerance < 0.0) {
        return fail<ExactError>(exact_error::InvalidParameter{"tolerance"});
    }
    for (std::uint64_t row = 0; row < dimension_; ++row) {
        for (std::uint64_t column = 0; column < dimension_; ++column) {
            const Complex difference = data_[row * dimension_ + column] - conj(data_[column * dimension_ + row]);
            // A non-finite difference fails outright: hypot(inf, NaN) would be inf, but hypot of a NaN
            // with a finite part is NaN and would slip past the comparison.
            if (!is_finite(difference) || std::hypot(difference.re, difference.im) > tolerance) {
                return fail<ExactError>(exact_error::NonHermitian{row, column, difference});
            }
        }
    }
    return {};
}

Complex dot(std::span<const Complex> left, std::span<const Complex> right) {
    const std::size_t length = std::min(left.size(), right.size());
    Complex sum{};
    for (std::size_t index = 0; index < length; ++index) sum += conj(left[index]) * right[index];
    return sum;
}

double norm(std::span<const Complex> vector) { return std::sqrt(dot(vector, vector).re); }

}  // namespace vendrel::exact
