"""basis_states: the canonical order of the full basis and of fixed-weight sectors."""

from itertools import combinations

import numpy as np
import pytest


@pytest.mark.parametrize(
    ("sites", "weight", "rows"),
    [
        (1, None, [[0], [1]]),
        (2, None, [[0, 0], [1, 0], [0, 1], [1, 1]]),
        (3, 1, [[1, 0, 0], [0, 1, 0], [0, 0, 1]]),
        (3, 0, [[0, 0, 0]]),
        (3, 3, [[1, 1, 1]]),
        (4, 2, [[1, 1, 0, 0], [1, 0, 1, 0], [0, 1, 1, 0], [1, 0, 0, 1], [0, 1, 0, 1], [0, 0, 1, 1]]),
    ],
)
def test_small_bases(vq, sites, weight, rows):
    states = vq.basis_states(sites, weight)
    assert states.dtype == np.uint8
    assert states.flags.c_contiguous and states.flags.writeable and states.flags.owndata
    assert states.tolist() == rows


@pytest.mark.parametrize("sites", [1, 5, 10])
def test_full_basis_rows_are_binary_digits_site_zero_first(vq, sites):
    states = vq.basis_states(site_count=sites, weight=None)
    values = states.astype(np.int64) @ (1 << np.arange(sites))
    np.testing.assert_array_equal(values, np.arange(1 << sites))


# Rows of 16 to 64 sites are written in sixteen-byte pieces, the last one overlapping: the cases cross
# each piece count, with weights 0 and `sites` at the edges.
@pytest.mark.parametrize(
    ("sites", "weight"),
    [(6, 2), (9, 4), (15, 3), (16, 3), (17, 16), (20, 0), (20, 20), (31, 3), (33, 2), (47, 2), (48, 46),
     (64, 3), (65, 2), (70, 2), (100, 1)],
)
def test_sectors_list_weight_k_states_in_increasing_integer_order(vq, sites, weight):
    states = vq.basis_states(sites, weight)
    expected = sorted(combinations(range(sites), weight), key=lambda ones: sum(1 << i for i in ones))
    assert states.shape == (len(expected), sites)
    assert [tuple(np.flatnonzero(row)) for row in states] == expected


def test_sixty_four_sites(vq):
    states = vq.basis_states(64, 1)
    np.testing.assert_array_equal(states, np.eye(64, dtype=np.uint8))
    with pytest.raises(vq.InputError) as info:
        vq.basis_states(64, None)
    assert str(info.value) == "checked full basis dimension dimension overflowed"


@pytest.mark.parametrize(
    ("sites", "weight", "message"),
    [
        (0, None, "a system must contain at least one site"),
        (0, 1, "a system must contain at least one site"),
        (3, 4, "Hamming weight 4 exceeds the 3-site system"),
        (100, None, "checked full basis dimension dimension overflowed"),
    ],
)
def test_refusals(vq, sites, weight, message):
    with pytest.raises(vq.InputError) as info:
        vq.basis_states(sites, weight)
    assert str(info.value) == message


def test_weight_is_required(vq):
    with pytest.raises(TypeError) as info:
        vq.basis_states(3)
    assert str(info.value) == "basis_states() missing 1 required positional argument: 'weight'"


@pytest.mark.parametrize(("args", "error"), [((-1, None), OverflowError), ((3, -1), OverflowError), ((3, 1.0), TypeError)])
def test_conversion_errors(vq, args, error):
    with pytest.raises(error):
        vq.basis_states(*args)


def test_a_basis_too_large_for_memory_fails_promptly(vq):
    with pytest.raises(MemoryError):
        vq.basis_states(48, None)
    with pytest.raises(MemoryError):
        vq.basis_states(200, 100)
