"""Long calls answer Ctrl-C promptly with KeyboardInterrupt and leave the module usable."""

import os
import signal
import time

import numpy as np
import pytest

import vendrel_quantum as vq


def chain(n):
    couplings = np.diag(np.ones(n - 1), 1)
    return couplings + couplings.T


# Each entry makes its arguments first (outside the timed part), then returns the long call.
LONG_CALLS = {
    "ground state at 10 sites": lambda: (vq.tfim_ground_state, (chain(10), np.ones(10))),
    "observables at 22 sites": lambda: (
        vq.tfim_observables, (np.ones((22, 22)) - np.eye(22), np.ones(22), np.ones(2**22, dtype=complex), None, "y")),
    "large estimate": lambda: (
        vq.tdvp_estimate, (np.ones(100_000), np.ones(100_000, dtype=complex), np.ones((100_000, 256), dtype=complex))),
    "full basis of 27 sites": lambda: (vq.basis_states, (27, None)),
}


@pytest.fixture
def alarm_raises_keyboard_interrupt():
    def handler(signum, frame):
        raise KeyboardInterrupt

    previous = signal.signal(signal.SIGALRM, handler)
    yield
    signal.setitimer(signal.ITIMER_REAL, 0)
    signal.signal(signal.SIGALRM, previous)


@pytest.mark.parametrize("name", sorted(LONG_CALLS))
def test_long_calls_stop_on_a_signal(name, alarm_raises_keyboard_interrupt):
    function, args = LONG_CALLS[name]()
    # Like Ctrl-C: the signal arrives while the call holds the interpreter lock.
    signal.setitimer(signal.ITIMER_REAL, 0.2)
    start = time.monotonic()
    with pytest.raises(KeyboardInterrupt):
        function(*args)
    # Under AddressSanitizer, allocating and poisoning gigabytes alone takes longer.
    slack = 2.0 if "libasan" in os.environ.get("LD_PRELOAD", "") else 0.3
    assert time.monotonic() - start < 0.2 + slack
    assert vq.row_major_site_ids(1, 2).tolist() == [[0], [1]]
