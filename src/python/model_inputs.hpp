// Turning NumPy arguments and texts into checked couplings, bases and resolved models.
#pragma once

#include <string_view>

#include "common/result.hpp"
#include "core/dense_couplings.hpp"
#include "core/identifiers.hpp"
#include "core/models.hpp"
#include "python/binding.hpp"
#include "python/numpy_intake.hpp"

namespace vendrel::python {

/// The leading parameters of the TFIM matrix and ground-state functions.
inline constexpr Parameter kTfimParameters[] = {
    {"couplings", Kind::RealMatrix, required()},
    {"fields", Kind::RealVector, required()},
    {"basis", Kind::OptionalText, none()},
};

/// The TFIM arguments as read: the basis text is "z" when `basis` is None or omitted.
struct TfimArguments {
    RealMatrixView couplings;
    RealVectorView fields;
    std::string_view basis;
};

/// Reads couplings, fields and basis, in that order, from arguments bound to kTfimParameters.
[[nodiscard]] Result<TfimArguments, PendingException> read_tfim_arguments(BoundArguments& arguments);

/// Square check ("couplings must be square"), row-major copy, site count, then the checks of
/// DenseCouplings; every failure is raised as InputError.
[[nodiscard]] Result<core::DenseCouplings, PendingException> dense_couplings(const RealMatrixView& couplings);

/// Exactly "x", "y" or "z"; otherwise InputError "invalid simulation basis: " and the BasisError text.
[[nodiscard]] Result<core::SimulationBasis, PendingException> parse_basis(std::string_view text);

/// The TFIM of the couplings and fields in a basis: shape and length first, then the couplings,
/// the basis text and the model's own refusals. Failures are InputError.
[[nodiscard]] Result<core::ResolvedModel, PendingException> resolve_tfim(const RealMatrixView& couplings,
                                                                         const RealVectorView& fields,
                                                                         std::string_view basis);
[[nodiscard]] Result<core::ResolvedModel, PendingException> resolve_heisenberg(const RealMatrixView& couplings,
                                                                               std::string_view basis);
[[nodiscard]] Result<core::ResolvedModel, PendingException> resolve_rydberg(const RealMatrixView& couplings,
                                                                            const RealVectorView& omega,
                                                                            const RealVectorView& detuning);

}  // namespace vendrel::python
