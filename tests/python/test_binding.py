"""Argument binding, conversion and result arrays of the binding layer, through the test-only probe."""

import operator
import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import _vendrel_binding_probe as probe

NDARRAY = np.ndarray.__qualname__


class Sub(np.ndarray):
    """A trivial ndarray subclass."""


class Holder:
    class Inner(np.ndarray):
        """An ndarray subclass whose qualified name differs from its name."""


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Floaty:
    def __float__(self):
        return 2.25


class Text(str):
    pass


def matrix(rows=2, columns=3):
    return np.arange(rows * columns, dtype=np.float64).reshape(rows, columns) * 1.5 - 2.0


def cmatrix(rows=2, columns=3):
    real = matrix(rows, columns)
    return real + 1j * (real[::-1, ::-1] + 0.25)


def unaligned(values):
    """A copy of `values` whose data pointer is one byte off 8-byte alignment."""
    raw = np.zeros(values.nbytes + 1, dtype=np.uint8)
    view = raw[1:].view(values.dtype).reshape(values.shape)
    view[...] = values
    assert not view.flags.aligned
    return view


def packed_field(values):
    """The field view of a packed record array: stride = itemsize + 1, not a multiple of it."""
    records = np.zeros(values.shape, dtype=[("value", values.dtype), ("pad", np.uint8)])
    records["value"] = values
    view = records["value"]
    assert view.strides[-1] % view.itemsize != 0
    return view


def read_only(values):
    copy = values.copy()
    copy.flags.writeable = False
    return copy


C = matrix()
F = np.array([0.5, -1.0, 2.0])
S = np.array([1.0 + 0.5j, -2.0j])
V = np.array([0.5, 1.5])


# --- binding -----------------------------------------------------------------------------------

BINDING_FAILURES = [
    # positional counts: every parameter required, then the "from ... to" form
    ("row_major_site_ids", (1, 2, 3), {}, "row_major_site_ids() takes 2 positional arguments but 3 were given"),
    ("resolve_ising_interactions", (C, C), {},
     "resolve_ising_interactions() takes 1 positional arguments but 2 were given"),
    ("no_parameters", (1,), {}, "no_parameters() takes 0 positional arguments but 1 was given"),
    ("tfim_matrix", (C, F, None, None), {}, "tfim_matrix() takes from 2 to 3 positional arguments but 4 were given"),
    ("tdvp_solve", (C, F, 1.0, 1.0, 1, 1), {},
     "tdvp_solve() takes from 2 to 5 positional arguments but 6 were given"),
    # the positional count is checked before any keyword
    ("row_major_site_ids", (1, 2, 3), {"bogus": 1},
     "row_major_site_ids() takes 2 positional arguments but 3 were given"),
    # keywords
    ("tfim_matrix", (C, F), {"couplings": C}, "tfim_matrix() got multiple values for argument 'couplings'"),
    ("tfim_matrix", (C, F), {"bases": "z"}, "tfim_matrix() got an unexpected keyword argument 'bases'"),
    ("tfim_matrix", (C, F), {"bases": "z", "couplings": C},
     "tfim_matrix() got an unexpected keyword argument 'bases'"),
    ("tfim_matrix", (C, F), {"couplings": C, "bases": "z"},
     "tfim_matrix() got multiple values for argument 'couplings'"),
    ("no_parameters", (), {"x": 1}, "no_parameters() got an unexpected keyword argument 'x'"),
    # an unknown keyword is reported before missing arguments and before any conversion
    ("tfim_matrix", (), {"bases": "z"}, "tfim_matrix() got an unexpected keyword argument 'bases'"),
    ("tfim_matrix", ("not an array",), {"Couplings": C},
     "tfim_matrix() got an unexpected keyword argument 'Couplings'"),
    # missing arguments
    ("basis_states", (3,), {}, "basis_states() missing 1 required positional argument: 'weight'"),
    ("row_major_site_ids", (), {"ly": 1}, "row_major_site_ids() missing 1 required positional argument: 'lx'"),
    ("tfim_matrix", (), {}, "tfim_matrix() missing 2 required positional arguments: 'couplings' and 'fields'"),
    ("tfim_matrix", (), {"basis": "z"},
     "tfim_matrix() missing 2 required positional arguments: 'couplings' and 'fields'"),
    ("tfim_observables", (), {},
     "tfim_observables() missing 3 required positional arguments: 'couplings', 'fields', and 'state'"),
    ("tfim_observables", (), {"fields": F},
     "tfim_observables() missing 2 required positional arguments: 'couplings' and 'state'"),
    ("read_elements", (), {},
     "read_elements() missing 4 required positional arguments: "
     "'real_matrix', 'real_vector', 'complex_matrix', and 'complex_vector'"),
]


@pytest.mark.parametrize(("function", "args", "kwargs", "message"), BINDING_FAILURES)
def test_binding_failures_raise_type_error_without_note(function, args, kwargs, message):
    with pytest.raises(TypeError) as info:
        getattr(probe, function)(*args, **kwargs)
    assert str(info.value) == message
    assert not hasattr(info.value, "__notes__")


@pytest.mark.parametrize(
    "kwargs",
    [{"couplings": C, "fields": F}, {"fields": F, "couplings": C}, {"basis": "x", "fields": F, "couplings": C}],
)
def test_keywords_in_any_order_bind_like_positions(kwargs):
    couplings, fields, basis = probe.tfim_matrix(**kwargs)
    np.testing.assert_array_equal(couplings, C)
    np.testing.assert_array_equal(fields, F)
    assert basis == kwargs.get("basis")


def test_positional_and_keyword_mix_fills_every_slot():
    result = probe.tfim_observables(C, F, correlation=(1, 0), state=S, axis="y", basis="x")
    np.testing.assert_array_equal(result[2], S)
    assert result[3:] == ("x", "y", (1, 0))


def test_unfilled_parameters_take_their_defaults():
    assert probe.tfim_matrix(C, F)[2] is None
    assert probe.tfim_observables(C, F, S)[3:] == (None, "z", None)
    assert probe.tdvp_estimate(V, S, cmatrix())[3] == "real_time"
    assert probe.tdvp_solve(C, F)[2:] == (1.0e-8, 1.0e-10, 256)
    assert probe.tdvp_solve(C, F, max_iterations=3)[2:] == (1.0e-8, 1.0e-10, 3)


def test_explicit_none_means_absent_for_optional_parameters():
    assert probe.tfim_observables(C, F, S, basis=None, correlation=None)[3:] == (None, "z", None)
    assert probe.basis_states(3, None) == (3, None)
    assert probe.basis_states(weight=2, site_count=3) == (3, 2)


def test_parameters_are_converted_in_declaration_order():
    # Given in reverse order by keyword, all three wrong: the first declared one is reported.
    with pytest.raises(TypeError) as info:
        probe.tfim_observables(state=[1], fields=[1], couplings=[[1]])
    assert info.value.__notes__ == ["while processing 'couplings'"]


def test_reading_parameters_out_of_order_is_an_internal_failure():
    with pytest.raises(BaseException) as info:
        probe.misread(1)
    assert not isinstance(info.value, Exception)
    assert str(info.value) == "misread() read parameter 'label' out of declaration order or as the wrong kind"


# --- scalar conversions --------------------------------------------------------------------------


@pytest.mark.parametrize(
    ("value", "expected"),
    [(0, 0), (True, 1), (False, 0), (2**64 - 1, 2**64 - 1), (np.uint64(2**64 - 1), 2**64 - 1),
     (np.int8(3), 3), (Index(7), 7)],
)
def test_unsigned_size_accepts_integers_and_index_objects(value, expected):
    assert probe.row_major_site_ids(value, ly=value) == (expected, expected)
    assert probe.tdvp_solve(C, F, max_iterations=value)[4] == expected
    assert probe.basis_states(1, value) == (1, expected)


@pytest.mark.parametrize("value", [2.5, "3", None, np.float64(2.0), 1j, Index(2.0)])
def test_unsigned_size_keeps_the_interpreters_type_error(value):
    with pytest.raises(TypeError) as expected:
        operator.index(value)
    with pytest.raises(TypeError) as info:
        probe.tdvp_solve(C, F, max_iterations=value)
    assert str(info.value) == str(expected.value)
    assert info.value.__notes__ == ["while processing 'max_iterations'"]


@pytest.mark.parametrize("value", [-1, 2**64, -(2**70), Index(-5)])
def test_unsigned_size_out_of_range_raises_overflow_error(value):
    with pytest.raises(OverflowError) as info:
        probe.row_major_site_ids(3, value)
    assert info.value.__notes__ == ["while processing 'ly'"]


@pytest.mark.parametrize(
    ("value", "expected"),
    [(0.25, 0.25), (3, 3.0), (True, 1.0), (np.float32(0.5), 0.5), (Floaty(), 2.25), (Index(4), 4.0),
     (float("inf"), float("inf")), (-0.0, -0.0)],
)
def test_float_accepts_what_float_conversion_accepts(value, expected):
    shift = probe.tdvp_solve(C, F, value)[2]
    assert shift == expected
    assert np.signbit(shift) == np.signbit(expected)


@pytest.mark.parametrize(
    ("value", "error"),
    [("1.0", TypeError), (None, TypeError), (1j, TypeError), ([1.0], TypeError), (10**400, OverflowError)],
)
def test_float_refusals_are_the_interpreters(value, error):
    with pytest.raises(error) as info:
        probe.tdvp_solve(C, F, tolerance=value)
    assert type(info.value) is error
    assert info.value.__notes__ == ["while processing 'tolerance'"]


@pytest.mark.parametrize("value", ["x", Text("z"), "žluť", "a\0b", "", "\U0001f600"])
def test_text_accepts_str_and_subclasses_as_utf8(value):
    result = probe.tfim_observables(C, F, S, value, value)
    assert result[3:5] == (value, value)
    assert type(result[4]) is str


TEXT_REFUSALS = [(b"z", "'bytes' object"), (1, "'int' object"), (["z"], "'list' object"),
                 (Holder.Inner(0), "'Holder.Inner' object")]


@pytest.mark.parametrize(
    ("parameter", "value", "type_text"),
    [(parameter, value, type_text) for parameter in ("basis", "axis") for value, type_text in TEXT_REFUSALS]
    + [("axis", None, "'None'")],
)
def test_text_refuses_non_str(parameter, value, type_text):
    with pytest.raises(TypeError) as info:
        probe.tfim_observables(C, F, S, **{parameter: value})
    assert str(info.value) == f"{type_text} is not an instance of 'str'"
    assert info.value.__notes__ == [f"while processing '{parameter}'"]


def test_text_with_lone_surrogate_raises_unicode_encode_error():
    with pytest.raises(UnicodeEncodeError) as info:
        probe.tfim_matrix(C, F, "z\ud800")
    assert info.value.__notes__ == ["while processing 'basis'"]


@pytest.mark.parametrize("function", ["tfim_observables", "tdvp_estimate"])
def test_text_parameter_with_text_default_refuses_none(function):
    args = (C, F, S) if function == "tfim_observables" else (V, S, cmatrix())
    name = "axis" if function == "tfim_observables" else "mode"
    with pytest.raises(TypeError) as info:
        getattr(probe, function)(*args, **{name: None})
    assert str(info.value) == "'None' is not an instance of 'str'"
    assert info.value.__notes__ == [f"while processing '{name}'"]


@pytest.mark.parametrize("name", ["shift", "tolerance", "max_iterations"])
def test_numeric_parameters_with_defaults_refuse_none(name):
    with pytest.raises(TypeError) as info:
        probe.tdvp_solve(C, F, **{name: None})
    assert info.value.__notes__ == [f"while processing '{name}'"]


@pytest.mark.parametrize(
    ("value", "expected"),
    [((0, 1), (0, 1)), ((True, np.int64(5)), (1, 5)), ((2**64 - 1, 0), (2**64 - 1, 0)),
     (os.terminal_size((3, 4)), (3, 4))],
)
def test_pair_accepts_two_element_tuples(value, expected):
    assert probe.tfim_observables(C, F, S, correlation=value)[5] == expected


@pytest.mark.parametrize(
    ("value", "error", "message"),
    [([0, 1], TypeError, "'list' object is not an instance of 'tuple'"),
     (np.array([0, 1]), TypeError, f"'{NDARRAY}' object is not an instance of 'tuple'"),
     ((1, 2, 3), ValueError, "expected tuple of length 2, but got tuple of length 3"),
     ((), ValueError, "expected tuple of length 2, but got tuple of length 0"),
     ((1,), ValueError, "expected tuple of length 2, but got tuple of length 1"),
     ((0, -1), OverflowError, None),
     ((0, 1.0), TypeError, "'float' object cannot be interpreted as an integer"),
     ((None, 0), TypeError, "'NoneType' object cannot be interpreted as an integer")],
)
def test_pair_refusals(value, error, message):
    with pytest.raises(error) as info:
        probe.tfim_observables(C, F, S, correlation=value)
    assert type(info.value) is error
    if message is not None:
        assert str(info.value) == message
    assert info.value.__notes__ == ["while processing 'correlation'"]


# --- arrays ------------------------------------------------------------------------------------

REAL_MATRIX_LAYOUTS = {
    "c_order": lambda: matrix(3, 4),
    "fortran": lambda: np.asfortranarray(matrix(3, 4)),
    "transposed": lambda: matrix(4, 3).T,
    "reversed": lambda: matrix(3, 4)[::-1, ::-1],
    "reversed_rows_only": lambda: matrix(3, 4)[::-1],
    "every_other_column": lambda: matrix(3, 8)[:, ::2],
    "every_other_row_and_column": lambda: matrix(6, 8)[::2, 1::2],
    "broadcast_rows": lambda: np.broadcast_to(np.array([1.0, -2.0, 3.5, 0.0]), (3, 4)),
    "broadcast_scalar": lambda: np.broadcast_to(np.float64(7.5), (3, 4)),
    "read_only": lambda: read_only(matrix(3, 4)),
    "subclass": lambda: matrix(3, 4).view(Sub),
    "unaligned": lambda: unaligned(matrix(3, 4)),
    "packed_field": lambda: packed_field(matrix(3, 4)),
    "single_row": lambda: matrix(1, 4),
    "single_column": lambda: matrix(3, 1),
}

COMPLEX_MATRIX_LAYOUTS = {
    "c_order": lambda: cmatrix(3, 4),
    "transposed": lambda: cmatrix(4, 3).T,
    "reversed": lambda: cmatrix(3, 4)[::-1, ::-1],
    "every_other_column": lambda: cmatrix(3, 8)[:, ::2],
    "broadcast": lambda: np.broadcast_to(np.array([1 + 2j, -3j, 0.5, 4 - 1j]), (3, 4)),
    "read_only": lambda: read_only(cmatrix(3, 4)),
    "subclass": lambda: cmatrix(3, 4).view(Sub),
    "unaligned": lambda: unaligned(cmatrix(3, 4)),
    "packed_field": lambda: packed_field(cmatrix(3, 4)),
}

REAL_VECTOR_LAYOUTS = {
    "contiguous": lambda: np.array([0.5, -1.0, 2.0, 4.0]),
    "reversed": lambda: np.array([0.5, -1.0, 2.0, 4.0])[::-1],
    "strided": lambda: np.arange(8.0)[1::2],
    "matrix_column": lambda: matrix(4, 3)[:, 1],
    "broadcast": lambda: np.broadcast_to(np.float64(2.5), (4,)),
    "read_only": lambda: read_only(np.array([0.5, -1.0, 2.0, 4.0])),
    "subclass": lambda: np.array([0.5, -1.0, 2.0, 4.0]).view(Sub),
    "unaligned": lambda: unaligned(np.array([0.5, -1.0, 2.0, 4.0])),
    "packed_field": lambda: packed_field(np.array([0.5, -1.0, 2.0, 4.0])),
}

COMPLEX_VECTOR_LAYOUTS = {
    "contiguous": lambda: np.array([1 + 1j, -2j, 3.0, 0.5 - 0.5j]),
    "reversed": lambda: np.array([1 + 1j, -2j, 3.0, 0.5 - 0.5j])[::-1],
    "matrix_row_strided": lambda: cmatrix(3, 8)[1, ::2],
    "broadcast": lambda: np.broadcast_to(np.complex128(1 - 2j), (4,)),
    "read_only": lambda: read_only(np.array([1 + 1j, -2j, 3.0, 0.5 - 0.5j])),
    "unaligned": lambda: unaligned(np.array([1 + 1j, -2j, 3.0, 0.5 - 0.5j])),
    "packed_field": lambda: packed_field(np.array([1 + 1j, -2j, 3.0, 0.5 - 0.5j])),
}


def assert_fresh_copy(result, argument, dtype):
    assert type(result) is np.ndarray
    assert result.dtype == dtype
    assert result.flags.c_contiguous and result.flags.writeable and result.flags.owndata
    assert not np.shares_memory(result, argument)
    np.testing.assert_array_equal(result, np.ascontiguousarray(argument))


@pytest.mark.parametrize("layout", REAL_MATRIX_LAYOUTS.values(), ids=REAL_MATRIX_LAYOUTS.keys())
def test_real_matrix_any_layout_reads_in_logical_order(layout):
    argument = layout()
    before = argument.copy()
    assert_fresh_copy(probe.resolve_ising_interactions(argument), argument, np.float64)
    elements = probe.read_elements(argument, V, cmatrix(), S)[0]
    assert elements == np.asarray(argument).tolist()
    np.testing.assert_array_equal(argument, before)


@pytest.mark.parametrize("layout", COMPLEX_MATRIX_LAYOUTS.values(), ids=COMPLEX_MATRIX_LAYOUTS.keys())
def test_complex_matrix_any_layout_reads_in_logical_order(layout):
    argument = layout()
    before = argument.copy()
    assert_fresh_copy(probe.tdvp_estimate(V, S, argument)[2], argument, np.complex128)
    elements = probe.read_elements(C, V, argument, S)[2]
    assert elements == np.asarray(argument).tolist()
    np.testing.assert_array_equal(argument, before)


@pytest.mark.parametrize("layout", REAL_VECTOR_LAYOUTS.values(), ids=REAL_VECTOR_LAYOUTS.keys())
def test_real_vector_any_layout_reads_in_logical_order(layout):
    argument = layout()
    before = argument.copy()
    assert_fresh_copy(probe.tfim_matrix(C, argument)[1], argument, np.float64)
    assert probe.read_elements(C, argument, cmatrix(), S)[1] == np.asarray(argument).tolist()
    np.testing.assert_array_equal(argument, before)


@pytest.mark.parametrize("layout", COMPLEX_VECTOR_LAYOUTS.values(), ids=COMPLEX_VECTOR_LAYOUTS.keys())
def test_complex_vector_any_layout_reads_in_logical_order(layout):
    argument = layout()
    before = argument.copy()
    assert_fresh_copy(probe.tfim_observables(C, F, argument)[2], argument, np.complex128)
    assert probe.read_elements(C, V, cmatrix(), argument)[3] == np.asarray(argument).tolist()
    np.testing.assert_array_equal(argument, before)


def test_signed_zero_and_non_finite_values_pass_through_bit_for_bit():
    values = np.array([-0.0, np.inf, -np.inf, np.nan, 5e-324])
    copied = probe.tfim_matrix(C, values[::-1])[1]
    assert copied.tobytes() == values[::-1].copy().tobytes()


def test_same_array_may_be_passed_for_several_parameters():
    shared = read_only(np.array([1.0, 2.0, 3.0]))
    couplings, omega, detuning = probe.rydberg_matrix(matrix(3, 3), shared, detuning=shared)
    np.testing.assert_array_equal(omega, shared)
    np.testing.assert_array_equal(detuning, shared)
    assert not np.shares_memory(omega, detuning)


def test_empty_arrays_are_accepted():
    assert probe.tfim_matrix(np.zeros((0, 0)), np.zeros(0))[1].shape == (0,)
    assert probe.resolve_ising_interactions(np.zeros((0, 0))).shape == (0, 0)
    # A matrix without rows is handed back as (0, 0), like every 2-D result.
    assert probe.resolve_ising_interactions(np.zeros((0, 3))).shape == (0, 0)
    assert probe.resolve_ising_interactions(np.zeros((3, 0))).shape == (3, 0)
    assert probe.read_elements(np.zeros((2, 0)), np.zeros(0), np.zeros((0, 2), complex), np.zeros(0, complex)) == (
        [[], []], [], [], [])


def swapped(dtype):
    return np.dtype(dtype).newbyteorder()


REAL_MATRIX_REFUSALS = [
    ("float32", lambda: matrix().astype(np.float32), NDARRAY),
    ("float16", lambda: matrix().astype(np.float16), NDARRAY),
    ("int64", lambda: np.arange(6).reshape(2, 3), NDARRAY),
    ("bool", lambda: np.ones((2, 2), dtype=bool), NDARRAY),
    ("complex128", lambda: cmatrix(), NDARRAY),
    ("byte_swapped", lambda: matrix().astype(swapped(np.float64)), NDARRAY),
    ("object", lambda: matrix().astype(object), NDARRAY),
    ("structured", lambda: np.zeros((2, 2), dtype=[("a", np.float64)]), NDARRAY),
    ("structured_packed", lambda: np.zeros((2, 2), dtype=[("a", np.float64), ("b", np.uint8)]), NDARRAY),
    ("one_dimensional", lambda: np.zeros(4), NDARRAY),
    ("three_dimensional", lambda: np.zeros((2, 2, 2)), NDARRAY),
    ("zero_dimensional", lambda: np.array(1.0), NDARRAY),
    ("subclass_wrong_dtype", lambda: np.zeros((2, 2), np.float32).view(Holder.Inner), "Holder.Inner"),
    ("subclass_wrong_ndim", lambda: np.zeros(3).view(Sub), "Sub"),
    ("nested_list", lambda: [[0.0, 1.0], [1.0, 0.0]], "list"),
    ("tuple", lambda: ((0.0,),), "tuple"),
    ("numpy_scalar", lambda: np.float64(1.0), type(np.float64(1.0)).__qualname__),
    ("memoryview", lambda: memoryview(matrix()), "memoryview"),
]


@pytest.mark.parametrize(
    ("make", "type_name"), [(make, name) for _, make, name in REAL_MATRIX_REFUSALS],
    ids=[case for case, _, _ in REAL_MATRIX_REFUSALS],
)
def test_real_matrix_refusals(make, type_name):
    with pytest.raises(TypeError) as info:
        probe.tfim_matrix(make(), F)
    assert str(info.value) == f"'{type_name}' object is not an instance of '{NDARRAY}'"
    assert info.value.__notes__ == ["while processing 'couplings'"]


@pytest.mark.parametrize(
    ("parameter", "argument"),
    [("fields", np.zeros(3, np.float32)), ("fields", np.zeros(3, np.int64)), ("fields", np.zeros(3, complex)),
     ("fields", np.zeros(3, swapped(np.float64))), ("fields", np.zeros((1, 3))), ("fields", np.array(0.0)),
     ("state", np.zeros(2)), ("state", np.zeros(2, np.complex64)), ("state", np.zeros(2, swapped(np.complex128))),
     ("state", np.zeros((2, 1), complex)), ("state", np.zeros(2, object))],
)
def test_vector_refusals_name_ndarray_twice(parameter, argument):
    arguments = {"couplings": C, "fields": F, "state": S, parameter: argument}
    with pytest.raises(TypeError) as info:
        probe.tfim_observables(**arguments)
    assert str(info.value) == f"'{NDARRAY}' object is not an instance of '{NDARRAY}'"
    assert info.value.__notes__ == [f"while processing '{parameter}'"]


@pytest.mark.parametrize("argument", [matrix(), cmatrix().astype(np.complex64), np.zeros(3, complex)])
def test_complex_matrix_refusals(argument):
    with pytest.raises(TypeError) as info:
        probe.tdvp_estimate(V, S, argument)
    assert str(info.value) == f"'{NDARRAY}' object is not an instance of '{NDARRAY}'"
    assert info.value.__notes__ == ["while processing 'derivatives'"]


@pytest.mark.parametrize("parameter", ["couplings", "fields", "state"])
def test_array_parameters_refuse_none(parameter):
    arguments = {"couplings": C, "fields": F, "state": S, parameter: None}
    with pytest.raises(TypeError) as info:
        probe.tfim_observables(**arguments)
    assert str(info.value) == f"'None' is not an instance of '{NDARRAY}'"
    assert info.value.__notes__ == [f"while processing '{parameter}'"]


def test_conversion_note_is_added_once_per_failure():
    for _ in range(2):
        with pytest.raises(TypeError) as info:
            probe.tfim_matrix(matrix().astype(np.float32), F)
        assert info.value.__notes__ == ["while processing 'couplings'"]


# --- results -------------------------------------------------------------------------------------

RESULT_DTYPES = {"uint32": np.uint32, "uint8": np.uint8, "float64": np.float64, "complex128": np.complex128}


def expected_samples(dtype, count):
    k = np.arange(count)
    if dtype == "complex128":
        return k - 1j * k
    if dtype == "uint8":
        return k % 256
    return k


@pytest.mark.parametrize("route", ["copy", "in_place"])
@pytest.mark.parametrize("dtype", RESULT_DTYPES)
@pytest.mark.parametrize(("rows", "columns", "shape"), [(2, 3, (2, 3)), (1, 1, (1, 1)), (3, 0, (3, 0)),
                                                        (0, 4, (0, 0)), (0, 0, (0, 0)), (20, 20, (20, 20))])
def test_matrix_results_are_new_c_contiguous_arrays(route, dtype, rows, columns, shape):
    result = probe.make_matrix(dtype, rows, columns, route)
    assert type(result) is np.ndarray
    assert result.dtype == RESULT_DTYPES[dtype] and result.shape == shape
    assert result.flags.c_contiguous and result.flags.writeable and result.flags.owndata
    np.testing.assert_array_equal(result.ravel(), expected_samples(dtype, rows * columns if rows else 0))


@pytest.mark.parametrize("route", ["copy", "in_place"])
@pytest.mark.parametrize("dtype", ["float64", "complex128"])
@pytest.mark.parametrize("length", [0, 1, 5])
def test_vector_results_are_new_c_contiguous_arrays(route, dtype, length):
    result = probe.make_vector(dtype, length, route)
    assert type(result) is np.ndarray
    assert result.dtype == RESULT_DTYPES[dtype] and result.shape == (length,)
    assert result.flags.c_contiguous and result.flags.writeable
    np.testing.assert_array_equal(result, expected_samples(dtype, length))


@pytest.mark.parametrize(
    ("dtype", "rows", "columns"),
    [("uint8", 2**31, 2**31), ("float64", 2**40, 2**40), ("complex128", 2**62, 1), ("uint32", 2**63, 2**63)],
)
def test_unallocatable_results_raise_memory_error(dtype, rows, columns):
    with pytest.raises(MemoryError):
        probe.make_matrix(dtype, rows, columns, "in_place")


# --- NumPy acquisition ---------------------------------------------------------------------------


def run_isolated(code):
    environment = dict(os.environ, PYTHONPATH=os.path.dirname(probe.__file__))
    completed = subprocess.run([sys.executable, "-W", "error", "-c", textwrap.dedent(code)], env=environment,
                               capture_output=True, text=True, timeout=120, check=False)
    assert completed.returncode == 0, completed.stderr


def test_numpy_is_imported_on_first_array_use_only():
    run_isolated("""
        import sys
        import _vendrel_binding_probe as probe
        assert "numpy" not in sys.modules
        assert probe.row_major_site_ids(2, 3) == (2, 3)
        assert "numpy" not in sys.modules
        assert probe.make_vector("float64", 2).tolist() == [0.0, 1.0]
        assert "numpy" in sys.modules
    """)


def test_missing_numpy_raises_its_import_error():
    run_isolated("""
        import sys
        sys.modules["numpy"] = None
        import _vendrel_binding_probe as probe
        try:
            probe.resolve_ising_interactions([[0.0]])
            raise AssertionError("expected ImportError")
        except ImportError as error:
            assert error.__notes__ == ["while processing 'couplings'"], error.__notes__
        try:
            probe.make_vector("float64", 2)
            raise AssertionError("expected ImportError")
        except ImportError:
            pass
    """)
