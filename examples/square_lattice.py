"""A 2D lattice: the TFIM on an Lx by Ly square lattice, its ground state and bond correlations.

Sites are numbered by `row_major_site_ids` (site (x, y) is y * Lx + x); each nearest-neighbour bond
of the open lattice gets coupling J. The ground state comes from `tfim_ground_state`, and each bond's
<Z_i Z_j> from `tfim_observables` with `correlation=(i, j)`.
"""

import numpy as np

import vendrel_quantum as vq

LX, LY = 3, 2
COUPLING = 1.0
FIELD = 1.5


def square_lattice_couplings(lx: int, ly: int, coupling: float) -> np.ndarray:
    ids = vq.row_major_site_ids(lx, ly)
    couplings = np.zeros((lx * ly, lx * ly))
    for y in range(ly):
        for x in range(lx):
            for nx, ny in ((x + 1, y), (x, y + 1)):
                if nx < lx and ny < ly:
                    i, j = ids[y, x], ids[ny, nx]
                    couplings[i, j] = couplings[j, i] = coupling
    return couplings


def main() -> None:
    couplings = square_lattice_couplings(LX, LY, COUPLING)
    fields = np.full(LX * LY, FIELD)
    print(f"{LX} x {LY} square lattice, site numbering (row y, column x):")
    print(vq.row_major_site_ids(LX, LY))
    energy, state, residual = vq.tfim_ground_state(couplings, fields)
    print(f"ground energy {energy:.10f} ({energy / (LX * LY):.10f} per site), residual {residual:.1e}")
    pairs, strengths = vq.resolve_ising_interactions(couplings)
    print("nearest-neighbour correlations <Z_i Z_j>:")
    for (i, j), strength in zip(pairs, strengths):
        if strength != 0.0:
            value = vq.tfim_observables(couplings, fields, state, correlation=(int(i), int(j)))["correlation"]
            print(f"  bond ({i}, {j}): {value[0]: .10f}")
    x_magnetization = vq.tfim_observables(couplings, fields, state, axis="x")["magnetization_density"]
    print(f"<X> per site: {x_magnetization:.10f}")


if __name__ == "__main__":
    main()
