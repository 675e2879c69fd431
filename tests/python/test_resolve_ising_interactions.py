"""resolve_ising_interactions: the canonical pair list of a dense coupling matrix."""

import numpy as np
import pytest

from conftest import assert_unchanged, snapshot


def symmetric(n, seed=0):
    rng = np.random.default_rng(seed)
    upper = np.triu(rng.normal(size=(n, n)), 1)
    return upper + upper.T


def resolve_reference(couplings):
    n = couplings.shape[0]
    pairs = [(i, j) for i in range(n) for j in range(i + 1, n)]
    return pairs, [couplings[i, j] for i, j in pairs]


@pytest.mark.parametrize("n", [2, 3, 4, 7])
def test_pairs_in_row_major_order_of_the_upper_triangle(vq, n):
    couplings = symmetric(n, seed=n)
    couplings[0, n - 1] = couplings[n - 1, 0] = 0.0
    pairs, coefficients = vq.resolve_ising_interactions(couplings)
    expected_pairs, expected_coefficients = resolve_reference(couplings)
    assert pairs.dtype == np.uint32 and coefficients.dtype == np.float64
    assert pairs.shape == (n * (n - 1) // 2, 2) and coefficients.shape == (n * (n - 1) // 2,)
    np.testing.assert_array_equal(pairs, np.array(expected_pairs, dtype=np.uint32))
    np.testing.assert_array_equal(coefficients, expected_coefficients)
    for array in (pairs, coefficients):
        assert array.flags.c_contiguous and array.flags.writeable and array.flags.owndata


def test_small_cases(vq):
    pairs, coefficients = vq.resolve_ising_interactions(np.array([[0.0, 1.5], [1.5, 0.0]]))
    assert pairs.tolist() == [[0, 1]] and coefficients.tolist() == [1.5]

    pairs, coefficients = vq.resolve_ising_interactions(np.zeros((3, 3)))
    assert pairs.tolist() == [[0, 1], [0, 2], [1, 2]] and coefficients.tolist() == [0.0, 0.0, 0.0]

    pairs, coefficients = vq.resolve_ising_interactions(np.zeros((1, 1)))
    assert pairs.shape == (0, 0) and pairs.dtype == np.uint32
    assert coefficients.shape == (0,) and coefficients.dtype == np.float64


def test_upper_entry_wins_within_the_tolerance(vq):
    couplings = np.array([[0.0, 1.0], [1.0 + 1e-13, 0.0]])
    pairs, coefficients = vq.resolve_ising_interactions(couplings)
    assert coefficients.tolist() == [1.0]
    _, coefficients = vq.resolve_ising_interactions(couplings.T)
    assert coefficients.tolist() == [1.0 + 1e-13]


def layouts(matrix):
    """The same logical matrix in several memory layouts."""
    n = matrix.shape[0]
    wide = np.zeros((n, 2 * n))
    wide[:, ::2] = matrix
    reversed_storage = np.ascontiguousarray(matrix[::-1, ::-1])[::-1, ::-1]
    read_only = matrix.copy()
    read_only.flags.writeable = False
    return {
        "fortran": np.asfortranarray(matrix),
        "transposed": np.ascontiguousarray(matrix.T).T,
        "negative strides": reversed_storage,
        "every other column": wide[:, ::2],
        "read-only": read_only,
    }


@pytest.mark.parametrize("layout", ["fortran", "transposed", "negative strides", "every other column", "read-only"])
def test_any_layout_gives_the_contiguous_result(vq, layout):
    matrix = symmetric(5, seed=11)
    matrix[3, 1] += 1e-13  # asymmetric within the tolerance: the transposed read must not mix triangles
    view = layouts(matrix)[layout]
    expected = vq.resolve_ising_interactions(np.ascontiguousarray(view))
    before = snapshot(view)
    result = vq.resolve_ising_interactions(view)
    assert_unchanged(before)
    np.testing.assert_array_equal(result[0], expected[0], strict=True)
    np.testing.assert_array_equal(result[1], expected[1], strict=True)
    assert not np.shares_memory(result[1], view)


def test_broadcast_zero_matrix(vq):
    pairs, coefficients = vq.resolve_ising_interactions(np.broadcast_to(0.0, (4, 4)))
    assert pairs.shape == (6, 2) and not coefficients.any()


NAN = float("nan")
INF = float("inf")


@pytest.mark.parametrize(
    ("matrix", "message"),
    [
        (np.zeros((2, 3)), "couplings must be square"),
        (np.zeros((0, 0)), "a system must contain at least one site"),
        (np.zeros((0, 3)), "couplings must be square"),
        ([[0.0, 1.0], [1.5, 0.0]], "dense coupling matrix differs at (0, 1): 1 versus 1.5"),
        ([[0.0, 1.0], [1.5, 2.0]], "dense coupling matrix differs at (0, 1): 1 versus 1.5"),
        ([[0.0, 0.0], [0.0, -2.5]], "dense coupling diagonal 1 is -2.5, not zero"),
        ([[NAN, 0.0], [0.0, 0.0]], "interaction coefficient NaN is non-finite"),
        ([[0.0, 1.0], [-INF, 0.0]], "interaction coefficient -inf is non-finite"),
        ([[0.0, 1e-7], [0.0, 0.0]], "dense coupling matrix differs at (0, 1): 0.0000001 versus 0"),
        ([[0.0, 1e20], [0.0, 0.0]], "dense coupling matrix differs at (0, 1): 100000000000000000000 versus 0"),
    ],
)
def test_refusals(vq, matrix, message):
    matrix = np.asarray(matrix, dtype=np.float64)
    before = snapshot(matrix)
    with pytest.raises(vq.InputError) as info:
        vq.resolve_ising_interactions(matrix)
    assert str(info.value) == message
    assert_unchanged(before)


@pytest.mark.parametrize(
    "argument",
    [np.zeros((2, 2), dtype=np.float32), np.zeros(4), [[0.0, 1.0], [1.0, 0.0]], np.zeros((2, 2), dtype=">f8"), None],
)
def test_wrong_arguments_fail_in_argument_reading(vq, argument):
    with pytest.raises(TypeError) as info:
        vq.resolve_ising_interactions(argument)
    assert info.value.__notes__ == ["while processing 'couplings'"]
