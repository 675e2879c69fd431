// Definitions of the exported functions, one per file in this folder, in registration order.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace vendrel::python {

extern PyMethodDef row_major_site_ids_definition;
extern PyMethodDef resolve_ising_interactions_definition;
extern PyMethodDef basis_states_definition;
extern PyMethodDef tfim_matrix_definition;
extern PyMethodDef tfim_ground_state_definition;
extern PyMethodDef tfim_observables_definition;
extern PyMethodDef heisenberg_matrix_definition;
extern PyMethodDef rydberg_matrix_definition;
extern PyMethodDef tdvp_estimate_definition;
extern PyMethodDef tdvp_solve_definition;

}  // namespace vendrel::python
