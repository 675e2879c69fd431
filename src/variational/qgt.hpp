// The dense quantum geometric tensor, the guarded dot product and the conjugate-gradient solver.
#pragma once

#include <concepts>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/complex.hpp"
#include "common/result.hpp"
#include "variational/tdvp_error.hpp"

namespace vendrel::variational {

enum class TDVPMode : std::uint8_t;
class TDVPStatistics;

namespace detail {
/// The last step of every estimate: the right-hand side of the mode (Im F, or -Re F), the check that
/// the variance, the QGT and the right-hand side are finite, and the statistics holding the exactly
/// symmetric QGT without the checks of DenseQgt::create. Defined in tdvp_statistics.cpp.
[[nodiscard]] Result<TDVPStatistics, TDVPError> assemble_statistics(TDVPMode mode, std::uint64_t parameters, std::vector<double> qgt,
                                                                    std::vector<double> force_real,
                                                                    std::vector<double> force_imag, Complex energy_mean,
                                                                    double variance, std::uint64_t samples);
}  // namespace detail

/// What an operator handed to the conjugate-gradient solver returns for one vector.
using MatvecResult = Result<std::vector<double>, TDVPError>;

/// A non-owning reference to a callable mapping a vector to its image under a linear operator
/// (or an error). It is only valid while the referenced callable lives; pass a lambda directly.
class MatvecRef {
public:
    template <class F>
        requires(!std::same_as<std::remove_cvref_t<F>, MatvecRef> && std::is_object_v<std::remove_reference_t<F>> &&
                 std::is_invocable_r_v<MatvecResult, F&, std::span<const double>>)
    // Implicit so that a lambda can be passed where a MatvecRef is expected.
    MatvecRef(F&& callable) noexcept
        : object_(const_cast<void*>(static_cast<const void*>(std::addressof(callable)))),
          call_([](void* object, std::span<const double> vector) -> MatvecResult {
              return std::invoke(*static_cast<std::remove_reference_t<F>*>(object), vector);
          }) {}

    MatvecResult operator()(std::span<const double> vector) const { return call_(object_, vector); }

private:
    void* object_;
    MatvecResult (*call_)(void*, std::span<const double>);
};

/// The outcome of a conjugate-gradient solve. Breakdown and running out of iterations are
/// reported here (converged false), not as errors.
class CGResult {
public:
    CGResult(std::vector<double> direction, double residual_norm, std::uint64_t iterations, bool converged)
        : direction_(std::move(direction)),
          residual_norm_(residual_norm),
          iterations_(iterations),
          converged_(converged) {}

    /// The approximate solution x, one element per unknown.
    [[nodiscard]] std::span<const double> direction() const { return direction_; }
    /// Euclidean norm of the final recurrence residual.
    [[nodiscard]] double residual_norm() const { return residual_norm_; }
    /// Number of completed iterations.
    [[nodiscard]] std::uint64_t iterations() const { return iterations_; }
    /// Whether ||r|| <= tolerance * ||rhs|| was reached.
    [[nodiscard]] bool converged() const { return converged_; }

private:
    std::vector<double> direction_;
    double residual_norm_;
    std::uint64_t iterations_;
    bool converged_;
};

/// A P by P real symmetric matrix, row-major, as the TDVP equation uses it.
class DenseQgt {
public:
    /// Validates the dimension (P >= 1, P^2 representable), the length P^2, finiteness and symmetry
    /// within max(max|element|, smallest normal double) * 1e-12. The data is kept unchanged.
    static Result<DenseQgt, TDVPError> create(std::uint64_t parameters, std::vector<double> data);

    /// The row-major elements: (row, column) at row * P + column.
    [[nodiscard]] std::span<const double> as_slice() const { return data_; }
    /// The dimension P.
    [[nodiscard]] std::uint64_t parameters() const { return parameters_; }

    /// S v, each element summed over the columns in order starting from -0.0 (several rows are
    /// computed side by side, each with its own sum).
    [[nodiscard]] Result<std::vector<double>, TDVPError> matvec(std::span<const double> vector) const;

    /// Solves (S + lambda I) x = rhs by conjugate gradients; lambda must be finite and >= 0 and rhs
    /// must have P elements. From the second product on, a small S is read from a copy packed column
    /// by column in row panels (about P^2 extra doubles, made once per solve); a large S that is
    /// symmetric bit for bit is read only above its diagonal blocks. Every product has the same sums,
    /// in the same order, as `matvec`.
    [[nodiscard]] Result<CGResult, TDVPError> solve(std::span<const double> rhs, double lambda, double tolerance,
                                                    std::uint64_t max_iterations) const;

private:
    // The estimators' matrices are exactly symmetric by construction.
    DenseQgt(std::uint64_t parameters, std::vector<double> data, bool exactly_symmetric = true)
        : parameters_(parameters), data_(std::move(data)), exactly_symmetric_(exactly_symmetric) {}

    // The estimates build an exactly symmetric matrix and hand it over without re-checking.
    friend Result<TDVPStatistics, TDVPError> detail::assemble_statistics(TDVPMode mode, std::uint64_t parameters, std::vector<double> qgt,
                                                                    std::vector<double> force_real,
                                                                    std::vector<double> force_imag, Complex energy_mean,
                                                                    double variance, std::uint64_t samples);

    std::uint64_t parameters_;
    std::vector<double> data_;
    // Equal to its transpose bit for bit, so that a product may read each off-diagonal pair once.
    bool exactly_symmetric_;
};

/// Sum of left[i] * right[i] in index order, starting from -0.0; fails on unequal lengths
/// (expected = left length) or a non-finite sum.
[[nodiscard]] Result<double, TDVPError> dot(std::span<const double> left, std::span<const double> right);

/// Conjugate gradients for the operator `matvec_fn` (assumed symmetric positive definite), starting
/// from x = 0 and stopping when ||r|| <= tolerance * ||rhs|| with r the recurrence residual. A
/// non-positive or non-finite curvature d.Ad ends the solve unconverged.
[[nodiscard]] Result<CGResult, TDVPError> solve_cg(MatvecRef matvec_fn, std::span<const double> rhs,
                                                   double tolerance, std::uint64_t max_iterations);

/// The shifted solve (S + lambda I) x = rhs around `product`, the product with S of a P by P QGT
/// (P = `parameters`): refuses a negative or non-finite lambda ("Tikhonov lambda") before any
/// product, adds lambda times the vector to each product, runs solve_cg, and refuses a right-hand
/// side of the wrong length that no product caught (an all-zero one) with Shape.
[[nodiscard]] Result<CGResult, TDVPError> solve_shifted(MatvecRef product, std::uint64_t parameters,
                                                        std::span<const double> rhs, double lambda,
                                                        double tolerance, std::uint64_t max_iterations);

}  // namespace vendrel::variational
