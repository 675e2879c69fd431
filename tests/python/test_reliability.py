"""Reliability of the whole surface: no leaks, thread safety, huge requests and untouched arguments."""

import os
import sys
import threading
import time

import numpy as np
import pytest

import vendrel_quantum as vq
from sample_calls import argument_arrays, refused_calls, successful_calls


def call(name, args, kwargs):
    return getattr(vq, name)(*args, **kwargs)


def resident_kib():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * 4


def same_result(a, b):
    if isinstance(a, np.ndarray):
        return isinstance(b, np.ndarray) and a.dtype == b.dtype and a.shape == b.shape and a.tobytes() == b.tobytes()
    if isinstance(a, (tuple, list)):
        return type(a) is type(b) and len(a) == len(b) and all(same_result(x, y) for x, y in zip(a, b))
    if isinstance(a, dict):
        return list(a) == list(b) and all(same_result(a[k], b[k]) for k in a)
    return type(a) is type(b) and a == b


def exercise_everything(rounds):
    for _ in range(rounds):
        for name, args, kwargs in successful_calls():
            call(name, args, kwargs)
        for name, args, kwargs, _ in refused_calls():
            try:
                call(name, args, kwargs)
            except Exception:  # noqa: BLE001 - every refusal is expected here
                pass


@pytest.mark.parametrize(("name", "args", "kwargs", "error"), refused_calls())
def test_refused_calls_raise_their_class(name, args, kwargs, error):
    expected = getattr(vq, error, None) or getattr(__builtins__, error, None) or __builtins__[error]
    with pytest.raises(expected):
        call(name, args, kwargs)


LEAK_CHECK = """
import gc, sys
sys.path.insert(0, {here!r})
from test_reliability import argument_arrays, exercise_everything, resident_kib
arrays = argument_arrays()
exercise_everything(300)
gc.collect()
counts = [sys.getrefcount(array) for array in arrays]
before = resident_kib()
exercise_everything(3000)
gc.collect()
print(resident_kib() - before, [sys.getrefcount(array) for array in arrays] == counts)
"""


def test_no_leaks_on_success_and_error_paths():
    # A fresh process: what earlier tests did to the allocator (large blocks, raised mmap
    # thresholds) would otherwise show up as growth here.
    import pathlib
    import subprocess

    code = LEAK_CHECK.format(here=str(pathlib.Path(__file__).parent))
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    grown, counts_flat = result.stdout.split(maxsplit=1)
    assert counts_flat.strip() == "True", "argument reference counts changed"
    # AddressSanitizer keeps freed memory in quarantine, so resident size says nothing under it.
    if "libasan" not in os.environ.get("LD_PRELOAD", ""):
        assert int(grown) < 4096, f"resident memory grew by {grown} KiB over 3000 rounds"


def test_arguments_are_never_modified_and_results_never_share_memory():
    arrays = argument_arrays()
    copies = [array.copy() for array in arrays]
    for name, args, kwargs in successful_calls():
        result = call(name, args, kwargs)
        results = result.values() if isinstance(result, dict) else result if isinstance(result, tuple) else [result]
        for item in results:
            if isinstance(item, np.ndarray):
                assert item.flags.writeable and item.flags.c_contiguous
                assert not any(np.shares_memory(item, array) for array in arrays)
    for array, copy in zip(arrays, copies):
        np.testing.assert_array_equal(array, copy, strict=True)


def test_threads_give_the_single_call_results():
    calls = successful_calls()
    expected = [call(*c) for c in calls]
    failures = []
    deadline = time.monotonic() + 2.0

    def worker(offset):
        try:
            k = offset
            while time.monotonic() < deadline:
                name, args, kwargs = calls[k % len(calls)]
                if not same_result(call(name, args, kwargs), expected[k % len(calls)]):
                    failures.append(name)
                k += 1
        except BaseException as error:  # noqa: BLE001 - reported below
            failures.append(repr(error))

    threads = [threading.Thread(target=worker, args=(i,)) for i in range(8)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert failures == []


@pytest.mark.parametrize(
    ("name", "args"),
    [
        ("basis_states", (40, None)),
        ("basis_states", (64, 32)),
        ("tfim_matrix", (np.zeros((20, 20)), np.ones(20))),
        ("heisenberg_matrix", (np.zeros((18, 18)),)),
        ("rydberg_matrix", (np.zeros((19, 19)), np.ones(19), np.ones(19))),
        ("tdvp_estimate", (np.ones(2), np.ones(2, dtype=complex), np.ones((2, 1_000_000), dtype=complex))),
    ],
)
def test_huge_requests_fail_promptly_with_memory_error(name, args):
    start = time.monotonic()
    with pytest.raises(MemoryError):
        call(name, args, {})
    assert time.monotonic() - start < 5.0
    assert vq.row_major_site_ids(2, 2).tolist() == [[0, 1], [2, 3]]
