"""Type information for the vendrel_quantum extension module."""

from typing import Final, TypedDict, final

import numpy as np
import numpy.typing as npt
from typing_extensions import NotRequired

__version__: Final[str]
__all__: list[str]

RealMatrix = npt.NDArray[np.float64]
RealVector = npt.NDArray[np.float64]
ComplexMatrix = npt.NDArray[np.complex128]
ComplexVector = npt.NDArray[np.complex128]

class VendrelError(Exception): ...
@final
class InputError(VendrelError): ...
@final
class NumericalError(VendrelError): ...

class TfimObservables(TypedDict):
    energy: tuple[float, float]
    energy_density: float
    energy_variance: float
    axis: str
    magnetization_total: float
    magnetization_density: float
    correlation: NotRequired[tuple[float, float]]

class TdvpStatistics(TypedDict):
    rhs: RealVector
    qgt: RealMatrix
    energy_mean: complex
    energy_variance: float
    samples: int

class TdvpSolution(TypedDict):
    direction: RealVector
    residual_norm: float
    iterations: int
    converged: bool

def row_major_site_ids(lx: int, ly: int) -> npt.NDArray[np.uint32]: ...
def resolve_ising_interactions(couplings: RealMatrix) -> tuple[npt.NDArray[np.uint32], RealVector]: ...
def basis_states(site_count: int, weight: int | None) -> npt.NDArray[np.uint8]: ...
def tfim_matrix(couplings: RealMatrix, fields: RealVector, basis: str | None = None) -> ComplexMatrix: ...
def tfim_ground_state(
    couplings: RealMatrix, fields: RealVector, basis: str | None = None
) -> tuple[float, ComplexVector, float]: ...
def tfim_observables(
    couplings: RealMatrix,
    fields: RealVector,
    state: ComplexVector,
    basis: str | None = None,
    axis: str = "z",
    correlation: tuple[int, int] | None = None,
) -> TfimObservables: ...
def heisenberg_matrix(couplings: RealMatrix, basis: str | None = None) -> ComplexMatrix: ...
def rydberg_matrix(couplings: RealMatrix, omega: RealVector, detuning: RealVector) -> ComplexMatrix: ...
def tdvp_estimate(
    weights: RealVector,
    local_energies: ComplexVector,
    derivatives: ComplexMatrix,
    mode: str = "real_time",
) -> TdvpStatistics: ...
def tdvp_solve(
    qgt: RealMatrix,
    rhs: RealVector,
    shift: float = 1.0e-8,
    tolerance: float = 1.0e-10,
    max_iterations: int = 256,
) -> TdvpSolution: ...
