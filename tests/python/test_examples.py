"""The examples run to completion and print what they promise."""

import os
import pathlib
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]


@pytest.mark.parametrize(
    ("script", "expected"),
    [
        ("tfim_chain.py", "magnetisation <Z> / site"),
        ("square_lattice.py", "nearest-neighbour correlations"),
        ("variational_tfim.py", "final energy"),
    ],
)
def test_example_runs(script, expected):
    result = subprocess.run(
        [sys.executable, str(ROOT / "examples" / script)], capture_output=True, text=True, timeout=600,
        env={**os.environ, "MPLBACKEND": "Agg"}, cwd=ROOT,
    )
    assert result.returncode == 0, result.stderr
    assert expected in result.stdout
