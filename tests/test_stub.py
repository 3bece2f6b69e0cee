"""Type checkers find the stub package installed with the module, with no
help (no MYPYPATH, no configuration), and the stub matches the module."""

import importlib.util
import inspect
import os
import subprocess
import sys

import pytest

import magnikit

# Wrong on line 3 only: the checker must know what the functions return.
USE = """\
import magnikit
curve: list[float] = magnikit.witt_mao_magnification([0.5, 1.0], 1.0, 0.1)
ring: str = magnikit.heyrovsky_magnification(1.0, 0.5, 1.0, 0.1)
version: str = magnikit.__version__
"""


def checker(tmp_path, *command):
    (tmp_path / "use.py").write_text(USE)
    environment = {key: value for key, value in os.environ.items() if key != "MYPYPATH"}
    # No check for a newer release: the run must not need the network.
    environment["PYRIGHT_PYTHON_IGNORE_WARNINGS"] = "1"
    return subprocess.run([sys.executable, "-m", *command], cwd=tmp_path, env=environment,
                          capture_output=True, text=True, timeout=300)


def test_stub_package_is_installed_beside_the_module():
    stubs = os.path.join(os.path.dirname(magnikit.__file__), "magnikit-stubs")
    assert os.listdir(stubs) == ["__init__.pyi"]


def test_mypy_finds_the_stub(tmp_path):
    pytest.importorskip("mypy")
    run = checker(tmp_path, "mypy", "use.py")
    assert run.stdout.splitlines() == [
        'use.py:3: error: Incompatible types in assignment (expression has type "float", '
        'variable has type "str")  [assignment]',
        "Found 1 error in 1 file (checked 1 source file)",
    ], run.stdout + run.stderr


@pytest.mark.skipif(importlib.util.find_spec("pyright") is None, reason="pyright not installed")
def test_pyright_finds_the_stub(tmp_path):
    run = checker(tmp_path, "pyright", "--pythonpath", sys.executable, "use.py")
    errors = [line.strip() for line in run.stdout.splitlines() if " - error: " in line]
    assert len(errors) == 1 and ":3:" in errors[0] and '"float" is not assignable' in errors[0], \
        run.stdout + run.stderr


def test_stubtest_finds_no_mismatch(tmp_path):
    pytest.importorskip("mypy")
    run = checker(tmp_path, "mypy.stubtest", "magnikit")
    assert run.returncode == 0, run.stdout + run.stderr


@pytest.mark.parametrize("name", [n for n in magnikit.__all__ if n != "ProfileLengthError"])
def test_signatures_are_introspectable(name):
    parameters = inspect.signature(getattr(magnikit, name)).parameters
    assert all(p.kind is p.POSITIONAL_OR_KEYWORD for p in parameters.values())
    expected = {
        "heyrovsky_magnification": ["l", "r", "re", "rstar"],
        "limb_darkened_magnification": ["l", "re", "rstar", "law", "coefficients"],
    }.get(name, ["l", "re", "rstar"] + (["bl", "bf"] if "flux_map" in name else []))
    assert list(parameters) == expected
