"""tfim_ground_state: the Jacobi ground state against numpy.linalg.eigh."""

import numpy as np
import pytest


def random_tfim(n, seed):
    rng = np.random.default_rng(seed)
    upper = np.triu(rng.normal(size=(n, n)), 1)
    return upper + upper.T, rng.normal(size=n)


def check_ground_state(vq, J, h, basis=None):
    energy, vector, residual = vq.tfim_ground_state(J, h, basis)
    matrix = vq.tfim_matrix(J, h, basis)
    exact = np.linalg.eigh(matrix)[0][0]
    assert type(energy) is float and type(residual) is float
    assert energy == pytest.approx(exact, abs=1e-10)
    assert vector.dtype == np.complex128 and vector.shape == (1 << len(h),)
    assert vector.flags.c_contiguous and vector.flags.writeable and vector.flags.owndata
    assert np.linalg.norm(vector) == pytest.approx(1.0, abs=1e-12)
    assert residual <= 1e-8
    assert np.linalg.norm(matrix @ vector - energy * vector) == pytest.approx(residual, abs=1e-12)
    return energy, vector, residual


@pytest.mark.parametrize("n", range(1, 8))
@pytest.mark.parametrize("basis", [None, "x"])
def test_random_instances_agree_with_eigh(vq, n, basis):
    J, h = random_tfim(n, seed=n)
    check_ground_state(vq, J, h, basis)


@pytest.mark.parametrize(
    "case",
    ["zero field", "zero couplings", "uniform chain", "uniform ring", "all zero"],
)
def test_degenerate_instances(vq, case):
    n = 4
    chain = np.diag(np.ones(n - 1), 1)
    chain = chain + chain.T
    J, h = {
        "zero field": (chain, np.zeros(n)),
        "zero couplings": (np.zeros((n, n)), np.ones(n)),
        "uniform chain": (chain, np.full(n, 0.5)),
        "uniform ring": (chain + np.eye(n, k=n - 1) + np.eye(n, k=1 - n), np.full(n, 1.0)),
        "all zero": (np.zeros((n, n)), np.zeros(n)),
    }[case]
    try:
        check_ground_state(vq, J, h)
    except vq.NumericalError as error:
        assert str(error) == "invalid exact parameter degenerate eigenbasis"


def test_single_site(vq):
    energy, vector, residual = vq.tfim_ground_state(np.zeros((1, 1)), np.array([0.5]))
    assert energy == pytest.approx(-0.5, abs=1e-12)
    np.testing.assert_allclose(np.abs(vector), [0.70710678, 0.70710678], atol=1e-8)
    assert residual < 1e-15


def test_same_call_gives_identical_bits(vq):
    J, h = random_tfim(6, seed=99)
    first = vq.tfim_ground_state(J, h)
    second = vq.tfim_ground_state(np.asfortranarray(J), h.copy())
    assert first[0] == second[0] and first[2] == second[2]
    assert first[1].tobytes() == second[1].tobytes()


@pytest.mark.parametrize(
    ("args", "error", "message"),
    [
        ((np.zeros((2, 2)), np.zeros(3)), "InputError", "couplings must be square and match fields length"),
        ((np.zeros((2, 2)), np.zeros(2), "y"), "InputError", "model tfim does not support simulation basis y"),
        ((np.zeros((2, 2)), np.array([np.nan, 0.0])), "InputError", "model parameter field=NaN is non-finite"),
        # The absolute thresholds cannot be met at this scale: the residual check fails after 4 rotations.
        ((np.zeros((1, 1)), np.array([1e8])), "NumericalError", "Hermitian eigensolver did not converge in 4 iterations"),
    ],
)
def test_refusals(vq, args, error, message):
    with pytest.raises(getattr(vq, error)) as info:
        vq.tfim_ground_state(*args)
    assert str(info.value) == message
