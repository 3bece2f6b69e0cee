"""Ctrl-C during a long call: a real SIGINT, sent to a subprocess
(tests/interrupted_call.py) while a vector operation runs, ends the call
with KeyboardInterrupt within milliseconds, with no result; a signal whose
handler does not raise changes nothing."""

import os

import pytest

import interrupted_call

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "interrupted_call.py")


@pytest.mark.parametrize("name", interrupted_call.CALLS)
def test_sigint_ends_a_long_call(name):
    took, latency, unchanged, status, errors = interrupted_call.interrupt(SCRIPT, name)
    assert status == 0, errors[-2000:]
    assert latency is not None, "the call completed"
    if name == "witt_mao_magnification":
        # A separation costs a tenth of a microsecond, less than converting
        # it (far less on PyPy), and the conversion is no vector operation:
        # the call ends at the first checkpoint after it.
        assert latency < took * 0.6
    else:
        # About a millisecond of work between checkpoints; the bound leaves
        # room for a loaded machine.
        assert latency < min(0.1, took * 0.1)
    assert unchanged == "unchanged True True"
