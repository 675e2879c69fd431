"""The module frame: contents, exception classes, documentation and row_major_site_ids."""

import importlib
import inspect
import subprocess
import sys

import numpy as np
import pytest

import vendrel_quantum as vq

REGISTRATION_ORDER = [
    "__version__",
    "VendrelError",
    "InputError",
    "NumericalError",
    "row_major_site_ids",
    "resolve_ising_interactions",
    "basis_states",
    "tfim_matrix",
    "tfim_ground_state",
    "tfim_observables",
    "heisenberg_matrix",
    "rydberg_matrix",
    "tdvp_estimate",
    "tdvp_solve",
]


def test_contents_in_registration_order():
    assert vq.__all__ == REGISTRATION_ORDER
    assert isinstance(vq.__all__, list)
    assert vq.__version__ == "0.2.0"
    assert vq.__doc__ == "Initialize the `vendrel_quantum` Python module."
    public = [name for name in dir(vq) if not name.startswith("__")]
    assert sorted(public) == sorted(REGISTRATION_ORDER[1:])


def test_exception_hierarchy():
    assert issubclass(vq.VendrelError, Exception)
    assert vq.VendrelError.__bases__ == (Exception,)
    for cls in (vq.InputError, vq.NumericalError):
        assert cls.__bases__ == (vq.VendrelError,)
        assert not issubclass(cls, ValueError)
    assert not issubclass(vq.InputError, vq.NumericalError)
    assert not issubclass(vq.NumericalError, vq.InputError)
    for name in ("VendrelError", "InputError", "NumericalError"):
        cls = getattr(vq, name)
        assert cls.__module__ == "vendrel_quantum"
        assert cls.__name__ == name
        assert cls.__doc__ is None


def test_raised_errors_carry_exactly_the_message():
    with pytest.raises(vq.InputError) as info:
        vq.row_major_site_ids(0, 0)
    assert info.value.args == ("x extent 0 is invalid",)
    assert str(info.value) == "x extent 0 is invalid"
    assert not hasattr(info.value, "__notes__")


def test_reimport_reuses_the_exception_classes():
    classes = (vq.VendrelError, vq.InputError, vq.NumericalError)
    saved = sys.modules.pop("vendrel_quantum")
    try:
        fresh = importlib.import_module("vendrel_quantum")
        assert fresh is not saved
        assert (fresh.VendrelError, fresh.InputError, fresh.NumericalError) == classes
        with pytest.raises(vq.InputError):
            fresh.row_major_site_ids(0, 1)
    finally:
        sys.modules["vendrel_quantum"] = saved


def test_import_does_not_need_numpy():
    code = "import sys, vendrel_quantum; assert 'numpy' not in sys.modules; print('ok')"
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert result.stdout.strip() == "ok"


DOCUMENTATION = {
    "row_major_site_ids": ("(lx, ly)", "Return canonical row-major site identifiers as a `(Ly, Lx)` owned array."),
    "resolve_ising_interactions": (
        "(couplings)",
        "Resolve a symmetric dense Ising coupling matrix to `(pairs, coefficients)`.\n"
        "\n"
        "`pairs` is an owned `uint32` array with shape `(terms, 2)` and\n"
        "`coefficients` is an owned `float64` array with one resolved value per row.",
    ),
    "basis_states": (
        "(site_count, weight)",
        "Return the canonical full computational basis as a `(dimension, sites)` array.",
    ),
    "tfim_matrix": (
        "(couplings, fields, basis=None)",
        "Build an exact complex TFIM matrix from owned or strided NumPy inputs.",
    ),
    "tfim_ground_state": (
        "(couplings, fields, basis=None)",
        "Return `(energy, complex_vector, residual)` for the exact TFIM ground state.",
    ),
    "tfim_observables": (
        "(couplings, fields, state, basis=None, axis='z', correlation=None)",
        "Return convention-labelled exact TFIM energy moments and one magnetization.\n"
        "\n"
        "The state is interpreted in vendrel's canonical full-basis order. `axis` is\n"
        "a physical Pauli axis and is independent of the simulation basis. Energies\n"
        "are totals; the returned `energy_density` divides by the number of sites.\n"
        "The magnetization fields contain both total and per-site density values.",
    ),
    "heisenberg_matrix": (
        "(couplings, basis=None)",
        "Build an exact complex isotropic Heisenberg matrix from pair couplings.",
    ),
    "rydberg_matrix": ("(couplings, omega, detuning)", "Build an exact complex Rydberg matrix in the canonical z basis."),
    "tdvp_estimate": (
        "(weights, local_energies, derivatives, mode='real_time')",
        "Estimate real-parameter TDVP statistics from owned sample arrays.",
    ),
    "tdvp_solve": (
        "(qgt, rhs, shift=1e-08, tolerance=1e-10, max_iterations=256)",
        "Solve a checked dense QGT system `(S + shift I) direction = rhs`.",
    ),
}


@pytest.mark.parametrize("name", sorted(DOCUMENTATION))
def test_text_signature_and_doc(name):
    function = getattr(vq, name)
    signature, doc = DOCUMENTATION[name]
    assert str(inspect.signature(function)) == signature
    assert function.__doc__ == doc
    assert function.__name__ == name
    assert function.__module__ == "vendrel_quantum"
    assert function.__self__ is vq


@pytest.mark.parametrize(
    ("lx", "ly", "expected"),
    [
        (3, 2, [[0, 1, 2], [3, 4, 5]]),
        (1, 1, [[0]]),
        (1, 3, [[0], [1], [2]]),
        (4, 1, [[0, 1, 2, 3]]),
    ],
)
def test_row_major_site_ids(lx, ly, expected):
    ids = vq.row_major_site_ids(lx, ly)
    assert ids.dtype == np.uint32
    assert ids.shape == (ly, lx)
    assert ids.flags.c_contiguous and ids.flags.writeable and ids.flags.owndata
    np.testing.assert_array_equal(ids, np.array(expected, dtype=np.uint32))


def test_row_major_site_ids_accepts_keywords_and_index_objects():
    np.testing.assert_array_equal(vq.row_major_site_ids(ly=2, lx=np.int64(3)), [[0, 1, 2], [3, 4, 5]])
    np.testing.assert_array_equal(vq.row_major_site_ids(True, 2), [[0], [1]])


@pytest.mark.parametrize(
    ("lx", "ly", "message"),
    [
        (0, 0, "x extent 0 is invalid"),
        (0, 7, "x extent 0 is invalid"),
        (4, 0, "y extent 0 is invalid"),
        (65536, 65536, "geometry site identifier overflowed"),
        (2**32, 2**32, "geometry site count overflowed"),
        (2**64 - 1, 2, "geometry site count overflowed"),
    ],
)
def test_row_major_site_ids_refusals(lx, ly, message):
    with pytest.raises(vq.InputError) as info:
        vq.row_major_site_ids(lx, ly)
    assert str(info.value) == message


@pytest.mark.parametrize(
    ("args", "error"),
    [((-1, 2), OverflowError), ((2.5, 2), TypeError), ((2**64, 1), OverflowError), (("3", 1), TypeError)],
)
def test_row_major_site_ids_conversion_errors_are_the_interpreters(args, error):
    with pytest.raises(error) as info:
        vq.row_major_site_ids(*args)
    assert not isinstance(info.value, vq.VendrelError)
    assert info.value.__notes__ == ["while processing 'lx'"]
