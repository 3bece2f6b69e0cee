"""How soon Ctrl-C ends a long call.

    python benchmarks/interrupt_latency.py [--rounds R]

For each function that takes a sequence of separations, runs the call of
tests/interrupted_call.py (about a second) in a subprocess, sends SIGINT
from outside once a second, equal call has run for 30 % of the first one's
time, and prints the time from the signal to the KeyboardInterrupt (best and
worst over the rounds). The arguments' conversion is not interruptible, so
the figure for witt_mao_magnification, whose separations cost less than
their conversion, includes the rest of the conversion.
"""

import argparse
import pathlib
import sys

TESTS = pathlib.Path(__file__).resolve().parent.parent / "tests"
sys.path.insert(0, str(TESTS))

import interrupted_call  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rounds", type=int, default=5)
    rounds = parser.parse_args().rounds
    print(f"{sys.implementation.name} {sys.version.split()[0]}, {rounds} rounds")
    script = str(TESTS / "interrupted_call.py")
    for name in interrupted_call.CALLS:
        results = [interrupted_call.interrupt(script, name)[:2] for _ in range(rounds)]
        took = min(t for t, _ in results)
        ends = [latency for _, latency in results]
        if None in ends:
            print(f"{name:45} call {took:6.2f} s  completed in {ends.count(None)} rounds")
            continue
        print(f"{name:45} call {took:6.2f} s  latency {min(ends) * 1e3:7.2f} .. "
              f"{max(ends) * 1e3:7.2f} ms")


if __name__ == "__main__":
    main()
