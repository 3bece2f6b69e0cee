"""How soon Ctrl-C ends a long call.

    python benchmarks/interrupt_latency.py [--rounds R]

For each function that takes a sequence of separations, starts a subprocess
that calls it twice on the same arguments (a call of a second or so), sends
SIGINT from outside once the second call has run for 30 % of the first
call's time, and prints the time from the signal to the KeyboardInterrupt
(best and worst over the rounds). The arguments' conversion is not
interruptible, so the figure for witt_mao_magnification, whose separations
cost less than their conversion, includes the rest of the conversion.
"""

import argparse
import signal
import subprocess
import sys
import textwrap
import time

CALLS = {
    "witt_mao_magnification": (2_000_000, False),
    "integrated_witt_mao_magnification": (3_000, False),
    "integrated_flux_map_witt_mao_magnification": (3_000, True),
    "integrated_heyrovsky_magnification": (10_000, False),
    "integrated_flux_map_heyrovsky_magnification": (10_000, True),
    "discrete_flux_map_heyrovsky_magnification": (10_000, True),
}

CHILD = textwrap.dedent(
    """
    import sys, time
    import magnikit
    name, n, profiled = sys.argv[1], int(sys.argv[2]), sys.argv[3] == "1"
    function = getattr(magnikit, name)
    l = [3.0 * i / n for i in range(n)]
    radii = [i / 199 for i in range(200)]
    args = (l, 1.0, 0.1) + ((radii, [1.0 - 0.5 * x for x in radii]) if profiled else ())
    start = time.monotonic()
    function(*args)
    print(time.monotonic() - start, flush=True)
    try:
        function(*args)
        print("completed", flush=True)
    except KeyboardInterrupt:
        print(time.monotonic(), flush=True)
    """
)


def latency(name, n, profiled):
    with subprocess.Popen([sys.executable, "-c", CHILD, name, str(n), "1" if profiled else "0"],
                          stdout=subprocess.PIPE, text=True) as child:
        uninterrupted = float(child.stdout.readline())
        time.sleep(uninterrupted * 0.3)
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        ended = child.stdout.readline().strip()
    return uninterrupted, (float(ended) - sent if ended != "completed" else None)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rounds", type=int, default=5)
    rounds = parser.parse_args().rounds
    print(f"{sys.implementation.name} {sys.version.split()[0]}, {rounds} rounds")
    for name, (n, profiled) in CALLS.items():
        results = [latency(name, n, profiled) for _ in range(rounds)]
        call = min(u for u, _ in results)
        ends = [x for _, x in results]
        if None in ends:
            print(f"{name:45} call {call:6.2f} s  not interrupted in {ends.count(None)} rounds")
            continue
        print(f"{name:45} call {call:6.2f} s  latency {min(ends) * 1e3:7.2f} .. "
              f"{max(ends) * 1e3:7.2f} ms")


if __name__ == "__main__":
    main()
