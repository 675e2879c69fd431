"""Every function used as a typed caller would; checked by mypy in strict mode, and run."""

import numpy as np
import numpy.typing as npt

import vendrel_quantum as vq


def main() -> float:
    couplings: npt.NDArray[np.float64] = np.array([[0.0, 1.0], [1.0, 0.0]])
    fields: npt.NDArray[np.float64] = np.array([0.5, 0.5])
    ids: npt.NDArray[np.uint32] = vq.row_major_site_ids(2, 1)
    pairs, coefficients = vq.resolve_ising_interactions(couplings)
    states: npt.NDArray[np.uint8] = vq.basis_states(2, None)
    matrix: npt.NDArray[np.complex128] = vq.tfim_matrix(couplings, fields, basis="x")
    energy, vector, residual = vq.tfim_ground_state(couplings, fields)
    observables: vq.TfimObservables = vq.tfim_observables(couplings, fields, vector, axis="x", correlation=(0, 1))
    correlation: tuple[float, float] = observables.get("correlation", (0.0, 0.0))
    heisenberg = vq.heisenberg_matrix(couplings)
    rydberg = vq.rydberg_matrix(couplings, fields, fields)
    statistics: vq.TdvpStatistics = vq.tdvp_estimate(
        np.ones(2), np.zeros(2, dtype=np.complex128), np.ones((2, 1), dtype=np.complex128), mode="imaginary_time"
    )
    solution: vq.TdvpSolution = vq.tdvp_solve(statistics["qgt"], statistics["rhs"], shift=1e-3)
    converged: bool = solution["converged"]
    try:
        vq.basis_states(0, None)
    except vq.InputError as error:
        message: str = error.args[0]
        assert message
    total = float(ids.sum() + pairs.sum() + coefficients.sum() + states.sum())
    total += float(matrix.real.sum() + heisenberg.real.sum() + rydberg.real.sum())
    return total + energy + residual + observables["energy_variance"] + correlation[0] + float(converged)


if __name__ == "__main__":
    print(main())
