// TFIM, Heisenberg and Rydberg model builders: the one place where signs and factors are fixed.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/result.hpp"
#include "core/dense_couplings.hpp"
#include "core/hamiltonian.hpp"
#include "core/interactions.hpp"

namespace vendrel::core {

namespace model_error {
struct Operator {
    OperatorError error;
};
struct FieldLength {
    std::uint64_t expected;
    std::uint64_t actual;
};
struct UnsupportedBasis {
    std::string_view model;
    SimulationBasis basis;
};
struct UnexpectedChannel {
    std::string_view model;
    InteractionChannel channel;
};
struct NonFiniteParameter {
    std::string_view name;
    double value;
};
struct InvalidInput {
    std::string text;
};
}  // namespace model_error

using ModelError = std::variant<model_error::Operator, model_error::FieldLength, model_error::UnsupportedBasis,
                                model_error::UnexpectedChannel, model_error::NonFiniteParameter,
                                model_error::InvalidInput>;

/// The fixed English message; a wrapped OperatorError keeps its own text.
[[nodiscard]] std::string to_string(const ModelError& error);

namespace model_specification {
struct Tfim {
    std::vector<double> fields;
};
struct Heisenberg {};
struct Rydberg {
    std::vector<double> omega;
    std::vector<double> detuning;
};
}  // namespace model_specification

/// A copy of the per-site parameters a model was built from.
using ModelSpecification =
    std::variant<model_specification::Tfim, model_specification::Heisenberg, model_specification::Rydberg>;

/// A builder's result: the canonical Hamiltonian with what it was built from.
class ResolvedModel {
public:
    static ResolvedModel create(Hamiltonian hamiltonian, std::string_view family, SimulationBasis basis,
                                std::vector<WeightedInteraction> interactions, ModelSpecification specification) {
        return ResolvedModel(std::move(hamiltonian), family, basis, std::move(interactions), std::move(specification));
    }
    [[nodiscard]] const Hamiltonian& hamiltonian() const { return hamiltonian_; }
    [[nodiscard]] std::string_view family() const { return family_; }
    [[nodiscard]] SimulationBasis basis() const { return basis_; }
    [[nodiscard]] std::span<const WeightedInteraction> interactions() const { return interactions_; }
    [[nodiscard]] const ModelSpecification& specification() const { return specification_; }

private:
    ResolvedModel(Hamiltonian hamiltonian, std::string_view family, SimulationBasis basis,
                  std::vector<WeightedInteraction> interactions, ModelSpecification specification)
        : hamiltonian_(std::move(hamiltonian)),
          family_(family),
          basis_(basis),
          interactions_(std::move(interactions)),
          specification_(std::move(specification)) {}
    Hamiltonian hamiltonian_;
    std::string_view family_;
    SimulationBasis basis_;
    std::vector<WeightedInteraction> interactions_;
    ModelSpecification specification_;
};

/// Success for a finite value, NonFiniteParameter otherwise.
[[nodiscard]] Result<void, ModelError> finite_parameter(std::string_view name, double value);

/// H = -sum J B_i B_j - sum h_i F_i with (B, F) = (Z, X) in the z basis and (X, Z) in the x basis;
/// the y basis is refused.
[[nodiscard]] Result<ResolvedModel, ModelError> tfim(const InteractionTable& table, std::span<const double> fields,
                                                     SimulationBasis basis);
/// H = sum (J / 4)(X_i X_j + Y_i Y_j + Z_i Z_j) in every basis.
[[nodiscard]] Result<ResolvedModel, ModelError> heisenberg(const InteractionTable& table, SimulationBasis basis);
/// H = sum_i (-(omega_i / 2) X_i - delta_i n_i) + sum_{i<j} V_ij n_i n_j, n_i = (1 - Z_i) / 2; z basis only.
[[nodiscard]] Result<ResolvedModel, ModelError> rydberg(const DenseCouplings& couplings, std::span<const double> omega,
                                                        std::span<const double> detuning, SimulationBasis basis);

}  // namespace vendrel::core
