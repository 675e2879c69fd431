"""The shipped type information: mypy in strict mode accepts a caller that uses every function."""

import os
import pathlib
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]


def test_mypy_strict_accepts_typed_usage():
    environment = {**os.environ, "MYPYPATH": str(ROOT / "stubs")}
    result = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-incremental", str(ROOT / "tests" / "python" / "typed_usage.py")],
        capture_output=True, text=True, env=environment, cwd=ROOT,
    )
    assert result.returncode == 0, result.stdout + result.stderr


def test_typed_usage_runs():
    import typed_usage

    assert isinstance(typed_usage.main(), float)
