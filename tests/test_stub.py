"""The type stub installed beside the module matches the module."""

import inspect
import os
import shutil
import subprocess
import sys

import pytest

import magnikit

STUB = os.path.join(os.path.dirname(magnikit.__file__), "magnikit.pyi")


def test_stub_is_installed_beside_the_module():
    assert os.path.isfile(STUB)


def test_stubtest_finds_no_mismatch(tmp_path):
    pytest.importorskip("mypy")
    # mypy refuses site-packages on its search path, so check a copy.
    shutil.copy(STUB, tmp_path / "magnikit.pyi")
    run = subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", "magnikit", "--mypy-config-file", os.devnull],
        env={**os.environ, "MYPYPATH": str(tmp_path)},
        capture_output=True, text=True, timeout=300,
    )
    assert run.returncode == 0, run.stdout + run.stderr


@pytest.mark.parametrize("name", magnikit.__all__)
def test_signatures_are_introspectable(name):
    parameters = inspect.signature(getattr(magnikit, name)).parameters
    assert all(p.kind is p.POSITIONAL_OR_KEYWORD for p in parameters.values())
    expected = {
        "heyrovsky_magnification": ["l", "r", "re", "rstar"],
    }.get(name, ["l", "re", "rstar"] + (["bl", "bf"] if "flux_map" in name else []))
    assert list(parameters) == expected
