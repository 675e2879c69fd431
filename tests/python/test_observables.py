"""tfim_observables: energy moments, magnetisation and correlation against NumPy, and the step order."""

import numpy as np
import pytest

from conftest import assert_unchanged, snapshot

PAULI = {
    "x": np.array([[0, 1], [1, 0]], dtype=complex),
    "y": np.array([[0, -1j], [1j, 0]], dtype=complex),
    "z": np.array([[1, 0], [0, -1]], dtype=complex),
}


def on_site(n, site, letter):
    """Pauli operator on one site; site 0 is the least significant bit (last Kronecker factor)."""
    result = np.eye(1, dtype=complex)
    for s in reversed(range(n)):
        result = np.kron(result, PAULI[letter] if s == site else np.eye(2))
    return result


def reference(vq, J, h, state, basis, axis, correlation):
    n = len(h)
    H = vq.tfim_matrix(J, h, basis)
    norm = np.vdot(state, state).real
    energy = np.vdot(state, H @ state) / norm
    second = np.vdot(state, H @ H @ state) / norm
    magnetization = sum(np.vdot(state, on_site(n, i, axis) @ state).real / norm for i in range(n))
    result = {"energy": energy, "variance": (second - energy * energy).real, "magnetization": magnetization}
    if correlation is not None:
        i, j = correlation
        operator = np.eye(1 << n) if i == j else on_site(n, i, axis) @ on_site(n, j, axis)
        result["correlation"] = np.vdot(state, operator @ state) / norm
    return result


@pytest.mark.parametrize("n", [1, 2, 3, 5])
@pytest.mark.parametrize("axis", ["x", "y", "z"])
@pytest.mark.parametrize("basis", [None, "x"])
def test_values_match_numpy(vq, n, axis, basis):
    rng = np.random.default_rng(n * 7 + len(axis))
    upper = np.triu(rng.normal(size=(n, n)), 1)
    J, h = upper + upper.T, rng.normal(size=n)
    state = rng.normal(size=1 << n) + 1j * rng.normal(size=1 << n)
    correlation = (0, n - 1)
    result = vq.tfim_observables(J, h, state, basis=basis, axis=axis, correlation=correlation)
    expected = reference(vq, J, h, state, basis, axis, correlation)
    assert list(result) == [
        "energy", "energy_density", "energy_variance", "axis", "magnetization_total", "magnetization_density",
        "correlation",
    ]
    assert isinstance(result["energy"], tuple) and len(result["energy"]) == 2
    assert result["energy"][0] == pytest.approx(expected["energy"].real, abs=1e-12)
    assert result["energy"][1] == pytest.approx(0.0, abs=1e-12)
    assert result["energy_density"] == pytest.approx(expected["energy"].real / n, abs=1e-12)
    assert result["energy_variance"] == pytest.approx(max(expected["variance"], 0.0), abs=1e-10)
    assert result["axis"] == axis
    assert result["magnetization_total"] == pytest.approx(expected["magnetization"], abs=1e-12)
    assert result["magnetization_density"] == pytest.approx(expected["magnetization"] / n, abs=1e-12)
    assert result["correlation"][0] == pytest.approx(expected["correlation"].real, abs=1e-12)
    assert result["correlation"][1] == pytest.approx(expected["correlation"].imag, abs=1e-12)


def test_single_site_examples(vq):
    J, h = np.zeros((1, 1)), np.array([0.5])
    expected = {
        "energy": (0.0, 0.0), "energy_density": 0.0, "energy_variance": 0.25, "axis": "z",
        "magnetization_total": 1.0, "magnetization_density": 1.0,
    }
    assert vq.tfim_observables(J, h, np.array([1, 0], dtype=complex)) == expected
    assert vq.tfim_observables(J, h, np.array([2, 0], dtype=complex)) == expected
    with_correlation = vq.tfim_observables(J, h, np.array([1, 0], dtype=complex), correlation=(0, 0))
    assert with_correlation == {**expected, "correlation": (1.0, 0.0)}


def test_eigenstate_variance_is_clamped_to_zero(vq):
    rng = np.random.default_rng(4)
    upper = np.triu(rng.normal(size=(5, 5)), 1)
    J, h = upper + upper.T, rng.normal(size=5)
    energy, vector, _ = vq.tfim_ground_state(J, h)
    result = vq.tfim_observables(J, h, vector)
    assert result["energy_variance"] >= 0.0
    assert result["energy_variance"] < 1e-12
    assert result["energy"][0] == pytest.approx(energy, abs=1e-12)


def test_strided_state_and_unchanged_arguments(vq):
    rng = np.random.default_rng(8)
    J, h = np.zeros((3, 3)), rng.normal(size=3)
    wide = rng.normal(size=16) + 1j * rng.normal(size=16)
    view = wide[::-2]
    before = snapshot(J, h, wide)
    result = vq.tfim_observables(J, h, view, axis="y", correlation=(2, 1))
    assert_unchanged(before)
    assert result == vq.tfim_observables(J, h, np.ascontiguousarray(view), axis="y", correlation=(2, 1))


NAN = float("nan")
ONE_SITE = (np.zeros((1, 1)), np.array([0.5]))


@pytest.mark.parametrize(
    ("state", "options", "error", "message"),
    [
        ([1, 0, 0], {}, "InputError", "state length does not match the exact basis"),
        ([0, 0], {}, "InputError", "state norm must be finite and nonzero"),
        ([0, 0], {"axis": "Z"}, "InputError", "state norm must be finite and nonzero"),
        ([NAN, 0], {"axis": "Z"}, "NumericalError", "non-finite vector scalar at index 0: Complex { re: NaN, im: 0.0 }"),
        ([1, complex(0, np.inf)], {}, "NumericalError", "non-finite vector scalar at index 1: Complex { re: 0.0, im: inf }"),
        ([1e300, 1e300], {}, "InputError", "state norm must be finite and nonzero"),
        ([1, 0], {"axis": "Z"}, "InputError", 'invalid physical axis: axis or simulation basis "Z" is not canonical'),
        ([1, 0], {"axis": "z", "correlation": (1, 0)}, "InputError", "invalid exact parameter correlation site"),
        ([1, 0], {"axis": "x", "correlation": (0, 5)}, "InputError", "invalid exact parameter correlation site"),
    ],
)
def test_refusals_in_step_order(vq, state, options, error, message):
    with pytest.raises(getattr(vq, error)) as info:
        vq.tfim_observables(*ONE_SITE, np.array(state, dtype=complex), **options)
    assert str(info.value) == message


def test_model_errors_come_first(vq):
    with pytest.raises(vq.InputError) as info:
        vq.tfim_observables(np.zeros((2, 2)), np.zeros(3), np.zeros(1, dtype=complex), axis="Q")
    assert str(info.value) == "couplings must be square and match fields length"


def test_overflow_in_the_first_product_is_a_numerical_error(vq):
    with pytest.raises(vq.NumericalError) as info:
        vq.tfim_observables(np.zeros((1, 1)), np.array([1e200]), np.array([1e150, 1e150], dtype=complex))
    assert str(info.value) == "non-finite vector scalar at index 0: Complex { re: -inf, im: 0.0 }"


@pytest.mark.parametrize(
    ("options", "error", "text"),
    [
        ({"axis": None}, TypeError, "'None' is not an instance of 'str'"),
        ({"correlation": [0, 1]}, TypeError, "'list' object is not an instance of 'tuple'"),
        ({"correlation": (0, 1, 2)}, ValueError, "expected tuple of length 2, but got tuple of length 3"),
    ],
)
def test_argument_reading_errors(vq, options, error, text):
    with pytest.raises(error) as info:
        vq.tfim_observables(*ONE_SITE, np.array([1, 0], dtype=complex), **options)
    assert str(info.value) == text


def test_missing_arguments(vq):
    with pytest.raises(TypeError) as info:
        vq.tfim_observables()
    assert str(info.value) == "tfim_observables() missing 3 required positional arguments: 'couplings', 'fields', and 'state'"
