"""A variational loop: imaginary-time TDVP of a Jastrow wavefunction towards the TFIM ground state.

The wavefunction of a chain of n sites is log psi(s) = sum_i a_i s_i + sum_{i<j} w_ij s_i s_j with
s_i = +1 for Zero and -1 for One, and real parameters (a, w). The sampling is exact: every basis
state is a sample, weighted by |psi(s)|^2. Each step estimates the TDVP statistics with
`tdvp_estimate` and moves the parameters along the solution of (S + shift) x = rhs from `tdvp_solve`,
until the energy is within reach of the exact ground energy from `tfim_ground_state`.
"""

import numpy as np

import vendrel_quantum as vq

SITES = 5
FIELD = 1.0
STEP = 0.1
TOLERANCE = 1e-3
MAX_STEPS = 100


def open_chain(sites: int) -> np.ndarray:
    couplings = np.zeros((sites, sites))
    for i in range(sites - 1):
        couplings[i, i + 1] = couplings[i + 1, i] = 1.0
    return couplings


def main() -> None:
    couplings, fields = open_chain(SITES), np.full(SITES, FIELD)
    hamiltonian = vq.tfim_matrix(couplings, fields)
    exact_energy, _, _ = vq.tfim_ground_state(couplings, fields)

    # s_i = +1 for Zero, -1 for One, in the canonical basis order.
    spins = 1.0 - 2.0 * vq.basis_states(SITES, None).astype(float)
    pairs, _ = vq.resolve_ising_interactions(np.ones((SITES, SITES)) - np.eye(SITES))
    features = np.hstack([spins, spins[:, pairs[:, 0]] * spins[:, pairs[:, 1]]])
    parameters = np.zeros(features.shape[1])

    print(f"TFIM chain of {SITES} sites at h = {FIELD}: exact ground energy {exact_energy:.8f}")
    print(f"{'step':>5} {'energy':>14} {'error':>10} {'variance':>10}")
    for step in range(MAX_STEPS + 1):
        amplitudes = np.exp(features @ parameters)
        weights = amplitudes**2
        local_energies = (hamiltonian @ amplitudes) / amplitudes
        derivatives = features.astype(np.complex128)
        statistics = vq.tdvp_estimate(weights, local_energies, derivatives, mode="imaginary_time")
        energy = statistics["energy_mean"].real
        error = energy - exact_energy
        print(f"{step:5d} {energy:14.8f} {error:10.2e} {statistics['energy_variance']:10.2e}")
        if error < TOLERANCE:
            break
        update = vq.tdvp_solve(statistics["qgt"], statistics["rhs"], shift=1e-4)
        parameters = parameters + STEP * update["direction"]
    print(f"final energy {energy:.8f}, {error:.2e} above the exact ground energy")


if __name__ == "__main__":
    main()
