"""Deterministic benchmark inputs and the call of our function for every case, shared by run.py and probe.py."""

import numpy as np

SAMPLES = 16384  # tdvp_estimate sample count
SOLVE_SHIFT = 1e-3
SOLVE_TOLERANCE = 1e-10

MATRIX_CASES = ("tfim_matrix", "heisenberg_matrix", "rydberg_matrix")

# The size used to warm a process up (module, NumPy and allocator paths loaded) before a measured call.
TINY = {
    "tfim_matrix": 2, "heisenberg_matrix": 2, "rydberg_matrix": 2, "tfim_ground_state": 2,
    "tfim_observables": 2, "tdvp_estimate": 1, "tdvp_solve": 1, "basis_states": [2, None],
}


def couplings(n, seed):
    """All-to-all random couplings: symmetric, zero diagonal, normal entries."""
    rng = np.random.default_rng(seed)
    upper = np.triu(rng.normal(size=(n, n)), 1)
    return upper + upper.T, rng


def model_args(model, n):
    """Arguments of tfim_matrix / heisenberg_matrix / rydberg_matrix at n sites (the peers use the same)."""
    J, rng = couplings(n, 1000 + n)
    if model == "tfim_matrix":
        return (J, rng.normal(size=n))
    if model == "heisenberg_matrix":
        return (J,)
    if model == "rydberg_matrix":
        return (np.abs(J), rng.normal(size=n), rng.normal(size=n))
    raise ValueError(model)


def ground_state_args(n):
    J, rng = couplings(n, 2000 + n)
    return J, rng.normal(size=n)


def observables_args(n):
    """Couplings, fields and a normalised random complex state of 2^n amplitudes."""
    J, rng = couplings(n, 3000 + n)
    h = rng.normal(size=n)
    state = np.empty(1 << n, dtype=complex)
    state.real = rng.normal(size=1 << n)
    state.imag = rng.normal(size=1 << n)
    state /= np.linalg.norm(state)
    return J, h, state


def estimate_args(p, samples=SAMPLES):
    rng = np.random.default_rng(4000 + p)
    weights = rng.random(samples) + 0.1
    energies = np.empty(samples, dtype=complex)
    energies.real, energies.imag = rng.normal(size=samples), rng.normal(size=samples)
    derivatives = np.empty((samples, p), dtype=complex)
    derivatives.real, derivatives.imag = rng.normal(size=(samples, p)), rng.normal(size=(samples, p))
    return weights, energies, derivatives


def solve_args(p):
    """An exactly symmetric S = Q diag(lambda) Q^T with lambda log-spaced over [1e-3, 1], and a random rhs:
    with the shift the condition number is about 500, so CG needs a few hundred iterations at large P."""
    rng = np.random.default_rng(5000 + p)
    q, _ = np.linalg.qr(rng.normal(size=(p, p)))
    s = (q * np.logspace(-3, 0, p)) @ q.T
    s = (s + s.T) / 2  # addition commutes, so the halves are bitwise equal
    return s, rng.normal(size=p), SOLVE_SHIFT


def ours(vq, case, size):
    """A zero-argument callable running our function for a case at a size (inputs built beforehand)."""
    if case in MATRIX_CASES:
        args = model_args(case, size)
        fn = getattr(vq, case)
        return lambda: fn(*args)
    if case == "tfim_ground_state":
        J, h = ground_state_args(size)
        return lambda: vq.tfim_ground_state(J, h)
    if case == "tfim_observables":
        J, h, state = observables_args(size)
        return lambda: vq.tfim_observables(J, h, state)
    if case == "tdvp_estimate":
        w, e, d = estimate_args(size, SAMPLES if size > 1 else 4)
        return lambda: vq.tdvp_estimate(w, e, d)
    if case == "tdvp_solve":
        s, b, shift = solve_args(size)
        return lambda: vq.tdvp_solve(s, b, shift=shift, tolerance=SOLVE_TOLERANCE, max_iterations=10 * size)
    if case == "basis_states":
        sites, weight = size
        return lambda: vq.basis_states(sites, weight)
    raise ValueError(case)


def result_nbytes(result):
    """Bytes of the NumPy arrays in a result (an array, a tuple or a dict); 0 when it holds none."""
    if isinstance(result, np.ndarray):
        return result.nbytes
    if isinstance(result, dict):
        return sum(result_nbytes(v) for v in result.values())
    if isinstance(result, tuple):
        return sum(result_nbytes(v) for v in result)
    return 0
