"""Generated arguments for every function: only a result or a documented refusal may come out.

Arguments are drawn from arrays of many dtypes, shapes and layouts and from plain Python objects,
passed by position or keyword. A call may succeed or raise one of the documented classes; it must
never raise anything else (in particular not the internal-failure class, which is not an Exception),
never modify an argument, and never return an array that shares memory with an argument.
The default profile is small and deterministic; `make fuzz` runs the long profile.
"""

import os
import re

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import vendrel_quantum as vq

settings.register_profile(
    "suite", max_examples=60, derandomize=True, deadline=None, suppress_health_check=list(HealthCheck)
)
settings.register_profile("fuzz", max_examples=3000, deadline=None, suppress_health_check=list(HealthCheck))
settings.load_profile(os.environ.get("VENDREL_HYPOTHESIS_PROFILE", "suite"))

ALLOWED = (TypeError, ValueError, OverflowError, UnicodeEncodeError, MemoryError, vq.InputError, vq.NumericalError)

PARAMETERS = {
    "row_major_site_ids": ["lx", "ly"],
    "resolve_ising_interactions": ["couplings"],
    "basis_states": ["site_count", "weight"],
    "tfim_matrix": ["couplings", "fields", "basis"],
    "tfim_ground_state": ["couplings", "fields", "basis"],
    "tfim_observables": ["couplings", "fields", "state", "basis", "axis", "correlation"],
    "heisenberg_matrix": ["couplings", "basis"],
    "rydberg_matrix": ["couplings", "omega", "detuning"],
    "tdvp_estimate": ["weights", "local_energies", "derivatives", "mode"],
    "tdvp_solve": ["qgt", "rhs", "shift", "tolerance", "max_iterations"],
}

NOT_AN_INSTANCE = re.compile(r"^'[\w.]+' (object )?is not an instance of '(ndarray|str|tuple)'$")

DTYPES = [
    np.float64, np.float32, np.int64, np.uint8, np.bool_, np.complex128, np.complex64, object,
    np.dtype(">f8"), np.dtype(">c16"), np.dtype([("a", "f8"), ("b", "f8")]),
]


class SubArray(np.ndarray):
    pass


@st.composite
def arrays(draw):
    dtype = draw(st.sampled_from(DTYPES))
    ndim = draw(st.integers(0, 3))
    shape = tuple(draw(st.lists(st.integers(0, 4), min_size=ndim, max_size=ndim)))
    size = int(np.prod(shape)) if shape else 1
    values = draw(st.lists(st.sampled_from([0.0, 1.0, -1.0, 0.5, 2.0, 1e300, -0.0, float("nan"), float("inf")]),
                           min_size=size, max_size=size))
    base = np.array(values, dtype=np.float64).reshape(shape)
    if np.dtype(dtype).names:
        array = np.zeros(shape, dtype=dtype)
        array["a"] = base
    else:
        with np.errstate(all="ignore"):
            array = np.asarray(base.astype(dtype) if np.dtype(dtype).kind != "c" else (base + 0.5j * base).astype(dtype))
    view = draw(st.sampled_from(["plain", "transposed", "reversed", "every other", "broadcast", "read-only",
                                 "subclass", "field"]))
    if view == "transposed":
        array = array.T
    elif view == "reversed" and array.ndim:
        array = array[::-1]
    elif view == "every other" and array.ndim:
        array = np.repeat(array, 2, axis=-1)[..., ::2]
    elif view == "broadcast" and array.ndim:
        array = np.broadcast_to(array[..., :1], array.shape)
    elif view == "read-only":
        array = array.copy()
        array.flags.writeable = False
    elif view == "subclass":
        array = array.view(SubArray)
    elif view == "field" and array.dtype.names:
        array = array["b"]
    return array


OBJECTS = st.one_of(
    st.none(),
    st.booleans(),
    st.integers(-(2**70), 2**70),
    st.integers(0, 6),
    st.floats(allow_nan=True),
    st.sampled_from(["z", "x", "y", "Z", "", "real_time", "imaginary_time", "\ud800", "z\x00"]),
    st.tuples(st.integers(-2, 5), st.integers(-2, 5)),
    st.tuples(st.integers(0, 3)),
    st.lists(st.floats(allow_nan=False), max_size=3),
    st.sampled_from([np.int64(3), np.float64(0.5), np.uint8(2), np.bool_(True)]),
)

ARGUMENTS = st.one_of(arrays(), OBJECTS)


def snapshot(value):
    if isinstance(value, np.ndarray):
        return value, value.tobytes() if value.dtype != object else repr(value.tolist()), value.flags.writeable
    return value, None, None


def check_untouched(snapshots):
    for value, content, writeable in snapshots:
        if isinstance(value, np.ndarray):
            now = value.tobytes() if value.dtype != object else repr(value.tolist())
            assert now == content and value.flags.writeable == writeable


def result_arrays(result):
    if isinstance(result, np.ndarray):
        return [result]
    if isinstance(result, tuple):
        return [r for r in result if isinstance(r, np.ndarray)]
    if isinstance(result, dict):
        return [r for r in result.values() if isinstance(r, np.ndarray)]
    return []


def run(name, values, by_keyword):
    parameters = PARAMETERS[name]
    args, kwargs = [], {}
    for index, value in enumerate(values):
        if by_keyword[index]:
            kwargs[parameters[index]] = value
        else:
            args.append(value)
    snapshots = [snapshot(v) for v in values]
    try:
        result = getattr(vq, name)(*args, **kwargs)
    except ALLOWED as error:
        check_untouched(snapshots)
        if isinstance(error, TypeError) and "not an instance of" in str(error):
            assert NOT_AN_INSTANCE.match(str(error)), str(error)
            assert error.__notes__ and error.__notes__[0].startswith("while processing '")
        if isinstance(error, (vq.InputError, vq.NumericalError)):
            assert error.args and isinstance(error.args[0], str) and error.args[0]
        return
    except BaseException as error:  # noqa: BLE001
        pytest.fail(f"{name} raised {type(error).__module__}.{type(error).__name__}: {error}")
    check_untouched(snapshots)
    for array in result_arrays(result):
        assert array.flags.c_contiguous and array.flags.writeable
        for value in values:
            if isinstance(value, np.ndarray):
                assert not np.shares_memory(array, value)


@pytest.mark.parametrize("name", sorted(PARAMETERS))
@given(data=st.data())
def test_generated_arguments(name, data):
    count = len(PARAMETERS[name])
    supplied = data.draw(st.integers(max(0, count - 3), count))
    values = [data.draw(ARGUMENTS) for _ in range(supplied)]
    by_keyword = data.draw(st.lists(st.booleans(), min_size=supplied, max_size=supplied))
    # Positional arguments cannot follow keywords: keep keywords at the end.
    first_keyword = next((i for i, k in enumerate(by_keyword) if k), supplied)
    by_keyword = [i >= first_keyword for i in range(supplied)]
    run(name, values, by_keyword)


@st.composite
def valid_tfim_inputs(draw):
    n = draw(st.integers(1, 4))
    upper = np.triu(np.array(draw(st.lists(st.floats(-3, 3), min_size=n * n, max_size=n * n))).reshape(n, n), 1)
    fields = np.array(draw(st.lists(st.floats(-3, 3), min_size=n, max_size=n)))
    return upper + upper.T, fields


@given(inputs=valid_tfim_inputs(), layout=st.sampled_from(["c", "f", "reversed"]))
def test_valid_tfim_inputs_succeed_in_any_layout(inputs, layout):
    couplings, fields = inputs
    view = {"c": couplings, "f": np.asfortranarray(couplings),
            "reversed": np.ascontiguousarray(couplings[::-1, ::-1])[::-1, ::-1]}[layout]
    matrix = vq.tfim_matrix(view, fields)
    np.testing.assert_array_equal(matrix, vq.tfim_matrix(couplings.copy(), fields.copy()))
    np.testing.assert_array_equal(matrix, matrix.conj().T)
