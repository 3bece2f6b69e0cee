"""A sampled profile whose radii and brightnesses differ in length raises
ProfileLengthError, which `except Exception` catches; broken invariants
surface as the panic exception, which it does not; the interpreter keeps
running either way."""

import pickle
import subprocess
import sys
import textwrap

import pytest

import magnikit
from panics import RaisingPanic, panic_type

FLUX_MAPS = [
    magnikit.discrete_flux_map_heyrovsky_magnification,
    magnikit.integrated_flux_map_heyrovsky_magnification,
    magnikit.integrated_flux_map_witt_mao_magnification,
]


@pytest.mark.parametrize("function", FLUX_MAPS)
@pytest.mark.parametrize("bl, bf", [([0.5], [1.0, 2.0]), ([0.1, 0.2, 0.3], [])])
def test_unequal_profile_lengths_raise_a_value_error(function, bl, bf):
    with pytest.raises(Exception) as info:
        function([0.5], 1.0, 0.1, bl, bf)
    error = info.value
    assert type(error) is magnikit.ProfileLengthError
    # Both a ValueError and, for callers who caught it so before, the panic.
    assert isinstance(error, ValueError) and isinstance(error, panic_type())
    assert str(error) == (
        "bl and bf must have the same length (one brightness per radius), "
        f"but bl has {len(bl)} items and bf has {len(bf)}")
    copy = pickle.loads(pickle.dumps(error))
    assert type(copy) is magnikit.ProfileLengthError and str(copy) == str(error)
    # Still usable afterwards.
    assert function([0.5], 1.0, 0.1, [0.5], [1.0]) == function([0.5], 1.0, 0.1, [0.5], [1.0])


def test_panic_passes_through_except_exception():
    with pytest.raises(BaseException) as info:
        try:
            magnikit.witt_mao_magnification([1.0], RaisingPanic(), 0.1)
        except Exception:  # noqa: BLE001 - the point is that this misses
            pytest.fail("caught by except Exception")
    assert type(info.value) is panic_type() and str(info.value) == "raised in Python"
    assert (panic_type().__module__, panic_type().__name__) == ("pyo3_runtime", "PanicException")
    assert not issubclass(panic_type(), Exception)


RESUME = textwrap.dedent(
    """
    import magnikit, pyo3_runtime

    class Raising:
        def __float__(self):
            raise pyo3_runtime.PanicException("raised in Python")

    try:
        magnikit.witt_mao_magnification([1.0], Raising(), 0.1)
    except BaseException as error:
        print(type(error) is pyo3_runtime.PanicException, repr(str(error)))
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
