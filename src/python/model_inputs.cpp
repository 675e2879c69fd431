// Checks and conversions shared by the coupling, matrix, ground-state and observable functions.
#include "python/model_inputs.hpp"

#include "python/errors.hpp"

namespace vendrel::python {
namespace {

template <class Error>
Failure<PendingException> raise_input(const Error& error) {
    input_error(core::to_string(error));
    return fail(PendingException{});
}

Failure<PendingException> raise_input_text(std::string_view message) {
    input_error(message);
    return fail(PendingException{});
}

// Pairs of the couplings in the given channel, as an interaction table of the matrix's size.
Result<core::InteractionTable, PendingException> interaction_table(const core::DenseCouplings& couplings,
                                                                   core::InteractionChannel channel) {
    auto pairs = couplings.to_interactions(std::move(channel));
    if (!pairs) return raise_input(pairs.error());
    std::vector<core::InteractionTerm> terms;
    terms.reserve(pairs->size());
    for (const core::WeightedInteraction& pair : *pairs) {
        terms.push_back({pair.bond(), pair.channel(), pair.coefficient()});
    }
    auto table = core::InteractionTable::create(couplings.site_count(), std::move(terms));
    if (!table) return raise_input(table.error());
    return std::move(*table);
}

}  // namespace

Result<TfimArguments, PendingException> read_tfim_arguments(BoundArguments& arguments) {
    auto couplings = arguments.real_matrix("couplings");
    if (!couplings) return fail(couplings.error());
    auto fields = arguments.real_vector("fields");
    if (!fields) return fail(fields.error());
    auto basis = arguments.optional_text("basis");
    if (!basis) return fail(basis.error());
    return TfimArguments{*couplings, *fields, basis->value_or("z")};
}

Result<core::DenseCouplings, PendingException> dense_couplings(const RealMatrixView& couplings) {
    if (couplings.rows() != couplings.columns()) return raise_input_text("couplings must be square");
    auto count = core::SiteCount::create(couplings.rows());
    if (!count) return raise_input(count.error());
    auto checked = core::DenseCouplings::create(*count, couplings.to_row_major());
    if (!checked) return raise_input(checked.error());
    return std::move(*checked);
}

Result<core::SimulationBasis, PendingException> parse_basis(std::string_view text) {
    auto basis = core::parse_simulation_basis(text);
    if (!basis) return raise_input_text("invalid simulation basis: " + core::to_string(basis.error()));
    return *basis;
}

Result<core::ResolvedModel, PendingException> resolve_tfim(const RealMatrixView& couplings,
                                                           const RealVectorView& fields, std::string_view basis) {
    if (couplings.rows() != couplings.columns() || fields.size() != couplings.rows()) {
        return raise_input_text("couplings must be square and match fields length");
    }
    auto checked = dense_couplings(couplings);
    if (!checked) return fail(checked.error());
    auto table = interaction_table(*checked, core::InteractionChannel::ising_zz());
    if (!table) return fail(table.error());
    auto simulation_basis = parse_basis(basis);
    if (!simulation_basis) return fail(simulation_basis.error());
    auto model = core::tfim(*table, fields.to_vector(), *simulation_basis);
    if (!model) return raise_input(model.error());
    return std::move(*model);
}

Result<core::ResolvedModel, PendingException> resolve_heisenberg(const RealMatrixView& couplings,
                                                                 std::string_view basis) {
    auto checked = dense_couplings(couplings);
    if (!checked) return fail(checked.error());
    auto table = interaction_table(*checked, core::InteractionChannel::heisenberg_exchange());
    if (!table) return fail(table.error());
    auto simulation_basis = parse_basis(basis);
    if (!simulation_basis) return fail(simulation_basis.error());
    auto model = core::heisenberg(*table, *simulation_basis);
    if (!model) return raise_input(model.error());
    return std::move(*model);
}

Result<core::ResolvedModel, PendingException> resolve_rydberg(const RealMatrixView& couplings,
                                                              const RealVectorView& omega,
                                                              const RealVectorView& detuning) {
    auto checked = dense_couplings(couplings);
    if (!checked) return fail(checked.error());
    if (omega.size() != checked->site_count().get() || detuning.size() != checked->site_count().get()) {
        return raise_input_text("omega and detuning must match coupling size");
    }
    auto model = core::rydberg(*checked, omega.to_vector(), detuning.to_vector(), core::SimulationBasis::Z);
    if (!model) return raise_input(model.error());
    return std::move(*model);
}

}  // namespace vendrel::python
