"""One small successful call and a few refused calls of each exported function, for the
reliability tests (leaks, threads) that run every function many times."""

import numpy as np

_J2 = np.array([[0.0, 1.0], [1.0, 0.0]])
_H2 = np.array([0.3, 0.7])
_STATE2 = np.array([0.5, 0.5j, -0.5, 0.5], dtype=complex)
_WEIGHTS = np.array([1.0, 2.0, 3.0])
_ENERGIES = np.array([0.5, 1.0 + 0.25j, -0.5], dtype=complex)
_DERIVATIVES = np.array([[1.0, 0.5j], [0.0, 1.0], [-1.0, 2.0]], dtype=complex)
_QGT = np.array([[2.0, 0.5], [0.5, 1.0]])


def successful_calls():
    """(name, args, kwargs) of calls that return a result."""
    return [
        ("row_major_site_ids", (3, 2), {}),
        ("resolve_ising_interactions", (_J2,), {}),
        ("basis_states", (3, None), {}),
        ("basis_states", (4, 2), {}),
        ("tfim_matrix", (_J2, _H2), {"basis": "x"}),
        ("tfim_ground_state", (_J2, _H2), {}),
        ("tfim_observables", (_J2, _H2, _STATE2), {"axis": "y", "correlation": (0, 1)}),
        ("heisenberg_matrix", (_J2,), {}),
        ("rydberg_matrix", (_J2, _H2, _H2), {}),
        ("tdvp_estimate", (_WEIGHTS, _ENERGIES, _DERIVATIVES), {"mode": "imaginary_time"}),
        ("tdvp_solve", (_QGT, np.array([1.0, -1.0])), {}),
    ]


def refused_calls():
    """(name, args, kwargs, exception class name) of calls that raise."""
    return [
        ("row_major_site_ids", (0, 2), {}, "InputError"),
        ("row_major_site_ids", (-1, 2), {}, "OverflowError"),
        ("resolve_ising_interactions", (np.zeros((2, 3)),), {}, "InputError"),
        ("resolve_ising_interactions", ([[0.0]],), {}, "TypeError"),
        ("basis_states", (3, 4), {}, "InputError"),
        ("basis_states", (3,), {}, "TypeError"),
        ("tfim_matrix", (_J2, _H2), {"basis": "Z"}, "InputError"),
        ("tfim_matrix", (_J2, _H2), {"bases": "z"}, "TypeError"),
        ("tfim_ground_state", (_J2, np.array([np.nan, 0.0])), {}, "InputError"),
        ("tfim_observables", (_J2, _H2, np.zeros(4, dtype=complex)), {}, "InputError"),
        ("tfim_observables", (_J2, _H2, _STATE2), {"correlation": (0, 1, 2)}, "ValueError"),
        ("heisenberg_matrix", (np.array([[0.0, 1.0], [2.0, 0.0]]),), {}, "InputError"),
        ("rydberg_matrix", (_J2, _H2, np.zeros(3)), {}, "InputError"),
        ("tdvp_estimate", (_WEIGHTS, _ENERGIES, _DERIVATIVES), {"mode": "Real_Time"}, "InputError"),
        ("tdvp_estimate", (-_WEIGHTS, _ENERGIES, _DERIVATIVES), {}, "NumericalError"),
        ("tdvp_solve", (_QGT, np.ones(2)), {"tolerance": 0.0}, "NumericalError"),
        ("tdvp_solve", (_QGT, np.ones(2)), {"max_iterations": -1}, "OverflowError"),
    ]


def argument_arrays():
    """Every array the calls above pass, to check reference counts and contents."""
    return [_J2, _H2, _STATE2, _WEIGHTS, _ENERGIES, _DERIVATIVES, _QGT]
