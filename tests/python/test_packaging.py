"""Packaging: `python -m build` makes an sdist and a wheel, and the wheel works in a fresh venv."""

import pathlib
import subprocess
import sys
import tarfile
import zipfile

ROOT = pathlib.Path(__file__).resolve().parents[2]

SMOKE = """
import pathlib, sysconfig
import numpy as np
import vendrel_quantum as vq
assert vq.__version__ == "{version}"
assert vq.row_major_site_ids(2, 2).tolist() == [[0, 1], [2, 3]]
energy, _, _ = vq.tfim_ground_state(np.zeros((1, 1)), np.array([0.5]))
assert abs(energy + 0.5) < 1e-12
stubs = pathlib.Path(sysconfig.get_paths()["purelib"]) / "vendrel_quantum-stubs" / "__init__.pyi"
assert stubs.is_file(), stubs
print("ok")
"""


def run(*command, cwd=ROOT):
    result = subprocess.run(command, capture_output=True, text=True, cwd=cwd)
    assert result.returncode == 0, result.stdout[-4000:] + result.stderr[-4000:]
    return result.stdout


def test_sdist_and_wheel_install_into_a_fresh_venv(tmp_path):
    # No build isolation: the build backend and NumPy come from the development venv, offline.
    run(sys.executable, "-m", "build", "--sdist", "--wheel", "--no-isolation", "--outdir", str(tmp_path / "dist"))
    sdists = list((tmp_path / "dist").glob("vendrel_quantum-*.tar.gz"))
    wheels = list((tmp_path / "dist").glob("vendrel_quantum-*.whl"))
    assert len(sdists) == 1 and len(wheels) == 1
    with tarfile.open(sdists[0]) as sdist:
        names = sdist.getnames()
    assert any(name.endswith("src/python/module.cpp") for name in names)
    assert not any("/.venv/" in name or "/build/" in name for name in names)
    with zipfile.ZipFile(wheels[0]) as wheel:
        files = wheel.namelist()
    assert any(name.startswith("vendrel_quantum.") and name.endswith(".so") for name in files)
    assert "vendrel_quantum-stubs/__init__.pyi" in files

    version = wheels[0].name.split("-")[1]
    venv = tmp_path / "venv"
    run(sys.executable, "-m", "venv", str(venv))
    run(str(venv / "bin" / "python"), "-m", "pip", "install", "-q", "--disable-pip-version-check", str(wheels[0]))
    assert run(str(venv / "bin" / "python"), "-c", SMOKE.format(version=version), cwd=tmp_path).strip() == "ok"
