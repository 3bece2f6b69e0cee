"""Long leak runs: calls every leak case many times and prints the growth of
each gauge. Exits with status 1 if any gauge grew beyond its allowance.

    python tests/memory/leak_run.py [--calls N] [--only TEXT]

Under a debug interpreter (one with sys.gettotalrefcount) the total
reference count is watched as well."""

import argparse
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

from memory import leaks  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--calls", type=int, default=100_000, help="calls per case")
    parser.add_argument("--only", default="", help="run only the cases whose name contains this text")
    options = parser.parse_args()

    if leaks.tracemalloc is not None:
        leaks.tracemalloc.start()
    readers = leaks.gauges(resident=True)
    chosen = [case for case in leaks.cases() if options.only in str(case)]
    print(f"{sys.implementation.name} {sys.version.split()[0]}"
          f"{' (debug build)' if hasattr(sys, 'gettotalrefcount') else ''}; gauges: {', '.join(readers)}")
    print(f"{'case':72} {'calls':>7} " + " ".join(f"{gauge:>10}" for gauge in readers) + "  seconds")
    failures = []
    total_calls = 0
    for case in chosen:
        started = time.perf_counter()
        growth = leaks.measure(case, options.calls, readers)
        seconds = time.perf_counter() - started
        total_calls += options.calls
        over = leaks.excess(growth, options.calls)
        print(f"{str(case):72} {options.calls:7d} " + " ".join(f"{growth[g]:10d}" for g in readers)
              + f"  {seconds:7.1f}" + ("  LEAK: " + ", ".join(over) if over else ""), flush=True)
        if over:
            failures.append((case, over))

    limits = ", ".join(f"{gauge} {floor} + {per_call}/call"
                       for gauge, (_, floor, per_call) in leaks.ALLOWANCES.items() if gauge in readers)
    print(f"{len(chosen)} cases, {total_calls} calls; allowed growth: {limits}")
    for case, over in failures:
        for gauge, (grown, allowance) in over.items():
            print(f"LEAK {case}: {gauge} grew by {grown} (allowed {allowance:.0f})")
    print(f"{len(chosen) - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
