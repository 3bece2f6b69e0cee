"""Ctrl-C during a long call: a real SIGINT, sent to a subprocess while a
vector operation runs, ends the call with KeyboardInterrupt within
milliseconds, with no result; a signal whose handler does not raise changes
nothing."""

import signal
import subprocess
import sys
import textwrap
import time

import pytest

# A call of each vector function that takes about a second on CPython.
CALLS = {
    "witt_mao_magnification": (2_000_000, ()),
    "integrated_witt_mao_magnification": (3_000, ()),
    "integrated_flux_map_witt_mao_magnification": (3_000, "profile"),
    "integrated_heyrovsky_magnification": (10_000, ()),
    "integrated_flux_map_heyrovsky_magnification": (10_000, "profile"),
    "discrete_flux_map_heyrovsky_magnification": (10_000, "profile"),
}

INTERRUPT = textwrap.dedent(
    """
    import signal, sys, time
    import magnikit
    name, n, profiled = sys.argv[1], int(sys.argv[2]), sys.argv[3] == "1"
    function = getattr(magnikit, name)
    l = [3.0 * i / n for i in range(n)]
    radii = [i / 199 for i in range(200)]
    args = (l, 1.0, 0.1) + ((radii, [1.0 - 0.5 * x for x in radii]) if profiled else ())

    start = time.monotonic()
    whole = function(*args)
    print("calling", time.monotonic() - start, flush=True)
    try:
        function(*args)
        print("completed", flush=True)
    except KeyboardInterrupt:
        print("interrupted", time.monotonic(), flush=True)

    # A handler that does not raise leaves the result as it was, bit for bit.
    handled = []
    signal.signal(signal.SIGALRM, lambda *_: handled.append(1))
    signal.setitimer(signal.ITIMER_REAL, 0.01, 0.01)
    again = function(*args)
    signal.setitimer(signal.ITIMER_REAL, 0, 0)
    print("unchanged", [x.hex() for x in again] == [x.hex() for x in whole], len(handled) > 0)
    """
)


@pytest.mark.parametrize("name", CALLS)
def test_sigint_ends_a_long_call(name):
    # The signal comes from outside the process, as Ctrl-C in a terminal
    # does, while the second of two equal calls runs.
    n, profile = CALLS[name]
    with subprocess.Popen(
        [sys.executable, "-c", INTERRUPT, name, str(n), "1" if profile else "0"],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
    ) as child:
        try:
            word, uninterrupted = child.stdout.readline().split()
            assert word == "calling"
            uninterrupted = float(uninterrupted)
            time.sleep(uninterrupted * 0.3)
            sent = time.monotonic()
            child.send_signal(signal.SIGINT)
            interrupted = child.stdout.readline().split()
            unchanged = child.stdout.readline().strip()
            errors = child.stderr.read()
            child.wait(timeout=600)
        finally:
            child.kill()
    assert child.returncode == 0, errors[-2000:]
    assert interrupted[0] == "interrupted"
    latency = float(interrupted[1]) - sent
    if name == "witt_mao_magnification":
        # A separation costs a tenth of a microsecond, less than converting
        # it (far less on PyPy), and the conversion is no vector operation:
        # the call ends at the first checkpoint after it.
        assert latency < uninterrupted * 0.6
    else:
        # About a millisecond of work between checkpoints; the bound leaves
        # room for a loaded machine.
        assert latency < min(0.1, uninterrupted * 0.1)
    assert unchanged == "unchanged True True"
