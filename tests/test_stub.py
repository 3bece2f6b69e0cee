"""Type checkers find the stub package installed with the module, with no
help (no MYPYPATH, no configuration), and the stub matches the module: its
signatures, the sequences its types accept and refuse, and its docstrings,
which the module carries at run time."""

import array
import ast
import importlib.util
import inspect
import os
import pathlib
import pydoc
import re
import subprocess
import sys

import pytest

import magnikit

STUB = pathlib.Path(__file__).resolve().parents[1] / "src" / "magnikit.pyi"

# Wrong on line 3 only: the checker must know what the functions return.
USE = """\
import magnikit
curve: list[float] = magnikit.witt_mao_magnification([0.5, 1.0], 1.0, 0.1)
ring: str = magnikit.heyrovsky_magnification(1.0, 0.5, 1.0, 0.1)
version: str = magnikit.__version__
"""


def checker(tmp_path, *command, source=USE):
    (tmp_path / "use.py").write_text(source)
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


def stub_docstrings():
    tree = ast.parse(STUB.read_text(encoding="utf-8"))
    texts = {"": ast.get_docstring(tree)}
    for node in tree.body:
        # A function given as overloads carries its docstring on one of them.
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)) and ast.get_docstring(node):
            texts.setdefault(node.name, ast.get_docstring(node))
    return texts


@pytest.mark.parametrize("name", ["", *magnikit.__all__])
def test_docstrings_are_the_stubs_behind_the_signature(name):
    """help(), pydoc and IPython show the stub's text, under the signature
    for a function; a stale src/module/docstrings.hpp shows here."""
    documented = getattr(magnikit, name) if name else magnikit
    assert documented.__doc__ == stub_docstrings()[name], \
        "run scripts/generate_docstrings.py after changing the stub's docstrings"
    synopsis, _ = pydoc.splitdoc(documented.__doc__)
    assert synopsis.endswith("."), "one line that says what it computes, then a blank line"
    if inspect.isbuiltin(documented):
        parameters = ", ".join(inspect.signature(documented).parameters)
        assert documented.__text_signature__ == f"({parameters})"
        page = pydoc.render_doc(documented, renderer=pydoc.plaintext)
        assert f"{name}({parameters})\n    {documented.__doc__.splitlines()[0]}" in page


# (annotation, value): how a caller holds the argument, and whether the
# module reads it as a sequence of numbers (True) or refuses it with a
# TypeError (False). The type checkers must agree with the module.
SEQUENCES = [
    ("list[float]", "[0.5, 1.0]", True),
    ("tuple[float, int]", "(0.5, 1)", True),
    ("range", "range(3)", True),
    ("bytes", "b'\\x01\\x02'", True),
    ("npt.NDArray[np.float64]", "np.array([0.5, 1.0])", True),
    ("npt.NDArray[np.int32]", "np.arange(3, dtype=np.int32)", True),
    ("array.array[float]", "array.array('d', [0.5, 1.0])", True),
    ("memoryview", "memoryview(array.array('d', [0.5, 1.0]))", True),
    ("pd.Series", "pd.Series([0.5, 1.0])", True),
    ("pd.Index", "pd.Index([0.5, 1.0])", True),
    ("str", "'0.5'", False),
    ("list[str]", "['0.5']", False),
    ("dict[float, float]", "{0.5: 1.0}", False),
    ("set[float]", "{0.5, 1.0}", False),
    ("Iterator[float]", "(x for x in [0.5, 1.0])", False),
]


def available(value):
    """Whether the value's library (NumPy, pandas) is installed here."""
    module = {"np.": "numpy", "pd.": "pandas"}.get(value[:3])
    return module is None or importlib.util.find_spec(module) is not None


def evaluate(value):
    namespace = {"array": array}
    if value.startswith("np."):
        namespace["np"] = importlib.import_module("numpy")
    if value.startswith("pd."):
        namespace["pd"] = importlib.import_module("pandas")
    return eval(value, namespace)


@pytest.mark.parametrize("annotation, value, accepted", SEQUENCES)
def test_module_reads_what_the_stub_accepts(annotation, value, accepted):
    if not available(value):
        pytest.skip(f"{value} needs a library not installed here")
    if accepted:
        assert len(magnikit.witt_mao_magnification(evaluate(value), 1.0, 0.1)) == \
            len(list(evaluate(value)))
    else:
        with pytest.raises(TypeError, match="argument 'l'"):
            magnikit.witt_mao_magnification(evaluate(value), 1.0, 0.1)


def sequence_calls():
    """A file that passes each available value of SEQUENCES as ``l``, and the
    line numbers of the calls a checker must refuse."""
    lines = ["import array", "from typing import Iterator", "import numpy as np",
             "import numpy.typing as npt", "import magnikit"]
    if available("pd."):
        # pandas ships no types of its own: mypy takes it as Any (unless
        # pandas-stubs is installed), pyright reads its sources.
        lines.append("import pandas as pd  # type: ignore[import-untyped, unused-ignore]")
    refused = set()
    for i, (annotation, value, accepted) in enumerate(SEQUENCES):
        if not available(value):
            continue
        lines.append(f"value_{i}: {annotation} = {value}")
        lines.append(f"magnikit.witt_mao_magnification(value_{i}, 1.0, 0.1)")
        if not accepted:
            refused.add(len(lines))
    return "\n".join(lines) + "\n", refused


@pytest.mark.parametrize("command", ["mypy", "pyright"])
def test_checkers_accept_and_refuse_what_the_module_does(tmp_path, command):
    if importlib.util.find_spec(command) is None or importlib.util.find_spec("numpy") is None:
        pytest.skip(f"{command} or NumPy not installed")
    source, refused = sequence_calls()
    if command == "mypy":
        run = checker(tmp_path, "mypy", "use.py", source=source)
        marker = r"use\.py:(\d+): error:"
    else:
        run = checker(tmp_path, "pyright", "--pythonpath", sys.executable, "use.py", source=source)
        marker = r"use\.py:(\d+):\d+ - error:"
    flagged = {int(line) for line in re.findall(marker, run.stdout)}
    assert flagged == refused, source + run.stdout + run.stderr
