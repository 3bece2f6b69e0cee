"""Broken invariants surface as the panic exception, and the interpreter
keeps running."""

import os
import re
import subprocess
import sys
import textwrap

import pytest

import magnikit

FLUX_MAPS = [
    magnikit.discrete_flux_map_heyrovsky_magnification,
    magnikit.integrated_flux_map_heyrovsky_magnification,
    magnikit.integrated_flux_map_witt_mao_magnification,
]


def panic_of(function, bl, bf):
    with pytest.raises(BaseException) as info:
        function([0.5], 1.0, 0.1, bl, bf)
    return info.value


@pytest.mark.parametrize("function", FLUX_MAPS)
def test_unequal_profile_lengths_panic(function):
    error = panic_of(function, [0.5], [1.0, 2.0])
    kind = type(error)
    assert (kind.__module__, kind.__name__) == ("pyo3_runtime", "PanicException")
    assert issubclass(kind, BaseException) and not issubclass(kind, Exception)
    assert str(error) == "assertion `left == right` failed\n  left: 1\n right: 2"
    assert kind is type(panic_of(function, [0.1, 0.2, 0.3], []))
    # Still usable afterwards.
    assert function([0.5], 1.0, 0.1, [0.5], [1.0]) == function([0.5], 1.0, 0.1, [0.5], [1.0])


def test_failure_report_names_the_source_relative_to_the_checkout(capfd):
    # Built in any folder, the module carries no absolute path of it.
    panic_of(FLUX_MAPS[0], [0.5], [])
    report = re.search(r"internal failure in thread '[^']*' at (.+):\d+:\d+:\n", capfd.readouterr().err)
    assert report, "no failure report"
    path = report.group(1)
    assert re.match(r"src[/\\]", path) and not os.path.isabs(path), path


def test_panic_passes_through_except_exception():
    with pytest.raises(BaseException) as info:
        try:
            FLUX_MAPS[0]([1.0], 1.0, 0.1, [], [1.0])
        except Exception:  # noqa: BLE001 - the point is that this misses
            pytest.fail("caught by except Exception")
    assert str(info.value).endswith("  left: 0\n right: 1")


RESUME = textwrap.dedent(
    """
    import magnikit
    try:
        magnikit.discrete_flux_map_heyrovsky_magnification([1.0], 1.0, 0.1, [1.0], [])
    except BaseException as error:
        Panic = type(error)

    class Raising:
        def __float__(self):
            raise Panic("raised in Python")

    try:
        magnikit.witt_mao_magnification([1.0], Raising(), 0.1)
    except BaseException as error:
        print(type(error) is Panic, repr(str(error)))
    """
)


def test_panic_raised_by_python_code_is_resumed():
    run = subprocess.run([sys.executable, "-c", RESUME], capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    assert run.stdout.strip() == "True 'raised in Python'"
    banner = (
        "--- PyO3 is resuming a panic after fetching a PanicException from Python. ---\n"
        "Python stack trace below:\n"
    )
    assert banner in run.stderr
    after = run.stderr.split(banner, 1)[1]
    assert "Traceback (most recent call last)" in after
    assert "PanicException: raised in Python" in after
