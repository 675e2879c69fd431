"""tfim_matrix, heisenberg_matrix and rydberg_matrix against Kronecker-product references."""

import numpy as np
import pytest

from conftest import assert_unchanged, snapshot

PAULI = {
    "I": np.eye(2, dtype=complex),
    "X": np.array([[0, 1], [1, 0]], dtype=complex),
    "Y": np.array([[0, -1j], [1j, 0]], dtype=complex),
    "Z": np.array([[1, 0], [0, -1]], dtype=complex),
}


def pauli_on(n, factors):
    """The 2^n matrix of a Pauli string {site: letter}; site 0 is the least significant bit,
    so it is the last factor of the Kronecker product."""
    result = np.eye(1, dtype=complex)
    for site in reversed(range(n)):
        result = np.kron(result, PAULI[factors.get(site, "I")])
    return result


def reference_tfim(J, h, basis="z"):
    bond, field = ("Z", "X") if basis == "z" else ("X", "Z")
    n = len(h)
    H = np.zeros((1 << n, 1 << n), dtype=complex)
    for i in range(n):
        for j in range(i + 1, n):
            H -= J[i, j] * pauli_on(n, {i: bond, j: bond})
        H -= h[i] * pauli_on(n, {i: field})
    return H


def reference_heisenberg(J):
    n = J.shape[0]
    H = np.zeros((1 << n, 1 << n), dtype=complex)
    for i in range(n):
        for j in range(i + 1, n):
            for p in "XYZ":
                H += J[i, j] / 4 * pauli_on(n, {i: p, j: p})
    return H


def reference_rydberg(V, omega, delta):
    n = len(omega)
    occupation = [(np.eye(1 << n) - pauli_on(n, {i: "Z"})) / 2 for i in range(n)]
    H = np.zeros((1 << n, 1 << n), dtype=complex)
    for i in range(n):
        H += -omega[i] / 2 * pauli_on(n, {i: "X"}) - delta[i] * occupation[i]
        for j in range(i + 1, n):
            H += V[i, j] * occupation[i] @ occupation[j]
    return H


def random_couplings(rng, n):
    upper = np.triu(rng.normal(size=(n, n)), 1)
    return upper + upper.T


def assert_matches(actual, expected):
    assert actual.dtype == np.complex128 and actual.shape == expected.shape
    assert actual.flags.c_contiguous and actual.flags.writeable and actual.flags.owndata
    assert not actual.imag.any()
    # Summation orders differ from the reference, so compare with a tight relative tolerance.
    scale = max(1.0, np.abs(expected).max())
    np.testing.assert_allclose(actual, expected, rtol=0, atol=1e-13 * scale)
    # Off-diagonal entries that no term reaches are exactly zero; diagonal sums may round.
    structural_zeros = (expected == 0) & ~np.eye(expected.shape[0], dtype=bool)
    assert not actual[structural_zeros].any()


@pytest.mark.parametrize("n", range(1, 9))
@pytest.mark.parametrize("basis", [None, "z", "x"])
def test_tfim_matches_kronecker_reference(vq, n, basis):
    rng = np.random.default_rng(100 * n + len(basis or ""))
    J, h = random_couplings(rng, n), rng.normal(size=n)
    actual = vq.tfim_matrix(J, h, basis)
    assert_matches(actual, reference_tfim(J, h, basis or "z"))
    # Entries with a single contribution are exact: the transverse-field entries are -h_i.
    field_rows = np.arange(1 << n)
    for i in range(n):
        if basis != "x":
            np.testing.assert_array_equal(actual[field_rows ^ (1 << i), field_rows], -h[i])


@pytest.mark.parametrize("n", range(1, 8))
@pytest.mark.parametrize("basis", [None, "x", "y", "z"])
def test_heisenberg_matches_kronecker_reference(vq, n, basis):
    J = random_couplings(np.random.default_rng(n), n)
    assert_matches(vq.heisenberg_matrix(J, basis), reference_heisenberg(J))


@pytest.mark.parametrize("n", range(1, 8))
def test_rydberg_matches_kronecker_reference(vq, n):
    rng = np.random.default_rng(50 + n)
    V, omega, delta = np.abs(random_couplings(rng, n)), rng.normal(size=n), rng.normal(size=n)
    actual = vq.rydberg_matrix(V, omega, delta)
    assert_matches(actual, reference_rydberg(V, omega, delta))
    # The drive entries have one contribution each: exactly -omega_i / 2.
    states = np.arange(1 << n)
    for i in range(n):
        np.testing.assert_array_equal(actual[states ^ (1 << i), states], -omega[i] / 2)


def test_small_documented_matrices(vq):
    J = np.array([[0.0, 1.0], [1.0, 0.0]])
    np.testing.assert_array_equal(
        vq.tfim_matrix(J, np.array([0.5, 0.5])),
        [[-1, -0.5, -0.5, 0], [-0.5, 1, 0, -0.5], [-0.5, 0, 1, -0.5], [0, -0.5, -0.5, -1]],
    )
    x = vq.tfim_matrix(J, np.array([0.5, 0.5]), "x")
    np.testing.assert_array_equal(x, [[-1, 0, 0, -1], [0, 0, -1, 0], [0, -1, 0, 0], [-1, 0, 0, 1]])
    for basis in (None, "x", "y", "z"):
        np.testing.assert_array_equal(
            vq.heisenberg_matrix(J, basis),
            [[0.25, 0, 0, 0], [0, -0.25, 0.5, 0], [0, 0.5, -0.25, 0], [0, 0, 0, 0.25]],
        )
    np.testing.assert_array_equal(vq.rydberg_matrix(np.zeros((1, 1)), np.array([2.0]), np.array([1.0])), [[0, -1], [-1, -1]])
    np.testing.assert_array_equal(vq.rydberg_matrix(4 * J, np.zeros(2), np.zeros(2)), np.diag([0, 0, 0, 4]))
    np.testing.assert_array_equal(vq.tfim_matrix(np.zeros((1, 1)), np.array([0.3])), [[0, -0.3], [-0.3, 0]])
    zero = vq.heisenberg_matrix(np.zeros((3, 3)))
    assert zero.shape == (8, 8) and zero.dtype == np.complex128 and not zero.any()


def test_keywords_and_defaults(vq):
    J, h = np.array([[0.0, 1.0], [1.0, 0.0]]), np.array([0.2, 0.7])
    expected = vq.tfim_matrix(J, h)
    np.testing.assert_array_equal(vq.tfim_matrix(fields=h, couplings=J), expected)
    np.testing.assert_array_equal(vq.tfim_matrix(J, h, basis=None), expected)
    np.testing.assert_array_equal(vq.tfim_matrix(J, h, "z"), expected)


def test_layouts_give_the_contiguous_result(vq):
    rng = np.random.default_rng(3)
    J = random_couplings(rng, 4)
    J[2, 0] += 1e-13
    h = rng.normal(size=8)[::-2]
    wide = np.zeros((4, 8))
    wide[:, ::2] = J
    views = [np.asfortranarray(J), np.ascontiguousarray(J.T).T, wide[:, ::2], np.ascontiguousarray(J[::-1, ::-1])[::-1, ::-1]]
    expected = vq.tfim_matrix(np.ascontiguousarray(J), np.ascontiguousarray(h))
    for view in views:
        before = snapshot(view, h)
        np.testing.assert_array_equal(vq.tfim_matrix(view, h), expected, strict=True)
        assert_unchanged(before)
    omega = np.broadcast_to(0.5, (4,))
    np.testing.assert_array_equal(
        vq.rydberg_matrix(np.abs(J), omega, omega), vq.rydberg_matrix(np.abs(np.ascontiguousarray(J)), np.full(4, 0.5), np.full(4, 0.5))
    )
    # The same array may be passed for several parameters.
    same = np.array([0.25, 0.5])
    np.testing.assert_array_equal(vq.rydberg_matrix(np.zeros((2, 2)), same, same), vq.rydberg_matrix(np.zeros((2, 2)), same.copy(), same.copy()))


NAN = float("nan")
SQUARE = np.array([[0.0, 1.0], [1.0, 0.0]])
ASYMMETRIC = np.array([[0.0, 1.0], [2.0, 0.0]])


@pytest.mark.parametrize(
    ("args", "message"),
    [
        ((np.zeros((2, 2)), np.zeros(3)), "couplings must be square and match fields length"),
        ((np.zeros((2, 3)), np.zeros(2)), "couplings must be square and match fields length"),
        ((np.zeros((0, 0)), np.zeros(0)), "a system must contain at least one site"),
        ((ASYMMETRIC, np.zeros(2), "Z"), "dense coupling matrix differs at (0, 1): 1 versus 2"),
        ((np.array([[1.0, 0.0], [0.0, 0.0]]), np.zeros(2)), "dense coupling diagonal 0 is 1, not zero"),
        ((SQUARE, np.zeros(2), "Z"), 'invalid simulation basis: axis or simulation basis "Z" is not canonical'),
        ((SQUARE, np.zeros(2), ""), 'invalid simulation basis: axis or simulation basis "" is not canonical'),
        ((SQUARE, np.array([NAN, 0.0]), "y"), "model tfim does not support simulation basis y"),
        ((SQUARE, np.array([0.0, NAN])), "model parameter field=NaN is non-finite"),
        ((SQUARE, np.array([0.0, -np.inf]), "x"), "model parameter field=-inf is non-finite"),
        ((np.zeros((64, 64)), np.zeros(64)), "checked full basis dimension dimension overflowed"),
    ],
)
def test_tfim_refusals_in_check_order(vq, args, message):
    with pytest.raises(vq.InputError) as info:
        vq.tfim_matrix(*args)
    assert str(info.value) == message


@pytest.mark.parametrize(
    ("args", "message"),
    [
        ((np.zeros((2, 3)),), "couplings must be square"),
        ((np.zeros((0, 0)), "q"), "a system must contain at least one site"),
        ((ASYMMETRIC, "q"), "dense coupling matrix differs at (0, 1): 1 versus 2"),
        ((SQUARE, "xy"), 'invalid simulation basis: axis or simulation basis "xy" is not canonical'),
    ],
)
def test_heisenberg_refusals(vq, args, message):
    with pytest.raises(vq.InputError) as info:
        vq.heisenberg_matrix(*args)
    assert str(info.value) == message


@pytest.mark.parametrize(
    ("args", "message"),
    [
        ((np.zeros((2, 3)), np.zeros(3), np.zeros(3)), "couplings must be square"),
        ((ASYMMETRIC, np.zeros(3), np.zeros(3)), "dense coupling matrix differs at (0, 1): 1 versus 2"),
        ((SQUARE, np.zeros(3), np.zeros(2)), "omega and detuning must match coupling size"),
        ((SQUARE, np.zeros(2), np.zeros(1)), "omega and detuning must match coupling size"),
        ((SQUARE, np.array([0.0, np.inf]), np.array([0.0, 0.0])), "model parameter omega=inf is non-finite"),
        ((SQUARE, np.array([0.0, NAN]), np.array([NAN, 0.0])), "model parameter detuning=NaN is non-finite"),
    ],
)
def test_rydberg_refusals(vq, args, message):
    with pytest.raises(vq.InputError) as info:
        vq.rydberg_matrix(*args)
    assert str(info.value) == message


def test_expansion_overflow_is_a_numerical_error(vq):
    with pytest.raises(vq.NumericalError) as info:
        vq.heisenberg_matrix(np.zeros((32, 32)))
    assert str(info.value) == "exact dimension overflowed"


def test_a_matrix_too_large_for_memory_fails_promptly(vq):
    with pytest.raises(MemoryError):
        vq.tfim_matrix(np.zeros((24, 24)), np.ones(24))
    assert vq.tfim_matrix(np.zeros((1, 1)), np.ones(1)).shape == (2, 2)


def test_peak_memory_stays_below_twice_the_result(tmp_path):
    import subprocess
    import sys

    code = """
import resource, numpy as np, vendrel_quantum as vq
J = np.ones((12, 12)) - np.eye(12)
h = np.linspace(0.1, 1.2, 12)
vq.tfim_matrix(np.zeros((1, 1)), np.ones(1))
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
matrix = vq.tfim_matrix(J, h)
after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
print((after - before) * 1024 / matrix.nbytes)
"""
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert float(result.stdout) < 2.0
