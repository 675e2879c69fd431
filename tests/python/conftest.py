"""Shared fixtures: the module under test and helpers for checking arguments stay untouched."""

import numpy as np
import pytest

import vendrel_quantum


@pytest.fixture(scope="session")
def vq():
    return vendrel_quantum


def snapshot(*arrays):
    """Copies of the arrays' bytes and flags, to check that a call left its arguments alone."""
    return [(a, a.copy(), a.flags.writeable) for a in arrays if isinstance(a, np.ndarray)]


def assert_unchanged(snapshots):
    for array, copy, writeable in snapshots:
        assert array.flags.writeable == writeable
        np.testing.assert_array_equal(array, copy, strict=True)
