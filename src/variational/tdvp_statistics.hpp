// TDVP statistics from weighted samples: QGT, force, right-hand side and local-energy moments.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "common/complex.hpp"
#include "common/result.hpp"
#include "variational/qgt.hpp"
#include "variational/tdvp_error.hpp"

namespace vendrel::variational {

/// Which right-hand side is formed from the force F.
enum class TDVPMode : std::uint8_t {
    /// rhs = Im F.
    RealTime = 0,
    /// rhs = -Re F.
    ImaginaryTime = 1,
};

/// The complex force F_k = sum_s p_s conj(O_sk - <O_k>) (E_s - <E>), split into parts.
class ForceStatistics {
public:
    ForceStatistics(std::vector<double> real, std::vector<double> imag)
        : real_(std::move(real)), imag_(std::move(imag)) {}

    /// Real parts, one per parameter.
    [[nodiscard]] std::span<const double> real() const { return real_; }
    /// Imaginary parts, one per parameter.
    [[nodiscard]] std::span<const double> imag() const { return imag_; }

private:
    std::vector<double> real_;
    std::vector<double> imag_;
};

/// The statistics of one estimate; only `estimate_tdvp` builds them.
class TDVPStatistics {
public:
    /// The mode the right-hand side was formed for.
    [[nodiscard]] TDVPMode mode() const { return mode_; }
    /// The right-hand side of S x = b, one element per parameter.
    [[nodiscard]] std::span<const double> rhs() const { return rhs_; }
    [[nodiscard]] const ForceStatistics& force() const { return force_; }
    /// The P by P QGT, exactly symmetric.
    [[nodiscard]] const DenseQgt& qgt() const { return qgt_; }
    /// Weighted mean of the local energies.
    [[nodiscard]] Complex energy_mean() const { return energy_mean_; }
    /// Weighted variance of the local energies.
    [[nodiscard]] double energy_variance() const { return energy_variance_; }
    /// Number of samples given, zero-weight samples included.
    [[nodiscard]] std::uint64_t samples() const { return samples_; }

private:
    TDVPStatistics(TDVPMode mode, std::vector<double> rhs, ForceStatistics force, DenseQgt qgt, Complex energy_mean,
                   double energy_variance, std::uint64_t samples)
        : mode_(mode),
          rhs_(std::move(rhs)),
          force_(std::move(force)),
          qgt_(std::move(qgt)),
          energy_mean_(energy_mean),
          energy_variance_(energy_variance),
          samples_(samples) {}

    friend Result<TDVPStatistics, TDVPError> detail::assemble_statistics(TDVPMode mode, std::uint64_t parameters, std::vector<double> qgt,
                                                                    std::vector<double> force_real,
                                                                    std::vector<double> force_imag, Complex energy_mean,
                                                                    double variance, std::uint64_t samples);

    TDVPMode mode_;
    std::vector<double> rhs_;
    ForceStatistics force_;
    DenseQgt qgt_;
    Complex energy_mean_;
    double energy_variance_;
    std::uint64_t samples_;
};

/// Estimates the TDVP statistics from N samples: `weights` (N non-negative finite numbers, not
/// necessarily normalised), `local_energies` (N) and `derivatives` (N * parameter_count, sample-major:
/// sample s, parameter k at s * P + k). The inputs are only read. Besides the outputs it holds one
/// chunk of centred samples (2 x 32768 doubles, or 2 x 16 rows when P is larger) and pads the
/// QGT rows to the tile width while accumulating; every value equals the plain loops' bit for bit.
[[nodiscard]] Result<TDVPStatistics, TDVPError> estimate_tdvp(std::span<const double> weights,
                                                              std::span<const Complex> local_energies,
                                                              std::span<const Complex> derivatives,
                                                              std::uint64_t parameter_count, TDVPMode mode);

}  // namespace vendrel::variational
