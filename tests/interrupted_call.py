"""A long call to interrupt, run as a script in a process of its own, so that
a SIGINT sent from outside reaches it as Ctrl-C in a terminal does:

    python tests/interrupted_call.py NAME

Calls the function NAME twice on the same arguments (CALLS: a call of about
a second on CPython; a name with a comma is the function before it, on one
separation of a finely sampled profile, which the call must stop inside). Prints "calling T" with the first call's time, then,
during the second call, "interrupted t" with the monotonic time at which
KeyboardInterrupt reached Python (or "completed"), and finally "unchanged
SAME HANDLED": whether a third call, with a signal handler that does not
raise firing every 10 ms, gave the first call's results bit for bit, and
whether the handler ran."""

import signal
import sys
import time

import magnikit

RADII = [i / 199 for i in range(200)]
PROFILE = (RADII, [1.0 - 0.5 * x for x in RADII])
# Every basis profile of the laws with the most, in two bands.
BANDS = ("nonlinear", [[0.5, 0.1, 0.1, -0.1], [0.3, 0.2, 0.1, 0.0]])

def fine_profile(samples):
    radii = [i / (samples - 1) for i in range(samples)]
    return radii, [1.0 - 0.5 * x for x in radii]


# separations, the arguments after l, re and rstar
CALLS = {
    "witt_mao_magnification": (2_000_000, ()),
    "integrated_witt_mao_magnification": (40_000, ()),
    "integrated_flux_map_witt_mao_magnification": (600, PROFILE),
    "integrated_heyrovsky_magnification": (10_000, ()),
    "integrated_flux_map_heyrovsky_magnification": (1_000, PROFILE),
    "discrete_flux_map_heyrovsky_magnification": (10_000, PROFILE),
    "limb_darkened_magnification": (10_000, BANDS),
    "integrated_flux_map_heyrovsky_magnification, one separation": (1, fine_profile(200_000)),
    "integrated_flux_map_witt_mao_magnification, one separation": (1, fine_profile(100_000)),
    "discrete_flux_map_heyrovsky_magnification, one separation": (1, fine_profile(5_000_000)),
}


def function_of(name):
    return getattr(magnikit, name.split(",")[0])


def arguments(name):
    n, rest = CALLS[name]
    separations = [0.5] if n == 1 else [3.0 * i / n for i in range(n)]
    return (separations, 1.0, 0.1) + rest


def hexed(result):
    """A list (of lists) of floats as their exact text."""
    return [hexed(x) if isinstance(x, list) else x.hex() for x in result]


def main(name):
    # Python leaves SIGINT ignored when it starts with it ignored, as a
    # background job of a shell does.
    signal.signal(signal.SIGINT, signal.default_int_handler)
    function, args = function_of(name), arguments(name)
    start = time.monotonic()
    whole = function(*args)
    print("calling", time.monotonic() - start, flush=True)
    try:
        function(*args)
        print("completed", flush=True)
    except KeyboardInterrupt:
        print("interrupted", time.monotonic(), flush=True)

    handled = []
    signal.signal(signal.SIGALRM, lambda *_: handled.append(1))
    signal.setitimer(signal.ITIMER_REAL, 0.01, 0.01)
    again = function(*args)
    signal.setitimer(signal.ITIMER_REAL, 0, 0)
    same = hexed(again) == hexed(whole)
    print("unchanged", same, len(handled) > 0, flush=True)


def interrupt(path, name, at=0.3):
    """Runs the script in a subprocess of this interpreter and sends SIGINT
    once the second call has run for `at` times the first call's time.
    Returns (first call's time, seconds from the signal to the
    KeyboardInterrupt or None, the "unchanged" line, exit status, stderr)."""
    import subprocess

    with subprocess.Popen([sys.executable, path, name], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, text=True) as child:
        try:
            word, took = child.stdout.readline().split()
            took = float(took)
            time.sleep(took * at)
            sent = time.monotonic()
            child.send_signal(signal.SIGINT)
            ended = child.stdout.readline().split()
            unchanged = child.stdout.readline().strip()
            errors = child.stderr.read()
            child.wait(timeout=600)
        finally:
            child.kill()
    latency = float(ended[1]) - sent if ended[0] == "interrupted" else None
    return took, latency, unchanged, child.returncode, errors


if __name__ == "__main__":
    main(sys.argv[1])
