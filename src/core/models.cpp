// The model builders and the ModelError messages.
#include "core/models.hpp"

#include <cmath>

#include "core/render.hpp"

namespace vendrel::core {

std::string to_string(const ModelError& error) {
    using namespace model_error;
    return std::visit(
        Overloaded{
            [](const Operator& e) { return to_string(e.error); },
            [](const FieldLength& e) {
                return "model needs " + std::to_string(e.expected) + " site parameters, received " +
                       std::to_string(e.actual);
            },
            [](const UnsupportedBasis& e) {
                return "model " + std::string(e.model) + " does not support simulation basis " +
                       std::string(as_str(e.basis));
            },
            [](const UnexpectedChannel& e) {
                return "model " + std::string(e.model) + " cannot consume interaction channel " + to_string(e.channel);
            },
            [](const NonFiniteParameter& e) {
                return "model parameter " + std::string(e.name) + "=" + compact_float(e.value) + " is non-finite";
            },
            [](const InvalidInput& e) { return e.text; },
        },
        error);
}

Result<void, ModelError> finite_parameter(std::string_view name, double value) {
    if (std::isfinite(value)) return {};
    return fail<ModelError>(model_error::NonFiniteParameter{name, value});
}

namespace {

// Strings of one or two factors, built in canonical order (bonds have first < second).
PauliString single(SiteId site, Pauli pauli) { return *PauliString::create({{site, pauli}}); }
PauliString pair(Bond bond, Pauli pauli) { return *PauliString::create({{bond.first, pauli}, {bond.second, pauli}}); }

HamiltonianTerm real_term(double coefficient, PauliString string) {
    return HamiltonianTerm{Complex{coefficient, 0.0}, std::move(string)};
}

Result<Hamiltonian, ModelError> build(std::uint64_t sites, double constant, std::vector<HamiltonianTerm> terms,
                                      const char* empty_text) {
    auto count = SiteCount::create(sites);
    if (!count) return fail<ModelError>(model_error::InvalidInput{empty_text});
    auto hamiltonian = Hamiltonian::create_hermitian(*count, Complex{constant, 0.0}, std::move(terms));
    if (!hamiltonian) return fail<ModelError>(model_error::Operator{std::move(hamiltonian.error())});
    return std::move(*hamiltonian);
}

std::vector<WeightedInteraction> copy_of(std::span<const WeightedInteraction> interactions) {
    return {interactions.begin(), interactions.end()};
}

}  // namespace

Result<ResolvedModel, ModelError> tfim(const InteractionTable& table, std::span<const double> fields,
                                       SimulationBasis basis) {
    const std::uint64_t n = table.site_count().get();
    if (fields.size() != n) return fail<ModelError>(model_error::FieldLength{n, fields.size()});
    Pauli bond_operator = Pauli::Z;
    Pauli field_operator = Pauli::X;
    switch (basis) {
        case SimulationBasis::Z:
            break;
        case SimulationBasis::X:
            bond_operator = Pauli::X;
            field_operator = Pauli::Z;
            break;
        case SimulationBasis::Y:
            return fail<ModelError>(model_error::UnsupportedBasis{"tfim", basis});
    }
    std::vector<HamiltonianTerm> terms;
    terms.reserve(table.interactions().size() + n);
    for (const WeightedInteraction& entry : table.interactions()) {
        if (entry.channel().kind() != InteractionChannel::Kind::IsingZZ) {
            return fail<ModelError>(model_error::UnexpectedChannel{"tfim", entry.channel()});
        }
        terms.push_back(real_term(-entry.coefficient(), pair(entry.bond(), bond_operator)));
    }
    for (std::uint64_t i = 0; i < n; ++i) {
        if (auto finite = finite_parameter("field", fields[i]); !finite) return fail(std::move(finite.error()));
        auto site = SiteId::try_from_usize(i);
        if (!site) return fail<ModelError>(model_error::FieldLength{n, fields.size()});
        terms.push_back(real_term(-fields[i], single(*site, field_operator)));
    }
    auto hamiltonian = build(n, 0.0, std::move(terms), "empty TFIM system");
    if (!hamiltonian) return fail(std::move(hamiltonian.error()));
    return ResolvedModel::create(std::move(*hamiltonian), "tfim", basis, copy_of(table.interactions()),
                                 model_specification::Tfim{{fields.begin(), fields.end()}});
}

Result<ResolvedModel, ModelError> heisenberg(const InteractionTable& table, SimulationBasis basis) {
    std::vector<HamiltonianTerm> terms;
    terms.reserve(3 * table.interactions().size());
    for (const WeightedInteraction& entry : table.interactions()) {
        if (entry.channel().kind() != InteractionChannel::Kind::HeisenbergExchange) {
            return fail<ModelError>(model_error::UnexpectedChannel{"heisenberg", entry.channel()});
        }
        const double c = entry.coefficient() * 0.25;
        for (Pauli pauli : {Pauli::X, Pauli::Y, Pauli::Z}) terms.push_back(real_term(c, pair(entry.bond(), pauli)));
    }
    auto hamiltonian = build(table.site_count().get(), 0.0, std::move(terms), "empty Heisenberg system");
    if (!hamiltonian) return fail(std::move(hamiltonian.error()));
    return ResolvedModel::create(std::move(*hamiltonian), "heisenberg", basis, copy_of(table.interactions()),
                                 model_specification::Heisenberg{});
}

Result<ResolvedModel, ModelError> rydberg(const DenseCouplings& couplings, std::span<const double> omega,
                                          std::span<const double> detuning, SimulationBasis basis) {
    if (basis != SimulationBasis::Z) return fail<ModelError>(model_error::UnsupportedBasis{"rydberg", basis});
    const std::uint64_t n = couplings.site_count().get();
    if (omega.size() != n) return fail<ModelError>(model_error::FieldLength{n, omega.size()});
    if (detuning.size() != n) return fail<ModelError>(model_error::FieldLength{n, detuning.size()});

    // The constant is accumulated by plain addition in exactly this order: sites, then pairs.
    double constant = 0.0;
    std::vector<HamiltonianTerm> terms;
    terms.reserve(2 * n + 3 * (n * (n - 1) / 2));
    for (std::uint64_t i = 0; i < n; ++i) {
        if (auto finite = finite_parameter("omega", omega[i]); !finite) return fail(std::move(finite.error()));
        if (auto finite = finite_parameter("detuning", detuning[i]); !finite) return fail(std::move(finite.error()));
        constant = constant + detuning[i] * -0.5;
        auto site = SiteId::try_from_usize(i);
        if (!site) return fail<ModelError>(model_error::InvalidInput{"site identifier overflow"});
        terms.push_back(real_term(omega[i] * -0.5, single(*site, Pauli::X)));
        terms.push_back(real_term(detuning[i] * 0.5, single(*site, Pauli::Z)));
    }
    auto pairs = couplings.to_interactions(InteractionChannel::rydberg_density_density());
    if (!pairs) return fail<ModelError>(model_error::InvalidInput{to_string(pairs.error())});
    for (const WeightedInteraction& entry : *pairs) {
        const double v = entry.coefficient();
        constant = constant + v * 0.25;
        terms.push_back(real_term(v * -0.25, single(entry.bond().first, Pauli::Z)));
        terms.push_back(real_term(v * -0.25, single(entry.bond().second, Pauli::Z)));
        terms.push_back(real_term(v * 0.25, pair(entry.bond(), Pauli::Z)));
    }
    auto hamiltonian = build(n, constant, std::move(terms), "empty Rydberg system");
    if (!hamiltonian) return fail(std::move(hamiltonian.error()));
    return ResolvedModel::create(std::move(*hamiltonian), "rydberg", basis, std::move(*pairs),
                                 model_specification::Rydberg{{omega.begin(), omega.end()},
                                                              {detuning.begin(), detuning.end()}});
}

}  // namespace vendrel::core
